"""End-to-end runs of vortcp's transfer walk against a scripted server:
source members, their result lines on the console and in the log, the
extension of each source type, and the library index."""

import datetime
import os
import unittest

from lib import (expect_eof, expect_frame, frame, local_text, read_frame, send, send_split, shown_path,
                 stored_name, to_ebcdic)
from lib.transferencia import (FIN_LISTA, OK, Arbol, bloque_texto, cabecera, cuentas, fin, mensajes, miembro,
                               obtiene, paseo)


class MiembrosTest(Arbol):
    def test_miembros_lineas_de_resultado_y_arbol(self):
        # A record that goes on in the next block, an empty member, and two
        # headers in a row: the first file is closed and reported before the
        # second "Obtiene:".
        b1 = bloque_texto(["LINEA 1", to_ebcdic("LIN")])
        b2 = bloque_texto(["EA 2"])
        r = self.corre(["ALL", "LIB1"], paseo([
            miembro("LIB1", "QRPGSRC", "PGM1", "RPGL", texto="Programa uno"), b1, b2,
            miembro("LIB1", "QRPGSRC", "VACIO", "RPGL"),
            miembro("LIB1", "QCLSRC", "CL1", "CLP"), bloque_texto(["PGM"])]))
        self.assertEqual(self.lee("LIB1", "QRPGSRC", "PGM1.ile"), b"LINEA 1\nLINEA 2\n")
        self.assertEqual(self.lee("LIB1", "QRPGSRC", "VACIO.ile"), b"")
        self.assertEqual(self.lee("LIB1", "QCLSRC", "CL1.cl"), b"PGM\n")
        for d in ("xvoras", "xpanta", "xlista"):
            self.assertTrue(os.path.isdir(os.path.join(self.dir, "LIB1", d)), d)
        self.assertEqual(os.listdir(os.path.join(self.dir, "LIB1", "xpanta")), [])
        esperado = (obtiene("LIB1/QRPGSRC/PGM1.ile") + cuentas(2, len(b1) + len(b2) - 14)
                    + obtiene("LIB1/QRPGSRC/VACIO.ile") + cuentas(0, 0)
                    + obtiene("LIB1/QCLSRC/CL1.cl") + cuentas(1, 4))
        self.assertIn(esperado, r.stdout)
        self.assertIn(esperado, self.log())

    def test_cuentas_agrupadas_y_ruta_larga(self):
        # 1,000,000 records of one byte each, in 40 blocks; the path has more
        # than 30 characters, so the counts follow it with no pad.
        bloque = to_ebcdic("0225007") + b"\x15" * 25000
        r = self.corre(["ALL", "LIBRERIA01"], paseo(
            [miembro("LIBRERIA01", "FUENTES001", "MIEMBRO001", "RPGL")] + [bloque] * 40
            + [miembro("LIBRERIA01", "FUENTES001", "M2", "CBL"),
               bloque_texto(["X" * 4] * 1234),
               miembro("LIBRERIA01", "SRC1", "MIEMBRO001", "RPGL")]))
        self.assertIn(b"Obtiene: " + shown_path(b"LIBRERIA01/FUENTES001/MIEMBRO001.ile")
                      + b"  1.000.000 registros    1.000.000 bytes\n", r.stdout)
        self.assertIn(obtiene("LIBRERIA01/FUENTES001/M2.cbo") + b"      1.234 registros        6.170 bytes\n",
                      r.stdout)
        # Exactly 30 characters: no pad either.
        self.assertIn(b"Obtiene: " + shown_path(b"LIBRERIA01/SRC1/MIEMBRO001.ile")
                      + b"          0 registros            0 bytes\n", r.stdout)
        self.assertEqual(self.lee("LIBRERIA01", "FUENTES001", "MIEMBRO001.ile"), b"\n" * 1000000)

    def test_extensiones_por_tipo(self):
        tipos = [("RPGL", "ile"), ("rpgl", "ile"), ("CBL", "cbo"), ("CPY", "cpy"), ("DSPF", "pan"),
                 ("PRTF", "prt"), ("CLP", "cl"), ("PF", "dds"), ("LF", "dds"), ("pf", "dds"),
                 ("lf", "dds"), ("Dspf", "dspf"), ("RPG", "rpg"), ("CLLE", "clle"), ("SQLR", "sqlr"),
                 ("", "")]
        self.corre(["ALL", "LIB1"], paseo(
            [miembro("LIB1", "SRC", "M%02d" % i, t) for i, (t, _) in enumerate(tipos)]))
        esperado = sorted(stored_name("M%02d.%s" % (i, e)) for i, (_, e) in enumerate(tipos))
        self.assertEqual(sorted(os.listdir(os.path.join(self.dir, "LIB1", "SRC"))), esperado)
        # The index keeps the type as the server sent it.
        tipos_indice = [l[31:37] for l in self.indice() if l]
        self.assertEqual(tipos_indice, ["%-6s" % t for t, _ in tipos])

    def test_troceado_y_tramas_juntas(self):
        # The same member whatever the chunking: frames cut in pieces, and
        # every message in one send ahead of the answers.
        mensajes_servidor = [miembro("LIB1", "SRC", "M1"), bloque_texto(["UNO", "DOS"]),
                             bloque_texto(["TRES"])]
        troceado = [read_frame()]
        for m in mensajes_servidor:
            troceado += [send_split(frame(m), at=[3, 10, 40], pause=0.02), expect_frame(OK)]
        troceado += [send(frame(fin())), expect_frame(FIN_LISTA), expect_eof()]
        juntas = ([read_frame(), send(b"".join(frame(m) for m in mensajes_servidor + [fin()]))]
                  + [expect_frame(OK)] * 3 + [expect_frame(FIN_LISTA), expect_eof()])
        for pasos in (troceado, juntas):
            r = self.corre(["MBR", "LIB1", "SRC", "M1"], pasos)
            self.assertEqual(self.lee("LIB1", "SRC", "M1.txt"), b"UNO\nDOS\nTRES\n")
            self.assertIn(obtiene("LIB1/SRC/M1.txt") + cuentas(3, 13), r.stdout)

    def test_miembro_repetido_reemplaza_su_fichero(self):
        for texto in ("PRIMERA VERSION LARGA", "SEGUNDA"):
            self.corre(["MBR", "LIB1", "SRC", "M1"], paseo([miembro("LIB1", "SRC", "M1"),
                                                            bloque_texto([texto])]))
        self.assertEqual(self.lee("LIB1", "SRC", "M1.txt"), b"SEGUNDA\n")


