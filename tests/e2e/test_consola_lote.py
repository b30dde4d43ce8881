"""The console as a command (vortcp WEB -c, -f, -o, --csv, --sigue): what a
batch sends, byte for byte at the scripted peer; standard output holding the
results alone and standard error the failures; the exit statuses 0, 3, 1 and
255; no vortcp.log; and plain `vortcp WEB` with piped input as before. The
last class runs batches against zizez-sim."""

import csv
import os
import stat
import tempfile
import unittest

from lib import WINDOWS, Peer, close, expect_eof, expect_frame, local_text, make_base, run_vortcp
from test_consola import PROMPT, Sesion, filas, m02, m03, m04, r02, r03, r04, r_error
from test_consola_sim import MUESTRAS, SIM
from test_consola_terminal import arranca_simulador, para_simulador

TITULO = (b"\nvortcp. Trabajo masivo con i-Series.\nCliente TCP del servidor ZIZEZ/400 para i-Series.\n\n\n"
          b"Expanding...\ninicio inicio=0  ilen=58\n")

# Two columns (A of width 3, BB of width 1) and two rows.
COLUMNAS = [("A", 0, 3, 0), ("BB", 0, 1, 0)]
FILAS = filas(["x", "1"], ["yy", "-2"])
# The table of a batch: names over the columns (BB widened to its name), a
# rule as long as the line of names, then the rows.
TABLA = (b"| A   | BB | \n"
         b"------------\n"
         b"| x   | 1  | \n"
         b"| yy  | -2 | \n")


def saludo(bufer):
    """The handshake, message 01 checked: the buffer size it announces."""
    s = Sesion()
    return [expect_frame(s.del_cliente("01001%05d00015" % bufer)), *s.saludo()[1:]]


class Lote:
    """One run of vortcp WEB with `args` against a peer that answers the
    handshake (message 01 announcing `bufer`) and then plays `pasos`."""

    def __init__(self, test, args, pasos, final=None, bufer=28000, env=None, entrada=b"", ficheros=None,
                 salida=None):
        tmp = tempfile.TemporaryDirectory()
        test.addCleanup(tmp.cleanup)
        self.dir = make_base(tmp.name)
        for nombre, contenido in (ficheros or {}).items():
            os.makedirs(os.path.dirname(os.path.join(self.dir, nombre)), exist_ok=True)
            with open(os.path.join(self.dir, nombre), "wb") as f:
                f.write(contenido.encode("latin-1") if isinstance(contenido, str) else contenido)
        self.peer = Peer(saludo(bufer) + list(pasos) + [final or expect_eof()])
        entorno = {"BASE": self.dir, "LANG": "ESP"}
        entorno.update(env or {})
        with self.peer:
            self.r = run_vortcp(["WEB"] + list(args), self.dir, env={**self.peer.env(), **entorno}, stdin=entrada,
                                stdout=salida)

    def fichero(self, nombre):
        return local_text(os.path.join(self.dir, nombre))


