"""Hostile and damaged input, second round, on the real binary against a
scripted server: script lines judged whole, NUL bytes in console lines,
scripts and backup files, backup files with empty lines and a final Ctrl-Z,
frame lengths below 10 and the end of a lost session, a table file path that
is a directory, lying column widths and row counts, and control bytes from
the server shown on a terminal (a pseudo-terminal; not under Wine)."""

import os
import tempfile
import unittest

from lib import (WINDOWS, Peer, close, ebcdic_frame, expect_eof, expect_frame, frame, make_base, read_frame,
                 run_on_terminal, run_vortcp, send, shown_path, to_ebcdic)
from test_consola import AF, PROMPT, Sesion, ejecuta, filas, m02, m04, r02, r04, r_error
from lib.transferencia import Arbol



def m05(tabla, filas_lote, campos, lote):
    """Message 05 as the loader builds it (its length field is 4 more than
    the message)."""
    return "05001001%5d%3d%s%5d%5d%s" % (len(lote) + len(tabla) + 30, len(tabla), tabla, filas_lote,
                                         campos, lote)


def fila05(*valores):
    return "".join("\xae" + v for v in valores) + "\xae"


class LineasDeScriptYConsola(unittest.TestCase):
    def escribe(self, e_dir, nombre, datos):
        with open(os.path.join(e_dir, nombre), "wb") as f:
            f.write(datos)

    def test_linea_larga_juzgada_entera_y_control_z_final(self):
        # Read in 599-character pieces, the second piece of this line began
        # with " -" and was dropped as a comment: the server ran a statement
        # that kept only 15000 and 2 out of the list.
        cabeza = "DELETE FROM ARTICULOS WHERE STOCK NOT IN (15000,"
        larga = cabeza + " " * (599 - len(cabeza)) + " -1, 9800," * 60 + " 2);"
        self.assertEqual(larga[599:601], " -")
        s = Sesion()
        pasos = (s.intercambio(m04(larga[:-1], cursor=1), r04(0, cursor=1))
                 + s.intercambio(m04("UPDATE T SET A=1", cursor=1), r04(1, cursor=1)))
        with tempfile.TemporaryDirectory() as d:
            # The final Ctrl-Z is the end of the file, not a last statement.
            self.escribe(d, "s.sql", (larga + "\n-- nota\nUPDATE T SET A=1;\n").encode() + b"\x1a")
            e = ejecuta(self, pasos, "fsql s.sql\n", dir_trabajo=d)
        self.assertEqual(e.estado, 1)
        self.assertIn(b"1 filas afectadas.\n\n", e.consola)

    def test_lineas_con_byte_nulo_no_se_ejecutan(self):
        # The NUL cut the console line short and the next line was taken as
        # its rest; in a script it cut the statement before its WHERE.
        script = (b"DELETE FROM ARTICULOS\x00 WHERE CODIGO = 'ART00001';\n"
                  b"DELETE FROM ARTICULOS\n"
                  b" WHERE CODIGO = 'ART00002'\x00 OR 1=1\n"
                  b";\n"
                  b"-- nota\x00\n"
                  b"UPDATE T SET A=1;\n"
                  b"\x00DELETE FROM ARTICULOS")
        s = Sesion()
        pasos = (s.intercambio(m04("UPDATE T SET B=2"), r04(0))
                 + s.intercambio(m04("UPDATE T SET A=1", cursor=1), r04(0, cursor=1)))
        with tempfile.TemporaryDirectory() as d:
            self.escribe(d, "s.sql", script)
            e = ejecuta(self, pasos, b"SELEC\x00T * FROM T\nUPDATE T SET B=2\nfsql s.sql\n",
                        dir_trabajo=d)
        self.assertEqual(e.estado, 1)
        self.assertEqual(e.consola, PROMPT + b"Byte nulo en la linea 1 de (consola)\n" + PROMPT + PROMPT
                         + b"\n"
                         b"Byte nulo en la linea 1 de (s.sql)\n"
                         b"Byte nulo en la linea 3 de (s.sql)\n"
                         b"Byte nulo en la linea 5 de (s.sql)\n"
                         b"[UPDATE T SET A=1]\n"
                         b"Byte nulo en la linea 7 de (s.sql)\n" + PROMPT)

    def test_copia_con_lineas_vacias_nulo_y_control_z(self):
        # An empty first line loaded nothing; a final Ctrl-Z became a row of
        # one field and the server refused the batch.
        datos = b"\r\n1~A~B\r\n2~C~D\n3~E\x00~F\n\n4~G~H\n\x1a"
        lote = fila05("A", "B") + fila05("C", "D") + fila05("G", "H")
        s = Sesion()
        pasos = s.intercambio(m05("T1", 3, 2, lote), "05001001" + "00000OK 000003")
        with tempfile.TemporaryDirectory() as d:
            self.escribe(d, "T1.dat", datos)
            e = ejecuta(self, pasos, "loadsql T1.dat\n", dir_trabajo=d)
        self.assertEqual(e.estado, 1)
        self.assertEqual(e.consola,
                         PROMPT + b"\nstabla=(T1)\nByte nulo en la linea 4 de (T1.dat)\n3..\n" + PROMPT)


