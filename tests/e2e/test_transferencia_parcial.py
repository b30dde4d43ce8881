"""What a transfer leaves on disk: objects written into "<path>.parcial" and
moved over their path only once complete, the header's change date on the
files, working files and links that a run does not write through, and one run
at a time per library. A full disk is in test_transferencia_fallos.py."""

import datetime
import os
import threading
import time
import unittest

from lib import WINDOWS, Peer, call, expect_eof, frame, read_frame, run_vortcp, send, text_bytes
from lib.transferencia import Arbol, bloque_crudo, bloque_texto, cabecera, fin, mensajes, miembro, paseo


class CompletosTest(Arbol):
    def test_repeticion_completa_reemplaza_y_quita_el_parcial(self):
        os.makedirs(os.path.join(self.dir, "LIB1", "SRC"))
        for nombre, datos in (("M1.txt", b"VIEJO\n"), ("M1.txt.parcial", b"RESTO DE UN CORTE\n")):
            with open(os.path.join(self.dir, "LIB1", "SRC", nombre), "wb") as f:
                f.write(text_bytes(datos))
        r = self.corre(["ALL", "LIB1"], paseo([miembro("LIB1", "SRC", "M1"), bloque_texto(["NUEVO"])]))
        self.assertEqual(self.lee("LIB1", "SRC", "M1.txt"), b"NUEVO\n")
        self.assertEqual(sorted(os.listdir(os.path.join(self.dir, "LIB1", "SRC"))), ["M1.txt"])
        self.assertNotIn(b"Incompleto", r.stdout)

    def test_fecha_de_la_cabecera_en_los_ficheros(self):
        antes = time.time() - 5
        self.corre(["ALL", "LIB1"], paseo([
            miembro("LIB1", "SRC", "M1", fecha="20120131", hora="101500"), bloque_texto(["A"]),
            mensajes("LIB1", "MSGF", fecha="19991231", hora="235959"), bloque_texto(["B"], codigo="08"),
            cabecera("03", "LIB1", "CUST", "", "PF", fecha="20240229", hora="000001"), bloque_crudo(b"\x40" * 4, 4),
            # A blank date, an impossible day and an impossible hour.
            miembro("LIB1", "SRC", "M2", fecha="20 10101", hora="101500"),
            miembro("LIB1", "SRC", "M3", fecha="20230230", hora="101500"),
            miembro("LIB1", "SRC", "M4", fecha="20230101", hora="246000")]))

        def fecha(*ruta):
            return os.path.getmtime(os.path.join(self.dir, *ruta))
        for ruta, esperada in ((("LIB1", "SRC", "M1.txt"), datetime.datetime(2012, 1, 31, 10, 15, 0)),
                               (("LIB1", "MSGF.msg"), datetime.datetime(1999, 12, 31, 23, 59, 59)),
                               (("LIB1", "CUST.ebc"), datetime.datetime(2024, 2, 29, 0, 0, 1))):
            self.assertEqual(datetime.datetime.fromtimestamp(fecha(*ruta)), esperada, ruta)
        for m in ("M2", "M3", "M4"):
            self.assertGreater(fecha("LIB1", "SRC", m + ".txt"), antes, m)
        # Directories keep the time they were made or changed.
        self.assertGreater(fecha("LIB1", "SRC"), antes)


