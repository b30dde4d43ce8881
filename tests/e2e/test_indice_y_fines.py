"""The index while the server is silent, and the ends of a transfer with an
object open: a server that pauses after 200 members, an index that stops
being writable in the middle of an object (while the server is silent and
while messages flow), a directory at an object's final path, a standard
output whose reader has gone (`vortcp ALL LIB | head -1`) and one that
cannot be written (a full disk)."""

import os
import re
import shutil
import signal
import subprocess
import threading
import time
import unittest

from lib import WINDOWS, Peer, ScriptFailure, call, clean_env, frame, read_frame, run_vortcp, shown_path, vortcp_bin
from lib.transferencia import Arbol, bloque_texto, envia_miembros, fin, incompleto, miembro, paseo, silencio


def claves(lineas):
    """The member names of the entry lines of an index."""
    return [l[21:31].strip() for l in lineas if l.startswith("A")]


class IndiceYFines(Arbol):
    def lanza(self, peer, env=None, **kw):
        entorno = clean_env({**peer.env(), "BASE": self.base, "LANG": "ESP", **(env or {})})
        return subprocess.Popen([vortcp_bin(), "ALL", "LIB1"], cwd=self.dir, env=entorno,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)

    def lineas_del_indice(self):
        try:
            with open(os.path.join(self.dir, "LIB1", "xvoras", "xinfo"), "rb") as f:
                return f.read().decode("latin-1").split("\n")
        except FileNotFoundError:
            return []

    def indice_con(self, nombres, segundos=20):
        """Polls the index on disk until it holds every name (True), or the
        time is up (False)."""
        limite = time.monotonic() + segundos
        while time.monotonic() < limite:
            if set(nombres) <= set(claves(self.lineas_del_indice())):
                return True
            time.sleep(0.02)
        return False

    @unittest.skipIf(WINDOWS, "a kill that cannot be caught, sent to an emulated process")
    def test_doscientos_miembros_y_el_servidor_callado(self):
        nombres = ["M%03d" % i for i in range(200)]
        callado = threading.Event()

        def sirve(conn):
            envia_miembros(conn, nombres)
            # The 200 are complete once the next header is here.
            conn.send(frame(miembro("LIB1", "SRC", "ABIERTO")))
            conn.read_frame()
            callado.set()
            return silencio(conn)
        peer = Peer([read_frame(), call(sirve)], timeout=40)
        with peer:
            p = self.lanza(peer)
            try:
                self.assertTrue(callado.wait(20))
                visto = self.indice_con(nombres)
            finally:
                p.kill()
                p.communicate(timeout=20)
        self.assertTrue(visto, "the index never held the 200 members: %r" % claves(self.lineas_del_indice()))
        self.assertEqual(p.returncode, -signal.SIGKILL)
        self.assertEqual(claves(self.lineas_del_indice()), nombres)
        self.assertTrue(self.existe("LIB1", "SRC", "ABIERTO.txt.parcial"))

    def test_indice_que_deja_de_poder_grabarse_a_mitad_de_objeto(self):
        for callado in (True, False):
            with self.subTest(callado=callado):
                shutil.rmtree(self.dir)
                os.mkdir(self.dir)
                temporal = os.path.join(self.dir, "LIB1", "xvoras", "xinfo.tmp")

                def sirve(conn):
                    envia_miembros(conn, ["M1"])
                    conn.send(frame(miembro("LIB1", "SRC", "M2")))
                    conn.read_frame()
                    # M1 is complete: a library without an index gets it at once.
                    if not self.indice_con(["M1"]):
                        raise ScriptFailure("M1 never reached the index")
                    # No later write of the index can make its working file.
                    os.mkdir(temporal)
                    conn.send(frame(bloque_texto(["DOS"])))
                    conn.read_frame()
                    conn.send(frame(miembro("LIB1", "SRC", "M3")))
                    conn.read_frame()
                    if callado:
                        return silencio(conn)
                    limite = time.monotonic() + 30
                    try:
                        while time.monotonic() < limite:
                            conn.send(frame(bloque_texto(["TRES"])))
                            conn.read_frame()
                            time.sleep(0.01)
                    except ScriptFailure:
                        pass
                    return "close"
                peer = Peer([read_frame(), call(sirve)], timeout=40)
                with peer:
                    r = run_vortcp(["ALL", "LIB1"], self.dir, env={**peer.env(), "BASE": self.base, "LANG": "ESP"},
                                   timeout=60)
                salida, error = r.stdout, r.stderr
                self.assertEqual(r.status, 1, salida + error)
                self.assertRegex(error, rb"Error apertura fichero: " + re.escape(shown_path(
                    b"LIB1/xvoras/xinfo.tmp")) + rb"  rc=\d+ \n")
                # The open member is kept, with its line; what was indexed stays.
                self.assertRegex(salida, rb" bytes\n" + re.escape(incompleto("LIB1/SRC/M3.txt")) + rb"$")
                self.assertTrue(self.existe("LIB1", "SRC", "M3.txt.parcial"))
                self.assertTrue(self.existe("LIB1", "SRC", "M2.txt"))
                self.assertEqual(claves(self.lineas_del_indice()), ["M1"])

    def test_directorio_en_la_ruta_final(self):
        os.makedirs(os.path.join(self.dir, "LIB1", "SRC", "M1.txt"))
        r = self.corre(["ALL", "LIB1"], paseo([miembro("LIB1", "SRC", "M1"), bloque_texto(["UNO"])],
                                              fin_lista=False), estado=1)
        self.assertTrue(r.stdout.endswith(b"Error al grabar (%s)\n" % shown_path(b"LIB1/SRC/M1.txt")), r.stdout)
        self.assertNotIn(b"Incompleto", r.stdout)
        self.assertEqual(os.listdir(os.path.join(self.dir, "LIB1", "SRC")), ["M1.txt"])

    @unittest.skipIf(WINDOWS, "a pipe closed under an emulated process")
    def test_salida_estandar_cerrada(self):
        def sirve(conn):
            try:
                envia_miembros(conn, ["M%04d" % i for i in range(5000)])
                conn.send(frame(fin()))
                conn.read_frame()
            except ScriptFailure:
                pass
            return "close"
        peer = Peer([read_frame(), call(sirve)], timeout=40)
        with peer:
            p = self.lanza(peer)
            primera = p.stdout.readline()
            p.stdout.close()
            error = p.stderr.read()
            p.stderr.close()
            p.wait(40)
        self.assertTrue(primera)
        self.assertEqual(p.returncode, 141, error)
        self.assertTrue(error.endswith(b"Salida estandar cerrada.\n"), error)
        self.assertNotIn(b"interrumpida", error)
        # Ended as an interruption: the member open then is left incomplete
        # (its line in the log), every complete one is indexed.
        self.assertRegex(self.log(), rb" bytes\nIncompleto: LIB1/SRC/M\d{4}\.txt\.parcial\nTotal: [^\n]*\n$")
        ficheros = os.listdir(os.path.join(self.dir, "LIB1", "SRC"))
        completos = sorted(f[:-4] for f in ficheros if f.endswith(".txt"))
        self.assertEqual(len(ficheros), len(completos) + 1)
        self.assertLess(len(completos), 5000)
        self.assertEqual(claves(self.lineas_del_indice()), completos)

    @unittest.skipUnless(os.path.exists("/dev/full"), "needs /dev/full")
    def test_salida_estandar_que_no_se_puede_grabar(self):
        # A full standard output was taken for a closed pipe (141); it is a
        # failure to write, as for any file: 1. The run stops as it does for
        # a closed pipe, every complete member indexed.
        def sirve(conn):
            try:
                envia_miembros(conn, ["M%04d" % i for i in range(5000)])
                conn.send(frame(fin()))
                conn.read_frame()
            except ScriptFailure:
                pass
            return "close"
        peer = Peer([read_frame(), call(sirve)], timeout=40)
        with peer, open("/dev/full", "wb") as llena:
            r = run_vortcp(["ALL", "LIB1"], self.dir, env={**peer.env(), "BASE": self.base, "LANG": "ESP"},
                           stdout=llena, timeout=40)
        self.assertEqual(r.status, 1, r.stderr)
        self.assertTrue(r.stderr.endswith(b"Error al grabar (salida estandar)\n"), r.stderr)
        self.assertNotIn(b"cerrada", r.stderr)
        completos = sorted(f[:-4] for f in os.listdir(os.path.join(self.dir, "LIB1", "SRC")) if f.endswith(".txt"))
        self.assertLess(len(completos), 5000)
        self.assertEqual(claves(self.lineas_del_indice()), completos)


if __name__ == "__main__":
    unittest.main()
