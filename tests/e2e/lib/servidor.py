"""A scripted peer that plays the server's side of a vortcp session.

    peer = Peer([expect_frame(ebcdic_frame("96" + ...)), expect_eof()])
    with peer:
        r = run_vortcp(["END"], cwd, env={**peer.env(), "BASE": ..., "LANG": ...})
    # leaving the block joins the peer and fails the test on a script failure
    peer.received        # every byte the session connection received

The peer listens on 127.0.0.1 on a free port, accepts one connection and runs
the steps in order. Every wait has a time-out; a failing step is recorded, the
connection is closed at once (so the program under test does not hang) and the
rest of the script is skipped. After the last step the peer closes its sending
side and reads until the client closes, recording what arrives.

With `broker` steps the peer also acts as the session broker: it listens on a
second port (SERVPORT) and the session listens on SERVPORT + broker_offset + 1,
as the program computes from the broker's reply.
"""

import os
import socket
import threading
import time

from .ebcdic import MAX_FRAME, as_bytes, frame_length, from_ebcdic, show, to_ebcdic
from .proceso import last_run

# Under Wine a run starts an emulated process first: on a loaded machine that
# alone can take several seconds, so every wait gets more room there.
DEFAULT_TIMEOUT = 30.0 if os.environ.get("VORTCP_EMULADOR") else 10.0


class ScriptFailure(Exception):
    """A step of the script did not see what it expected."""


def _diff(expected, got):
    n = 0
    while n < len(expected) and n < len(got) and expected[n] == got[n]:
        n += 1
    return ("first difference at offset %d\n  expected: %s\n  received: %s"
            % (n, show(expected), show(got)))


class Connection:
    """One accepted connection, as the steps (and call() functions) see it."""

    def __init__(self, sock, peer, record):
        self.sock = sock
        self.peer = peer
        self._record = record  # bytearray that keeps every received byte

    def recv_some(self, n=65536):
        """One receive: up to n bytes; b"" when the client closed."""
        try:
            data = self.sock.recv(n)
        except socket.timeout:
            raise ScriptFailure("nothing received within %ss" % self.peer.timeout)
        self._record.extend(data)
        return data

    def recv_exact(self, n):
        """Exactly n bytes; fails on a close or a time-out before that."""
        data = b""
        while len(data) < n:
            chunk = self.recv_some(n - len(data))
            if not chunk:
                raise ScriptFailure("connection closed after %s, %d bytes were expected"
                                    % (show(data), n))
            data += chunk
        return data

    def read_frame(self, ebcdic_digits=True):
        """One whole frame (length characters included) as sent. The length
        characters are read as EBCDIC or ASCII digits as asked, falling back
        to the other kind (so that a frame with the wrong kind of digits is
        still read whole, and shown in the failure)."""
        head = self.recv_exact(10)
        n = frame_length(head, ebcdic_digits)
        if n is None:
            n = frame_length(head, not ebcdic_digits)
        if n is None or n < 10 or n > MAX_FRAME:
            raise ScriptFailure("bad frame length field: %s" % show(head))
        return head + self.recv_exact(n - 10)

    def send(self, data):
        try:
            self.sock.sendall(as_bytes(data))
        except OSError as e:
            raise ScriptFailure("send failed: %s" % e)


class Step:
    """One step of a script: describe() for messages, run(connection)."""

    def __init__(self, description, action):
        self.description = description
        self.action = action

    def run(self, conn):
        return self.action(conn)


def expect(data, label=None):
    """Read exactly len(data) bytes and compare them with `data`."""
    data = as_bytes(data)

    def action(conn):
        got = b""
        while len(got) < len(data):
            chunk = conn.recv_some(len(data) - len(got))
            if not chunk:
                break
            got += chunk
        if got != data:
            raise ScriptFailure("unexpected bytes\n" + _diff(data, got))
    return Step(label or "expect %d bytes" % len(data), action)


