"""The helpers of make bench: the launcher's figures, the paired rounds, the
lock-step limit pair (and its server in vortcp's dialect), the replay server
and the delaying link. A benchmark table is only as true as these; the C
helpers are compiled here from bench/."""

import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

BANCO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, BANCO)
import medida  # noqa: E402
from banco import diferencia_arboles, diferencia_con_muestras, tramas_grabadas  # noqa: E402
from lib import frame, local_text, make_base, run_vortcp, split_frames  # noqa: E402
from medida import FalloDeEjecucion, Medida, ejecuta, rondas  # noqa: E402
from tabla import Fila, tabla_markdown  # noqa: E402

DIR = tempfile.mkdtemp(prefix="bench-tools-")


def setUpModule():
    for prog in ("mide", "limite_servidor", "limite_cliente", "enlace_lento", "replica_sql"):
        subprocess.run(["cc", "-O2", "-Wall", "-Wextra", "-Werror", "-o", os.path.join(DIR, prog),
                        os.path.join(BANCO, prog + ".c"), "-lpthread"], check=True)
    medida.LANZADOR = os.path.join(DIR, "mide")


def tearDownModule():
    shutil.rmtree(DIR, ignore_errors=True)


def para(p):
    p.terminate()
    p.wait()
    p.stdout.close()


def servidor(orden):
    p = subprocess.Popen(orden, stdout=subprocess.PIPE, text=True)
    linea = p.stdout.readline()
    return p, int(linea.rsplit(":", 1)[1])


class LanzadorTest(unittest.TestCase):
    def test_rss_is_the_commands_own(self):
        # Forked straight from Python, a small child reported the
        # interpreter's size; through the launcher it reports its own.
        grande = ejecuta([sys.executable, "-c", "b = bytearray(60 << 20); b[::4096] = b'x' * len(b[::4096])"])
        pequeno = ejecuta(["true"])
        self.assertGreater(grande.rss_kb, 60 * 1024)
        self.assertLess(pequeno.rss_kb, 4 * 1024)
        self.assertGreater(grande.segundos, 0)

    def test_exit_status_is_checked(self):
        with self.assertRaises(FalloDeEjecucion):
            ejecuta(["false"])
        self.assertIsInstance(ejecuta(["false"], estados=(1,)), Medida)


class RondasTest(unittest.TestCase):
    def test_alternate_after_warm_up_and_ratio_of_pairs(self):
        orden = []
        tiempos = {"a": iter([9, 1, 4, 2, 8, 8]), "b": iter([9, 1, 1, 4, 2, 2])}

        def lado(n):
            def f():
                orden.append(n)
                return Medida(next(tiempos[n]), 1000, 0)
            return f
        r = rondas([("a", lado("a")), ("b", lado("b"))], pares=5, calentamiento=1)
        self.assertEqual(orden, ["a", "b"] * 6)
        self.assertEqual(r.segundos("a"), [1, 4, 2, 8, 8])  # the warm-up is not kept
        self.assertEqual(r.mediana("a"), 4)
        # Ratios per round 1, 4, 0.5, 4, 4: the median is 4, while the ratio
        # of the medians would be 2.
        self.assertEqual(r.cociente("a", "b"), 4)
        self.assertEqual(r.pares(), 5)

    def test_budget_stops_early_but_keeps_one_round(self):
        def lento():
            time.sleep(0.05)
            return Medida(0.05, 1, 0)
        r = rondas([("a", lento), ("b", lento)], pares=5, calentamiento=0, presupuesto=0.01)
        self.assertEqual(r.pares(), 1)

    def test_table_marks_targets_and_rss(self):
        filas = [Fila("x", 0.3, 1.0, 0.3, 5, 9000, objetivo=0.2), Fila("y", 1.5, 1.0, 1.5, 5, 3000),
                 Fila.omitida("z", "no lftp"), Fila("w", 0.3, 1.0, 0.3, 5, 9000, rss_objetivo_kb=16384)]
        texto = tabla_markdown(filas, 8192)
        self.assertIn("| x | 300.00 ms | 1.000 s | 0.30 | <= 0.20: NOT met | 5 | 8.8 MB (over) |", texto)
        self.assertIn("| reference | 5 | 8.8 MB |", texto)  # a row with its own RSS target
        self.assertIn("| reference | 5 | 2.9 MB |", texto)
        self.assertIn("| z | skipped |", texto)


