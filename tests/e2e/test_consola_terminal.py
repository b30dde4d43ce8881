"""The SQL console at a keyboard: the real binary on a pseudo-terminal against
zizez-sim. Arrows edit and recall lines, the history outlives the session
(the last 1,000 lines), Tab completes the console's words, Ctrl-C at the
prompt only drops the line, Ctrl-D ends with a line end, and Ctrl-C during a
slow reply ends the run in order with exit status 130. What the terminal
shows is read by waiting for the expected bytes, with a deadline. POSIX only:
skipped under Wine and when the simulator is not built."""

import fcntl
import glob
import os
import pty
import re
import select
import shutil
import struct
import subprocess
import tempfile
import termios
import time
import unittest

from lib import WINDOWS, clean_env, vortcp_bin
from lib.proceso import SANITIZER_MARKERS

MUESTRAS = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "samples"))
SIM = os.environ.get("ZIZEZ_SIM")
PLAZO = 30
ARRIBA = b"\x1b[A"
IZQUIERDA = b"\x1b[D"
HISTORIAL = ".vortcp_historial"


def arranca_simulador(raiz, *opciones):
    """zizez-sim on a free port with the sample system in raiz/bd; returns the
    process and its port."""
    sim = subprocess.Popen([SIM, "--puerto", "0", "--bd", os.path.join(raiz, "bd"), "--muestras", MUESTRAS]
                           + list(opciones), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    for linea in sim.stdout:
        m = re.search(r"escuchando en 127\.0\.0\.1:(\d+)", linea)
        if m:
            return sim, int(m.group(1))
    sim.wait(10)
    raise AssertionError("zizez-sim did not start")


def para_simulador(sim):
    sim.terminate()
    sim.wait(10)
    sim.stdout.close()


class Terminal:
    """One run of vortcp WEB with a pseudo-terminal as its standard input,
    output and error."""

    def __init__(self, test, directorio, env):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            try:
                os.chdir(directorio)
                os.execve(vortcp_bin(), [vortcp_bin(), "WEB"], clean_env(env))
            finally:
                os._exit(127)
        # The size of an ordinary terminal: the console decides the pager and
        # \x auto by it.
        fcntl.ioctl(self.fd, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
        self.salida = b""
        self.visto = 0
        test.addCleanup(self.cierra)

    def escribe(self, teclas):
        os.write(self.fd, teclas)

    def _lee(self, plazo):
        """Adds what the terminal shows within plazo seconds; False once the
        program has closed it or nothing came."""
        listos, _, _ = select.select([self.fd], [], [], max(plazo, 0))
        if not listos:
            return False
        try:
            datos = os.read(self.fd, 4096)
        except OSError:  # EIO: every holder of the terminal has closed it
            return False
        self.salida += datos
        return bool(datos)

    def espera(self, esperado):
        """Waits until `esperado` shows after what the last wait found."""
        limite = time.monotonic() + PLAZO
        while True:
            i = self.salida.find(esperado, self.visto)
            if i >= 0:
                self.visto = i + len(esperado)
                return
            if not self._lee(limite - time.monotonic()):
                raise AssertionError("no llega %r; la terminal muestra:\n%r" % (esperado, self.salida[self.visto:]))

    def fin(self):
        """Reads to the end of the run (the terminal closed by the program)
        and returns its exit status."""
        limite = time.monotonic() + PLAZO
        while self._lee(limite - time.monotonic()):
            pass
        # The terminal closes a moment before the process can be waited for.
        while True:
            pid, estado = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                break
            if time.monotonic() > limite:
                raise AssertionError("vortcp no termina; la terminal muestra:\n%r" % self.salida)
            time.sleep(0.01)
        self.pid = None
        if any(marca in self.salida for marca in SANITIZER_MARKERS):
            raise AssertionError("sanitizer report:\n%s" % self.salida.decode("latin-1"))
        if not os.WIFEXITED(estado):
            raise AssertionError("vortcp died from signal %d:\n%r" % (os.WTERMSIG(estado), self.salida))
        return os.WEXITSTATUS(estado)

    def cierra(self):
        if self.pid is not None:
            os.kill(self.pid, 9)
            os.waitpid(self.pid, 0)
        os.close(self.fd)


@unittest.skipIf(WINDOWS, "a pseudo-terminal of POSIX")
@unittest.skipUnless(SIM and os.path.isdir(MUESTRAS), "zizez-sim is not built")
class ConsolaEnTerminal(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.raiz = tempfile.mkdtemp(prefix="vortcp_terminal_")
        cls.sim, cls.puerto = arranca_simulador(cls.raiz)

    @classmethod
    def tearDownClass(cls):
        para_simulador(cls.sim)
        shutil.rmtree(cls.raiz, ignore_errors=True)

    def setUp(self):
        self.dir = tempfile.mkdtemp(dir=self.raiz)

    def terminal(self, home=True, puerto=None, **env):
        entorno = {"SERVIDOR": "127.0.0.1", "SERVPORT": puerto or self.puerto, "BASE": MUESTRAS, "LANG": "ESP",
                   "WWW_LIBL": "DEMO", "TERM": "xterm", "HOME": self.dir if home else None}
        entorno.update(env)
        t = Terminal(self, self.dir, entorno)
        t.espera(b"sql > ")
        return t

    def test_flechas_completado_e_historial_entre_sesiones(self):
        t = self.terminal()
        t.escribe(b"set dict=1\r")
        t.espera(b"putenv [dict=1]")
        t.espera(b"sql > ")
        # The up arrow recalls the line; the left arrow moves within it.
        t.escribe(ARRIBA + b"\r")
        t.espera(b"putenv [dict=1]")
        t.espera(b"sql > ")
        t.escribe(b"set tes=0" + IZQUIERDA + IZQUIERDA + b"t\r")
        t.espera(b"putenv [test=0]")
        # Tab: a command word, and after "set " a setting with its "=".
        t.espera(b"sql > ")
        t.escribe(b"sqlser\t\r")
        t.espera(b"Activada salida modo SQLSERVER-bcp\r\n")
        t.espera(b"sql > ")
        t.escribe(b"set FORM\tcsv\r")
        t.espera(b"putenv [FORMATO=csv]")
        t.espera(b"sql > ")
        t.escribe(b"quit\r")
        self.assertEqual(t.fin(), 1)
        self.assertEqual(os.stat(os.path.join(self.dir, HISTORIAL)).st_mode & 0o777, 0o600)

        # The next session has the lines of this one: two up, past quit.
        t = self.terminal()
        t.escribe(ARRIBA + ARRIBA + b"\r")
        t.espera(b"putenv [FORMATO=csv]")
        t.espera(b"sql > ")
        t.escribe(b"\x04")
        self.assertEqual(t.fin(), 1)
        self.assertTrue(t.salida.endswith(b"sql > \r\n"), t.salida[-40:])

    def test_historial_guarda_las_ultimas_mil_lineas(self):
        with open(os.path.join(self.dir, HISTORIAL), "w") as f:
            f.write("_HiStOrY_V2_\n" + "".join("l%04d\n" % i for i in range(1, 1006)))
        t = self.terminal()
        t.escribe(b"?\r")
        t.espera(b"set MINSERT=n")
        t.espera(b"sql > ")
        # An empty line only shows a new prompt, and is not kept.
        t.escribe(b"\r")
        t.espera(b"sql > ")
        t.escribe(b"\x04")
        self.assertEqual(t.fin(), 1)
        with open(os.path.join(self.dir, HISTORIAL)) as f:
            lineas = f.read().splitlines()
        self.assertEqual(lineas, ["_HiStOrY_V2_"] + ["l%04d" % i for i in range(7, 1006)] + ["?"])

    def test_ctrl_c_en_el_prompt_solo_quita_la_linea(self):
        # Without HOME there is no history file, and the session is the same.
        t = self.terminal(home=False)
        t.escribe(b"SELECT * FROM BASURA")
        t.espera(b"BASURA")
        t.escribe(b"\x03")
        t.espera(b"\r\nsql > ")
        t.escribe(b"set dict=1\r")
        t.espera(b"putenv [dict=1]")
        t.espera(b"sql > ")
        t.escribe(b"\x04")
        self.assertEqual(t.fin(), 1)
        # The dropped line never reached the server.
        self.assertNotIn(b"Error", t.salida)
        self.assertEqual(os.listdir(self.dir), ["vortcp.log"])

    def test_ctrl_c_con_la_respuesta_en_camino(self):
        # Replies of more than 80 bytes (the handshake's are shorter) come in two
        # pieces, 10 s apart.
        registro = os.path.join(self.dir, "registro")
        os.mkdir(registro)
        sim, puerto = arranca_simulador(tempfile.mkdtemp(dir=self.raiz), "--trozos", "80:10000",
                                        "--registro", registro)
        self.addCleanup(para_simulador, sim)
        t = self.terminal(puerto=puerto)
        t.escribe(b"output sal.txt\r")
        t.espera(b"sql > ")
        t.escribe(b"SELECT CODIGO FROM ARTICULOS WHERE STOCK = 42\r")
        t.espera(b"sql > ")
        t.escribe(b"SELECT CODIGO FROM ARTICULOS\r")

        # Ctrl-C once the server has the query (its log says so).
        limite = time.monotonic() + PLAZO
        while not any(b"SELECT CODIGO FROM ARTICULOS]" in open(n, "rb").read()
                      for n in glob.glob(os.path.join(registro, "*.log"))):
            self.assertLess(time.monotonic(), limite, "the query never reached the server")
            time.sleep(0.01)
        t.escribe(b"\x03")
        t.espera(b"Consulta interrumpida.\r\n")
        self.assertEqual(t.fin(), 130)
        with open(os.path.join(self.dir, "sal.txt"), "rb") as f:
            self.assertEqual(f.read(), b"SELECT CODIGO FROM ARTICULOS WHERE STOCK = 42\n| ART00004 | \n( 1 filas )\n\n"
                                       b"SELECT CODIGO FROM ARTICULOS\n")


if __name__ == "__main__":
    unittest.main()
