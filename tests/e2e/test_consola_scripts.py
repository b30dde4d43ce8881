"""Script files (fsql) and the backup loader (loadsql) end to end: the
statements and the 05 batches as the peer receives them, the echo and count
lines, and the endings (end, errors, a rejected batch)."""

import os
import tempfile
import unittest

from lib import call, close, expect_eof
from test_consola import AE, PROMPT, Sesion, ejecuta, r04, r_error


def m04s(sentencia):
    """A script's message 04: session and cursor always 1."""
    return "04001001%5d%s" % (len(sentencia) + 13, sentencia)


def fila(*campos):
    return AE + AE.join(campos) + AE


def m05(tabla, filas, campos):
    lote = "".join(filas)
    # The length field counts 4 more than the message.
    return "05001001%5d%3d%s%5d%5d%s" % (len(lote) + len(tabla) + 30, len(tabla), tabla, len(filas),
                                         campos, lote)


def r05(n):
    return "0500100100000OK %06d" % n


class Guiones(unittest.TestCase):
    def escribe(self, e_dir, nombre, contenido):
        os.makedirs(os.path.dirname(os.path.join(e_dir, nombre)), exist_ok=True)
        with open(os.path.join(e_dir, nombre), "wb") as f:
            f.write(contenido.encode("latin-1") if isinstance(contenido, str) else contenido)

    def ejecuta_guion(self, contenido, pasos, entrada="fsql g.sql\n", nombre="g.sql", extra=None, **kw):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.escribe(tmp.name, nombre, contenido)
        for n, c in (extra or {}).items():
            self.escribe(tmp.name, n, c)
        return ejecuta(self, pasos, entrada, dir_trabajo=tmp.name, **kw)

    def test_comentarios_lineas_unidas_marcas_y_end(self):
        guion = ("-- comentario\n# otro\n$ tercero\n -x\na-b no se envia\n\n"
                 "SELECT *\nFROM %CURLIB%.T1;\n"
                 "UPDATE %curlib%.A SET X='%CURLIB%';\n"
                 "INSERT INTO X VALUES(1);   \nDELETE FROM Y;\n"
                 "Endtable;\n"
                 "end;\nSELECT 'nunca';\n")
        s = Sesion()
        for curlib, lib in ((None, "VERIVUD"), ("MILIB", "MILIB")):
            with self.subTest(curlib=curlib):
                sentencias = ["SELECT *FROM %s.T1" % lib, "UPDATE %s.A SET X='%s'" % (lib, lib),
                              "INSERT INTO X VALUES(1);   DELETE FROM Y", "Endtable"]
                pasos = (s.intercambio(m04s(sentencias[0]), r04(0))
                         + s.intercambio(m04s(sentencias[1]), r04(2))
                         + s.intercambio(m04s(sentencias[2]), r_error("-00204", "Y no existe"))
                         + s.intercambio(m04s(sentencias[3]), r_error("000100", "")))
                e = self.ejecuta_guion(guion, pasos, env={"WWW_CURLIB": curlib})
                eco = [b"[%s]\n" % x.encode() for x in sentencias]
                self.assertEqual(e.consola, (
                    PROMPT + b"\n" + eco[0] + eco[1] + b"2 filas afectadas.\n\n"
                    + eco[2] + b"Error: -204 [Y no existe]\n\n" + eco[3] + b"\n" + b"[end]\n"
                    + PROMPT))

    def test_crlf_y_ultima_sentencia_sin_punto_y_coma(self):
        s = Sesion()
        pasos = (s.intercambio(m04s("DROP TABLE A"), r04(0))
                 + s.intercambio(m04s("CREATE TABLE B (X INT)"), r04(0)))
        e = self.ejecuta_guion("DROP TABLE A;\r\n\r\nCREATE TABLE B\r\n (X INT)", pasos)
        self.assertEqual(e.consola, PROMPT + b"\n[DROP TABLE A]\n[CREATE TABLE B (X INT)]\n" + PROMPT)

    def test_ultima_linea_sin_salto_se_ejecuta(self):
        s = Sesion()
        pasos = s.intercambio(m04s("DELETE FROM VERIVUD.T"), r04(1))
        e = self.ejecuta_guion("DELETE FROM %CURLIB%.T;", pasos)
        self.assertEqual(e.consola, PROMPT + b"\n[DELETE FROM VERIVUD.T]\n1 filas afectadas.\n\n" + PROMPT)

    def test_fichero_que_no_existe_y_sentencia_larga(self):
        larga = ("X" * 500 + "\n") * 61 + ";\n"
        s = Sesion()
        e = self.ejecuta_guion(larga + "COMMIT;\n", s.intercambio(m04s("COMMIT"), r04(0)),
                               entrada="fsql   nohay.sql\nfsql g.sql\n")
        self.assertEqual(e.consola, (
            PROMPT + b"\nImposible abrir (nohay.sql)\n" + PROMPT
            + b"\nSentencia demasiado larga (30500 caracteres)\n[COMMIT]\n" + PROMPT))

    def test_eco_en_el_fichero_de_salida(self):
        s = Sesion()
        e = self.ejecuta_guion("UPDATE T SET A=1;\n", s.intercambio(m04s("UPDATE T SET A=1"), r04(4)),
                               entrada="output s.txt\nfsql g.sql\n")
        self.assertEqual(e.fichero("s.txt"), b"[UPDATE T SET A=1]\n4 filas afectadas.\n\n")

    def test_loadsql_en_un_guion(self):
        s = Sesion()
        pasos = (s.intercambio(m05("T1", [fila("A", "B")], 2), r05(1))
                 + s.intercambio(m04s("COMMIT"), r04(0)))
        e = self.ejecuta_guion("loadsql datos/T1.dat;\nCOMMIT;\n", pasos,
                               extra={"datos/T1.dat": "1~A~B\n"})
        self.assertEqual(e.consola, (PROMPT + b"\n[loadsql datos/T1.dat]\n\nstabla=(T1)\n1..\n[COMMIT]\n"
                                     + PROMPT))

    def test_sesion_perdida_en_un_guion_y_en_una_carga(self):
        # The rest of the script is tried without sending anything into the
        # broken connection, and the run ends with the failure's status as
        # soon as the line returns to the prompt, whatever the next line.
        s = Sesion()
        casos = [
            ("fsql g.sql\nquit\n", [s.espera(m04s("UNO")), close()], b"[UNO]\n[DOS]\n[TRES]\n"),
            ("loadsql T1.dat\nquit\n", [s.espera(m05("T1", [fila("A")], 1)), close()], b"stabla=(T1)\n"),
        ]
        for entrada, pasos, eco in casos:
            with self.subTest(entrada=entrada):
                e = self.ejecuta_guion("UNO;\nDOS;\nTRES;\n", pasos, entrada=entrada,
                                       extra={"T1.dat": "1~A\n"}, final=expect_eof())
                self.assertEqual(e.estado, 255)
                self.assertEqual(e.consola, PROMPT + b"\n" + eco)