class TramasYSesionPerdida(unittest.TestCase):
    def test_longitudes_por_debajo_de_10_y_fin_que_se_dice(self):
        # -000000246 ended the console with exit status 0 (-256), a length of
        # 5 with 251; a lost connection at test level 0 ended without a word.
        casos = [
            ("0", [send(b"-000000246")], b""),
            ("0", [send(b"0000000005abcde")], b""),
            ("0", [], b""),
            ("1", [send(b"-000000246")], b"Longitud de trama no valida (-246)\n"),
        ]
        for nivel, respuesta, mensaje in casos:
            with self.subTest(nivel=nivel, respuesta=respuesta):
                pasos = [read_frame(False)] + respuesta
                e = ejecuta(self, pasos, "UPDATE T SET A=1\nUPDATE T SET A=2\n", env={"TEST": nivel},
                            final=close())
                self.assertEqual(e.estado, 255, e.r.stderr)
                self.assertIn(mensaje, e.r.stdout)
                self.assertEqual(e.r.stderr, b"Conexion perdida con el servidor.\n" if nivel == "0" else b"")


class TramaCortaEnTransferencia(Arbol):
    def test_longitud_5_se_dice(self):
        # It ended the run with 255 and no message at all.
        pasos = [read_frame(), send(to_ebcdic("0000000005") + b"abcde"), expect_eof()]
        r = self.corre(["MBR", "LIB1"], pasos, estado=255)
        self.assertIn(b"Longitud de trama no valida (5)\n", r.stdout)


class TablaQueEsUnDirectorio(unittest.TestCase):
    def test_directorio_como_fichero_de_tabla(self):
        # It was accepted as an empty table.
        fin = ebcdic_frame("9600070" + " " * 63)
        with tempfile.TemporaryDirectory() as d:
            base = os.path.join(d, "base")
            os.makedirs(os.path.join(base, "basico", "ebcdic.ESP"))
            www = make_base(os.path.join(d, "www"))
            os.rename(os.path.join(www, "basico"), os.path.join(www, "config"))
            trabajo = os.path.join(d, "trabajo")
            os.makedirs(os.path.join(trabajo, "config", "ebcdic.ESP"))
            # The second place holds the file: it is used.
            with Peer([expect_frame(fin), expect_eof()]) as peer:
                r = run_vortcp(["END"], trabajo,
                               env={**peer.env(), "BASE": base, "WWW_ROOT": www, "LANG": "ESP"})
            self.assertEqual(r.status, 0, r.stdout)
            # A directory in both places: no table file, no connection.
            r = run_vortcp(["END"], trabajo, env={"BASE": base, "LANG": "ESP", "SERVIDOR": "127.0.0.1"})
            self.assertEqual(r.status, 1)
            self.assertTrue(r.stdout.endswith(b"Fichero %s no encontrado.\n\n"
                                              % shown_path("config/ebcdic.ESP").encode()), r.stdout)


