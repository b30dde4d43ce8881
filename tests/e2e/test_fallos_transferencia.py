"""Faults around a transfer run, on the real binary against a scripted server:
frames cut anywhere or joined, a connection lost inside a frame, lengths
beyond the frame limit, and a disk that fills while the index is rewritten.
After each, what was received is on disk and the index is whole."""

import os
import unittest

from lib import call, close, expect_eof, expect_frame, frame, read_frame, send, send_chunks, text_bytes, to_ebcdic
from lib.transferencia import (FIN_LISTA, OK, Arbol, DiscoPequeno, bloque_texto, cuentas, grabar, incompleto,
                               miembro, obtiene, paseo)


class IndiceEntero:
    """Checks that an index is made of whole 120-character entry lines."""

    def assertIndiceEntero(self, lineas_esperadas):
        datos = self.lee("LIB1", "xvoras", "xinfo")
        self.assertTrue(datos.endswith(b"\n"), datos[-200:])
        lineas = datos[:-1].split(b"\n")
        self.assertEqual(len(lineas), lineas_esperadas, datos)
        for linea in lineas:
            self.assertEqual(len(linea), 120, linea)
        self.assertFalse(self.existe("LIB1", "xvoras", "xinfo.tmp"))


class TramasTest(Arbol, IndiceEntero):
    def test_tramas_de_byte_en_byte_y_varias_en_una_lectura(self):
        # The header arrives one byte per read; the block, the end code and
        # nothing else arrive in one read: the end code waits in the pending
        # store while the block is answered.
        cabecera = frame(miembro("LIB1", "SRC", "M1"))
        juntas = frame(bloque_texto(["UNO", "DOS"])) + frame(to_ebcdic("06"))
        pasos = [read_frame(), send_chunks(cabecera, 1, 0.002), expect_frame(OK), send(juntas),
                 expect_frame(OK), expect_frame(FIN_LISTA), expect_eof()]
        r = self.corre(["ALL", "LIB1"], pasos)
        self.assertEqual(self.lee("LIB1", "SRC", "M1.txt"), b"UNO\nDOS\n")
        self.assertIn(obtiene("LIB1/SRC/M1.txt") + cuentas(2, 8), r.stdout)
        self.assertIndiceEntero(1)

    def test_dos_objetos_y_el_fin_en_una_sola_lectura(self):
        todo = b"".join(frame(m) for m in (miembro("LIB1", "SRC", "M1"), bloque_texto(["A"]),
                                           miembro("LIB1", "SRC", "M2"), bloque_texto(["B", "C"]),
                                           to_ebcdic("06")))
        pasos = [read_frame(), send(todo)] + [expect_frame(OK)] * 4 + [expect_frame(FIN_LISTA),
                                                                       expect_eof()]
        self.corre(["ALL", "LIB1"], pasos)
        self.assertEqual(self.lee("LIB1", "SRC", "M1.txt"), b"A\n")
        self.assertEqual(self.lee("LIB1", "SRC", "M2.txt"), b"B\nC\n")
        self.assertIndiceEntero(2)


class CamposHostilesTest(Arbol, IndiceEntero):
    def test_saltos_de_linea_en_la_descripcion_la_fecha_y_la_hora(self):
        # Control bytes in the unchecked fields would split the index entry.
        m = miembro("LIB1", "SRC", "M1", texto="uno\ndos\r", fecha="2012\n131", hora="10\t500")
        self.corre(["ALL", "LIB1"], paseo([m]))
        self.assertIndiceEntero(1)
        self.corre(["ALL", "LIB1"], paseo([m]))
        self.assertIndiceEntero(1)


