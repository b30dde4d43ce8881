"""The first hour of a new user: the help of --help, the line that names both
places a missing table file was looked for, and README's quick start run as
it is written.

The quick start is taken from README.md as it stands (its fenced blocks), so
that an edit that breaks it fails here. It runs in a scratch folder laid out
as a fresh clone: `build` is the build under test and `samples` a copy of the
repository's. The simulator's block runs as a first terminal would (in its
own process group, stopped with SIGINT as Ctrl-C stops it), the client's
block as a second terminal. The port is the README's unless something on
this machine already listens there (another test run at the same time): then,
and only then, both blocks get a free port instead."""

import glob
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

from lib import WINDOWS, make_base, run_vortcp, shown_path, unused_port

RAIZ = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def readme():
    with open(os.path.join(RAIZ, "README.md"), encoding="utf-8") as f:
        return f.read()


def seccion(texto, titulo):
    """The text of a '## ' section of README, without its title line."""
    inicio = texto.index("\n## " + titulo) + 1
    fin = texto.find("\n## ", inicio)
    return texto[texto.index("\n", inicio) + 1:fin if fin >= 0 else len(texto)]


def primera_columna(tabla):
    """The first column of a markdown table's body rows, without backquotes."""
    filas = [l for l in tabla.splitlines() if l.startswith("|")][2:]
    return [l.split("|")[1].strip().strip("`") for l in filas]


def ajustes_leidos_en_el_codigo():
    """The names of the environment variables the sources read by name."""
    lectura = re.compile(r'\b(?:toma_env|toma_env_entero|env_no_vacia|plat_getenv|getenv)\('
                         r'(?:[^,()]*,\s*)?"([A-Z][A-Z0-9_]*)"\)')
    nombres = set()
    for fuente in glob.glob(os.path.join(RAIZ, "src", "**", "*.cpp"), recursive=True):
        with open(fuente, encoding="utf-8") as f:
            nombres.update(lectura.findall(f.read()))
    return nombres


def partes_de_la_ayuda(texto):
    """The help's sections: title (the unindented line ending in ':') -> the
    (first column, rest) pairs of its indented lines."""
    partes, actual = {}, None
    for linea in texto.splitlines():
        if linea and not linea.startswith(" ") and linea.endswith(":"):
            actual = partes.setdefault(linea.split(" (")[0].rstrip(":"), [])
        elif actual is not None and linea.startswith("  ") and not linea.startswith("   "):
            m = re.match(r"  (\S(?:.*?\S)?)(?: {2,}(\S.*))?$", linea)
            actual.append((m.group(1), m.group(2) or ""))
    return partes


class Ayuda(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls._tmp = tempfile.TemporaryDirectory()
        cls.dir = cls._tmp.name
        cls.ayuda = run_vortcp(["--help"], cls.dir)
        cls.texto = cls.ayuda.stdout.decode("ascii")
        cls.partes = partes_de_la_ayuda(cls.texto)

    @classmethod
    def tearDownClass(cls):
        cls._tmp.cleanup()

    def nombres(self, parte):
        return [n for n, _ in self.partes[parte]]

    def test_ayuda_en_la_salida_estandar_con_estado_0(self):
        self.assertEqual((self.ayuda.status, self.ayuda.stderr), (0, b""))
        self.assertEqual(run_vortcp(["-h"], self.dir).stdout, self.ayuda.stdout)
        # The usage text of a wrong argument count stays what it was.
        uso = run_vortcp([], self.dir)
        self.assertEqual(uso.status, 1)
        self.assertIn(b"** Error de parametros **\n", uso.stdout)
        self.assertNotEqual(uso.stdout, self.ayuda.stdout)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "vortcp.log")))
        for linea in self.texto.splitlines():
            self.assertLessEqual(len(linea), 80, linea)

    def test_cada_modo_y_cada_forma_de_argumento(self):
        modos = " ".join(self.nombres("Modos")).replace(",", " ").split()
        self.assertEqual(sorted(modos), sorted(["MBR", "ALL", "DAT", "DATOS", "LISTA", "SPL", "SPF", "END", "WEB"]))
        argumentos = [n.split()[0] for n in self.nombres("Argumentos")]
        for forma in ("biblioteca", "archivo", "miembro", "tipo", "FECHAD", "HORAD"):
            self.assertIn(forma, argumentos)

    def test_cada_ajuste_una_linea(self):
        # The one list of settings is README's configuration table; what the
        # sources read by name must be in the help too.
        tabla = primera_columna(seccion(readme(), "Configuration"))
        self.assertIn("SERVIDOR", tabla)
        en_la_ayuda = self.nombres("Variables de entorno")
        self.assertEqual(len(en_la_ayuda), len(set(en_la_ayuda)))
        for nombre in set(tabla) | ajustes_leidos_en_el_codigo():
            self.assertIn(nombre, en_la_ayuda, "falta la linea de %s en --help" % nombre)
        self.assertIn("VORTCP_ESPERA", en_la_ayuda)

    def test_estados_de_salida_y_tres_ejemplos(self):
        estados = set()
        for fila in primera_columna(seccion(readme(), "Exit status")):
            estados.update(re.findall(r"\d+", fila))
        self.assertIn("255", estados)
        en_la_ayuda = set(re.findall(r"\d+", " ".join(self.nombres("Estado de salida"))))
        self.assertLessEqual(estados, en_la_ayuda)
        ejemplos = [n for n in self.nombres("Ejemplos") if "vortcp " in n]
        self.assertEqual(len(ejemplos), 3, ejemplos)


