"""The session against a scripted server: the transfer request bytes, the
session broker and its port arithmetic, connection failures, the WEB
handshake, and the trace of one exchange."""

import unittest

from lib import (CONNECTION_REFUSED, Peer, broker_reply, broker_script, close, ebcdic_frame, expect, expect_eof,
                 expect_frame, frame, send, send_chunks, send_split, text_bytes, to_ebcdic, unused_port)
from lib.sesion import Sesion

FIN_DE_LISTA = ebcdic_frame("0600007")  # a code outside the catalogue ends the walk


def peticion(texto):
    """The request frame: exactly 70 characters, all in EBCDIC."""
    assert len(texto) == 70, len(texto)
    return ebcdic_frame(texto)


class Peticion(Sesion):
    def test_end_sends_only_the_request(self):
        with Peer([expect_frame(peticion("9600070" + " " * 63)), expect_eof()]) as peer:
            r = self.run_against(peer, ["END", "LIB1", "FILE1"])
        self.assertEqual(r.status, 0, r.stdout)
        # The log holds the run's summary alone: no object came.
        self.assertRegex(self.read("vortcp.log"), rb"^Total: 0 objetos, 0 registros, 0 bytes en [^\n]*\n$")

    def test_list_modes_send_request_then_end_message(self):
        casos = [
            (["MBR", "LIB1"], "9500070LIB1" + " " * 59),
            (["mbr", "lib1", "file1", "mbr1"], "9500070LIB1      FILE1     MBR1" + " " * 39),
        ]
        for args, texto in casos:
            with self.subTest(args=args):
                with Peer([expect_frame(peticion(texto)), send(FIN_DE_LISTA),
                           expect_frame(ebcdic_frame("9600")), expect_eof()]) as peer:
                    r = self.run_against(peer, args)
                self.assertEqual(r.status, 0, r.stdout)

    def test_spool_modes_send_no_end_message(self):
        for palabra, codigo in (("SPL", "66"), ("spf", "67")):
            with Peer([expect_frame(peticion(codigo + "00070LIB1" + " " * 59)),
                       send(FIN_DE_LISTA), expect_eof()]) as peer:
                r = self.run_against(peer, [palabra, "LIB1"], TEST="1")
            self.assertEqual(r.status, 0, r.stdout)
            self.assertIn(b"Va a trata_spl\n", r.stdout)

    def test_request_line_only_at_test_level_1(self):
        linea = b"\n->9600070" + b" " * 53 + b"\n"
        for nivel in ("1", "2"):
            with Peer([expect_frame(peticion("9600070" + " " * 63)), expect_eof()]) as peer:
                r = self.run_against(peer, ["END"], TEST=nivel)
            self.assertEqual(r.status, 0)
            self.assertEqual(linea in r.stdout, nivel == "1", nivel)
        self.assertEqual(self.read("trace"), b"")  # level 2: the file exists, empty

    def test_trace_of_the_request(self):
        texto = "9600070" + " " * 63
        with Peer([expect_frame(peticion(texto)), expect_eof()]) as peer:
            self.run_against(peer, ["END"], TEST="1")
        self.assertEqual(self.read("trace"), text_bytes(
                         b"Env_VORTCP: Inicio ilen(70), en_ebcdic(1)\n"
                         b"Env_VORTCP: slen(0000000080)\n"
                         b"Env_VORTCP: Final ilen(70)\n"
                         b"\tEnviado AS. nbuffer(70), rc(70) [" + texto.encode() + b"]\n"))

    def test_lost_connection_is_not_success(self):
        # The server goes away during the walk: no end message on the broken
        # connection, and the run says it failed.
        with Peer([expect_frame(peticion("9500070LIB1" + " " * 59)), close()]) as peer:
            r = self.run_against(peer, ["MBR", "LIB1"])
        self.assertEqual(r.status, 255, r.stdout)
        self.assertEqual(peer.received, peticion("9500070LIB1" + " " * 59))


