"""Queries and statements at the console end to end: the display bytes of
messages 02 and 03, the fetch loop and its endings, errors and rows affected,
the output file and bcp mode, EBCDIC sessions and the cursor of the replies."""

import unittest

from test_consola import (AF, PROMPT, Sesion, ejecuta, filas, m02, m03, m04, r02, r03, r04, r_error)

COLS = [("nombre", 1, 6, 0), ("importe", 2, 4, 0), ("nota", 3, 3, 0)]
SQL = "SELECT nombre, importe, nota FROM T"


class Presentacion(unittest.TestCase):
    def test_anchos_negativos_y_nulos(self):
        datos = filas(["ANA", "12", "x"], ["JOSE L", "-250", ""], ["", "-1", "abc"])
        for ebcdic in (False, True):
            with self.subTest(ebcdic=ebcdic):
                s = Sesion(ebcdic)
                e = ejecuta(self, s.intercambio(m02(SQL), r02(COLS, 3, 1, datos)), SQL + "\n", sesion=s)
                # Widths 6, 4 and 3, one more for a value with a leading "-";
                # an empty value (NULL) is all blanks.
                self.assertEqual(e.consola, PROMPT + (
                    b"| ANA    | 12   | x   | \n"
                    b"| JOSE L | -250  |     | \n"
                    b"|        | -1    | abc | \n"
                    b"( 3 filas )\n\n") + PROMPT)

    def test_bcp_dict_y_select_en_minusculas(self):
        s = Sesion()
        sql = "select nombre from T"
        e = ejecuta(self, s.intercambio(m02(sql), r02(COLS[:1], 2, 1, filas(["A"], ["-B"]))),
                    "set DICT=1\nsqlserver\n" + sql + "\n")
        self.assertTrue(e.consola.endswith(
            b"sql > \t(0)  NOMBRE  1  6  0\n"
            b"A     ~\n-B     ~\n"
            b"( 2 filas )\n\n" + PROMPT), e.consola)

    def test_muchas_capturas(self):
        s = Sesion()
        cols = [("n", 0, 5, 0)]
        pasos = s.intercambio(m02("SELECT n FROM T"), r02(cols, 0, 0, ""))
        esperado = b""
        for bloque in range(40):
            pasos += s.intercambio(m03(), r03(3, 0, filas(*[[str(bloque * 3 + i)] for i in range(3)])))
            esperado += b"".join(b"| %-5d | \n" % (bloque * 3 + i) for i in range(3))
        pasos += s.intercambio(m03(), r_error("000100", "", mensaje="03"))
        e = ejecuta(self, pasos, "SELECT n FROM T\n", env={"WWW_BUFSIZE": "64"})
        self.assertEqual(e.consola, PROMPT + esperado + b"( 120 filas )\n\n" + PROMPT)

    def test_ultimo_bloque_en_captura(self):
        s = Sesion()
        cols = [("n", 0, 2, 0)]
        pasos = (s.intercambio(m02("SELECT n FROM T"), r02(cols, 1, 0, filas(["1"])))
                 + s.intercambio(m03(), r03(1, 1, filas(["2"]))))
        e = ejecuta(self, pasos, "SELECT n FROM T\n")
        self.assertEqual(e.consola, PROMPT + b"| 1  | \n| 2  | \n( 2 filas )\n\n" + PROMPT)

    def test_sigue_raro_termina_en_silencio(self):
        s = Sesion()
        cols = [("n", 0, 2, 0)]
        pasos = s.intercambio(m02("SELECT n FROM T"), r02(cols, 1, 7, filas(["1"])))
        e = ejecuta(self, pasos, "SELECT n FROM T\n")
        self.assertEqual(e.consola, PROMPT + b"| 1  | \n" + PROMPT)

    def test_recuento_mayor_que_lo_recibido(self):
        s = Sesion()
        cols = [("a", 0, 2, 0), ("b", 0, 2, 0)]
        pasos = s.intercambio(m02("SELECT a, b FROM T"), r02(cols, 500, 1, "x" + AF + "y" + AF + "z"))
        e = ejecuta(self, pasos, "SELECT a, b FROM T\n")
        # The second row is cut by the end of the payload: it is not shown.
        self.assertEqual(e.consola, PROMPT + b"| x  | y  | \n( 1 filas )\n\n" + PROMPT)

    def test_demasiadas_columnas(self):
        s = Sesion()
        cols = [("c%d" % i, 0, 1, 0) for i in range(151)]
        pasos = s.intercambio(m02("SELECT * FROM ANCHA"), r02(cols, 1, 0, filas(["x"] * 151)))
        e = ejecuta(self, pasos, "SELECT * FROM ANCHA\n")
        self.assertEqual(e.consola, PROMPT + b"Demasiadas columnas (151)\n" + PROMPT)


