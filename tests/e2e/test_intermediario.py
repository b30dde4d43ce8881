"""The session broker's reply, checked: an offset that is not five digits or
that gives no port is refused as it came, and a broker that does not answer
is given up (within 30 seconds, or VORTCP_ESPERA when that is shorter)."""

import unittest

from lib import Peer, broker_script, expect, expect_eof, to_ebcdic
from lib.sesion import Sesion


class RespuestaDelIntermediario(Sesion):
    def test_desplazamiento_que_no_es_un_puerto(self):
        # "97-0001" read as a number sent the session to the broker's own
        # port; 65000 takes any SERVPORT above 535 past the last port.
        for texto in ("97-0001", "97 0003", "970003x", "9765000", "97+0001"):
            with self.subTest(respuesta=texto):
                with Peer(None, broker=broker_script(to_ebcdic(texto))) as peer:
                    r = self.run_against(peer, ["END"])
                self.assertEqual(r.status, 255, r.stdout)
                self.assertTrue(r.stdout.endswith(b"Respuesta no valida del intermediario (%s)\n"
                                                  % texto.encode()), r.stdout)

    def test_intermediario_que_no_responde(self):
        # It takes the request and says nothing: the wait ends at the limit.
        with Peer(None, broker=[expect(to_ebcdic("9700007")), expect_eof()], timeout=30) as peer:
            r = self.run_against(peer, ["END"], VORTCP_ESPERA="1")
        self.assertEqual(r.status, 255, r.stdout)
        self.assertEqual(r.stderr, b"Error en la lectura de datos ...\n: el intermediario no respondio\n")


if __name__ == "__main__":
    unittest.main()
