"""The helpers of make bench: the launcher's figures, the paired rounds, the
lock-step limit pair and the delaying link. A benchmark table is only as
true as these; the C helpers are compiled here from bench/."""

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

BANCO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench")
sys.path.insert(0, BANCO)
import medida  # noqa: E402
from medida import FalloDeEjecucion, Medida, ejecuta, rondas  # noqa: E402
from tabla import Fila, tabla_markdown  # noqa: E402

DIR = tempfile.mkdtemp(prefix="bench-tools-")


def setUpModule():
    for prog in ("mide", "limite_servidor", "limite_cliente", "enlace_lento"):
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
                 Fila.omitida("z", "no lftp")]
        texto = tabla_markdown(filas, 8192)
        self.assertIn("| x | 300.00 ms | 1.000 s | 0.30 | <= 0.20: NOT met | 5 | 8.8 MB (over) |", texto)
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