def expect_frame(expected, label=None):
    """Read one frame by its length field and compare the whole frame (length
    characters included) with `expected`, e.g. ebcdic_frame("9600") or
    frame(b"010010409600015", ebcdic_digits=False). The kind of length digits
    to read is taken from `expected`."""
    expected = as_bytes(expected)
    ebcdic_digits = frame_length(expected[:10], True) is not None

    def action(conn):
        got = conn.read_frame(ebcdic_digits)
        conn.peer.frames.append(got)
        if got != expected:
            raise ScriptFailure("unexpected frame\n" + _diff(expected, got))
    text = from_ebcdic(expected) if ebcdic_digits else expected
    return Step(label or "expect frame %r" % text[:50], action)


def read_frame(ebcdic_digits=True):
    """Read one frame whatever it holds; it is appended to peer.frames."""
    def action(conn):
        conn.peer.frames.append(conn.read_frame(ebcdic_digits))
    return Step("read a frame", action)


def send(data):
    """Send the bytes in one send call (two frames joined go out together)."""
    return Step("send %d bytes" % len(as_bytes(data)), lambda conn: conn.send(data))


def send_chunks(data, size=1, pause=0.01):
    """Send the bytes in pieces of `size` bytes with a pause after each."""
    data = as_bytes(data)

    def action(conn):
        for i in range(0, len(data), size):
            conn.send(data[i:i + size])
            time.sleep(pause)
    return Step("send %d bytes in chunks of %d" % (len(data), size), action)


def send_split(data, at, pause=0.1):
    """Send the bytes cut at the offsets `at` (e.g. in the middle of a length
    field), pausing between the pieces."""
    data = as_bytes(data)
    cuts = [0] + sorted(at) + [len(data)]

    def action(conn):
        for a, b in zip(cuts, cuts[1:]):
            conn.send(data[a:b])
            time.sleep(pause)
    return Step("send %d bytes cut at %r" % (len(data), list(at)), action)


def pause(seconds):
    return Step("pause %ss" % seconds, lambda conn: time.sleep(seconds))


def close():
    """Close the connection here; the steps after it are not run."""
    def action(conn):
        return "close"
    return Step("close", action)


def expect_eof():
    """Wait for the client to close the connection; any byte is a failure."""
    def action(conn):
        got = b""
        while True:
            chunk = conn.recv_some()
            if not chunk:
                break
            got += chunk
        if got:
            raise ScriptFailure("bytes after the expected end: %s" % show(got))
    return Step("expect the client to close", action)


def call(function, label="call"):
    """Run function(connection) for replies that depend on what arrived; it
    may use connection.read_frame(), recv_exact(), send() and raise
    ScriptFailure."""
    return Step(label, function)


def broker_reply(offset, maximum=None):
    """A broker reply in EBCDIC: "97", the offset in 5 digits and, for 99999,
    the maximum number of sessions in 5 digits."""
    text = "97%05d" % offset
    if maximum is not None:
        text += "%05d" % maximum
    return to_ebcdic(text)


def broker_script(reply):
    """The usual broker: the 7-byte request 9700007 in EBCDIC, then `reply`,
    then close."""
    return [expect(to_ebcdic("9700007"), "expect the port request"), send(reply), close()]


def _listener(port=0):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", port))
    s.listen(1)
    return s