class ConexionCortadaTest(Arbol, IndiceEntero):
    """A connection cut inside member M1, over a good copy from an earlier
    run: the copy and its index line stay, the received bytes are kept
    beside it in M1.txt.parcial, and the run says M1 is incomplete."""

    def setUp(self):
        super().setUp()
        self.corre(["ALL", "LIB1"], paseo([miembro("LIB1", "SRC", "M1", texto="buena"), bloque_texto(["BUENA"])]))
        self.indice_bueno = self.lee("LIB1", "xvoras", "xinfo")

    def assertIncompleto(self, r):
        self.assertEqual(self.lee("LIB1", "SRC", "M1.txt"), b"BUENA\n")
        self.assertEqual(self.lee("LIB1", "SRC", "M1.txt.parcial"), b"UNO\nDOS\n")
        self.assertIn(cuentas(2, 8) + incompleto("LIB1/SRC/M1.txt"), r.stdout)
        self.assertIn(cuentas(2, 8) + incompleto("LIB1/SRC/M1.txt"), self.log())
        self.assertEqual(self.lee("LIB1", "xvoras", "xinfo"), self.indice_bueno)
        self.assertIndiceEntero(1)

    def corta(self, resto, estado=255):
        pasos = [read_frame(), send(frame(miembro("LIB1", "SRC", "M1"))), expect_frame(OK),
                 send(frame(bloque_texto(["UNO", "DOS"]))), expect_frame(OK), send(resto), close()]
        return self.corre(["ALL", "LIB1"], pasos, estado=estado)

    def test_cierre_dentro_del_campo_de_longitud_o_de_una_cabecera(self):
        for resto in (to_ebcdic("00000"), frame(miembro("LIB1", "SRC", "M2"))[:60]):
            with self.subTest(resto=resto):
                r = self.corta(resto)
                self.assertIn(b"Connection closed by client\n", r.stdout)
                self.assertIncompleto(r)
                self.assertFalse(self.existe("LIB1", "SRC", "M2.txt"))

    def test_longitud_de_trama_por_encima_del_limite(self):
        for largo in (30001, 999999999):
            with self.subTest(largo=largo):
                r = self.corta(to_ebcdic("%.10d" % largo) + b"\x40" * 100)
                self.assertIn(b"Longitud de trama no valida (%d)\n" % largo, r.stdout)
                self.assertIncompleto(r)

    def test_longitud_que_no_es_un_numero(self):
        # The length reads as 0: the receive fails; the run is not a success.
        r = self.corta(to_ebcdic("ABCDEFGHIJ") + b"\x40" * 10)
        self.assertIncompleto(r)


class IndiceEnDiscoLlenoTest(DiscoPequeno, IndiceEntero):
    """A 64 KB tmpfs holding an index of about 40 KB: its working copy cannot
    be written whole."""

    LINEAS = 330

    def setUp(self):
        super().setUp()
        os.makedirs(os.path.join(self.dir, "LIB1", "xvoras"))
        lineas = ["A%-10s%-10s%-10s%-6s%-55s%-8s%-6s%s" % ("LIB1", "SRC", "M%d" % i, "TXT", "texto",
                                                         "20120131", "101500", "20250101120000")
                  for i in range(self.LINEAS)]
        self.lineas = [l.encode() + b"\n" for l in lineas]
        # Stored as the program stores it: CR LF line ends on Windows.
        self.original = text_bytes(b"".join(self.lineas))
        with open(os.path.join(self.dir, "LIB1", "xvoras", "xinfo"), "wb") as f:
            f.write(self.original)

    def test_disco_lleno_al_reescribir_el_indice(self):
        pasos = [read_frame(), send(frame(miembro("LIB1", "SRC", "NUEVO"))), expect_eof()]
        r = self.corre(["ALL", "LIB1"], pasos, estado=1)
        self.assertIn(grabar("LIB1/xvoras/xinfo.tmp"), r.stdout)
        # The old index is left exactly as it was, and no working copy stays.
        self.assertEqual(self.lee_crudo("LIB1", "xvoras", "xinfo"), self.original)
        self.assertFalse(self.existe("LIB1", "xvoras", "xinfo.tmp"))
        self.assertFalse(self.existe("LIB1", "SRC", "NUEVO.txt"))

    def test_disco_lleno_en_un_miembro_deja_el_indice_entero(self):
        # Room for the index update, none for the member's text.
        with open(os.path.join(self.dir, "relleno"), "wb") as f:
            f.write(b"\0" * 12 * 1024)
        os.remove(os.path.join(self.dir, "LIB1", "xvoras", "xinfo"))
        with open(os.path.join(self.dir, "LIB1", "xvoras", "xinfo"), "wb") as f:
            f.write(text_bytes(b"".join(self.lineas[:3])))
        bloque = bloque_texto(["X" * 999] * 29)

        def sirve(conn):
            conn.send(frame(miembro("LIB1", "SRC", "M9")))
            try:
                for _ in range(4):
                    conn.read_frame()
                    conn.send(frame(bloque))
            except Exception:
                pass
            return "close"
        r = self.corre(["ALL", "LIB1"], [read_frame(), call(sirve)], estado=1)
        self.assertIn(grabar("LIB1/SRC/M9.txt"), r.stdout)
        # M9 never became whole: no copy, no working file, no index entry.
        self.assertFalse(self.existe("LIB1", "SRC", "M9.txt"))
        self.assertFalse(self.existe("LIB1", "SRC", "M9.txt.parcial"))
        self.assertIndiceEntero(3)


if __name__ == "__main__":
    unittest.main()
