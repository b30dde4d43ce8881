"""The index of big libraries: a run of a few thousand headers over an index
that holds hand-made lines of every kind must leave, byte for byte, the index
that rewriting it at every header left (the golden file datos/indice_dorado.gz,
made by that code); and a run that ends early (a lost connection, a refused
name, Ctrl-C or SIGTERM) must leave the index that rewriting it at every
header would have left at that point (the rule, as `modelo` applies it).

VORTCP_GRABA_DORADO=1 writes the golden file anew from the binary under test."""

import gzip
import os
import random
import signal
import subprocess
import threading
import unittest

from lib import (WINDOWS, Peer, call, clean_env, expect_eof, frame, read_frame, send, text_bytes, to_ebcdic,
                 vortcp_bin)
from lib.transferencia import OK, Arbol, bloque_texto, cabecera, envia_miembros, fin, mensajes, miembro

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
    # On Windows every line of the file ends in CR LF already.
    if not WINDOWS:
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


def clave(l):
    """The key of an index line, or None for a "#" line."""
    if l[:1] == b"#":
        return None
    campos = []
    for o in (1, 11, 21):
        c = l[o:o + 10]
        for corte in (b"\n", b"\0"):
            c = c.split(corte)[0]
        campos.append(c.rstrip(b" "))
    return tuple(campos)


def modelo(inicial, cabeceras_recibidas):
    """The index after these headers: per header, the lines of its key go and
    its line is appended. Lines are compared with their stamps blanked."""
    lineas = inicial.split(b"\n")
    if lineas and lineas[-1] == b"":
        lineas.pop()
    for lib, fic, mbr in cabeceras_recibidas:
        nueva = ("A%-10s%-10s%-10s" % (lib, fic, mbr)).encode()
        lineas = [l for l in lineas if clave(l) != clave(nueva)]
        lineas.append(nueva)
    return lineas


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


class FinAnticipadoTest(Arbol):
    """Runs that end before the end code, over an index of 300 entries."""

    def setUp(self):
        super().setUp()
        os.makedirs(os.path.join(self.dir, "LIB1", "xvoras"))
        self.inicial = b"# mano\n" + b"\n".join(linea("LIB1", "SRC", "M%04d" % i) for i in range(300)) + b"\n"
        with open(os.path.join(self.dir, "LIB1", "xvoras", "xinfo"), "wb") as f:
            f.write(text_bytes(self.inicial))
        # New members and known ones alternate.
        self.nombres = ["M%04d" % (i * 7 % 600) for i in range(120)]

    def comprueba(self, recibidas):
        esperado = modelo(self.inicial, [("LIB1", "SRC", m) for m in recibidas])
        hay = self.lee("LIB1", "xvoras", "xinfo").split(b"\n")
        self.assertEqual(hay[-1], b"")
        hay = hay[:-1]
        self.assertEqual([l[:31] if clave(l) else l for l in hay], [l[:31] if clave(l) else l for l in esperado])
        self.assertFalse(self.existe("LIB1", "xvoras", "xinfo.tmp"))

    def test_conexion_perdida_y_nombre_rechazado(self):
        def corta(conn):
            envia_miembros(conn, self.nombres)
            conn.send(frame(miembro("LIB1", "SRC", "ULTIMO"))[:40])
            return "close"
        # The member open when the connection drops is not indexed.
        self.corre(["ALL", "LIB1"], [read_frame(), call(corta)], estado=255)
        self.comprueba(self.nombres[:-1])

        def hostil(conn):
            envia_miembros(conn, self.nombres[:50])
            conn.send(frame(miembro("LIB1", "SRC", "..")))
            return "close"
        self.corre(["ALL", "LIB1"], [read_frame(), call(hostil), expect_eof()], estado=1)
        self.comprueba(self.nombres[:-1] + self.nombres[:49])

    @unittest.skipIf(WINDOWS, "signals are POSIX; the console's Ctrl-C cannot be sent under Wine")
    def test_interrupcion_a_mitad_de_biblioteca(self):
        recibidas = []
        for senal, estado in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
            listo = threading.Event()

            def sirve(conn):
                envia_miembros(conn, self.nombres)
                conn.send(frame(miembro("LIB1", "SRC", "MEDIO")))
                conn.read_frame()
                # Half a block, then nothing: the client waits for the rest.
                conn.send(frame(bloque_texto(["MITAD"] * 10))[:30])
                listo.set()
                # The connection stays open until the client, interrupted,
                # closes it (a close from here could end the run first); a
                # client that had not read the half block yet resets it.
                try:
                    while conn.recv_some():
                        pass
                except OSError:
                    pass
                return "close"
            peer = Peer([read_frame(), call(sirve)])
            with peer:
                env = clean_env({**peer.env(), "BASE": self.base, "LANG": "ESP"})
                p = subprocess.Popen([vortcp_bin(), "ALL", "LIB1"], cwd=self.dir, env=env,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                self.assertTrue(listo.wait(20))
                p.send_signal(senal)
                salida, error = p.communicate(timeout=20)
            self.assertEqual(p.returncode, estado, salida + error)
            self.assertTrue(salida.endswith(b" bytes\nIncompleto: LIB1/SRC/MEDIO.txt.parcial\n"
                                            b"Transferencia interrumpida.\n"), salida[-300:])
            recibidas += self.nombres
            self.comprueba(recibidas)
            # Every member file on disk has its line; the one cut short is
            # only in its working file.
            en_indice = {clave(l)[2].decode() for l in self.lee("LIB1", "xvoras", "xinfo").split(b"\n") if clave(l)}
            ficheros = os.listdir(os.path.join(self.dir, "LIB1", "SRC"))
            self.assertIn("MEDIO.txt.parcial", ficheros)
            for nombre in ficheros:
                if not nombre.endswith(".parcial"):
                    self.assertIn(nombre[:-4], en_indice)


if __name__ == "__main__":
    unittest.main()