class LoteContraElPar(unittest.TestCase):
    def test_consulta_solo_resultados_en_la_salida_y_nada_mas(self):
        s = Sesion()
        e = Lote(self, ["-c", "SELECT A, BB FROM T"], s.intercambio(m02("SELECT A, BB FROM T"),
                                                                    r02(COLUMNAS, 2, 1, FILAS)))
        self.assertEqual((e.r.status, e.r.stdout, e.r.stderr), (0, TABLA, b""))
        # Nothing is written into the folder: no vortcp.log.
        self.assertEqual(sorted(os.listdir(e.dir)), ["basico"])

    def test_error_para_el_lote_y_sigue_lo_continua(self):
        s = Sesion()
        error = r_error("-00204", "A en *LIBL de tipo *FILE no encontrado.")
        args = ["-c", "UPDATE A SET X = 1", "-c", "UPDATE B SET X = 1"]
        # The second statement is never sent: the peer expects the end.
        e = Lote(self, args, s.intercambio(m04("UPDATE A SET X = 1"), error))
        self.assertEqual((e.r.status, e.r.stdout), (3, b""))
        self.assertEqual(e.r.stderr, b"Error: -204 [A en *LIBL de tipo *FILE no encontrado.]\n\n")

        e = Lote(self, ["--sigue"] + args + ["-c", "quit"],
                 s.intercambio(m04("UPDATE A SET X = 1"), error) + s.intercambio(m04("UPDATE B SET X = 1"), r04(2)))
        self.assertEqual((e.r.status, e.r.stdout), (3, b"2 filas afectadas.\n\n"))
        self.assertIn(b"Error: -204", e.r.stderr)

    def test_guion_de_varias_lineas_comentarios_y_marcas(self):
        guion = ("-- informe de prueba\n"
                 "SELECT A,     -- la clave\n"
                 "       BB\n"
                 "  FROM %CURLIB%.T1\n"
                 " WHERE A IN (SELECT A FROM %curlib%.T2);   -- fin\n"
                 "\n"
                 "set WWW_CURLIB=OTRA\n"
                 "UPDATE %CURLIB%.T3 SET X = 'a;b -- c' ;\n"
                 "DELETE FROM T4\r\n"
                 "  WHERE X = 1\n")
        s = Sesion()
        consulta = "SELECT A, BB FROM MILIB.T1 WHERE A IN (SELECT A FROM MILIB.T2)"
        # A first block that is not the last: the query fetches with 03.
        pasos = (s.intercambio(m02(consulta), r02(COLUMNAS, 1, 0, filas(["x", "1"])))
                 + s.intercambio(m03(), r03(1, 1, filas(["yy", "-2"])))
                 + s.intercambio(m04("UPDATE OTRA.T3 SET X = 'a;b -- c'"), r04(1))
                 + s.intercambio(m04("DELETE FROM T4 WHERE X = 1"), r04(0)))
        e = Lote(self, ["-f", "g.sql"], pasos, env={"WWW_CURLIB": "MILIB"}, ficheros={"g.sql": guion})
        self.assertEqual((e.r.status, e.r.stderr), (0, b""))
        self.assertEqual(e.r.stdout, TABLA + b"1 filas afectadas.\n\n")

    def test_guion_de_la_entrada_estandar_que_no_se_puede_abrir(self):
        s = Sesion()
        e = Lote(self, ["-f", "-", "-f", "no/existe.sql", "-c", "UPDATE C"], s.intercambio(m04("UPDATE B"), r04(0)),
                 entrada=b"UPDATE B;\n")
        self.assertEqual((e.r.status, e.r.stdout), (1, b""))
        self.assertEqual(e.r.stderr, b"Imposible abrir (no/existe.sql)\n")

    def test_guion_que_no_se_puede_leer(self):
        # A folder opened, its read failed and was taken for the end: exit 0
        # with nothing said. The same for a read that fails part-way
        # (/proc/self/mem fails at its first byte).
        casos = [("carpeta", "sub", b"Imposible abrir (sub)\n")]
        if os.path.exists("/proc/self/mem"):
            casos.append(("fallo de lectura", "/proc/self/mem", b"Error al leer (/proc/self/mem)\n"))
        for caso, guion, error in casos:
            with self.subTest(caso=caso):
                # Nothing after the script runs.
                e = Lote(self, ["-f", guion, "-c", "UPDATE C"], [], ficheros={"sub/g.sql": "UPDATE B;\n"})
                self.assertEqual((e.r.status, e.r.stdout, e.r.stderr), (1, b"", error))

    def test_salida_csv_en_un_fichero(self):
        s = Sesion()
        pasos = (s.intercambio(m02("SELECT A, BB FROM T"), r02(COLUMNAS, 2, 1, FILAS))
                 + s.intercambio(m04("UPDATE T SET A = 1"), r04(2)))
        e = Lote(self, ["-o", "t.csv", "-c", "SELECT A, BB FROM T", "--csv", "-c", "UPDATE T SET A = 1"], pasos)
        self.assertEqual((e.r.status, e.r.stdout, e.r.stderr), (0, b"", b""))
        # The CSV holds the result set alone.
        self.assertEqual(e.fichero("t.csv"), b"A,BB\nx,1\nyy,-2\n")

    def test_salida_que_no_se_puede_abrir(self):
        e = Lote(self, ["-o", "no/existe.txt", "-c", "UPDATE T"], [])
        self.assertEqual((e.r.status, e.r.stdout), (1, b""))
        self.assertEqual(e.r.stderr, b"Imposible abrir (no/existe.txt)\n")

    @unittest.skipUnless(os.path.exists("/dev/full"), "needs /dev/full")
    def test_salida_estandar_que_no_admite_los_resultados(self):
        # Results that a full standard output could not take ended the batch
        # with 0 and no word when they fitted its buffer, and as a closed pipe
        # (141) when they did not; a console fed by a pipe ended with 141 too.
        # A failure to write is a local failure, as for any file.
        s = Sesion()
        grande = r02([("A", 0, 1000, 0)], 20, 1, filas(*[["x" * 1000]] * 20))
        casos = (("resultado pequeno", ["-c", "SELECT A, BB FROM T"], b"",
                  s.intercambio(m02("SELECT A, BB FROM T"), r02(COLUMNAS, 2, 1, FILAS)), 28000),
                 # The next statement is never sent.
                 ("resultado grande", ["-c", "SELECT A FROM T", "-c", "UPDATE T"], b"",
                  s.intercambio(m02("SELECT A FROM T"), grande), 28000),
                 ("consola por una tuberia", [], b"SELECT A, BB FROM T\nquit\n", [], 4096))
        for caso, args, entrada, pasos, bufer in casos:
            with self.subTest(caso=caso), open("/dev/full", "wb") as llena:
                e = Lote(self, args, pasos, bufer=bufer, entrada=entrada, salida=llena)
                self.assertEqual((e.r.status, e.r.stderr), (1, b"Error al grabar (salida estandar)\n"))

    def test_opcion_desconocida_no_conecta(self):
        with tempfile.TemporaryDirectory() as d:
            for args, rechazada in ((["-x"], b"-x"), (["-c", "SELECT 1", "-f"], b"-f"), (["--csv=1"], b"--csv=1")):
                r = run_vortcp(["WEB"] + args, d)
                self.assertEqual((r.status, r.stdout, r.stderr), (1, b"", b"Opcion no valida (" + rechazada + b")\n"))
            self.assertEqual(os.listdir(d), [])

    def test_conexion_perdida(self):
        s = Sesion()
        e = Lote(self, ["-c", "UPDATE A", "-c", "UPDATE B"], [s.espera(m04("UPDATE A"))], final=close())
        self.assertEqual((e.r.status, e.r.stdout), (255, b""))
        self.assertTrue(e.r.stderr.endswith(b"Conexion perdida con el servidor.\n"), e.r.stderr)

    def test_carpeta_donde_no_se_puede_escribir(self):
        # vortcp.log cannot be made there (a folder holds its name; and the
        # folder is read-only where the system honours it): the console at
        # the prompt cannot start, a batch needs nothing written.
        s = Sesion()
        with tempfile.TemporaryDirectory() as d:
            make_base(d)
            trabajo = os.path.join(d, "solo_lectura")
            os.makedirs(os.path.join(trabajo, "vortcp.log"))
            if not WINDOWS:
                os.chmod(trabajo, stat.S_IRUSR | stat.S_IXUSR)
            try:
                peer = Peer(saludo(28000) + s.intercambio(m04("UPDATE A"), r04(1)) + [expect_eof()])
                with peer:
                    r = run_vortcp(["WEB", "-c", "UPDATE A"], trabajo, env={**peer.env(), "BASE": d, "LANG": "ESP"})
                self.assertEqual((r.status, r.stdout, r.stderr), (0, b"1 filas afectadas.\n\n", b""))
                r = run_vortcp(["WEB"], trabajo, env={"BASE": d, "LANG": "ESP"}, stdin=b"quit\n")
                self.assertEqual(r.status, 1)
                self.assertIn(b"No se puede abrir el fichero de log. (vortcp.log)", r.stdout)
            finally:
                os.chmod(trabajo, stat.S_IRWXU)

    def test_sin_opciones_cada_byte_como_antes(self):
        # Piped lines: the title, the LZW lines, the prompts, no line of column
        # names, the summary; message 01 announces the console's 4096.
        s = Sesion()
        e = Lote(self, [], s.intercambio(m02("SELECT A, BB FROM T"), r02(COLUMNAS, 2, 1, FILAS)),
                 bufer=4096, entrada=b"SELECT A, BB FROM T\nquit\n")
        self.assertEqual((e.r.status, e.r.stderr), (1, b""))
        self.assertEqual(e.r.stdout, TITULO + PROMPT + b"| x   | 1 | \n| yy  | -2 | \n( 2 filas )\n\n" + PROMPT)
        self.assertIn("vortcp.log", os.listdir(e.dir))