class LimiteTest(unittest.TestCase):
    def test_every_member_written_whole(self):
        # 70,000 bytes need three blocks of at most 29,983 text bytes each.
        p, puerto = servidor([os.path.join(DIR, "limite_servidor"), "--miembros", "6", "--bytes", "70000"])
        try:
            destino = tempfile.mkdtemp(dir=DIR)
            subprocess.run([os.path.join(DIR, "limite_cliente"), str(puerto), destino], check=True, timeout=20)
            ficheros = [os.path.join(r, f) for r, _, fs in os.walk(destino) for f in fs]
            self.assertEqual(len(ficheros), 6)
            self.assertEqual({os.path.getsize(f) for f in ficheros}, {70000})
            self.assertEqual(sorted(os.listdir(destino)), ["QSRC0", "QSRC1", "QSRC2", "QSRC3"])
        finally:
            para(p)


    @unittest.skipUnless(os.environ.get("VORTCP_BIN"), "VORTCP_BIN is not set (run through ctest)")
    def test_vortcp_mode_is_a_tree_vortcp_writes_whole(self):
        # Five members of 70,000 bytes: three blocks each, the last record
        # cut; the first and the fifth share a source file.
        p, puerto = servidor([os.path.join(DIR, "limite_servidor"), "--miembros", "5", "--bytes", "70000",
                              "--vortcp", "--biblioteca", "LIBX"])
        try:
            carpeta = tempfile.mkdtemp(dir=DIR)
            base = make_base(tempfile.mkdtemp(dir=DIR))
            r = run_vortcp(["ALL", "LIBX"], cwd=carpeta, env={"SERVIDOR": "127.0.0.1", "SERVPORT": puerto,
                                                              "BASE": base, "LANG": "ESP"})
        finally:
            para(p)
        self.assertEqual(r.status, 0, r.stdout + r.stderr)
        texto = "".join("%-72s%08d\n" % ("     C     TOTAL     ADD       IMPORTE       TOTAL", n + 1)
                        for n in range(865))[:70000].encode()
        ficheros = [("QRPGLESRC", "M00000.ile"), ("QCBLSRC", "M00001.cbo"), ("QCLSRC", "M00002.cl"),
                    ("QDDSSRC", "M00003.dds"), ("QRPGLESRC", "M00004.ile")]
        for archivo, miembro in ficheros:
            self.assertEqual(local_text(os.path.join(carpeta, "LIBX", archivo, miembro)), texto, miembro)
        self.assertEqual(r.stdout.count(b"864 registros       70.000 bytes"), 5)
        self.assertIn(b"Miembro 4 de prueba", local_text(os.path.join(carpeta, "LIBX", "xvoras", "xinfo")))


def linea_indice(archivo, miembro, transferida):
    return ("A%-10s%-10s%-10s%-6s%-55s%s%s" % ("LIB", archivo, miembro, "CLP", "Miembro " + miembro,
                                               "20250101120000", transferida)).encode() + b"\n"


