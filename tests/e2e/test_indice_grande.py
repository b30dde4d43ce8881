"""The index of big libraries: a run of a few thousand headers over an index
that holds hand-made lines of every kind must leave, byte for byte, the index
that rewriting it at every header left (the golden file datos/indice_dorado.gz,
made by that code), whatever way the run ends.

VORTCP_GRABA_DORADO=1 writes the golden file anew from the binary under test."""

import gzip
import os
import random
import signal
import subprocess
import unittest

from lib import WINDOWS, Peer, call, clean_env, frame, local_text, read_frame, text_bytes, to_ebcdic, vortcp_bin
from test_transferencia import (FIN_LISTA, OK, Arbol, bloque_texto, cabecera, fin, mensajes, miembro)

DORADO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "datos", "indice_dorado.gz")
SELLO = b"20250101120000"  # update stamp of the lines already in the index


def linea(lib, fic, mbr, tipo="TXT", texto="antiguo"):
    return ("A%-10s%-10s%-10s%-6s%-55s%-8s%-6s" % (lib, fic, mbr, tipo, texto, "20110101", "090000")).encode() \
        + SELLO


def indice_inicial():
    """An index as a user may have left it: comments, a line of 1,500 bytes,
    an empty line, a CR LF line, a key twice, a short line and a last line
    without its line end."""
    lineas = [b"# indice de LIB1"]
    for i in range(500):
        lineas.append(linea("LIB1", "SRC", "M%04d" % i))
        if i == 100:
            lineas.append(b"# nota de M0100")
    lineas[150] = linea("LIB1", "SRC", "M0149") + b"X" * 1380
    lineas.insert(200, b"")
    lineas[250] = lineas[250] + b"\r"
    lineas.insert(300, linea("LIB1", "SRC", "M0299", texto="dos veces"))
    lineas.insert(310, b"ALIB1")
    return b"\n".join(lineas) + b"\n" + linea("LIB1", "SRC", "M0400", texto="sin fin")


def cabeceras():
    """3,000 headers: new and known members in a shuffled order, repeats,
    message files, raw copies and a second library."""
    azar = random.Random(13)
    # Some of the entries already in the index are left as they are.
    nombres = ["M%04d" % i for i in range(2000) if i >= 500 or (i % 10 != 9 and i not in (247, 400))]
    azar.shuffle(nombres)
    nombres += azar.sample(nombres, 600)
    mensajes_out = []
    for i, mbr in enumerate(nombres):
        if i % 97 == 0:
            mensajes_out.append(mensajes("LIB1", "MSGF%d" % (i % 5), texto="mensajes %d" % i))
        if i % 131 == 0:
            mensajes_out.append(cabecera("03", "LIB1", "DATOS%d" % (i % 3), "", "PF", texto="datos"))
        if i % 89 == 0:
            mensajes_out.append(miembro("LIB2", "QRPG", "P%d" % (i % 7), "RPGL"))
        mensajes_out.append(miembro("LIB1", "SRC", mbr, "TXT", texto="nuevo %d" % i,
                                    fecha="20 10101" if i % 50 == 0 else "20120131"))
    return mensajes_out


def normaliza(datos):
    """The index with the update stamps of this run's lines blanked out."""
    salida = []
    for l in datos.split(b"\n"):
        if len(l) == 120 and l[:1] == b"A" and l[106:].isdigit() and l[106:] != SELLO:
            l = l[:106] + b"*" * 14
        salida.append(l)
    return b"\n".join(salida)


class IndiceGrandeTest(Arbol):
    def prepara(self):
        os.makedirs(os.path.join(self.dir, "LIB1", "xvoras"))
        with open(os.path.join(self.dir, "LIB1", "xvoras", "xinfo"), "wb") as f:
            f.write(text_bytes(indice_inicial()))

    def sirve_todo(self, conn):
        for m in cabeceras():
            conn.send(frame(m))
            if conn.read_frame() != OK:
                raise AssertionError("no OK")
        conn.send(frame(fin()))
        conn.read_frame()
        return "close"

    def indices(self):
        return (normaliza(self.lee("LIB1", "xvoras", "xinfo")), normaliza(self.lee("LIB2", "xvoras", "xinfo")))

    def test_mismo_indice_que_reescribiendo_en_cada_cabecera(self):
        self.prepara()
        self.corre(["ALL", "LIB1"], [read_frame(), call(self.sirve_todo)])
        uno, dos = self.indices()
        if os.environ.get("VORTCP_GRABA_DORADO") == "1":
            os.makedirs(os.path.dirname(DORADO), exist_ok=True)
            with gzip.open(DORADO, "wb", compresslevel=9) as f:
                f.write(uno + b"\n==LIB2==\n" + dos)
        with gzip.open(DORADO, "rb") as f:
            esperado_uno, esperado_dos = f.read().split(b"\n==LIB2==\n")
        self.assertEqual(uno, esperado_uno)
        self.assertEqual(dos, esperado_dos)
        self.assertFalse(self.existe("LIB1", "xvoras", "xinfo.tmp"))


if __name__ == "__main__":
    unittest.main()