class Broker(Sesion):
    END = peticion("9600070" + " " * 63)

    def test_offset_moves_the_session_port(self):
        for chunked in (False, True):
            respuesta = broker_reply(3)
            broker = broker_script(respuesta)
            if chunked:  # the reply may arrive a byte at a time
                broker[1] = send_chunks(respuesta, 1, 0.02)
            with Peer([expect_frame(self.END), expect_eof()], broker=broker,
                      broker_offset=3) as peer:
                r = self.run_against(peer, ["END"])
            self.assertEqual(peer.port, peer.servport + 4)
            self.assertEqual(r.status, 0, r.stdout)
            self.assertEqual(peer.broker_received, to_ebcdic("9700007"))
            self.assertIn(b"(1) Servidor detectado (127.0.0.1) ...\n"
                          b"Inicia la conexion al servidor (127.0.0.1) ...\n"
                          b"Envia NT->AS/400: [9700007]\n", r.stdout)
            self.assertNotIn(b"Obtiene ip", r.stdout)

    def test_host_names_are_looked_up(self):
        # The broker's look-up line is always shown, the session's at level 1.
        with Peer([expect_frame(self.END), expect_eof()], broker=broker_script(broker_reply(0)),
                  broker_offset=0) as peer:
            r = self.run_against(peer, ["END"], SERVIDOR="localhost")
        self.assertEqual(r.status, 0, r.stdout)
        self.assertEqual(r.stdout.count(b"Obtiene ip servidor (localhost) ...\n"), 1)

    def test_multias_other_than_1_connects_directly(self):
        for valor in ("0", "yes", "", "21"):
            with Peer([expect_frame(self.END), expect_eof()]) as peer:
                r = self.run_against(peer, ["END"], MULTIAS=valor)
            self.assertEqual(r.status, 0, valor)
            self.assertNotIn(b"(1) Servidor", r.stdout)

    def test_no_free_session(self):
        for partes in ([12], [7], [3, 9]):
            respuesta = broker_reply(99999, 10)
            broker = broker_script(respuesta)
            broker[1] = send_split(respuesta, at=partes[:-1] if len(partes) > 1 else [partes[0]])
            with Peer(None, broker=broker) as peer:
                r = self.run_against(peer, ["END"])
            self.assertEqual(r.status, 255)
            self.assertTrue(r.stdout.endswith(
                b"(2) Error de conexion al AS/400 identificado como (127.0.0.1) puerto (%d).\n"
                b"Superado el numero maximo de sesiones definidas (10).\n\n" % peer.servport),
                r.stdout)

    def test_short_or_missing_reply(self):
        for respuesta in (to_ebcdic("97000"), b""):
            with Peer(None, broker=[expect(to_ebcdic("9700007")), send(respuesta),
                                    close()]) as peer:
                r = self.run_against(peer, ["END"])
            self.assertEqual(r.status, 255)
            # The close is what happened: no stale system error text.
            self.assertEqual(r.stderr, b"Error en la lectura de datos ...\n: el intermediario cerro la conexion\n")

    def test_broker_unreachable(self):
        puerto = unused_port()
        r = self.run_against(None, ["END"], MULTIAS="1", SERVIDOR="127.0.0.1", SERVPORT=puerto)
        self.assertEqual(r.status, 255)
        self.assertTrue(r.stdout.endswith(
            b"Fallo en la operacion connect ...\n"
            b"(1) Error de conexion al AS/400 identificado como (127.0.0.1) puerto (%d).\n"
            b"Chequee esta identificacion y/o asegurese que se ejecuta el proceso ZIZEZ/400 "
            b"en el AS/400.\nrc=%d\n" % (puerto, CONNECTION_REFUSED)), r.stdout)


class Conexion(Sesion):
    def test_server_unreachable(self):
        r = self.run_against(None, ["END"], SERVIDOR="127.0.0.1", SERVPORT=unused_port(), TEST="1")
        self.assertEqual(r.status, 255)
        self.assertTrue(r.stdout.endswith(
            b"Servidor detectado (127.0.0.1) ...\nInforma serveraddr (127.0.0.1) ...\n"
            b"Inicia la conexion al servidor (127.0.0.1) ...\nError de conexion.\n"), r.stdout)
        self.assertIn(b"connect() failed", r.stderr)

    def test_host_not_found(self):
        r = self.run_against(None, ["END"], SERVIDOR="no-existe.invalid", SERVPORT="1")
        self.assertEqual(r.status, 255)
        self.assertIn(b"HOST NOT FOUND --> h_errno = ", r.stdout)


def mensaje_20(compri="", ebcdic=""):
    texto = "WWW_COMPRI=%s,WWW_EBCDIC=%s" % (compri, ebcdic)
    return "20001%05d%s" % (len(texto) + 15, texto)


class SaludoWeb(Sesion):
    def handshake(self, m01, m20, ebcdic=False, **env):
        def f(texto):
            return frame(to_ebcdic(texto), True) if ebcdic else frame(texto, False)
        script = [expect_frame(f(m01)), send(f("01 OK")), expect_frame(f(m20)), send(f("20 OK"))]
        with Peer(script) as peer:
            r = self.run_against(peer, ["WEB"], **env)
        # The SQL console that follows ends on the end of its input: status 1.
        self.assertEqual(r.status, 1, r.stdout)
        return r

    def test_defaults(self):
        self.assertEqual(len(mensaje_20()), 33)
        self.handshake("010010409600015", mensaje_20())
        self.handshake("010010409600015", mensaje_20(), WWW_BUFSIZE="")

    def test_library_list_buffer_size_and_compression(self):
        self.handshake("010010409600020A/B/C", mensaje_20(), WWW_LIBL="A/B/C")
        self.handshake("0100112345600015", mensaje_20("1"), WWW_BUFSIZE="123456",
                       WWW_COMPRI="1")
        self.handshake("010010000000015", mensaje_20(), WWW_BUFSIZE="0")

    def test_ebcdic_setting(self):
        self.handshake("010010409600015", mensaje_20("", "1"), ebcdic=True, WWW_EBCDIC="1")
        # 2 is not EBCDIC for the framing, but travels in the options text.
        self.handshake("010010409600015", mensaje_20("", "2"), WWW_EBCDIC="2")

    def test_exchange_lines(self):
        r = self.handshake("010010409600015", mensaje_20(), TEST="2")
        m20 = mensaje_20().encode()
        lineas = [b"Envia : [010010409600015]\n", b"Enviado: rc=15 [010010409600015]\n",
                  b"Recibe: rc=5  [01 OK]\n", b"Envia : [" + m20 + b"]\n",
                  b"Enviado: rc=33 [" + m20 + b"]\n", b"Recibe: rc=5  [20 OK]\n"]
        pos = 0
        for linea in lineas:
            pos = r.stdout.find(linea, pos)
            self.assertGreaterEqual(pos, 0, linea)

    def test_failed_exchange_ends_the_run(self):
        with Peer([expect_frame(frame("010010409600015", False)), close()]) as peer:
            r = self.run_against(peer, ["WEB"])
        self.assertEqual(r.status, 255, r.stdout)


if __name__ == "__main__":
    unittest.main()
