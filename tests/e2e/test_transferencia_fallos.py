"""Faults around a transfer run, on the real binary against a scripted server
that misbehaves or a disk that fills: frames cut anywhere or joined, end codes
and blocks out of place, hostile names and fields, a connection lost inside a
frame, lengths beyond the frame limit, folders and files that cannot be made,
and a full disk in a member, a raw copy or the index. After each, what was
received is on disk, an earlier copy stays, and the index is whole."""

import os
import unittest

from lib import (ScriptFailure, call, close, expect_eof, expect_frame, frame, read_frame, send, send_chunks,
                 shown_path, stored_name, text_bytes, to_ebcdic)
from lib.transferencia import (FIN_LISTA, OK, Arbol, DiscoPequeno, bloque_crudo, bloque_texto, cabecera, cuentas,
                               grabar, incompleto, mensajes, miembro, obtiene, paseo)


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


class FinDelPaseoTest(Arbol):
    def test_primer_codigo_desconocido(self):
        r = self.corre(["ALL", "LIB1"], paseo([], final=to_ebcdic("99" + "x" * 103)))
        self.assertNotIn(b"Obtiene", r.stdout)
        self.assertEqual(os.listdir(self.dir), ["vortcp.log"])

    def test_codigo_06_y_codigos_de_spool_acaban_la_lista(self):
        for final in ("06", "67", "68"):
            with self.subTest(final=final):
                r = self.corre(["ALL", "LIB1"], paseo([miembro("LIB1", "SRC", "M1"), bloque_texto(["A"])],
                                                      final=to_ebcdic(final + "00020" + "0005" + "ABCDEFGHI")))
                self.assertIn(obtiene("LIB1/SRC/M1.txt") + cuentas(1, 2), r.stdout)
                self.assertNotIn(b"ABCDE", r.stdout)

    def test_bloques_fuera_de_sitio_o_mal_medidos(self):
        # Blocks before any header are answered and dropped; a length that
        # claims more than arrived is cut; one below its header is empty.
        r = self.corre(["ALL", "LIB1"], paseo([
            bloque_texto(["HUERFANO"]), bloque_crudo(b"XX", 1), bloque_texto(["OTRO"], codigo="08"),
            miembro("LIB1", "SRC", "M1"),
            to_ebcdic("0209999") + to_ebcdic("ABC") + b"\x15",
            to_ebcdic("0200003") + to_ebcdic("NO"),
            to_ebcdic("02"),
            miembro("LIB1", "SRC", "CORTO"[:3]),
            # A header cut short: the fields that did not arrive read as blanks.
            to_ebcdic("0100105LIB1      SRC       M2"),
        ]))
        self.assertEqual(self.lee("LIB1", "SRC", "M1.txt"), b"ABC\n")
        self.assertEqual(self.lee("LIB1", "SRC", stored_name("M2.")), b"")
        self.assertIn(obtiene("LIB1/SRC/M1.txt") + cuentas(1, 4), r.stdout)
        self.assertNotIn(b"HUERFANO", r.stdout)
        self.assertEqual(sorted(os.listdir(os.path.join(self.dir, "LIB1", "SRC"))),
                         ["COR.txt", "M1.txt", stored_name("M2.")])