@unittest.skipIf(WINDOWS, "links are made with POSIX calls")
class EnlacesTest(Arbol):
    def test_enlaces_plantados_no_se_siguen(self):
        fuera = os.path.join(self.raiz, "fuera.txt")
        with open(fuera, "wb") as f:
            f.write(b"NO TOCAR\n")
        os.makedirs(os.path.join(self.dir, "LIB1", "SRC"))
        os.makedirs(os.path.join(self.dir, "LIB1", "xvoras"))
        for ruta in (("LIB1", "SRC", "M1.txt.parcial"), ("LIB1", "SRC", "M2.txt"), ("LIB1", "xvoras", "xinfo.tmp")):
            os.symlink(fuera, os.path.join(self.dir, *ruta))
        # A dangling link where a file is made only when missing.
        os.symlink(os.path.join(self.raiz, "creado_fuera"), os.path.join(self.dir, "LIB1", "CUST.ebc"))
        self.corre(["ALL", "LIB1"], paseo([
            miembro("LIB1", "SRC", "M1"), bloque_texto(["UNO"]), miembro("LIB1", "SRC", "M2"), bloque_texto(["DOS"]),
            cabecera("03", "LIB1", "CUST", "C2", "PF")]))
        with open(fuera, "rb") as f:
            self.assertEqual(f.read(), b"NO TOCAR\n")
        self.assertFalse(os.path.lexists(os.path.join(self.raiz, "creado_fuera")))
        self.assertEqual(self.lee_crudo("LIB1", "CUST.ebc"), b"\n")
        self.assertEqual(self.lee("LIB1", "SRC", "M1.txt"), b"UNO\n")
        self.assertFalse(os.path.islink(os.path.join(self.dir, "LIB1", "SRC", "M2.txt")))
        self.assertEqual(self.lee("LIB1", "SRC", "M2.txt"), b"DOS\n")
        # A folder link made by the user is followed.
        os.rename(os.path.join(self.dir, "LIB1", "SRC"), os.path.join(self.raiz, "SRC_REAL"))
        os.symlink(os.path.join(self.raiz, "SRC_REAL"), os.path.join(self.dir, "LIB1", "SRC"))
        self.corre(["ALL", "LIB1"], paseo([miembro("LIB1", "SRC", "M3"), bloque_texto(["TRES"])]))
        self.assertTrue(os.path.isfile(os.path.join(self.raiz, "SRC_REAL", "M3.txt")))


class UnaEjecucionPorBibliotecaTest(Arbol):
    """Two runs into one library folder: the second waits for the first."""

    def lanza(self, pasos, resultado, _estado):
        peer = Peer(pasos)

        def corre():
            with peer:
                r = run_vortcp(["ALL", "LIB1"], self.dir, env={**peer.env(), "BASE": self.base, "LANG": "ESP"},
                               timeout=60)
            resultado.append(r)
        hilo = threading.Thread(target=corre)
        hilo.start()
        return hilo

    def test_la_segunda_espera_o_se_rinde(self):
        en_medio = threading.Event()
        segunda_en_cabecera = threading.Event()
        sigue = threading.Event()

        def primera(conn):
            for i in range(300):
                conn.send(frame(miembro("LIB1", "SRC", "A%03d" % i)))
                conn.read_frame()
                if i == 150:
                    en_medio.set()
                    sigue.wait(30)
            conn.send(frame(fin()))
            conn.read_frame()
            return "close"

        def segunda(conn):
            for i in range(300):
                conn.send(frame(miembro("LIB1", "SRC", "B%03d" % i)))
                segunda_en_cabecera.set()
                conn.read_frame()
            conn.send(frame(fin()))
            conn.read_frame()
            return "close"
        r1, r2 = [], []
        h1 = self.lanza([read_frame(), call(primera)], r1, 0)
        self.assertTrue(en_medio.wait(20))
        h2 = self.lanza([read_frame(), call(segunda)], r2, 0)
        # The first goes on once the second has its first header: the second
        # then waits for the library, and reads the index the first left.
        self.assertTrue(segunda_en_cabecera.wait(20))
        sigue.set()
        h1.join(60)
        h2.join(60)
        self.assertEqual([r1[0].status, r2[0].status], [0, 0], r1[0].stdout[-300:] + r2[0].stdout[-300:])
        claves = [l[21:31].strip() for l in self.indice()[:-1]]
        self.assertEqual(claves, ["A%03d" % i for i in range(300)] + ["B%03d" % i for i in range(300)])

        # One that finds the library held for more than 10 seconds gives up,
        # writing nothing.
        en_medio.clear()
        sigue.clear()
        r1 = []
        h1 = self.lanza([read_frame(), call(primera)], r1, 0)
        self.assertTrue(en_medio.wait(20))
        pasos = [read_frame(), send(frame(miembro("LIB1", "SRC", "C000"))), expect_eof()]
        try:
            peer = Peer(pasos, timeout=30)
            with peer:
                r = run_vortcp(["ALL", "LIB1"], self.dir, env={**peer.env(), "BASE": self.base, "LANG": "ESP"},
                               timeout=60)
        finally:
            sigue.set()
            h1.join(60)
        self.assertEqual(r.status, 1, r.stdout)
        self.assertTrue(r.stdout.endswith(b"Biblioteca LIB1 en uso por otra transferencia\n"), r.stdout)
        self.assertNotIn(b"Obtiene", r.stdout)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "LIB1", "SRC", "C000.txt.parcial")))
        self.assertEqual(r1[0].status, 0)


if __name__ == "__main__":
    unittest.main()
