"""The SQL console end to end against zizez-sim ($ZIZEZ_SIM) with SQLite
behind it, on the sample system: a query shown alike in ASCII and EBCDIC
sessions and with a small buffer (many fetches), bcp files, rows affected and
errors, a script with %CURLIB%, backup loads in every batching mode, CMD, and
FORMATO=csv read back with the csv module. Skipped when the simulator is not
built."""

import csv
import io
import os
import re
import shutil
import sqlite3
import subprocess
import tempfile
import unittest

from lib import local_text, run_vortcp

MUESTRAS = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "samples"))
SIM = os.environ.get("ZIZEZ_SIM")
PROMPT = b"sql > "

ARTICULOS = (b"| ART00001 | 0.12  | 15000 | \n"
             b"| ART00002 | 0.08  | 9800  | \n"
             b"| ART00004 | 14.95 | 42    | \n"
             b"| ART00005 | 6.50  | 0     | \n"
             b"| ART00006 | 3.75  | 310   | \n"
             b"( 5 filas )\n\n")

# Values with commas, quotes, line ends, blanks and NULLs.
RAROS = ("CREATE TABLE RAROS (ID INTEGER, TEXTO VARCHAR(40), FIJO CHAR(6), NUM INTEGER)\n"
         "INSERT INTO RAROS VALUES (1, 'uno, dos', 'ab', 5)\n"
         "INSERT INTO RAROS VALUES (2, 'dice \"hola\" y \"\"', NULL, -7)\n"
         "INSERT INTO RAROS VALUES (3, 'linea' || char(10) || 'nueva', '  x', NULL)\n"
         "INSERT INTO RAROS VALUES (4, 'retorno' || char(13) || char(10) || 'fin  ', '', 0)\n"
         "INSERT INTO RAROS VALUES (5, NULL, '\"', -123)\n"
         "INSERT INTO RAROS VALUES (6, '   ', 'a;b', 12)\n")