class CamposHostilesTest(Arbol, IndiceEntero):
    def test_nombres_que_saldrian_del_arbol(self):
        casos = [
            (miembro("..", "SRC", "M1"), ".."),
            (miembro("", "SRC", "M1"), ""),
            (miembro("LIB1", "../../X", "M1"), "../../X"),
            (miembro("LIB1", "SRC", "..\\..\\M"), "..\\..\\M"),
            (miembro("LIB1", "SRC", "M1", "/"), "/"),
            (miembro("LIB1", "SRC", "C:X"), "C:X"),
            (miembro("LIB1", "SRC", "A\x01B"), "A\x01B"),
            (cabecera("03", "LIB1", ".", "M1", "PF"), "."),
            (to_ebcdic("0500027LIB1      ../../DAT "), "../../DAT"),
            (mensajes("/tmp", "QCPFMSG"), "/tmp"),
        ]
        for mensaje, nombre in casos:
            with self.subTest(nombre=nombre):
                # The refused header gets no answer: the client ends at once.
                r = self.corre(["ALL", "LIB1"], [read_frame(), send(frame(mensaje)), expect_eof()], estado=1)
                self.assertIn(("Nombre no valido recibido del servidor (%s)\n" % nombre).encode("latin-1"),
                              r.stdout)
                self.assertEqual(sorted(os.listdir(self.raiz)), ["base", "trabajo"])
                self.assertEqual(sorted(os.listdir(self.dir)), ["vortcp.log"])

    def test_nombre_hostil_tras_un_miembro(self):
        # The member open when a refused header comes is left incomplete
        # before the refusal; a file named as one of the program's own folders
        # is refused in any case.
        for malo, nombre in ((miembro("LIB1", "..", "M2"), ".."), (miembro("LIB1", "XVoras", "xinfo", "tmp"), "XVoras"),
                             (cabecera("03", "LIB1", "xpanta", "", "PF"), "xpanta")):
            with self.subTest(nombre=nombre):
                pasos = [read_frame(), send(frame(miembro("LIB1", "SRC", "M1"))), expect_frame(OK),
                         send(frame(bloque_texto(["UNO"]))), expect_frame(OK), send(frame(malo)), expect_eof()]
                r = self.corre(["ALL", "LIB1"], pasos, estado=1)
                self.assertEqual(self.lee("LIB1", "SRC", "M1.txt.parcial"), b"UNO\n")
                self.assertFalse(self.existe("LIB1", "SRC", "M1.txt"))
                self.assertIn(obtiene("LIB1/SRC/M1.txt") + cuentas(1, 4) + incompleto("LIB1/SRC/M1.txt")
                              + b"Nombre no valido recibido del servidor (%s)\n" % nombre.encode(), r.stdout)
                self.assertEqual(sorted(os.listdir(os.path.join(self.dir, "LIB1", "xvoras"))), ["xinfo.bloqueo"])

    def test_saltos_de_linea_en_la_descripcion_la_fecha_y_la_hora(self):
        # Control bytes in the unchecked fields would split the index entry.
        m = miembro("LIB1", "SRC", "M1", texto="uno\ndos\r", fecha="2012\n131", hora="10\t500")
        self.corre(["ALL", "LIB1"], paseo([m]))
        self.assertIndiceEntero(1)
        self.corre(["ALL", "LIB1"], paseo([m]))
        self.assertIndiceEntero(1)


class ConexionCortadaTest(Arbol, IndiceEntero):
    """A connection cut inside member M1: the received bytes are kept in
    M1.txt.parcial and the run says M1 is incomplete. Over a good copy from
    an earlier run (copia_buena), the copy and its index line stay."""

    def copia_buena(self):
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

    def test_conexion_perdida_a_mitad_de_miembro(self):
        r = self.corta(frame(to_ebcdic("0200040TRES"))[:15])
        self.assertEqual(self.lee("LIB1", "SRC", "M1.txt.parcial"), b"UNO\nDOS\n")
        # The framing's own line about the lost connection comes between the
        # two halves of the result line.
        self.assertEnOrden(r.stdout, [obtiene("LIB1/SRC/M1.txt"), b"\n" + cuentas(2, 8) + incompleto("LIB1/SRC/M1.txt")])
        self.assertIn(obtiene("LIB1/SRC/M1.txt") + cuentas(2, 8) + incompleto("LIB1/SRC/M1.txt"), self.log())

    def test_cierre_dentro_del_campo_de_longitud_o_de_una_cabecera(self):
        self.copia_buena()
        for resto in (to_ebcdic("00000"), frame(miembro("LIB1", "SRC", "M2"))[:60]):
            with self.subTest(resto=resto):
                r = self.corta(resto)
                self.assertIn(b"Connection closed by client\n", r.stdout)
                self.assertIncompleto(r)
                self.assertFalse(self.existe("LIB1", "SRC", "M2.txt"))

    def test_longitud_de_trama_por_encima_del_limite(self):
        self.copia_buena()
        for largo in (30001, 999999999):
            with self.subTest(largo=largo):
                r = self.corta(to_ebcdic("%.10d" % largo) + b"\x40" * 100)
                self.assertIn(b"Longitud de trama no valida (%d)\n" % largo, r.stdout)
                self.assertIncompleto(r)

    def test_longitud_que_no_es_un_numero(self):
        # The length reads as 0: the receive fails; the run is not a success.
        self.copia_buena()
        r = self.corta(to_ebcdic("ABCDEFGHIJ") + b"\x40" * 10)
        self.assertIncompleto(r)


class FicheroImposibleTest(Arbol):
    def test_carpeta_o_fichero_que_no_se_pueden_crear(self):
        # A plain file where the library directory should be: nothing can be
        # made below it, and the run says so before it writes anything.
        with open(os.path.join(self.dir, "LIB1"), "w") as f:
            f.write("no soy un directorio\n")
        pasos = [read_frame(), send(frame(miembro("LIB1", "SRC", "M1"))), expect_eof()]
        for args in (["MBR", "LIB1", "SRC", "M1", "abc"], ["ALL", "LIB1"]):
            with self.subTest(args=args):
                r = self.corre(args, pasos, estado=1)
                self.assertTrue(r.stdout.endswith(b"Imposible crear el directorio (%s)\n" % shown_path(b"LIB1")),
                                r.stdout)
                self.assertNotIn(b"Obtiene", r.stdout)
        # A file folder in the way of a member's working file: it cannot be
        # opened.
        os.remove(os.path.join(self.dir, "LIB1"))
        os.makedirs(os.path.join(self.dir, "LIB1", "SRC", "M1.txt.parcial", "dentro"))
        r = self.corre(["ALL", "LIB1"], pasos, estado=1)
        self.assertIn(obtiene("LIB1/SRC/M1.txt") + b"Imposible abrir (%s)\n" % shown_path(b"LIB1/SRC/M1.txt"),
                      r.stdout)
        self.assertIn(obtiene("LIB1/SRC/M1.txt"), self.log())


