"""The console at a keyboard against zizez-sim, through a pseudo-terminal:
\\dt and \\d from the catalogue views, Tab completing table and column names
(and giving nothing, at once, when the catalogue is slow), a console that
forgives (an empty line, a bad output path, a refused load), Ctrl-C during a
long result, and the pager at a terminal only. Then ROWNUM, \\x, CABECERA
and backslash lines in batches and pipes, where every byte counts. POSIX
only for the terminal; skipped when the simulator is not built."""

import os
import shutil
import tempfile
import threading
import time
import unittest

from lib import WINDOWS, Peer, call, expect_eof, make_base, run_vortcp
from test_consola import PROMPT, Sesion, filas, m02, m03, m04, r02, r03, r04
from test_consola_sim import MUESTRAS, SIM
from test_consola_terminal import IZQUIERDA, Terminal, arranca_simulador, para_simulador

GRANDE = ("CREATE TABLE GRANDE AS WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < 20000) "
          "SELECT I AS ID, 'fila numero ' || I AS TEXTO FROM N")


@unittest.skipIf(WINDOWS, "a pseudo-terminal of POSIX")
@unittest.skipUnless(SIM and os.path.isdir(MUESTRAS), "zizez-sim is not built")
class CatalogoEnTerminal(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.raiz = tempfile.mkdtemp(prefix="vortcp_catalogo_")
        cls.sim, cls.puerto = arranca_simulador(cls.raiz)
        r = run_vortcp(["WEB", "-c", GRANDE], cls.raiz, env=cls.entorno(cls.puerto))
        assert r.status == 0, r

    @classmethod
    def tearDownClass(cls):
        para_simulador(cls.sim)
        shutil.rmtree(cls.raiz, ignore_errors=True)

    @staticmethod
    def entorno(puerto, **env):
        entorno = {"SERVIDOR": "127.0.0.1", "SERVPORT": puerto, "BASE": MUESTRAS, "LANG": "ESP", "WWW_LIBL": "DEMO",
                   "TERM": "xterm", "PAGER": ""}
        entorno.update(env)
        return entorno

    def terminal(self, puerto=None, **env):
        self.dir = tempfile.mkdtemp(dir=self.raiz)
        t = Terminal(self, self.dir, dict(self.entorno(puerto or self.puerto, HOME=self.dir), **env))
        t.espera(PROMPT)
        return t

    def test_dt_y_d_de_una_tabla(self):
        t = self.terminal()
        t.escribe(b"\\dt\r")
        t.espera(b"| BIBLIOTECA | NOMBRE      | TIPO  | FILAS | TEXTO                 | \r\n")
        t.espera(b"| DEMO       | ARTICULOS   | tabla | 5     | Articulos del almacen | \r\n")
        t.espera(b"| DEMO       | GRANDE      | tabla | 20000 |                       | \r\n")
        t.espera(PROMPT)
        t.escribe(b"\\d articulos\r")
        t.espera(b"Columnas de DEMO.ARTICULOS\r\n| COLUMNA | TIPO         | NULOS | TEXTO               | \r\n")
        for linea in (b"| CODIGO  | CHAR(8)      | no    | Codigo de articulo  | ",
                      b"| PRECIO  | DECIMAL(9,2) | si    | Precio unitario     | ",
                      b"| STOCK   | INTEGER      | si    | Unidades en almacen | "):
            t.espera(linea)
        t.espera(PROMPT)
        # A table the catalogue does not know is said, and the console goes on.
        t.escribe(b"\\d DEMO.NOHAY\r")
        t.espera(b"No se encuentra la tabla (DEMO.NOHAY)\r\n" + PROMPT)
        t.escribe(b"quit\r")
        self.assertEqual(t.fin(), 1)

    def test_tab_completa_tablas_y_columnas(self):
        t = self.terminal()
        t.escribe(b"SELECT CODIGO FROM ARTI\t")
        t.espera(b"CULOS ")
        t.escribe(b"WHERE STOCK = 42\r")
        t.espera(b"| ART00004 | ")
        t.espera(PROMPT)
        # A column of a table the line names after the cursor.
        cola = b" FROM CLIENTES WHERE ID = 2"
        t.escribe(b"SELECT " + cola + IZQUIERDA * len(cola) + b"NOMB\t\r")
        t.espera(b"Mu\xf1oz e Hijos")
        t.espera(PROMPT)
        # After an alias, that table's columns.
        cola = b" FROM CLIENTES C WHERE ID = 2"
        t.escribe(b"SELECT C." + cola + IZQUIERDA * len(cola) + b"CIU\t\r")
        t.espera(b"Logro\xf1o")
        t.espera(PROMPT)
        t.escribe(b"\\d FACT\t\r")
        t.espera(b"Columnas de DEMO.FACTURAS")
        t.espera(PROMPT)
        t.escribe(b"quit\r")
        self.assertEqual(t.fin(), 1)

    def test_catalogo_lento_no_detiene_el_prompt(self):
        # Every reply of this simulator comes 3 s late: the catalogue does not
        # answer within the 2 s of a Tab.
        sim, puerto = arranca_simulador(tempfile.mkdtemp(dir=self.raiz), "--retardo-ms", "3000")
        self.addCleanup(para_simulador, sim)
        t = self.terminal(puerto=puerto)
        t.escribe(b"SELECT * FROM ARTI\t")
        # The next key is echoed: Tab has given up, with nothing added.
        t.escribe(b"X")
        t.espera(b"X")
        self.assertNotIn(b"CULOS", t.salida)
        # The catalogue's late reply is dropped before the next statement goes
        # out: the statement gets its own reply.
        t.escribe(b"\x15SELECT COUNT(*) FROM ARTICULOS\r")
        t.espera(b"| 5 | \r\n( 1 filas )")
        t.espera(PROMPT)
        t.escribe(b"quit\r")
        self.assertEqual(t.fin(), 1)

    def test_vertical_automatico_segun_el_ancho_del_terminal(self):
        t = self.terminal()
        t.escribe(b"\\x auto\r")
        t.espera(b"Una linea por columna: auto.\r\n" + PROMPT)
        # Four values of 20 characters and their delimiters: wider than 80
        # columns.
        t.escribe(b"SELECT DESCRIP, DESCRIP AS B, DESCRIP AS C, DESCRIP AS D FROM ARTICULOS WHERE STOCK = 42\r")
        t.espera(b"-[ FILA 1 ]")
        t.espera(b"DESCRIP | Llave inglesa 250 mm\r\nB       | Llave inglesa 250 mm\r\n")
        t.espera(PROMPT)
        t.escribe(b"SELECT CODIGO FROM ARTICULOS WHERE STOCK = 42\r")
        t.espera(b"| ART00004 | \r\n( 1 filas )")
        t.espera(PROMPT)
        t.escribe(b"quit\r")
        self.assertEqual(t.fin(), 1)

    def test_la_consola_perdona(self):
        t = self.terminal()
        with open(os.path.join(self.dir, "ARTICULOS.dat"), "w") as f:
            f.write("1~ART00001~Repetido~1.00~1\n")
        t.escribe(b"\r")
        t.espera(b"\r\n" + PROMPT)
        t.escribe(b"output no/existe/x.txt\r")
        t.espera(b"Imposible abrir (no/existe/x.txt)\r\n" + PROMPT)
        t.escribe(b"loadsql ARTICULOS.dat\r")
        t.espera(b"error. se cancela \r\n" + PROMPT)
        # Output stayed on the screen, and the session is whole.
        t.escribe(b"SELECT COUNT(*) FROM ARTICULOS\r")
        t.espera(b"| 5 | \r\n( 1 filas )")
        t.espera(PROMPT)
        t.escribe(b"quit\r")
        self.assertEqual(t.fin(), 1)

    def test_ctrl_c_detiene_las_filas_y_vuelve_al_prompt(self):
        t = self.terminal()
        t.escribe(b"SELECT * FROM GRANDE\r")
        # Nothing more is read from the terminal until Ctrl-C: the console
        # waits with rows left to write.
        t.espera(b"fila numero 300 ")
        t.escribe(b"\x03")
        t.espera(b"Consulta detenida: no se piden mas filas.\r\n" + PROMPT)
        self.assertLess(t.salida.count(b"fila numero"), 20000)
        self.assertNotIn(b"( 20000 filas )", t.salida)
        t.escribe(b"SELECT COUNT(*) FROM GRANDE\r")
        t.espera(b"| 20000 | ")
        t.espera(PROMPT)
        t.escribe(b"quit\r")
        self.assertEqual(t.fin(), 1)

    def test_paginador_solo_en_un_terminal(self):
        paginado = os.path.join(self.raiz, "paginado.txt")
        pager = "cat > " + paginado
        t = self.terminal(PAGER=pager)
        # A short result goes straight to the screen.
        t.escribe(b"SELECT CODIGO FROM ARTICULOS WHERE STOCK = 42\r")
        t.espera(b"| ART00004 | \r\n( 1 filas )")
        t.espera(PROMPT)
        self.assertFalse(os.path.exists(paginado))
        t.escribe(b"SELECT * FROM GRANDE\r")
        t.espera(PROMPT)
        t.escribe(b"\\pager off\r")
        t.espera(b"Paginador: no.\r\n" + PROMPT)
        t.escribe(b"SELECT * FROM GRANDE WHERE ID > 19998\r")
        t.espera(b"| 20000 | fila numero 20000 | ")
        t.espera(PROMPT)
        t.escribe(b"quit\r")
        self.assertEqual(t.fin(), 1)
        with open(paginado, "rb") as f:
            lineas = f.read().split(b"\n")
        self.assertEqual(lineas[0], b"| 1     | fila numero 1     | ")
        self.assertEqual(lineas[-4:], [b"| 20000 | fila numero 20000 | ", b"( 20000 filas )", b"", b""])
        self.assertNotIn(b"fila numero 1     | ", t.salida)
        # A batch and a pipe never page.
        os.remove(paginado)
        env = self.entorno(self.puerto, PAGER=pager)
        r = run_vortcp(["WEB", "-c", "SELECT * FROM GRANDE"], self.dir, env=env)
        self.assertEqual((r.status, r.stdout.count(b"fila numero")), (0, 20000))
        r = run_vortcp(["WEB"], self.dir, env=env, stdin=b"SELECT * FROM GRANDE\n")
        self.assertEqual((r.status, r.stdout.count(b"fila numero")), (1, 20000))
        self.assertFalse(os.path.exists(paginado))


# The columns of the catalogue's table names, as completion reads them.
COLUMNAS_TABLAS = [("TABLE_SCHEMA", 0, 10, 0), ("TABLE_NAME", 0, 10, 0)]


def tab_vuelve_y_la_consola_sigue(test, catalogo, delante=None):
    """Tab after FROM at a terminal against a peer whose catalogue plays
    `catalogo`(conn, vuelto); `vuelto` is set once the key typed after Tab is
    echoed. The statement that follows gets its own reply, the catalogue's
    late one dropped first. delante(port), when given, puts something in
    front of the peer and returns the settings that reach it."""
    s = Sesion()
    vuelto = threading.Event()

    def sirve(conn):
        catalogo(conn, vuelto)
        # The statement's own exchange, once the late reply is dropped.
        conn.read_frame(False)
        conn.send(s.del_servidor(r02([("N", 0, 3, 0)], 1, 1, filas(["5"]))))
    d = tempfile.mkdtemp()
    test.addCleanup(shutil.rmtree, d, True)
    make_base(d)
    peer = Peer(s.saludo() + [call(sirve)])
    with peer:
        env = {**peer.env(), "BASE": d, "LANG": "ESP", "WWW_LIBL": "DEMO", "TERM": "xterm", "PAGER": "", "HOME": d}
        env.update(delante(peer.port) if delante else {})
        t = Terminal(test, d, env)
        t.espera(PROMPT)
        inicio = time.monotonic()
        t.escribe(b"SELECT * FROM ARTI\t")
        t.escribe(b"X")
        t.espera(b"X")
        test.assertLess(time.monotonic() - inicio, 10)
        vuelto.set()
        t.escribe(b"\x15SELECT N FROM T\r")
        t.espera(b"| 5   | \r\n( 1 filas )")
        t.espera(PROMPT)
        t.escribe(b"quit\r")
        test.assertEqual(t.fin(), 1)


def catalogo_a_medias(conn, vuelto):
    """The reply's first bytes at once, the rest only once Tab has given up."""
    s = Sesion()
    conn.read_frame(False)
    respuesta = s.del_servidor(r02(COLUMNAS_TABLAS, 1, 1, filas(["DEMO", "ARTICULOS"])))
    conn.send(respuesta[:15])
    if not vuelto.wait(30):
        raise AssertionError("Tab did not return")
    conn.send(respuesta[15:])


@unittest.skipIf(WINDOWS, "a pseudo-terminal of POSIX")
class CompletadoConUnSoloPlazo(unittest.TestCase):
    """Tab against a scripted catalogue that answers slowly: the 2 seconds
    are those of the whole completion, not of each wait."""

    def test_muchos_bloques_lentos(self):
        # Every block of the table names comes 1 s after its 03, and says
        # more follow: each wait was under the limit, and Tab never returned.
        def lento(conn, vuelto):
            s = Sesion()
            conn.read_frame(False)
            conn.send(s.del_servidor(r02(COLUMNAS_TABLAS, 1, 0, filas(["DEMO", "T0000"]))))
            n = 0
            while True:
                conn.read_frame(False)  # an 03: the late one, once vuelto
                vuelto.wait(1)
                n += 1
                conn.send(s.del_servidor(r03(1, 0, filas(["DEMO", "T%04d" % n]))))
                if vuelto.is_set():
                    return
        tab_vuelve_y_la_consola_sigue(self, lento)

    def test_respuesta_empezada_que_no_acaba(self):
        # The receive that had begun waited for the rest with no limit.
        tab_vuelve_y_la_consola_sigue(self, catalogo_a_medias)


class FilasYFormaFueraDelTerminal(unittest.TestCase):
    """ROWNUM, \\x and CABECERA where each byte counts, against the scripted
    peer; backslash lines from a pipe are statements, as they always were."""

    def corre(self, args, pasos, entrada=b"", env=None, bufer=4096):
        with tempfile.TemporaryDirectory() as d:
            make_base(d)
            s = Sesion()
            saludo = [s.espera("01001%05d00015" % bufer)] + s.saludo()[1:]
            peer = Peer(saludo + pasos + [expect_eof()])
            with peer:
                r = run_vortcp(["WEB"] + args, d, env={**peer.env(), "BASE": d, "LANG": "ESP", **(env or {})},
                               stdin=entrada)
        return r

    def test_rownum_muestra_y_pide_solo_esas_filas(self):
        s = Sesion()
        cols = [("N", 0, 2, 0)]
        # Three rows a block: the fifth row is in the second block, and no
        # third block is asked for.
        pasos = (s.intercambio(m02("SELECT N FROM T"), r02(cols, 3, 0, filas(["1"], ["2"], ["3"])))
                 + s.intercambio(m03(), r03(3, 0, filas(["4"], ["5"], ["6"]))))
        r = self.corre([], pasos, b"SELECT N FROM T\nquit\n", env={"ROWNUM": "5"})
        consola = r.stdout[r.stdout.index(PROMPT):]
        self.assertEqual(consola, PROMPT + b"| 1  | \n| 2  | \n| 3  | \n| 4  | \n| 5  | \n( 5 filas )\n\n" + PROMPT)
        r = self.corre(["-c", "SELECT N FROM T"], pasos, env={"ROWNUM": "5"}, bufer=28000)
        self.assertEqual(r.stdout, b"| N  | \n------\n| 1  | \n| 2  | \n| 3  | \n| 4  | \n| 5  | \n")

    def test_vertical_y_cabecera(self):
        s = Sesion()
        cols = [("CODIGO", 0, 8, 0), ("N", 0, 3, 0)]
        datos = filas(["ART00001", "15"], ["ART00002", "-3"])
        pasos = s.intercambio(m02("SELECT CODIGO, N FROM T"), r02(cols, 2, 1, datos))
        r = self.corre(["-c", "\\x", "-c", "\\timing", "-c", "SELECT CODIGO, N FROM T"], pasos, bufer=28000)
        # The time goes to standard error: standard output holds results alone.
        self.assertEqual(r.status, 0)
        self.assertRegex(r.stderr, rb"^Tiempo: \d+\.\d{3} ms\n$")
        self.assertEqual(r.stdout, b"-[ FILA 1 ]------\nCODIGO | ART00001\nN      | 15\n"
                                   b"-[ FILA 2 ]------\nCODIGO | ART00002\nN      | -3\n")
        # CABECERA=0 takes a batch's line of names away; =1 gives it to a pipe.
        r = self.corre(["-c", "SELECT CODIGO, N FROM T"], pasos, env={"CABECERA": "0"}, bufer=28000)
        self.assertEqual(r.stdout, b"| ART00001 | 15  | \n| ART00002 | -3   | \n")
        r = self.corre([], pasos, b"SELECT CODIGO, N FROM T\n", env={"CABECERA": "1"})
        self.assertIn(PROMPT + b"| CODIGO   | N   | \n------------------\n| ART00001 | 15  | \n", r.stdout)

    def test_barra_desde_una_tuberia_va_al_servidor(self):
        s = Sesion()
        r = self.corre([], s.intercambio(m04("\\dt"), r04(0)), b"\\dt\nquit\n")
        self.assertEqual(r.status, 1)
        self.assertTrue(r.stdout.endswith(PROMPT * 2))


if __name__ == "__main__":
    unittest.main()
