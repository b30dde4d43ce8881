"""End-to-end runs of vortcp against a scripted server: raw data copies
(.ebc), converted copies (.dta), message files (.msg) and the spool blocks
shown on the console."""

import os
import unittest

from lib import (ebc_fija, expect_eof, expect_frame, frame, read_frame, send, shown_path,
                 to_ebcdic)
from lib.transferencia import (OK, Arbol, bloque_crudo, bloque_texto, cabecera, cuentas, mensajes,
                               miembro, obtiene, paseo)


def crudo(lib, fic, mbr="", tipo="PF", **kw):
    return cabecera("03", lib, fic, mbr, tipo, **kw)


def convertido(lib, fic):
    return to_ebcdic("0500027%-10s%-10s" % (lib, fic))


def bloque_datos(datos, codigo="00"):
    """The block after header 05: its length field counts the data only."""
    return to_ebcdic("%s%05d" % (codigo, len(datos))) + datos


# Every byte value a raw record may hold, line ends and EBCDIC new lines included.
TODOS = bytes(range(256))


class CrudosTest(Arbol):
    def test_copias_crudas_y_fichero_base(self):
        datos_m1 = (TODOS * 2)[:250]
        self.corre(["DAT", "LIB1", "CUST"], paseo([
            crudo("LIB1", "CUST", "M1"), bloque_crudo(datos_m1[:100], 100), bloque_crudo(datos_m1[100:], 100),
            crudo("LIB1", "CUST", "M2"), bloque_crudo(b"\x0a\x0d\x15\x25", 0)]))
        self.assertEqual(self.lee_crudo("LIB1", "CUST_M1.ebc"), datos_m1)
        self.assertEqual(self.lee_crudo("LIB1", "CUST_M2.ebc"), b"\x0a\x0d\x15\x25")
        # Made once, for M1, holding one line end; M2 found it and left it.
        self.assertEqual(self.lee("LIB1", "CUST.ebc"), b"\n")
        log = self.log()
        # Blocks count whole records each: 1 + 1, and nothing with R = 0.
        self.assertIn(cuentas(2, 250) + cuentas(0, 4), log)
        self.assertNotIn(b"Obtiene: " + shown_path(b"LIB1/CUST"), log)

        # Later: a base file with data is left alone by another member, and
        # replaced by the member named like the file and by an empty member.
        r = self.corre(["DAT", "LIB1", "CUST"], paseo([
            crudo("LIB1", "CUST", "CUST"), bloque_crudo(b"BASE", 4),
            crudo("LIB1", "CUST", "M3"), bloque_crudo(b"M3M3", 2),
            crudo("LIB1", "ORD", ""), bloque_crudo(b"ORDEN", 5)]))
        self.assertEqual(self.lee_crudo("LIB1", "CUST.ebc"), b"BASE")
        self.assertEqual(self.lee_crudo("LIB1", "CUST_M3.ebc"), b"M3M3")
        self.assertEqual(self.lee_crudo("LIB1", "ORD.ebc"), b"ORDEN")
        self.assertFalse(self.existe("LIB1", "ORD"))
        self.assertIn(obtiene("LIB1/CUST.ebc") + cuentas(1, 4) + obtiene("LIB1/CUST_M3.ebc") + cuentas(2, 4)
                      + obtiene("LIB1/ORD.ebc") + cuentas(1, 5), r.stdout)
        entradas = [l[:31] for l in self.indice() if l]
        self.assertEqual(entradas, ["ALIB1      CUST      M1        ", "ALIB1      CUST      M2        ",
                                    "ALIB1      CUST      CUST      ", "ALIB1      CUST      M3        ",
                                    "ALIB1      ORD                 "])


