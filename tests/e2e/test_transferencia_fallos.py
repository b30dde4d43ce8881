"""End-to-end runs of vortcp's transfer walk against a server that misbehaves
or a disk that fills: end codes, blocks out of place or longer than they are,
hostile names, a lost connection and a full disk."""

import os
import unittest

from lib import (NOT_A_DIRECTORY, ScriptFailure, call, close, expect_eof, expect_frame, frame,
                 read_frame, send, shown_path, stored_name, to_ebcdic)
from lib.transferencia import (OK, Arbol, DiscoPequeno, bloque_crudo, bloque_texto, cabecera, cuentas, incompleto,
                               mensajes, miembro, obtiene, paseo)


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


class NombresHostilesTest(Arbol):
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


class ConexionPerdidaTest(Arbol):
    def test_conexion_perdida_a_mitad_de_miembro(self):
        pasos = [read_frame(), send(frame(miembro("LIB1", "SRC", "M1"))), expect_frame(OK),
                 send(frame(bloque_texto(["UNO", "DOS"]))), expect_frame(OK),
                 send(frame(to_ebcdic("0200040TRES"))[:15]), close()]
        r = self.corre(["ALL", "LIB1"], pasos, estado=255)
        self.assertEqual(self.lee("LIB1", "SRC", "M1.txt.parcial"), b"UNO\nDOS\n")
        # The framing's own line about the lost connection comes between the
        # two halves of the result line.
        self.assertEnOrden(r.stdout, [obtiene("LIB1/SRC/M1.txt"), b"\n" + cuentas(2, 8) + incompleto("LIB1/SRC/M1.txt")])
        self.assertIn(obtiene("LIB1/SRC/M1.txt") + cuentas(2, 8) + incompleto("LIB1/SRC/M1.txt"), self.log())


class DiscoLlenoTest(DiscoPequeno):
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
        self.assertIn(("Error al grabar (%s)\n" % shown_path(ruta)).encode(), r.stdout)
        self.assertNotIn(b"registros", r.stdout.split(b"Error al grabar")[-1])

    def test_disco_lleno_en_un_miembro(self):
        bloque = bloque_texto(["X" * 999] * 29)
        self.lleno([miembro("LIB1", "SRC", "M1")] + [bloque] * 5, "LIB1/SRC/M1.txt")

    def test_disco_lleno_en_una_copia_cruda(self):
        bloque = bloque_crudo(b"\x40" * 29000, 100)
        self.lleno([cabecera("03", "LIB1", "CUST", "", "PF")] + [bloque] * 5, "LIB1/CUST.ebc")


if __name__ == "__main__":
    unittest.main()
