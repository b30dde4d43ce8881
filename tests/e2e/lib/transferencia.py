"""A transfer run against a scripted server, for the tests of the transfer
walk:

- OK, FIN_LISTA, cabecera, miembro, mensajes, bloque_texto, bloque_crudo, fin:
  the frames of the walk, in EBCDIC
- paseo, envia_miembros, silencio: the lock-step script of a list walk and
  steps for call()
- obtiene, cuentas, puntos, incompleto, grabar: the lines a run prints
- Arbol: a test case that runs vortcp in a fresh local tree (corre, lee,
  indice, ...); DiscoPequeno: the same on a 64 KB tmpfs (root only)
"""

import os
import shutil
import subprocess
import tempfile
import unittest

from .ebcdic import ebcdic_frame, frame, to_ebcdic
from .proceso import local_text, make_base, run_vortcp, shown_path
from .servidor import Peer, ScriptFailure, expect_eof, expect_frame, read_frame, send

OK = ebcdic_frame("OK")
FIN_LISTA = ebcdic_frame("9600")


# --- Messages of the server, in EBCDIC -------------------------------------------

def cabecera(codigo, lib, fic, mbr="", tipo="", texto="", fecha="20120131", hora="101500"):
    """Header 01 (member) or 03 (raw data file): 105 bytes."""
    return to_ebcdic("%s00105%-10s%-10s%-10s%-4s%-50s%-8s%-6s"
                     % (codigo, lib, fic, mbr, tipo, texto, fecha, hora))


def miembro(lib, fic, mbr, tipo="TXT", **kw):
    return cabecera("01", lib, fic, mbr, tipo, **kw)


def mensajes(lib, fic, texto="", fecha="20120131", hora="101500"):
    """Header 07 (message file): 91 bytes."""
    return to_ebcdic("0700091%-10s%-10s%-50s%-8s%-6s" % (lib, fic, texto, fecha, hora))


def bloque_texto(registros, codigo="02"):
    """A text block: the EBCDIC bytes of the records, each ended by 0x15 (a
    record given as bytes is sent as it is, without an end)."""
    datos = b"".join(r if isinstance(r, bytes) else to_ebcdic(r) + b"\x15" for r in registros)
    return to_ebcdic("%s%05d" % (codigo, 7 + len(datos))) + datos


def bloque_crudo(datos, largo_registro):
    return to_ebcdic("04%05d%05d" % (12 + len(datos), largo_registro)) + datos


def fin(codigo="06"):
    return to_ebcdic(codigo)


# --- Scripts -------------------------------------------------------------------------

def paseo(mensajes_servidor, final=None, fin_lista=True):
    """The lock-step script of a list walk: the request, then each message
    answered "OK", then the end code, left unanswered, and 9600."""
    pasos = [read_frame()]
    for m in mensajes_servidor:
        pasos += [send(frame(m)), expect_frame(OK)]
    pasos.append(send(frame(final if final is not None else fin())))
    if fin_lista:
        pasos.append(expect_frame(FIN_LISTA))
    pasos.append(expect_eof())
    return pasos


def envia_miembros(conn, nombres):
    """Inside a call step: each source member of LIB1/SRC whole, its header
    and one block of the line "LINEA DE <name>", each answered."""
    for m in nombres:
        conn.send(frame(miembro("LIB1", "SRC", m)))
        conn.read_frame()
        conn.send(frame(bloque_texto(["LINEA DE " + m])))
        conn.read_frame()


def silencio(conn):
    """Inside a call step: nothing more from the server until the client
    goes; the step then ends the script ("close")."""
    try:
        while conn.recv_some():
            pass
    except (OSError, ScriptFailure):
        pass
    return "close"


def obtiene(ruta):
    """The start of a result line; `ruta` in POSIX form, padded as printed."""
    ruta = shown_path(ruta)
    return ("Obtiene: %s%s" % (ruta, " " * (30 - len(ruta)))).encode("latin-1")


def grabar(ruta):
    """The message of a failed write of the local file `ruta` (POSIX form)."""
    return ("Error al grabar (%s)\n" % shown_path(ruta)).encode("latin-1")


def incompleto(ruta):
    """The line that follows the counts of an object left incomplete."""
    return ("Incompleto: %s.parcial\n" % shown_path(ruta)).encode("latin-1")


def puntos(n):
    return "{:,}".format(n).replace(",", ".")


def cuentas(registros, octetos):
    return ("%11s registros   %10s bytes\n" % (puntos(registros), puntos(octetos))).encode()


class Arbol(unittest.TestCase):
    """Each test runs in a fresh directory `self.dir` (the local tree hangs
    from it) inside `self.raiz`, which holds nothing else but the table
    directory: a name that escaped the tree would show up there."""

    def setUp(self):
        self.raiz = tempfile.mkdtemp(prefix="vortcp_tr_")
        self.base = make_base(os.path.join(self.raiz, "base"))
        self.dir = os.path.join(self.raiz, "trabajo")
        os.mkdir(self.dir)

    def tearDown(self):
        shutil.rmtree(self.raiz, ignore_errors=True)

    def corre(self, args, pasos, estado=0, env=None):
        peer = Peer(pasos)
        with peer:
            r = run_vortcp(args, self.dir, env={**peer.env(), "BASE": self.base, "LANG": "ESP",
                                                **(env or {})})
        self.assertEqual(r.status, estado, r.stdout + r.stderr)
        self.peer = peer
        return r

    def lee(self, *ruta):
        """A local text file, line ends checked and read as LF (local_text)."""
        return local_text(os.path.join(self.dir, *ruta))

    def lee_crudo(self, *ruta):
        """A raw copy (.ebc): the bytes as stored."""
        with open(os.path.join(self.dir, *ruta), "rb") as f:
            return f.read()

    def existe(self, *ruta):
        return os.path.exists(os.path.join(self.dir, *ruta))

    def log(self):
        return self.lee("vortcp.log")

    def indice(self, lib="LIB1"):
        return self.lee(lib, "xvoras", "xinfo").decode("latin-1").split("\n")

    def assertEnOrden(self, texto, trozos):
        pos = 0
        for t in trozos:
            i = texto.find(t, pos)
            self.assertGreaterEqual(i, 0, "%r not found after offset %d in %r" % (t, pos, texto))
            pos = i + len(t)


class DiscoPequeno(Arbol):
    """An Arbol whose working directory is a 64 KB tmpfs for the length of
    each test, so that the disk fills after a few dozen KB. Mounting needs
    root; elsewhere the test is skipped."""

    def setUp(self):
        if not (hasattr(os, "geteuid") and os.geteuid() == 0):
            self.skipTest("mounting a small tmpfs needs root")
        super().setUp()
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", self.dir],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if r.returncode != 0:
            super().tearDown()
            self.skipTest("cannot mount a tmpfs: %s" % r.stdout.decode("latin-1", "replace"))

    def tearDown(self):
        # Under Wine the emulated process can hold the folder for a moment
        # after its run has ended: the tmpfs is then detached at once and
        # freed when let go, so that no mount outlives the test.
        if subprocess.run(["umount", self.dir], stderr=subprocess.DEVNULL).returncode != 0:
            subprocess.run(["umount", "--lazy", self.dir], check=True)
        super().tearDown()
