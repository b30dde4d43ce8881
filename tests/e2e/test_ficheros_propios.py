"""The program's own files of a library, opened safely: the lock file never
through a link (a link, FIFO or other non-regular file there is removed
first), the index read only when it is a regular file (a FIFO there is an
index that cannot be read, never a wait), and the line of a run that has to
wait for another run's lock."""

import fcntl
import os
import subprocess
import threading
import unittest

from lib import WINDOWS, Peer, clean_env, expect_eof, frame, read_frame, send, vortcp_bin
from lib.transferencia import Arbol, bloque_texto, miembro, paseo

XVORAS = ("LIB1", "xvoras")


@unittest.skipIf(WINDOWS, "links and FIFOs are made with POSIX calls")
class FicherosPropios(Arbol):
    def ruta(self, *partes):
        return os.path.join(self.dir, *partes)

    def test_cerrojo_que_no_es_un_fichero(self):
        os.makedirs(self.ruta(*XVORAS))
        cerrojo = self.ruta(*XVORAS, "xinfo.bloqueo")
        fuera = os.path.join(self.raiz, "fuera")
        for plantado in ("enlace colgante", "enlace", "fifo"):
            with self.subTest(plantado=plantado):
                if os.path.lexists(cerrojo):
                    os.unlink(cerrojo)
                if plantado == "fifo":
                    os.mkfifo(cerrojo)
                else:
                    if plantado == "enlace":
                        with open(fuera, "wb") as f:
                            f.write(b"NO TOCAR\n")
                    os.symlink(fuera, cerrojo)
                self.corre(["ALL", "LIB1"], paseo([miembro("LIB1", "SRC", "M1"), bloque_texto(["UNO"])]))
                self.assertTrue(os.path.isfile(cerrojo) and not os.path.islink(cerrojo))
                if plantado == "enlace":
                    with open(fuera, "rb") as f:
                        self.assertEqual(f.read(), b"NO TOCAR\n")
                    os.unlink(fuera)
                else:
                    self.assertFalse(os.path.lexists(fuera))

    def test_indice_que_no_es_un_fichero_no_se_espera(self):
        os.makedirs(self.ruta(*XVORAS))
        indice = self.ruta(*XVORAS, "xinfo")
        for plantado, codigo in (("fifo", 22), ("directorio", 21)):
            with self.subTest(plantado=plantado):
                if plantado == "fifo":
                    os.mkfifo(indice)
                else:
                    os.unlink(indice)
                    os.mkdir(indice)
                # The header is refused before anything is written for it.
                r = self.corre(["ALL", "LIB1"], [read_frame(), send(frame(miembro("LIB1", "SRC", "M1"))),
                                                 expect_eof()], estado=1)
                self.assertEqual(r.stderr, b"Error apertura fichero: LIB1/xvoras/xinfo  rc=%d \n" % codigo)
                self.assertFalse(self.existe("LIB1", "SRC", "M1.txt.parcial"))

    def test_espera_al_cerrojo_de_otra_ejecucion_y_lo_dice(self):
        os.makedirs(self.ruta(*XVORAS))
        cerrojo = open(self.ruta(*XVORAS, "xinfo.bloqueo"), "wb")
        fcntl.flock(cerrojo, fcntl.LOCK_EX)
        visto = threading.Event()
        lineas = []

        def lee(flujo):
            for linea in flujo:
                lineas.append(linea)
                if linea.startswith(b"Esperando"):
                    visto.set()
            visto.set()
        peer = Peer(paseo([miembro("LIB1", "SRC", "M1"), bloque_texto(["UNO"])]), timeout=30)
        with peer:
            entorno = clean_env({**peer.env(), "BASE": self.base, "LANG": "ESP"})
            p = subprocess.Popen([vortcp_bin(), "ALL", "LIB1"], cwd=self.dir, env=entorno,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            lector = threading.Thread(target=lee, args=(p.stderr,))
            lector.start()
            try:
                visto.wait(30)
            finally:
                # Let go of the library: the run waiting for it goes on.
                fcntl.flock(cerrojo, fcntl.LOCK_UN)
                cerrojo.close()
            salida = p.stdout.read()
            p.wait(30)
            lector.join(30)
            p.stdout.close()
            p.stderr.close()
        self.assertEqual(lineas, [b"Esperando a otra transferencia de la biblioteca LIB1\n"])
        self.assertEqual(p.returncode, 0, salida)
        self.assertEqual(self.lee("LIB1", "SRC", "M1.txt"), b"UNO\n")


if __name__ == "__main__":
    unittest.main()
