"""The wire: VORTCP_ESPERA (a server silent for that long is a lost
session), a frame written in small pieces by a server whose stack waits for
each acknowledgement (Nagle), and what reaches a terminal from the server:
the names of the result lines and of the progress line, and the C1 controls
of a UTF-8 run, through the terminal filter."""

import os
import socket
import time
import unittest

from lib import (WINDOWS, Peer, call, ebcdic_frame, expect_eof, expect_frame, frame, read_frame, run_on_terminal,
                 send, to_ebcdic, unused_port)
from lib.sesion import Sesion
from lib.transferencia import Arbol, bloque_texto, cuentas, fin, incompleto, miembro, silencio


class Espera(Arbol):
    def test_valores_no_validos(self):
        for valor in ("0", "86401", "1.5", "-3", "abc", " 5", "5 "):
            with self.subTest(valor=valor):
                r = self.corre(["ALL", "LIB1"], None, estado=1,
                               env={"SERVIDOR": "127.0.0.1", "SERVPORT": unused_port(), "VORTCP_ESPERA": valor})
                self.assertTrue(r.stdout.endswith(b"Valor no valido en la variable VORTCP_ESPERA (%s)\n"
                                                  % valor.encode()), r.stdout)
                self.assertNotIn(b"Error de conexion", r.stdout)

    def test_servidor_callado_durante_una_transferencia(self):
        def sirve(conn):
            for m in ("M1", "M2"):
                conn.send(frame(miembro("LIB1", "SRC", m)))
                conn.read_frame()
                conn.send(frame(bloque_texto([m])))
                conn.read_frame()
            return silencio(conn)
        r = self.corre(["ALL", "LIB1"], [read_frame(), call(sirve)], estado=255, env={"VORTCP_ESPERA": "1"})
        self.assertEqual(r.stderr, b"Sin respuesta del servidor en 1 s\n")
        self.assertTrue(r.stdout.endswith(cuentas(1, 3) + incompleto("LIB1/SRC/M2.txt")), r.stdout)
        self.assertEqual([l[21:31].strip() for l in self.indice() if l], ["M1"])


class EsperaEnLaConsola(Sesion):
    def test_saludo_sin_respuesta(self):
        with Peer([read_frame(False), call(silencio)], timeout=30) as peer:
            r = self.run_against(peer, ["WEB"], VORTCP_ESPERA="1")
        self.assertEqual(r.status, 255, r.stdout)
        self.assertIn(b"Sin respuesta del servidor en 1 s\n", r.stderr)


@unittest.skipIf(WINDOWS, "the acknowledgement timer of the host's stack, under an emulated process")
class TramaEnTrozos(Arbol):
    def test_doscientas_tramas_en_trozos_de_1448_con_nagle(self):
        # Each frame goes out in pieces of 1,448 bytes, Nagle on: the stack
        # sends a piece only once the one before is acknowledged, so a client
        # that waits for its delayed acknowledgement (40 ms) pays that per
        # frame: 8 s or more for 200 frames.
        bloque = bloque_texto(["X" * 79] * 50)
        duracion = []

        def sirve(conn):
            conn.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 0)
            tramas = [frame(miembro("LIB1", "SRC", "M1"))] + [frame(bloque)] * 200
            inicio = time.monotonic()
            for t in tramas:
                for k in range(0, len(t), 1448):
                    conn.sock.sendall(t[k:k + 1448])
                conn.read_frame()
            duracion.append(time.monotonic() - inicio)
            conn.send(frame(fin()))
            conn.read_frame()
            return "close"
        r = self.corre(["ALL", "LIB1"], [read_frame(), call(sirve)])
        self.assertIn(cuentas(200 * 50, 200 * 50 * 80), r.stdout)
        self.assertLess(duracion[0], 4.0)


@unittest.skipIf(WINDOWS, "no pseudo-terminal for a program run under Wine")
class NombresEnUnTerminal(Arbol):
    def test_lineas_de_resultado_y_de_progreso(self):
        # A member name whose EBCDIC bytes translate to 0x7F, 0x81 and 0x9D.
        cabecera = bytearray(miembro("LIB1", "SRC", "MX"))
        cabecera[27:31] = to_ebcdic("A") + b"\x65\xdc\x9d"

        def sirve(conn):
            conn.send(frame(bytes(cabecera)))
            conn.read_frame()
            # Long enough for the progress line to be drawn (it is redrawn
            # at most every 100 ms): a slower machine only draws it again.
            time.sleep(0.3)
            for _ in range(3):
                conn.send(frame(bloque_texto(["LINEA"])))
                conn.read_frame()
                time.sleep(0.15)
            conn.send(frame(fin()))
            conn.read_frame()
            return "close"
        peer = Peer([read_frame(), call(sirve)])
        with peer:
            estado, pantalla, _ = run_on_terminal(["ALL", "LIB1"], self.dir,
                                                  {**peer.env(), "BASE": self.base, "LANG": "ESP"}, stderr_too=True)
        self.assertEqual(estado, 0, pantalla)
        # The result line, and the progress line drawn over it.
        self.assertIn(b"Obtiene: LIB1/SRC/A???.txt", pantalla)
        self.assertIn(b"\rObtiene: LIB1/SRC/A???.txt", pantalla)
        for byte in (b"\x7f", b"\x81", b"\x9d"):
            self.assertNotIn(byte, pantalla)
        # The file and the log keep the name as it came.
        self.assertTrue(os.path.exists(os.path.join(os.fsencode(self.dir), b"LIB1/SRC/A\x7f\x81\x9d.txt")))
        self.assertIn(b"Obtiene: LIB1/SRC/A\x7f\x81\x9d.txt", self.log())

    def test_controles_c1_de_una_ejecucion_utf8(self):
        datos = to_ebcdic("UNO") + b"\x9d" + to_ebcdic("[2J") + b"\x8f" + to_ebcdic("DOS")
        b67 = to_ebcdic("67%05d0080" % (11 + len(datos))) + datos
        pasos = [read_frame(), send(frame(b67)), expect_frame(ebcdic_frame("OK")), send(frame(to_ebcdic("00"))),
                 expect_eof()]
        peer = Peer(pasos)
        with peer:
            estado, pantalla, _ = run_on_terminal(["SPL", "LIB1"], self.dir,
                                                  {**peer.env(), "BASE": self.base, "LANG": "ESP",
                                                   "VORTCP_CODIFICACION": "UTF-8"}, stderr_too=True)
        self.assertEqual(estado, 0, pantalla)
        self.assertIn(b"UNO?[2J?DOS\n", pantalla)
        self.assertNotIn(b"\xc2\x9d", pantalla)
        self.assertNotIn(b"\xc2\x8f", pantalla)


if __name__ == "__main__":
    unittest.main()
