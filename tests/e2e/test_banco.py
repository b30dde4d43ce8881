"""Checks of the e2e harness itself, with a Python client in place of vortcp:
a script failure must fail the test, readably and without hanging."""

import socket
import time
import unittest

from lib import (Peer, broker_reply, broker_script, ebcdic_frame, expect, expect_eof,
                 expect_frame, from_ebcdic, send, send_chunks, send_split, split_frames,
                 to_ebcdic)


def client(port):
    s = socket.create_connection(("127.0.0.1", port), timeout=5)
    s.settimeout(5)
    return s


def read_all(s):
    data = b""
    while True:
        chunk = s.recv(65536)
        if not chunk:
            return data
        data += chunk


class PeerTest(unittest.TestCase):
    def test_script_runs_and_records(self):
        two = ebcdic_frame("OK") + ebcdic_frame("0500")
        peer = Peer([expect_frame(ebcdic_frame("9600")), send_chunks(ebcdic_frame("01AB")),
                     send(two), send_split(two, at=[len(ebcdic_frame("OK")) + 4]),
                     expect_eof()])
        with peer:
            s = client(peer.port)
            s.sendall(ebcdic_frame("9600"))
            time.sleep(1.0)
            s.shutdown(socket.SHUT_WR)
            data = read_all(s)
            s.close()
        payloads, rest = split_frames(data)
        self.assertEqual(rest, b"")
        self.assertEqual([from_ebcdic(p) for p in payloads], [b"01AB", b"OK", b"0500", b"OK", b"0500"])
        self.assertEqual(peer.received, ebcdic_frame("9600"))

    def test_mismatch_fails_readably_and_closes(self):
        peer = Peer([expect_frame(ebcdic_frame("9600")), send(ebcdic_frame("never"))], timeout=3)
        peer.start()
        s = client(peer.port)
        s.sendall(ebcdic_frame("9601"))
        self.assertEqual(read_all(s), b"")  # closed at once, nothing sent
        s.close()
        with self.assertRaises(AssertionError) as cm:
            peer.finish()
        self.assertIn("first difference at offset 13", str(cm.exception))

    def test_silent_client_times_out(self):
        peer = Peer([expect(b"x")], timeout=0.5)
        peer.start()
        start = time.time()
        with self.assertRaises(AssertionError):
            peer.finish()
        self.assertLess(time.time() - start, 5)

    def test_broker_places_the_session_port(self):
        peer = Peer([expect_eof()], broker=broker_script(broker_reply(3)), broker_offset=3)
        with peer:
            b = client(peer.servport)
            b.sendall(to_ebcdic("9700007"))
            self.assertEqual(read_all(b), to_ebcdic("9700003"))
            b.close()
            self.assertEqual(peer.port, peer.servport + 4)
            client(peer.port).close()
        self.assertTrue(peer.connected)


if __name__ == "__main__":
    unittest.main()