class FicheroDeTablas(unittest.TestCase):
    def test_sin_fichero_nombra_los_dos_caminos(self):
        with tempfile.TemporaryDirectory() as d:
            base, raiz = os.path.join(d, "base"), os.path.join(d, "raiz")
            env = {"BASE": base, "WWW_ROOT": raiz, "LANG": "ESP", "VORTCP_LANG": "ESP"}
            r = run_vortcp(["END"], d, env=env)
            primera = shown_path(os.path.join(base, "basico", "ebcdic.ESP"))
            segunda = shown_path(os.path.join(raiz, "config", "ebcdic.ESP"))
            self.assertEqual(r.status, 1)
            self.assertTrue(r.stdout.endswith(("Fichero %s no encontrado.\n\n" % segunda).encode()), r.stdout)
            self.assertEqual(r.stderr, ("Fichero de tablas buscado en %s y en %s\n" % (primera, segunda)).encode())
            # Found at the first place: nothing on standard error.
            make_base(base)
            r = run_vortcp(["END"], d, env={**env, "SERVIDOR": "127.0.0.1", "SERVPORT": str(unused_port())})
            self.assertNotIn(b"no encontrado", r.stdout)
            self.assertNotIn(b"buscado en", r.stderr)


def bloques(texto):
    """The fenced blocks of a markdown text, in order."""
    return re.findall(r"^```[^\n]*\n(.*?)^```", texto, re.M | re.S)