class ConvertidosTest(Arbol):
    def test_copia_convertida(self):
        datos = to_ebcdic("Cliente 1;Madrid") + b"\x15\x00\x7b"
        # Header 05 while a member is open: the member is closed and reported
        # first. Header and data block are answered each.
        r = self.corre(["DAT", "LIB1"], paseo([
            miembro("LIB1", "SRC", "M1"), bloque_texto(["X"]),
            convertido("LIB1", "CLIENTES"), bloque_datos(datos, codigo="99"),
            convertido("LIB1", "VACIO"), bloque_datos(b"")]))
        self.assertEqual(self.lee("LIB1", "SRC", "M1.txt"), b"X\n")
        self.assertEqual(self.lee("LIB1", "CLIENTES.dta"), datos.translate(ebc_fija))
        self.assertEqual(self.lee("LIB1", "VACIO.dta"), b"")
        self.assertIn(obtiene("LIB1/SRC/M1.txt") + cuentas(1, 2)
                      + obtiene("LIB1/CLIENTES.dta") + b"         19 bytes\n"
                      + obtiene("LIB1/VACIO.dta") + b"          0 bytes\n", r.stdout)
        self.assertNotIn(b".dta", self.log())
        self.assertEqual([l[:31] for l in self.indice() if l], ["ALIB1      SRC       M1        "])

    def test_bloque_de_datos_mas_corto_de_lo_que_dice(self):
        # N claims 500 bytes, 3 arrive: only what arrived is written.
        self.corre(["DAT", "LIB1"], paseo([
            convertido("LIB1", "CORTO"), to_ebcdic("0000500") + to_ebcdic("abc")]))
        self.assertEqual(self.lee("LIB1", "CORTO.dta"), b"abc")


class MensajesTest(Arbol):
    def test_fichero_de_mensajes(self):
        bloque = bloque_texto(["CPF0001 Mensaje uno", "CPF0002 Mensaje dos"], codigo="08")
        for _ in range(2):
            r = self.corre(["ALL", "LIB1"], paseo([
                mensajes("LIB1", "QCPFMSG", texto="Mensajes"), bloque,
                miembro("LIB1", "QCPFMSG", "M1", "TXT")]))
        self.assertEqual(self.lee("LIB1", "QCPFMSG.msg"), b"CPF0001 Mensaje uno\nCPF0002 Mensaje dos\n")
        self.assertTrue(self.existe("LIB1", "QCPFMSG", "M1.txt"))
        esperado = obtiene("LIB1/QCPFMSG.msg") + cuentas(2, len(bloque) - 7)
        self.assertIn(esperado, r.stdout)
        self.assertIn(esperado, self.log())
        # One line each after two transfers: the message file's has a blank member.
        self.assertEqual([l[:37] for l in self.indice() if l],
                         ["ALIB1      QCPFMSG             MSG   ", "ALIB1      QCPFMSG   M1        TXT   "])


class SpoolTest(Arbol):
    def test_bloques_de_spool_en_consola(self):
        b67 = to_ebcdic("6700018" + "0005" + "ABCDEFG")
        # Layout 68: 0x03 breaks the line and restarts the count; 0x7B shows
        # as 0xA5; 0x15 ends the line without restarting the count.
        datos68 = to_ebcdic("AB") + b"\x03" + to_ebcdic("CDE") + b"\x7b" + to_ebcdic("F") + b"\x15" + to_ebcdic("G")
        b68 = to_ebcdic("68%05d00004" % (12 + len(datos68))) + datos68
        pasos = [read_frame(), send(frame(b67)), expect_frame(OK), send(frame(b68)), expect_frame(OK),
                 send(frame(to_ebcdic("00"))), expect_eof()]
        r = self.corre(["SPL", "LIB1"], pasos)
        self.assertIn(b"ABCDE\nFG\nAB\nCDE\xa5\nF\nG\n", r.stdout)
        self.assertNotIn(b"Obtiene", r.stdout)
        self.assertNotIn(b"registros", r.stdout)
        self.assertEqual(sorted(os.listdir(self.dir)), ["vortcp.log"])


if __name__ == "__main__":
    unittest.main()