class Errores(unittest.TestCase):
    def test_error_al_abrir_y_en_captura(self):
        s = Sesion()
        cols = [("n", 0, 2, 0)]
        pasos = (s.intercambio(m02("SELECT * FROM NOHAY"),
                               r_error("-00204", "NOHAY en *LIBL no es de tipo *FILE.", mensaje="02"))
                 + s.intercambio(m02("SELECT * FROM VACIA"), r_error("000100", "", mensaje="02"))
                 + s.intercambio(m02("SELECT n FROM T"), r02(cols, 1, 0, filas(["1"])))
                 + s.intercambio(m03(), r_error("-00802", "Desbordamiento", mensaje="03")))
        e = ejecuta(self, pasos, "SELECT * FROM NOHAY\nSELECT * FROM VACIA\nSELECT n FROM T\n")
        self.assertEqual(e.consola, (
            PROMPT + b"Error: -204 [NOHAY en *LIBL no es de tipo *FILE.]\n\n"
            + PROMPT + b"Error: 100 [000100]\n\n"
            + PROMPT + b"| 1  | \nError: -802 [Desbordamiento]\n\n" + PROMPT))

    def test_filas_afectadas(self):
        s = Sesion()
        pasos = (s.intercambio(m04("UPDATE T SET A=1"), r04(3))
                 + s.intercambio(m04("UPDATE T SET A=2"), r04(0))
                 + s.intercambio(m04("DELETE FROM T WHERE 1=0"), r_error("000100", ""))
                 + s.intercambio(m04("INSERT INTO X"), r_error("-00204", "X no existe"))
                 + s.intercambio(m04("GRANT"), r_error("000123", "aviso")))
        e = ejecuta(self, pasos, "UPDATE T SET A=1\nUPDATE T SET A=2\nDELETE FROM T WHERE 1=0\n"
                                 "INSERT INTO X\nGRANT\n")
        self.assertEqual(e.consola, (
            PROMPT + b"3 filas afectadas.\n\n" + PROMPT + PROMPT + b"\n"
            + PROMPT + b"Error: -204 [X no existe]\n\n"
            + PROMPT + b"Error: 123 [000123aviso]\n\n" + PROMPT))

    def test_cursor_de_la_respuesta(self):
        s = Sesion()
        cols = [("n", 0, 1, 0)]
        pasos = (s.intercambio(m04("COMMIT WORK"), r04(0, cursor=5))
                 + s.intercambio(m02("SELECT n FROM T", cursor=5), r02(cols, 0, 0, "", cursor=399))
                 + s.intercambio(m03(399), r03(1, 1, filas(["7"])))
                 + s.intercambio(m04("COMMIT", cursor=399), r04(1, cursor=999))
                 + s.intercambio(m04("COMMIT", cursor=399), r04(0, cursor=2)))
        e = ejecuta(self, pasos, "COMMIT WORK\nSELECT n FROM T\nCOMMIT\nCOMMIT\n")
        self.assertEqual(e.consola, (
            PROMPT + PROMPT + b"| 7 | \n( 1 filas )\n\n" + PROMPT + b"Cursor no valido (999)\n"
            + PROMPT + PROMPT))


class FicheroDeSalida(unittest.TestCase):
    def test_fichero_normal_y_bcp(self):
        s = Sesion()
        cols = [("a", 0, 3, 0), ("b", 0, 2, 0)]
        datos = filas(["AB", "-5"], ["", "1"])
        pasos = (s.intercambio(m02("SELECT a, b FROM T"), r02(cols, 2, 1, datos))
                 + s.intercambio(m04("UPDATE T SET b=1"), r04(2))
                 + s.intercambio(m04("BAD"), r_error("-00104", "sintaxis"))
                 + s.intercambio(m02("SELECT a, b FROM T"), r02(cols, 2, 1, datos))
                 + s.intercambio(m04("UPDATE T SET b=1"), r04(2))
                 + s.intercambio(m04("BAD"), r_error("-00104", "sintaxis")))
        e = ejecuta(self, pasos, "output n.txt\nSELECT a, b FROM T\nUPDATE T SET b=1\nBAD\n"
                                 "sqlserver\noutput b.bcp\nSELECT a, b FROM T\nUPDATE T SET b=1\nBAD\n")
        self.assertEqual(e.fichero("n.txt"), (
            b"SELECT a, b FROM T\n| AB  | -5  | \n|     | 1  | \n( 2 filas )\n\n"
            b"UPDATE T SET b=1\n2 filas afectadas.\n\n"
            b"BAD\nError: -104 [sintaxis]\n\n"))
        # A bcp file holds the statement lines and the rows, nothing else.
        self.assertEqual(e.fichero("b.bcp"), b"SELECT a, b FROM T\nAB ~-5 ~\n   ~1 ~\nUPDATE T SET b=1\nBAD\n")
        self.assertNotIn(b"filas", e.consola)
        self.assertNotIn(b"Error", e.consola)


if __name__ == "__main__":
    unittest.main()