@unittest.skipUnless(SIM and os.path.isdir(MUESTRAS), "zizez-sim is not built")
class ConsolaSimulador(unittest.TestCase):
    def setUp(self):
        self.raiz = tempfile.mkdtemp(prefix="vortcp_sql_sim_")
        self.dir = os.path.join(self.raiz, "trabajo")
        os.mkdir(self.dir)
        self.sim = subprocess.Popen([SIM, "--puerto", "0", "--bd", os.path.join(self.raiz, "bd"),
                                     "--muestras", MUESTRAS],
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.puerto = None
        for linea in self.sim.stdout:
            m = re.search(r"escuchando en 127\.0\.0\.1:(\d+)", linea)
            if m:
                self.puerto = int(m.group(1))
                break
        if self.puerto is None:
            self.fail("zizez-sim did not start")

    def tearDown(self):
        self.sim.terminate()
        self.sim.wait(10)
        self.sim.stdout.close()
        shutil.rmtree(self.raiz, ignore_errors=True)

    def consola(self, entrada, **env):
        """Runs a session with `entrada` on stdin; returns its output from the
        first prompt on."""
        entorno = {"SERVIDOR": "127.0.0.1", "SERVPORT": self.puerto, "BASE": MUESTRAS, "LANG": "ESP",
                   "WWW_LIBL": "DEMO"}
        entorno.update(env)
        r = run_vortcp(["WEB"], self.dir, env=entorno, stdin=entrada.encode("latin-1"), timeout=60)
        self.assertEqual(r.status, 1, r.stdout)
        return r.stdout[r.stdout.find(PROMPT):]

    def fichero(self, nombre):
        """A text file the console wrote, with its line ends as LF."""
        return local_text(os.path.join(self.dir, nombre))

    def test_consulta_igual_en_ascii_ebcdic_y_con_buffer_pequeno(self):
        sql = "SELECT CODIGO, PRECIO, STOCK FROM ARTICULOS\n"
        for env in ({}, {"WWW_EBCDIC": "1"}, {"WWW_BUFSIZE": "64"}, {"WWW_EBCDIC": "1", "WWW_BUFSIZE": "80"}):
            with self.subTest(env=env):
                self.assertEqual(self.consola(sql, **env), PROMPT + ARTICULOS + PROMPT)

    def test_bcp_filas_afectadas_y_errores(self):
        salida = self.consola("sqlserver\noutput art.bcp\nSELECT CODIGO, STOCK FROM ARTICULOS WHERE STOCK < 50\n"
                              "output\nUPDATE ARTICULOS SET STOCK = 1 WHERE STOCK = 0\n"
                              "UPDATE ARTICULOS SET STOCK = 1 WHERE STOCK = -1\nSELECT * FROM NOHAY\n")
        self.assertEqual(self.fichero("art.bcp"), b"SELECT CODIGO, STOCK FROM ARTICULOS WHERE STOCK < 50\n"
                                                   b"ART00004~42~\nART00005~0 ~\n")
        self.assertIn(PROMPT + b"1 filas afectadas.\n\n" + PROMPT + b"\n" + PROMPT + b"Error: -204 [", salida)

    def test_guion_con_curlib(self):
        salida = self.consola("fsql %s\nSELECT CODIGO FROM ARTICULOS WHERE STOCK = 100\n"
                              % os.path.join(MUESTRAS, "scripts", "informe.sql"), WWW_CURLIB="DEMO")
        self.assertIn(b"[UPDATE DEMO.ARTICULOS SET STOCK = STOCK + 100 WHERE STOCK = 0]\n1 filas afectadas.\n\n",
                      salida)
        self.assertIn(b"[SELECT COUNT(*) FROM DEMO.ARTICULOS]\n", salida)
        self.assertTrue(salida.endswith(PROMPT + b"| ART00005 | \n( 1 filas )\n\n" + PROMPT), salida)

    def test_cargas_en_todos_los_modos(self):
        shutil.copy(os.path.join(MUESTRAS, "backup", "PROVEEDORES.dat"), self.dir)
        with open(os.path.join(self.dir, "PROVEEDORES.dat"), "rb") as f:
            total = len(f.read().splitlines())
        carga = "DELETE FROM PROVEEDORES\nloadsql PROVEEDORES.dat\nSELECT COUNT(*) FROM PROVEEDORES\n"
        for env, progreso in (({}, b"%d.." % total),
                              ({"MINSERT": "1"}, b"".join(b"%d.." % i for i in range(1, total + 1))),
                              ({"WWW_BUFSIZE": "60"}, None)):
            with self.subTest(env=env):
                salida = self.consola(carga, **env)
                if progreso:
                    self.assertIn(b"\nstabla=(PROVEEDORES)\n" + progreso + b"\n", salida)
                m = re.search(rb"\| (\d+) +\| \n\( 1 filas \)", salida)
                self.assertIsNotNone(m, salida)
                self.assertEqual(int(m.group(1)), total)
        # Loading the same rows again breaks the key: the run ends there.
        salida = self.consola("loadsql PROVEEDORES.dat\nSELECT COUNT(*) FROM PROVEEDORES\n", MINSERT="1")
        self.assertRegex(salida, rb"stabla=\(PROVEEDORES\)\nError: -803 \[[^]]*\]\n\nerror. se cancela \n$")

    def test_cmd(self):
        salida = self.consola("cmd DSPJOB\n")
        self.assertRegex(salida, rb"retorna: rc=\d+ \[")
        self.assertIn(b"Biblioteca actual . . . :  DEMO", salida)

    def test_csv_en_fichero_y_en_pantalla(self):
        self.assertNotIn(b"Error", self.consola(RAROS))
        with sqlite3.connect(os.path.join(self.raiz, "bd", "DEMO.db")) as bd:
            filas = bd.execute("SELECT ID, TEXTO, FIJO, NUM FROM RAROS ORDER BY ID").fetchall()
        # NULL empty, trailing blanks gone.
        esperadas = [["ID", "TEXTO", "FIJO", "NUM"]] + [["" if v is None else str(v).rstrip(" ") for v in f]
                                                        for f in filas]
        for env in ({}, {"WWW_BUFSIZE": "64"}):
            with self.subTest(env=env):
                salida = self.consola("set FORMATO=csv\noutput raros.csv\nSELECT * FROM RAROS ORDER BY ID\n"
                                      "SELECT * FROM NOHAY\noutput\nSELECT ID, NUM FROM RAROS WHERE ID < 3\n", **env)
                # The file holds the result alone: no statement, summary or error.
                texto = self.fichero("raros.csv").decode("latin-1")
                self.assertEqual(list(csv.reader(io.StringIO(texto, newline=""))), esperadas)
                self.assertIn(PROMPT + b"( 6 filas )\n\n" + PROMPT + b"Error: -204 [", salida)
                self.assertTrue(salida.endswith(PROMPT + b"ID,NUM\n1,5\n2,-7\n( 2 filas )\n\n" + PROMPT), salida)

    def test_formato_desconocido_muestra_la_tabla(self):
        salida = self.consola("SELECT CODIGO, STOCK FROM ARTICULOS WHERE STOCK < 50\n", FORMATO="xml")
        self.assertEqual(salida, PROMPT + b"Formato desconocido (xml)\n| ART00004 | 42 | \n| ART00005 | 0  | \n"
                                           b"( 2 filas )\n\n" + PROMPT)


if __name__ == "__main__":
    unittest.main()
