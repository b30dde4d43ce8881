"""zizez-sim ($ZIZEZ_SIM) for a test: one process on a free loopback port
over a system of its own built from the sample system (MUESTRAS).

    sim = Simulador("--broker", "0", "--max-sesiones", "4")
    ... SERVIDOR=127.0.0.1 SERVPORT=sim.puerto ...
    self.assertEqual(sim.stop(), 0)   # ends on SIGTERM, no sanitizer report

Without ZIZEZ_SIM (a run outside CTest) the test is skipped.
"""

import os
import re
import signal
import subprocess
import tempfile
import time
import unittest

MUESTRAS = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                                         "samples"))


def sim_bin():
    ruta = os.environ.get("ZIZEZ_SIM")
    if not ruta:
        raise unittest.SkipTest("ZIZEZ_SIM no definido (se ejecuta con ctest)")
    return ruta


class Simulador:
    """One zizez-sim process on a free loopback port; stop() checks that it
    ends cleanly on SIGTERM."""

    def __init__(self, *opciones, bd=None):
        self.dir = tempfile.mkdtemp(prefix="zizez-")
        self.bd = bd or os.path.join(self.dir, "bd")
        self.registro = os.path.join(self.dir, "registro")
        os.makedirs(self.registro)
        self.proc = subprocess.Popen(
            [sim_bin(), "--bd", self.bd, "--muestras", MUESTRAS, "--registro", self.registro] + list(opciones),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.puerto = None
        fin = time.time() + 20
        while time.time() < fin:
            linea = self.proc.stdout.readline().decode("latin-1")
            m = re.search(r"escuchando en 127\.0\.0\.1:(\d+)", linea)
            if m:
                self.puerto = int(m.group(1))
                break
            if not linea:
                break
        if self.puerto is None:
            self.proc.kill()
            raise AssertionError("el simulador no arranca: %r" % self.proc.stderr.read())

    def stop(self, senal=signal.SIGTERM):
        if self.proc.poll() is None:
            self.proc.send_signal(senal)
        try:
            estado = self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise AssertionError("el simulador no para con la senal %d" % senal)
        errores = self.proc.stderr.read()
        self.proc.stdout.close()
        self.proc.stderr.close()
        for marca in (b"Sanitizer", b"runtime error:"):
            if marca in errores:
                raise AssertionError("informe del sanitizer en el simulador:\n%s" % errores.decode("latin-1"))
        return estado

    def pids_de_sesion(self):
        """The pids of the sessions that have a log (sesion-PORT-PID.log)."""
        return [int(n.split("-")[2].split(".")[0]) for n in os.listdir(self.registro)]