class DiscoLlenoTest(DiscoPequeno, IndiceEntero):
    """A 64 KB tmpfs: a member or a raw copy of a few blocks fills it, and so
    does an index of 330 lines (about 40 KB) when its working copy is
    written beside it."""

    BLOQUE = bloque_texto(["X" * 999] * 29)

    def escribe_indice(self, n):
        """An index of n entry lines, stored as the program stores it (CR LF
        line ends on Windows); returns its bytes."""
        os.makedirs(os.path.join(self.dir, "LIB1", "xvoras"), exist_ok=True)
        lineas = ["A%-10s%-10s%-10s%-6s%-55s%-8s%-6s%s\n" % ("LIB1", "SRC", "M%d" % i, "TXT", "texto",
                                                           "20120131", "101500", "20250101120000")
                  for i in range(n)]
        datos = text_bytes("".join(lineas).encode())
        with open(os.path.join(self.dir, "LIB1", "xvoras", "xinfo"), "wb") as f:
            f.write(datos)
        return datos

    def lleno(self, mensajes_servidor, ruta):
        # The server may send more than the disk holds; the client stops at
        # the first failed write, without answering that block.
        def sirve(conn):
            try:
                for m in mensajes_servidor:
                    conn.send(frame(m))
                    conn.read_frame()
            except ScriptFailure:
                pass  # the client ended at the failed write
            return "close"
        pasos = [read_frame(), call(sirve, "send until the client stops")]
        r = self.corre(["ALL", "LIB1"], pasos, estado=1)
        self.assertIn(grabar(ruta), r.stdout)
        self.assertNotIn(b"registros", r.stdout.split(b"Error al grabar")[-1])
        return r

    def test_disco_lleno_en_un_miembro(self):
        self.lleno([miembro("LIB1", "SRC", "M1")] + [self.BLOQUE] * 5, "LIB1/SRC/M1.txt")

    def test_disco_lleno_en_una_copia_cruda(self):
        bloque = bloque_crudo(b"\x40" * 29000, 100)
        self.lleno([cabecera("03", "LIB1", "CUST", "", "PF")] + [bloque] * 5, "LIB1/CUST.ebc")

    def test_disco_lleno_deja_la_copia_anterior(self):
        os.makedirs(os.path.join(self.dir, "LIB1", "SRC"))
        with open(os.path.join(self.dir, "LIB1", "SRC", "M1.txt"), "wb") as f:
            f.write(text_bytes(b"VIEJO\n"))
        r = self.lleno([miembro("LIB1", "SRC", "M1")] + [self.BLOQUE] * 5, "LIB1/SRC/M1.txt")
        self.assertNotIn(b"Incompleto", r.stdout)
        self.assertEqual(self.lee("LIB1", "SRC", "M1.txt"), b"VIEJO\n")
        self.assertEqual(os.listdir(os.path.join(self.dir, "LIB1", "SRC")), ["M1.txt"])

    def test_disco_lleno_en_un_miembro_deja_el_indice_entero(self):
        # Room for the index update, none for the member's text.
        with open(os.path.join(self.dir, "relleno"), "wb") as f:
            f.write(b"\0" * 12 * 1024)
        self.escribe_indice(3)
        self.lleno([miembro("LIB1", "SRC", "M9")] + [self.BLOQUE] * 5, "LIB1/SRC/M9.txt")
        # M9 never became whole: no copy, no working file, no index entry.
        self.assertFalse(self.existe("LIB1", "SRC", "M9.txt"))
        self.assertFalse(self.existe("LIB1", "SRC", "M9.txt.parcial"))
        self.assertIndiceEntero(3)

    def test_disco_lleno_al_reescribir_el_indice(self):
        original = self.escribe_indice(330)
        pasos = [read_frame(), send(frame(miembro("LIB1", "SRC", "NUEVO"))), expect_eof()]
        r = self.corre(["ALL", "LIB1"], pasos, estado=1)
        self.assertIn(grabar("LIB1/xvoras/xinfo.tmp"), r.stdout)
        # The old index is left exactly as it was, and no working copy stays.
        self.assertEqual(self.lee_crudo("LIB1", "xvoras", "xinfo"), original)
        self.assertFalse(self.existe("LIB1", "xvoras", "xinfo.tmp"))
        self.assertFalse(self.existe("LIB1", "SRC", "NUEVO.txt"))


if __name__ == "__main__":
    unittest.main()