@unittest.skipIf(WINDOWS, "the quick start is for a Linux workstation")
class InicioRapido(unittest.TestCase):
    def setUp(self):
        vortcp = os.environ.get("VORTCP_BIN")
        sim = os.environ.get("ZIZEZ_SIM")
        if not vortcp or not sim:
            self.skipTest("VORTCP_BIN o ZIZEZ_SIM no definidos (se ejecuta con ctest)")
        self.build = os.path.dirname(os.path.realpath(vortcp))
        if os.path.realpath(sim) != os.path.join(self.build, "sim", "zizez-sim"):
            self.skipTest("vortcp y zizez-sim no estan en la misma carpeta de compilacion")
        tmp = tempfile.TemporaryDirectory(prefix="vortcp_inicio_")
        self.addCleanup(tmp.cleanup)
        self.clon = tmp.name
        os.symlink(self.build, os.path.join(self.clon, "build"))
        shutil.copytree(os.path.join(RAIZ, "samples"), os.path.join(self.clon, "samples"))
        self.env = {k: v for k, v in os.environ.items() if k in ("PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS")}
        self.env["HOME"] = self.clon

        texto = seccion(readme(), "Quick start")
        todos = bloques(texto)
        simulador = [i for i, b in enumerate(todos) if b.startswith("build/sim/zizez-sim ")]
        self.assertEqual(len(simulador), 1, "README: el bloque del simulador del inicio rapido")
        self.bloque_sim = todos[simulador[0]]
        self.bloque_cliente = todos[simulador[0] + 1]
        self.puerto = re.search(r"--puerto (\d+)", self.bloque_sim).group(1)
        self.assertIn("SERVPORT=%s" % self.puerto, self.bloque_cliente)

    def arranca_simulador(self, bloque):
        """Runs the simulator's block as a terminal would. Returns the process
        and the lines it printed up to its listening line (or its end)."""
        proc = subprocess.Popen(["bash", "-c", bloque], cwd=self.clon, env=self.env, start_new_session=True,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.addCleanup(self.para, proc)
        lineas, resto, limite = [], b"", time.monotonic() + 60
        while time.monotonic() < limite:
            listo, _, _ = select.select([proc.stdout], [], [], limite - time.monotonic())
            if not listo:
                break
            trozo = os.read(proc.stdout.fileno(), 4096)
            if not trozo:
                break
            resto += trozo
            *completas, resto = resto.split(b"\n")
            lineas += [l.decode("utf-8") for l in completas]
            if any("escuchando en" in l for l in lineas):
                break
        return proc, lineas

    def para(self, proc):
        """Ctrl-C in the simulator's terminal: SIGINT to its process group."""
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGINT)
            try:
                proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
        proc.stdout.close()

    def test_inicio_rapido_tal_como_esta_escrito(self):
        bloque_sim, bloque_cliente = self.bloque_sim, self.bloque_cliente
        sim, lineas = self.arranca_simulador(bloque_sim)
        if sim.poll() is not None and any("no se puede escuchar" in l for l in lineas):
            # The README's port is taken on this machine: a free one instead.
            libre = str(unused_port())
            bloque_sim = bloque_sim.replace(self.puerto, libre)
            bloque_cliente = bloque_cliente.replace("SERVPORT=" + self.puerto, "SERVPORT=" + libre)
            self.puerto = libre
            sim, otra_vez = self.arranca_simulador(bloque_sim)
            lineas += otra_vez
        self.assertIn("zizez-sim: sistema creado en as400 desde samples", lineas)
        self.assertIn("zizez-sim: escuchando en 127.0.0.1:%s" % self.puerto, lineas)

        # Every command that fails is reported with its status; only the
        # console's quit (status 1) may.
        vigia = "trap 'echo \"estado $? en: $BASH_COMMAND\" >&2' ERR\n"
        cliente = subprocess.run(["bash", "-c", vigia + bloque_cliente], cwd=self.clon, env=self.env,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        errores = cliente.stderr.decode("utf-8")
        self.assertEqual(re.findall(r"^estado (\d+) en: (\S+ \S+)", errores, re.M), [("1", "../build/vortcp WEB")],
                         errores)
        self.assertNotIn("Sanitizer", errores)
        salida = cliente.stdout.decode("utf-8")  # UTF-8 throughout, as the terminal

        # The transfer: the tree in copia/, members in UTF-8.
        self.assertIn("Obtiene: DEMO/QRPGLESRC/FACTURA.ile", salida)
        self.assertIn("Obtiene: DEMO/MENSAJES.msg", salida)
        with open(os.path.join(self.clon, "copia", "DEMO", "QRPGLESRC", "FACTURA.ile"), encoding="utf-8") as f:
            self.assertIn("// Autor: J. Núñez Peña", f.read())
        # The console: a query, the sample script and the sample load.
        for texto in ("Muñoz e Hijos", "[UPDATE DEMO.ARTICULOS SET STOCK = STOCK + 100 WHERE STOCK = 0]",
                      "1 filas afectadas.", "stabla=(PROVEEDORES)", "| P001 | Suministros Núñez, S.L. |",
                      "( 4 filas )"):
            self.assertIn(texto, salida)
        for texto in ("Error", "Imposible abrir", "Texto no valido", "no representable", "error."):
            self.assertNotIn(texto, salida)

        # Ctrl-C stops the simulator.
        os.killpg(sim.pid, signal.SIGINT)
        fin = sim.stdout.read().decode("utf-8")
        self.assertEqual(sim.wait(timeout=30), 0)
        self.assertIn("zizez-sim: detenido", fin)


if __name__ == "__main__":
    unittest.main()