class Cargas(unittest.TestCase):
    def carga(self, contenido, pasos, env=None, nombre="T1.dat", entrada=None, final=None):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        with open(os.path.join(tmp.name, nombre), "wb") as f:
            f.write(contenido.encode("latin-1") if isinstance(contenido, str) else contenido)
        return ejecuta(self, pasos, entrada or "loadsql %s\n" % nombre, dir_trabajo=tmp.name,
                       env=env, final=final)

    def test_un_lote_con_los_valores_por_defecto(self):
        s = Sesion()
        filas = [fila("A", "B"), fila("  C", ""), fila("E", "F")]
        e = self.carga("1~A~B\r\n2~  C  ~\r\n3~E~F\r\n", s.intercambio(m05("T1", filas, 2), r05(3)),
                       nombre="T1.2011.dat")
        self.assertEqual(e.consola, PROMPT + b"\nstabla=(T1)\n3..\n" + PROMPT)

    def test_lotes_por_tamano_y_minsert(self):
        s = Sesion()
        contenido = "".join("%d~%s~%s\n" % (i, c * 2, c * 2) for i, c in enumerate("ABCDE"))
        filas = [fila(c * 2, c * 2) for c in "ABCDE"]
        # Rows of 7 bytes: 7 + batch + 2 + 30 must stay within 50.
        pasos = (s.intercambio(m05("T1", filas[0:2], 2), r05(2))
                 + s.intercambio(m05("T1", filas[2:4], 2), r05(2))
                 + s.intercambio(m05("T1", filas[4:5], 2), r05(1)))
        e = self.carga(contenido, pasos, env={"WWW_BUFSIZE": "50"})
        self.assertEqual(e.consola, PROMPT + b"\nstabla=(T1)\n2..4..5..\n" + PROMPT)

        pasos = [p for f in filas for p in s.intercambio(m05("T1", [f], 2), r05(1))]
        e = self.carga(contenido, pasos, env={"MINSERT": "1"})
        self.assertEqual(e.consola, PROMPT + b"\nstabla=(T1)\n1..2..3..4..5..\n" + PROMPT)

    def test_registro_en_varias_lineas_y_ultimo_sin_salto(self):
        s = Sesion()
        filas = [fila("A", "B"), fila("C", "D"), fila("E", "F")]
        e = self.carga("1~A~B\n\n2~C\n~D\n3~E~F", s.intercambio(m05("T1", filas, 2), r05(3)))
        self.assertEqual(e.consola, PROMPT + b"\nstabla=(T1)\n3..\n" + PROMPT)

    def test_lote_nunca_mayor_que_una_trama(self):
        s = Sesion()
        registros = ["%05d~%s" % (i, "V" * 20) for i in range(2000)]
        recibidos = []

        def servidor(conn):
            total = 0
            while total < 2000:
                marco = conn.read_frame(False)
                self.assertLessEqual(len(marco), 30000)
                carga = marco[10:].decode("latin-1")
                self.assertEqual(carga[2:8], "001001")
                recibidos.append(carga)
                total += int(carga[16 + 2:21 + 2])
                conn.send(s.del_servidor(r05(1)))

        e = self.carga("\n".join(registros) + "\n", [call(servidor)], env={"WWW_BUFSIZE": "1000000"})
        self.assertEqual(e.estado, 1)
        self.assertEqual(len(recibidos), 2)
        filas = "".join(r[28:] for r in recibidos)
        self.assertEqual(filas, "".join(fila("V" * 20) for _ in range(2000)))

    def test_error_del_servidor_en_el_segundo_lote(self):
        s = Sesion()
        contenido = "1~A\n2~B\n3~C\n"
        pasos = (s.intercambio(m05("T1", [fila("A")], 1), r05(1))
                 + s.intercambio(m05("T1", [fila("B")], 1), r_error("-00803", "Clave duplicada",
                                                                     mensaje="05")))
        e = self.carga(contenido, pasos, env={"MINSERT": "1"}, entrada="loadsql T1.dat\nquit\n")
        self.assertEqual(e.estado, 1)
        self.assertEqual(e.consola, PROMPT + b"\nstabla=(T1)\n1..Error: -803 [Clave duplicada]\n\n"
                                              b"error. se cancela \n")

    def test_sin_tabla_fichero_vacio_y_sin_fichero(self):
        e = self.carga("", [], entrada="loadsql T1.dat\nloadsql dir/.dat\nloadsql nohay.dat\n")
        self.assertEqual(e.consola, (
            PROMPT + b"\nstabla=(T1)\n" + PROMPT + b"\nImposible abrir (dir/.dat)\n"
            + PROMPT + b"\nImposible abrir (nohay.dat)\n" + PROMPT))
        e = self.carga("", [], nombre=".dat", entrada="loadsql .dat\n")
        self.assertEqual(e.consola, PROMPT + b"\nstabla=()\nEn [.dat] no se ha detectado la tabla\n" + PROMPT)

    def test_registro_demasiado_largo(self):
        s = Sesion()
        contenido = "1~A\n2~" + "x" * 5200 + "\n3~C\n"
        e = self.carga(contenido, s.intercambio(m05("T1", [fila("A")], 1), r05(1)))
        self.assertEqual(e.consola, PROMPT + b"\nstabla=(T1)\n1..\nRegistro demasiado largo en (T1.dat)\n"
                         + PROMPT)


if __name__ == "__main__":
    unittest.main()