class ArbolesTest(unittest.TestCase):
    """The checks of the several-session and piece rows: a tree against the
    data sent, and two trees and indexes against each other."""

    def escribe(self, ruta, datos):
        os.makedirs(os.path.dirname(ruta), exist_ok=True)
        with open(ruta, "wb") as f:
            f.write(datos)

    def arbol(self, miembros, transferida, orden=1):
        carpeta = tempfile.mkdtemp(dir=DIR)
        for m in miembros:
            self.escribe(os.path.join(carpeta, "LIB", "QCLSRC", m + ".cl"), m.encode() * 3)
        lineas = [linea_indice("QCLSRC", m, transferida) for m in miembros][::orden]
        self.escribe(os.path.join(carpeta, "LIB", "xvoras", "xinfo"), b"".join(lineas))
        self.escribe(os.path.join(carpeta, "LIB", "xvoras", "xinfo.bloqueo"), b"")
        return carpeta

    def setUp(self):
        self.muestras = tempfile.mkdtemp(dir=DIR)
        for m in ("M1", "M2", "M3"):
            self.escribe(os.path.join(self.muestras, "LIB", "QCLSRC", m + ".txt"), m.encode() * 3)

    def test_trees_alike_but_for_transfer_time_and_order(self):
        uno = self.arbol(["M1", "M2", "M3"], "20261209101010")
        varias = self.arbol(["M1", "M2", "M3"], "20261209111111", orden=-1)
        self.assertIsNone(diferencia_con_muestras(uno, self.muestras, "LIB"))
        self.assertIsNone(diferencia_arboles(uno, varias, "LIB"))

    def test_a_missing_or_changed_member_or_line_is_found(self):
        uno = self.arbol(["M1", "M2", "M3"], "20261209101010")
        otro = self.arbol(["M1", "M2"], "20261209101010")
        self.assertIn("1 members missing", diferencia_con_muestras(otro, self.muestras, "LIB"))
        self.assertIn("only one of the trees", diferencia_arboles(uno, otro, "LIB"))
        self.escribe(os.path.join(otro, "LIB", "QCLSRC", "M3.cl"), b"M3M3M4")
        self.assertIn("differs", diferencia_con_muestras(otro, self.muestras, "LIB"))
        self.assertIn("QCLSRC/M3.cl differs", diferencia_arboles(uno, otro, "LIB"))
        # The files are right, the index lacks a line, or has one twice.
        self.escribe(os.path.join(otro, "LIB", "QCLSRC", "M3.cl"), b"M3M3M3")
        self.assertIn("index has 2 member lines", diferencia_con_muestras(otro, self.muestras, "LIB"))
        self.assertIn("the indexes differ", diferencia_arboles(uno, otro, "LIB"))
        with open(os.path.join(otro, "LIB", "xvoras", "xinfo"), "ab") as f:
            f.write(linea_indice("QCLSRC", "M3", "20261209101010"))
        self.assertIsNone(diferencia_arboles(uno, otro, "LIB"))
        with open(os.path.join(otro, "LIB", "xvoras", "xinfo"), "ab") as f:
            f.write(linea_indice("QCLSRC", "M2", "20261209101010"))
        self.assertIn("repeated lines", diferencia_arboles(uno, otro, "LIB"))
        self.assertIn("index has 4 member lines", diferencia_con_muestras(otro, self.muestras, "LIB"))
        # An index line whose change date is not the other's.
        otro = self.arbol(["M1", "M2", "M3"], "20261209101010")
        with open(os.path.join(otro, "LIB", "xvoras", "xinfo"), "r+b") as f:
            f.seek(92)
            f.write(b"2024")
        self.assertIn("the indexes differ", diferencia_arboles(uno, otro, "LIB"))

    def test_a_partial_object_left_is_found(self):
        uno = self.arbol(["M1", "M2", "M3"], "20261209101010")
        self.escribe(os.path.join(uno, "LIB", "QCLSRC", "M4.cl.parcial"), b"M4")
        self.assertIn("unexpected file", diferencia_con_muestras(uno, self.muestras, "LIB"))


class Tramas:
    """Whole frames read from a socket; None once it has closed."""

    def __init__(self, s, ebcdic):
        self.s, self.ebcdic, self.datos = s, ebcdic, b""

    def lee(self):
        while True:
            cargas, _ = split_frames(self.datos, self.ebcdic)
            if cargas:
                self.datos = self.datos[10 + len(cargas[0]):]
                return cargas[0]
            d = self.s.recv(65536)
            if not d:
                return None
            self.datos += d


