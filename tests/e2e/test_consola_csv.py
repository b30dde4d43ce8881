"""FORMATO=csv end to end against zizez-sim: a table whose values hold
commas, quotes, line ends, blanks and NULLs, shown as CSV into an output file
and on the screen, read back with the csv module and compared with the rows
that SQLite holds; an unknown format. Skipped when the simulator is not
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

TABLA = ("CREATE TABLE RAROS (ID INTEGER, TEXTO VARCHAR(40), FIJO CHAR(6), NUM INTEGER)\n"
         "INSERT INTO RAROS VALUES (1, 'uno, dos', 'ab', 5)\n"
         "INSERT INTO RAROS VALUES (2, 'dice \"hola\" y \"\"', NULL, -7)\n"
         "INSERT INTO RAROS VALUES (3, 'linea' || char(10) || 'nueva', '  x', NULL)\n"
         "INSERT INTO RAROS VALUES (4, 'retorno' || char(13) || char(10) || 'fin  ', '', 0)\n"
         "INSERT INTO RAROS VALUES (5, NULL, '\"', -123)\n"
         "INSERT INTO RAROS VALUES (6, '   ', 'a;b', 12)\n")


@unittest.skipUnless(SIM and os.path.isdir(MUESTRAS), "zizez-sim is not built")
class ConsolaCsv(unittest.TestCase):
    def setUp(self):
        self.raiz = tempfile.mkdtemp(prefix="vortcp_csv_")
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
        entorno = {"SERVIDOR": "127.0.0.1", "SERVPORT": self.puerto, "BASE": MUESTRAS, "LANG": "ESP",
                   "WWW_LIBL": "DEMO"}
        entorno.update(env)
        r = run_vortcp(["WEB"], self.dir, env=entorno, stdin=entrada.encode("latin-1"), timeout=60)
        self.assertEqual(r.status, 1, r.stdout)
        return r.stdout[r.stdout.find(PROMPT):]

    def filas_de_sqlite(self):
        """The rows of RAROS as the server holds them, as CSV should give them
        back: NULL empty, trailing blanks gone."""
        with sqlite3.connect(os.path.join(self.raiz, "bd", "DEMO.db")) as bd:
            filas = bd.execute("SELECT ID, TEXTO, FIJO, NUM FROM RAROS ORDER BY ID").fetchall()
        return [["" if v is None else str(v).rstrip(" ") for v in fila] for fila in filas]

    def test_fichero_y_pantalla_en_csv(self):
        salida = self.consola(TABLA)
        self.assertNotIn(b"Error", salida)
        esperadas = [["ID", "TEXTO", "FIJO", "NUM"]] + self.filas_de_sqlite()
        self.assertEqual(len(esperadas), 7)
        # Several fetches with a small buffer give the same file.
        for env in ({}, {"WWW_BUFSIZE": "64"}):
            with self.subTest(env=env):
                salida = self.consola("set FORMATO=csv\noutput raros.csv\nSELECT * FROM RAROS ORDER BY ID\n"
                                      "SELECT * FROM NOHAY\nUPDATE RAROS SET NUM = 1 WHERE ID = 0\n"
                                      "output\nSELECT ID, NUM FROM RAROS WHERE ID < 3 ORDER BY ID\n", **env)
                texto = local_text(os.path.join(self.dir, "raros.csv")).decode("latin-1")
                # Nothing but the result in the file: no statement, summary or error.
                self.assertEqual(list(csv.reader(io.StringIO(texto, newline=""))), esperadas)
                self.assertIn(PROMPT + b"( 6 filas )\n\n" + PROMPT + b"Error: -204 [", salida)
                self.assertTrue(salida.endswith(PROMPT + b"ID,NUM\n1,5\n2,-7\n( 2 filas )\n\n" + PROMPT), salida)

    def test_formato_desconocido_muestra_la_tabla(self):
        salida = self.consola("SELECT CODIGO, STOCK FROM ARTICULOS WHERE STOCK < 50\n", FORMATO="xml")
        self.assertEqual(salida, PROMPT + b"Formato desconocido (xml)\n| ART00004 | 42 | \n| ART00005 | 0  | \n"
                                           b"( 2 filas )\n\n" + PROMPT)


if __name__ == "__main__":
    unittest.main()