@unittest.skipUnless(SIM and os.path.isdir(MUESTRAS), "zizez-sim is not built")
class LoteContraElSimulador(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.raiz = tempfile.mkdtemp(prefix="vortcp_lote_")
        cls.sim, cls.puerto = arranca_simulador(cls.raiz)

    @classmethod
    def tearDownClass(cls):
        para_simulador(cls.sim)

    def test_exportacion_csv_y_tabla(self):
        d = tempfile.mkdtemp(dir=self.raiz)
        env = {"SERVIDOR": "127.0.0.1", "SERVPORT": self.puerto, "BASE": MUESTRAS, "LANG": "ESP",
               "WWW_LIBL": "DEMO"}
        consulta = "SELECT CODIGO, DESCRIP, STOCK FROM ARTICULOS WHERE STOCK < 50"
        r = run_vortcp(["WEB", "-c", consulta, "--csv", "-o", "bajo.csv"], d, env=env)
        self.assertEqual((r.status, r.stdout, r.stderr), (0, b"", b""))
        with open(os.path.join(d, "bajo.csv"), newline="", encoding="cp1252") as f:
            self.assertEqual(list(csv.reader(f)), [["CODIGO", "DESCRIP", "STOCK"],
                                                   ["ART00004", "Llave inglesa 250 mm", "42"],
                                                   ["ART00005", "Cinta métrica 5 m", "0"]])
        r = run_vortcp(["WEB", "-c", "SELECT CODIGO, STOCK FROM ARTICULOS WHERE STOCK < 50"], d, env=env)
        self.assertEqual(r.status, 0)
        self.assertEqual(r.stdout.decode("latin-1").splitlines(),
                         ["| CODIGO   | STOCK | ", "--------------------", "| ART00004 | 42    | ",
                          "| ART00005 | 0     | "])


if __name__ == "__main__":
    unittest.main()