class ReplicaTest(unittest.TestCase):
    """A session recorded through the relay, then replayed, with a scripted
    server and client in Python: lock-step replies, one of them two frames,
    a last message with no reply."""

    def servidor_grabado(self, escucha):
        # Answers in EBCDIC digits what comes in ASCII ones, as the two
        # sides of a session may.
        c, _ = escucha.accept()
        with c:
            tramas = Tramas(c, ebcdic=False)
            while True:
                carga = tramas.lee()
                if carga is None or carga == b"fin":
                    return
                c.sendall(frame(b"R" + carga) * (2 if carga == b"dos" else 1))

    def conversa(self, puerto, cargas, respuestas):
        with socket.create_connection(("127.0.0.1", puerto), timeout=10) as s:
            tramas, recibido = Tramas(s, ebcdic=True), []
            for carga, cuantas in zip(cargas, respuestas):
                s.sendall(frame(carga, ebcdic_digits=False))
                recibido += [tramas.lee() for _ in range(cuantas)]
            return recibido

    def test_a_recorded_session_is_served_again_and_checked(self):
        escucha = socket.socket()
        escucha.bind(("127.0.0.1", 0))
        escucha.listen(1)
        hilo = threading.Thread(target=self.servidor_grabado, args=(escucha,), daemon=True)
        hilo.start()
        grabacion = os.path.join(tempfile.mkdtemp(dir=DIR), "sesion.grabada")
        rel, puerto = servidor([os.path.join(DIR, "replica_sql"), "--graba", grabacion, "--destino",
                                str(escucha.getsockname()[1])])
        grabado = self.conversa(puerto, [b"uno", b"dos", b"fin"], [1, 2, 0])
        self.assertEqual(rel.stdout.readline(), "grabada: 3 tramas del cliente, 3 del servidor\n")
        self.assertEqual(rel.wait(10), 0)
        rel.stdout.close()
        escucha.close()
        self.assertEqual(grabado, [b"Runo", b"Rdos", b"Rdos"])
        self.assertEqual(tramas_grabadas(grabacion, "C"), [b"uno", b"dos", b"fin"])
        self.assertEqual(len(tramas_grabadas(grabacion, "S")), 3)

        rep, puerto = servidor([os.path.join(DIR, "replica_sql"), "--sirve", grabacion])
        try:
            self.assertEqual(self.conversa(puerto, [b"uno", b"dos", b"fin"], [1, 2, 0]), grabado)
            self.assertEqual(rep.stdout.readline(), "sesion 1: 3 tramas recibidas de 3 grabadas, 0 distintas\n")
            # A client that strays still gets the recorded replies, and the
            # difference is told.
            self.assertEqual(self.conversa(puerto, [b"uno", b"otro"], [1, 2]), grabado)
            self.assertEqual(rep.stdout.readline(), "sesion 2: 2 tramas recibidas de 3 grabadas, 1 distintas\n")
        finally:
            para(rep)


class EnlaceTest(unittest.TestCase):
    def setUp(self):
        self.escucha = socket.socket()
        self.escucha.bind(("127.0.0.1", 0))
        self.escucha.listen(1)
        self.eco_vio_fin = threading.Event()
        threading.Thread(target=self.eco, daemon=True).start()
        self.p, puerto = servidor([os.path.join(DIR, "enlace_lento"), "--destino",
                                   str(self.escucha.getsockname()[1])])
        self.s = socket.create_connection(("127.0.0.1", puerto), timeout=10)
        self.s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.segmentos_eco = 0

    def tearDown(self):
        self.s.close()
        para(self.p)
        self.escucha.close()

    def eco(self):
        c, _ = self.escucha.accept()
        c.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        while True:
            d = c.recv(65536)
            if not d:
                break
            info = c.getsockopt(socket.IPPROTO_TCP, socket.TCP_INFO, 256)
            self.segmentos_eco = struct.unpack_from("I", info, 140)[0]  # tcpi_segs_in
            c.sendall(d)
        self.eco_vio_fin.set()
        c.close()

    def recibe(self, n):
        datos = b""
        while len(datos) < n:
            d = self.s.recv(65536)
            self.assertTrue(d, "the link closed early")
            datos += d
        return datos

    def test_frames_arrive_in_segments_intact_and_late(self):
        trama = bytes(i % 251 for i in range(30000))
        self.s.sendall(trama)
        self.assertEqual(self.recibe(len(trama)), trama)
        # 30,000 bytes in segments of at most 1,448 are at least 21 TCP
        # segments into the far side (Linux's tcp_info counts them).
        self.assertGreaterEqual(self.segmentos_eco, 21)
        vueltas = []
        for _ in range(5):
            t = time.perf_counter()
            self.s.sendall(b"OK")
            self.recibe(2)
            vueltas.append(time.perf_counter() - t)
        self.assertGreaterEqual(min(vueltas), 0.0005)  # 0.25 ms each way

    def test_a_close_reaches_the_far_side(self):
        self.s.sendall(b"fin")
        self.recibe(3)
        self.s.shutdown(socket.SHUT_WR)
        self.assertTrue(self.eco_vio_fin.wait(5))
        self.assertEqual(self.s.recv(10), b"")


if __name__ == "__main__":
    unittest.main()
