"""vortcp on a workstation of today: --version, the table file's
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
from test_consola import PROMPT, Sesion, ejecuta, filas, m02, m03, m04, r02, r04
from test_consola_scripts import fila, m04s, m05, r05

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
    def test_version(self):
        # --help and -h: test_primera_hora.
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


def c(texto):
    """A text as the CP1252 bytes the test helpers (which take Latin-1) send."""
    return texto.encode("cp1252").decode("latin-1")


class ConsolaUtf8(Temporal):
    """The console of a UTF-8 run: what a person writes is sent as the same
    CP1252 (then EBCDIC) as when it is written in CP1252; what the server
    sends is shown and written in UTF-8."""

    def corre(self, utf8, entrada, pasos, ficheros=None, codificacion="latin-1"):
        carpeta = tempfile.mkdtemp(dir=self.dir)
        for nombre, texto in (ficheros or {}).items():
            with open(os.path.join(carpeta, nombre), "wb") as f:
                f.write(texto.encode(codificacion))
        s = Sesion()
        env = {"VORTCP_CODIFICACION": "UTF-8"} if utf8 else {}
        return ejecuta(self, pasos(s), entrada.encode(codificacion), env=env, dir_trabajo=carpeta,
                       sesion=s)

    def test_lo_escrito_viaja_como_su_forma_cp1252(self):
        guion = "UPDATE T SET N='Ñandú';\nloadsql T1.dat;\n"
        backup = "1~año~€\n"

        def pasos(s):
            return (s.intercambio(m04(c("UPDATE T SET A='ñá€'")), r04(1))
                    + s.intercambio(m04s(c("UPDATE T SET N='Ñandú'")), r04(1))
                    + s.intercambio(m05("T1", [fila(c("año"), c("€"))], 2), r05(1)))
        entrada = "UPDATE T SET A='ñá€'\nfsql g.sql\n"
        ficheros = {"g.sql": guion, "T1.dat": backup}
        cp = self.corre(False, entrada, pasos, ficheros, "cp1252")
        u8 = self.corre(True, entrada, pasos, ficheros, "utf-8")
        self.assertEqual(u8.peer.received, cp.peer.received)
        self.assertEqual(u8.estado, 1)

    def test_un_caracter_sin_forma_cp1252_no_se_envia(self):
        guion = "UPDATE T SET N='\u2603';\nUPDATE T SET N='ok';\n"
        backup = "1~\u2603\n2~ok\n"

        def pasos(s):
            return (s.intercambio(m04s("UPDATE T SET N='ok'"), r04(1))
                    + s.intercambio(m05("T1", [fila("ok")], 1), r05(1)))
        e = self.corre(True, "UPDATE T SET A='\u2603'\nfsql g.sql\nloadsql T1.dat\n", pasos,
                       {"g.sql": guion, "T1.dat": backup}, "utf-8")
        consola = e.consola.decode("utf-8")
        self.assertIn("Caracter no representable en CP1252 en (UPDATE T SET A='\u2603')\n", consola)
        self.assertEqual(consola.count("Caracter no representable en CP1252 en (g.sql)\n"), 1)
        self.assertEqual(consola.count("Caracter no representable en CP1252 en (T1.dat)\n"), 1)

    def test_resultados_y_ayuda_en_utf8(self):
        def pasos(s):
            return s.intercambio(m02("SELECT N FROM T"), r02([("N", 1, 6, 0)], 2, 1, filas([c("año")], [c("€uro")])))
        e = self.corre(True, "SELECT N FROM T\n?\n", pasos)
        consola = e.consola.decode("utf-8")
        for texto in ("año", "€uro", "ejecución", "máximo"):
            self.assertIn(texto, consola)


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