class IndiceTest(Arbol):
    def linea(self, lib, fic, mbr, tipo, texto, fecha, hora):
        return "A%-10s%-10s%-10s%-6s%-55s%-8s%-6s" % (lib, fic, mbr, tipo, texto, fecha, hora)

    def comprueba_lineas(self, esperadas):
        lineas = self.indice()
        self.assertEqual(lineas[-1], "", "the index ends with a line end")
        lineas = lineas[:-1]
        self.assertEqual(len(lineas), len(esperadas), lineas)
        hoy = datetime.date.today().strftime("%Y%m%d")
        for l, e in zip(lineas, esperadas):
            if len(e) != 106:  # a hand-made line: kept as it was
                self.assertEqual(l, e)
                continue
            self.assertEqual(len(l), 120, l)
            self.assertEqual(l[:106], e)
            self.assertEqual(l[106:114], hoy)
            self.assertTrue(l[114:].isdigit(), l)

    def test_primera_repetida_y_mezclada(self):
        texto50 = "D" * 50
        self.corre(["ALL", "LIB1"], paseo([
            miembro("LIB1", "SRC", "M1", "RPGL", texto="Uno"),
            miembro("LIB1", "SRC", "M2", "CLP", texto=texto50, fecha="20 10101", hora="235959"),
            mensajes("LIB1", "SRC", texto="Mensajes"),
            cabecera("03", "LIB1", "CUST", "CUST", "PF", texto="Clientes")]))
        m1 = self.linea("LIB1", "SRC", "M1", "RPGL", "Uno", "20120131", "101500")
        m2 = self.linea("LIB1", "SRC", "M2", "CLP", texto50, "", "235959")
        msg = self.linea("LIB1", "SRC", "", "MSG", "Mensajes", "20120131", "101500")
        cust = self.linea("LIB1", "CUST", "CUST", "PF", "Clientes", "20120131", "101500")
        self.comprueba_lineas([m1, m2, msg, cust])
        self.assertFalse(self.existe("LIB1", "xvoras", "xinfo.tmp"))

        # Hand-made lines: comments, one of them right below the entry that
        # is replaced, and a last line without a line end.
        ruta = os.path.join(self.dir, "LIB1", "xvoras", "xinfo")
        lineas = local_text(ruta).split(b"\n")[:-1]
        with open(ruta, "wb") as f:
            f.write(b"# cabecera\r\n" + lineas[0] + b"\n# de M1\n" + b"\n".join(lineas[1:])
                    + b"\n# nota\nA a mano sin fin de linea")
        m1b = self.linea("LIB1", "SRC", "M1", "RPGL", "Uno otra vez", "20120201", "080000")
        self.corre(["MBR", "LIB1", "SRC", "M1"], paseo([
            miembro("LIB1", "SRC", "M1", "RPGL", texto="Uno otra vez", fecha="20120201", hora="080000")]))
        self.comprueba_lineas(["# cabecera", "# de M1", m2, msg, cust, "# nota",
                               "A a mano sin fin de linea", m1b])

    def test_tipo_en_la_linea_de_ordenes_deja_el_indice(self):
        self.corre(["MBR", "LIB1", "SRC", "M1", "abc"], paseo([
            miembro("LIB1", "SRC", "M1", "RPGL"), bloque_texto(["A"]),
            mensajes("LIB1", "QCPFMSG"), cabecera("03", "LIB1", "CUST", "", "PF")]))
        self.assertEqual(self.lee("LIB1", "SRC", "M1.ile"), b"A\n")
        self.assertTrue(self.existe("LIB1", "QCPFMSG.msg"))
        self.assertTrue(self.existe("LIB1", "CUST.ebc"))
        self.assertFalse(self.existe("LIB1", "xvoras", "xinfo"))
        self.assertTrue(os.path.isdir(os.path.join(self.dir, "LIB1", "xvoras")))


if __name__ == "__main__":
    unittest.main()