class RespuestasQueMienten(unittest.TestCase):
    def test_anchos_imposibles_y_filas_que_no_llegaron(self):
        # 150 columns wider than any column of the database, each row only
        # its 150 end bytes: every received byte became 40,000 blanks. Then
        # 99,999 rows claimed with two bytes and no columns: 100,000 lines.
        s = Sesion()
        anchas = [("c%d" % i, 1, 40000, 0) for i in range(150)]
        pasos = (s.intercambio(m02("SELECT * FROM A"), r02(anchas, 180, 1, AF * 150 * 180))
                 + s.intercambio(m02("SELECT * FROM B"), r02([("a", 1, 32766, 0)], 9, 1, filas(["x"])))
                 + s.intercambio(m02("SELECT * FROM C"), r02([], 99999, 1, "ab")))
        e = ejecuta(self, pasos, "SELECT * FROM A\nSELECT * FROM B\nSELECT * FROM C\n")
        self.assertEqual(e.estado, 1)
        # The widest character column of the database is still a column.
        ancha = b"| x" + b" " * 32765 + b" | \n"
        self.assertEqual(e.consola, PROMPT + b"Ancho de columna no valido (40000)\n"
                         + PROMPT + ancha + b"( 1 filas )\n\n"
                         + PROMPT + b"( 0 filas )\n\n" + PROMPT)


@unittest.skipIf(WINDOWS, "no pseudo-terminal for a program run under Wine")
class BytesDeControlEnUnTerminal(unittest.TestCase):
    def test_consola(self):
        # Result values, descriptor names, error texts and CMD replies: the
        # terminal gets "?" for each control byte; a pipe gets them all.
        s = Sesion()
        columnas = [("n\x1b]0;x\x07", 1, 6, 0), ("v", 2, 6, 0)]
        valores = filas(["\x1b[2Jab", "b\tc\x7f"])
        pasos = (s.intercambio(m02("SELECT n, v FROM T"), r02(columnas, 1, 1, valores))
                 + s.intercambio(m04("DROP TABLE X"), r_error("-00204", "No\x1b[31m existe", mensaje="04"))
                 + s.intercambio("0700006dspjob", "Trabajo\x1b]2;t\x07 listo", comprimida=True))
        entrada = b"set DICT=1\nSELECT n, v FROM T\nDROP TABLE X\ncmd dspjob\n"
        with tempfile.TemporaryDirectory() as d:
            make_base(d)
            peer = Peer(s.saludo() + pasos + [expect_eof()])
            with peer:
                estado, pantalla, _ = run_on_terminal(["WEB"], d, {**peer.env(), "BASE": d, "LANG": "ESP"},
                                                  entrada)
        self.assertEqual(estado, 1, pantalla)
        self.assertIn(b"\t(0)  N?]0;X?  1  6  0\n", pantalla)
        self.assertIn(b"| ?[2Jab | b\tc?   | \n", pantalla)
        self.assertIn(b"Error: -204 [No?[31m existe]\n\n", pantalla)
        self.assertIn(b" [Trabajo?]2;t? listo]\n", pantalla)
        self.assertNotIn(b"\x1b", pantalla)
        self.assertNotIn(b"\x07", pantalla)

        tuberia = ejecuta(self, pasos, entrada).consola
        for intactos in (b"N\x1b]0;X\x07", b"\x1b[2Jab | b\tc\x7f", b"[No\x1b[31m existe]",
                         b"[Trabajo\x1b]2;t\x07 listo]"):
            self.assertIn(intactos, tuberia)

    def test_spool(self):
        datos = b"\x1b" + to_ebcdic("[2JLISTADO") + b"\x07\x05"
        b67 = to_ebcdic("67%05d0080" % (11 + len(datos))) + datos
        pasos = [read_frame(), send(frame(b67)), expect_frame(ebcdic_frame("OK")),
                 send(frame(to_ebcdic("00"))), expect_eof()]
        with tempfile.TemporaryDirectory() as d:
            make_base(d)
            peer = Peer(pasos)
            with peer:
                estado, pantalla, _ = run_on_terminal(["SPL", "LIB1"], d,
                                                  {**peer.env(), "BASE": d, "LANG": "ESP"})
        self.assertEqual(estado, 0, pantalla)
        self.assertIn(b"?[2JLISTADO??\n", pantalla)
        self.assertNotIn(b"\x1b", pantalla)


if __name__ == "__main__":
    unittest.main()