def unused_port():
    """A port on 127.0.0.1 where nothing listens (it was free a moment ago)."""
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Peer:
    """The server's side of one session (see the module's docstring).

    script: list of steps for the session connection, or None for no session
        listener (a run that must not connect).
    broker: list of steps for the broker connection (usually
        broker_script(broker_reply(n))), or None for no broker.
    broker_offset: with a broker, the offset n of its reply; the session then
        listens on broker port + n + 1. None: no session listener.
    timeout: seconds for the accept and for every receive.

    Attributes after the run: received, broker_received (bytes), frames (the
    frames read by expect_frame/read_frame), connected (the session was
    accepted), failures (list of str).
    """

    def __init__(self, script, broker=None, broker_offset=None, timeout=DEFAULT_TIMEOUT):
        self.script = script
        self.broker = broker
        self.timeout = timeout
        self.frames = []
        self.failures = []
        self.connected = False
        self._received = bytearray()
        self._broker_received = bytearray()
        self._threads = []
        self._sockets = []
        self.broker_port = None
        self.port = None
        self._session_listener = None
        self._session_listener = None
        self._open_listeners(broker_offset)
        if self._session_listener is not None:
            self.port = self._session_listener.getsockname()[1]
        if self._session_listener is not None:
            self.port = self._session_listener.getsockname()[1]

    def _open_listeners(self, broker_offset):
        if self.broker is None:
            if self.script is not None:
                self._session_listener = _listener()
            return
        for _ in range(50):
            b = _listener()
            port = b.getsockname()[1]
            if self.script is None or broker_offset is None:
                self._broker_listener, self.broker_port = b, port
                if self.script is not None:
                    raise ValueError("a session script with a broker needs broker_offset")
                return
            target = port + broker_offset + 1
            if target < 65536:
                try:
                    self._session_listener = _listener(target)
                    self._broker_listener, self.broker_port = b, port
                    return
                except OSError:
                    pass
            b.close()
        raise RuntimeError("no free pair of ports for the broker arithmetic")

    @property
    def servport(self):
        """The SERVPORT the program must be given."""
        return self.broker_port if self.broker is not None else self.port

    def env(self):
        """SERVIDOR, SERVPORT and MULTIAS for a run against this peer."""
        return {"SERVIDOR": "127.0.0.1", "SERVPORT": str(self.servport),
                "MULTIAS": "1" if self.broker is not None else None}

    @property
    def received(self):
        return bytes(self._received)

    @property
    def broker_received(self):
        return bytes(self._broker_received)

    def start(self):
        if self.script is not None:
            self._spawn(self._session_listener, self.script, self._received, "session", True)
        if self.broker is not None:
            self._spawn(self._broker_listener, self.broker, self._broker_received, "broker", False)
        return self

    def _spawn(self, listener, steps, record, name, is_session):
        self._sockets.append(listener)
        t = threading.Thread(target=self._serve, args=(listener, steps, record, name, is_session),
                             daemon=True)
        t.start()
        self._threads.append(t)

    def _serve(self, listener, steps, record, name, is_session):
        listener.settimeout(self.timeout)
        try:
            sock, _ = listener.accept()
        except OSError:
            self.failures.append("%s: no connection within %ss" % (name, self.timeout))
            return
        finally:
            listener.close()
        if is_session:
            self.connected = True
        sock.settimeout(self.timeout)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        conn = Connection(sock, self, record)
        where = "before the first step"
        try:
            for i, step in enumerate(steps):
                where = "step %d (%s)" % (i, step.description)
                if step.run(conn) == "close":
                    return
            where = "after the last step, waiting for the client to close"
            try:
                sock.shutdown(socket.SHUT_WR)
                while conn.recv_some():
                    pass
            except (ConnectionResetError, OSError) as e:
                raise ScriptFailure("the client reset the connection (it closed with bytes "
                                    "of the peer left unread): %s" % e)
        except ScriptFailure as e:
            self.failures.append("%s %s: %s" % (name, where, e))
        except OSError as e:
            self.failures.append("%s %s: socket error: %s" % (name, where, e))
        finally:
            sock.close()

    def finish(self):
        """Waits for the peer's threads and fails the test (AssertionError)
        when a step failed."""
        for t in self._threads:
            t.join(self.timeout * 3)
            if t.is_alive():
                self.failures.append("peer thread still running")
        for s in self._sockets:
            s.close()
        if self.failures:
            raise AssertionError("scripted peer:\n" + "\n".join(self.failures)
                                 + "\nreceived on the session: " + show(self.received)
                                 + "\n" + last_run())

    def __enter__(self):
        return self.start()

    def __exit__(self, kind, value, tb):
        if kind is None:
            self.finish()
        else:
            for s in self._sockets:
                s.close()
        return False
