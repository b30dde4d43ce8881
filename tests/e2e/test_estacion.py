"""vortcp on a workstation of today: --help and --version, the table file's
language on POSIX, text for a person in UTF-8 on request, and the progress
line and summary of a transfer on a terminal."""

import os
import pty
import re
import shutil
import subprocess
import tempfile
import unittest

from lib import WINDOWS, Peer, clean_env, ebcdic_frame, expect_eof, expect_frame, make_base, run_vortcp, vortcp_bin

RAIZ = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
MUESTRAS = os.path.abspath(os.path.join(RAIZ, "samples"))
SIM = os.environ.get("ZIZEZ_SIM")
PETICION_END = "9600070" + " " * 63


def version():
    with open(os.path.join(RAIZ, "CMakeLists.txt")) as f:
        return re.search(r"project\(vortcp VERSION ([0-9.]+)", f.read()).group(1)


class Temporal(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vortcp_est_")
        self.addCleanup(shutil.rmtree, self.dir, True)


class LineaDeOrdenes(Temporal):
    def test_ayuda_y_version(self):
        uso = run_vortcp([], self.dir)
        self.assertEqual(uso.status, 1)
        for arg in ("--help", "-h"):
            r = run_vortcp([arg], self.dir)
            self.assertEqual((r.status, r.stdout), (0, uso.stdout))
        r = run_vortcp(["--version"], self.dir)
        self.assertEqual((r.status, r.stdout), (0, ("vortcp %s\n" % version()).encode()))
        # Anything else is read as always: an unknown keyword.
        self.assertEqual(run_vortcp(["--Version"], self.dir).status, 1)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "vortcp.log")))

    def test_codificacion_no_soportada(self):
        r = run_vortcp(["END"], self.dir, env={"VORTCP_CODIFICACION": "latin1"})
        self.assertEqual(r.status, 1)
        self.assertTrue(r.stdout.endswith(b"Codificacion no soportada (latin1)\n"), r.stdout)

    @unittest.skipIf(WINDOWS, "on Windows LANG is the language itself")
    def test_vortcp_lang_sobre_el_lang_del_sistema(self):
        make_base(self.dir, "ESP")
        r = run_vortcp(["END"], self.dir, env={"BASE": self.dir, "LANG": "C.UTF-8"})
        self.assertEqual(r.status, 1)
        self.assertIn(b"ebcdic.C.UTF-8 no encontrado", r.stdout)
        peer = Peer([expect_frame(ebcdic_frame(PETICION_END)), expect_eof()])
        with peer:
            r = run_vortcp(["END"], self.dir, env={**peer.env(), "BASE": self.dir, "LANG": "C.UTF-8",
                                                  "VORTCP_LANG": "ESP"})
        self.assertEqual(r.status, 0, r.stdout)


@unittest.skipUnless(SIM and os.path.isdir(MUESTRAS), "zizez-sim is not built")
class ConSimulador(Temporal):
    def setUp(self):
        super().setUp()
        self.sim = subprocess.Popen([SIM, "--puerto", "0", "--bd", os.path.join(self.dir, "bd"),
                                     "--muestras", MUESTRAS], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                    text=True)
        self.addCleanup(self.para)
        for linea in self.sim.stdout:
            m = re.search(r"escuchando en 127\.0\.0\.1:(\d+)", linea)
            if m:
                self.puerto = m.group(1)
                break
        self.trabajo = os.path.join(self.dir, "trabajo")
        os.mkdir(self.trabajo)

    def para(self):
        self.sim.terminate()
        self.sim.wait(10)
        self.sim.stdout.close()

    def entorno(self, **extra):
        return {"SERVIDOR": "127.0.0.1", "SERVPORT": self.puerto, "BASE": MUESTRAS, "LANG": "ESP", **extra}

    def lee(self, *ruta):
        with open(os.path.join(self.trabajo, *ruta), "rb") as f:
            return f.read().replace(b"\r\n", b"\n")

    def test_miembros_mensajes_y_spool_en_utf8(self):
        for lib in ("DEMO", "HIST"):
            r = run_vortcp(["ALL", lib], self.trabajo, env=self.entorno(VORTCP_CODIFICACION="UTF-8"), timeout=60)
            self.assertEqual(r.status, 0, r.stdout)
        mensajes = self.lee("DEMO", "MENSAJES.msg").decode("utf-8")
        for texto in ("año no válida", "1 € por encima"):
            self.assertIn(texto, mensajes)
        self.assertIn("Núñez Peña", self.lee("HIST", "QRPGLESRC", "CIERRE19.ile").decode("utf-8"))
        # The raw copies keep their bytes.
        otro = os.path.join(self.dir, "otro")
        os.mkdir(otro)
        for carpeta, extra in ((self.trabajo, {"VORTCP_CODIFICACION": "UTF-8"}), (otro, {})):
            self.assertEqual(run_vortcp(["DAT", "DEMO"], carpeta, env=self.entorno(**extra), timeout=60).status, 0)
        crudos = [n for n in os.listdir(os.path.join(otro, "DEMO")) if n.endswith(".ebc")]
        self.assertTrue(crudos)
        for nombre in crudos:
            with open(os.path.join(otro, "DEMO", nombre), "rb") as f:
                self.assertEqual(self.lee("DEMO", nombre), f.read().replace(b"\r\n", b"\n"), nombre)
        spool = run_vortcp(["SPL", "DEMO"], self.trabajo, env=self.entorno(VORTCP_CODIFICACION="UTF-8"))
        spool.stdout.decode("utf-8")
        self.assertIn("ñ".encode(), spool.stdout)
        sin = run_vortcp(["SPL", "DEMO"], self.trabajo, env=self.entorno())
        self.assertNotIn("ñ".encode(), sin.stdout)

    @unittest.skipIf(WINDOWS, "a pseudo-terminal is POSIX")
    def test_progreso_y_resumen_solo_en_un_terminal(self):
        # Standard error on a pseudo-terminal, standard output in a pipe:
        # the output is byte for byte that of a run without the terminal.
        primero = run_vortcp(["ALL", "DEMO"], self.trabajo, env=self.entorno())
        self.assertEqual(primero.status, 0)
        self.assertNotIn(b"Total:", primero.stderr)
        maestro, esclavo = pty.openpty()
        p = subprocess.Popen([vortcp_bin(), "ALL", "DEMO"], cwd=self.trabajo, env=clean_env(self.entorno()),
                             stdout=subprocess.PIPE, stderr=esclavo, stdin=subprocess.DEVNULL)
        os.close(esclavo)
        terminal = b""
        while True:
            try:
                trozo = os.read(maestro, 65536)
            except OSError:
                break
            if not trozo:
                break
            terminal += trozo
        salida = p.stdout.read()
        p.stdout.close()
        self.assertEqual(p.wait(30), 0)
        os.close(maestro)
        self.assertEqual(salida, primero.stdout)
        self.assertRegex(terminal.decode("latin-1"),
                         r"Total: 28 objetos, [0-9.]+ registros, [0-9.]+ bytes en \d+,\d s \(\d+ KB/s\); "
                         r"0 incompletos\r?\n$")
        # VORTCP_PROGRESO=1 asks for them through a pipe too; 0 keeps them off.
        r = run_vortcp(["ALL", "DEMO"], self.trabajo, env=self.entorno(VORTCP_PROGRESO="1"))
        self.assertIn(b"Total: 28 objetos", r.stderr)
        self.assertEqual(r.stdout, primero.stdout)


if __name__ == "__main__":
    unittest.main()
