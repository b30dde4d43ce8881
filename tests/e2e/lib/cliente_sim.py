"""A bare client of zizez-sim's wire, written with the standard library, so
that the simulator's own tests do not depend on vortcp:

- Cliente: frames out and in, a transfer request and its walk (pide,
  recorre), the SQL handshake and messages (abre_sql, sql)
- consulta: a query through messages 02 and 03, as columns and rows
- expande_lzw: the client's expansion of a compressed reply
- texto_de: an EBCDIC name field as text
"""

import socket

from .ebcdic import asc_fija, ebc_fija, from_ebcdic, to_ebcdic

CATALOGO_TRANSFERENCIA = {1, 2, 3, 4, 5, 7, 8}
CODIGO_FIN = 99


class Cliente:
    """The client's side of the frame: length digits in EBCDIC when asked."""

    def __init__(self, puerto, timeout=10):
        self.sock = socket.create_connection(("127.0.0.1", puerto), timeout=timeout)
        self.pendiente = b""

    def close(self):
        self.sock.close()

    def envia(self, carga, ebcdic=True):
        digitos = b"%010d" % (len(carga) + 10)
        self.sock.sendall((to_ebcdic(digitos) if ebcdic else digitos) + carga)

    def _lee(self, n):
        while len(self.pendiente) < n:
            try:
                trozo = self.sock.recv(65536)
            except ConnectionResetError:  # closed with our last answer unread
                trozo = b""
            if not trozo:
                raise EOFError("el servidor cierra con %d bytes pendientes" % len(self.pendiente))
            self.pendiente += trozo
        datos, self.pendiente = self.pendiente[:n], self.pendiente[n:]
        return datos

    def recibe(self, ebcdic=True):
        digitos = self._lee(10)
        texto = from_ebcdic(digitos) if ebcdic else digitos
        if not texto.isdigit():
            raise ValueError("longitud no numerica %r" % digitos)
        return self._lee(int(texto) - 10)

    def cerrado(self):
        """True when the server has closed (after what is already pending)."""
        try:
            return self.sock.recv(1) == b""
        except (ConnectionResetError, socket.timeout):
            return False

    # --- transfer side ----------------------------------------------------
    def pide(self, codigo, biblioteca="", archivo="", miembro="", tipo="", fechad="", horad=""):
        campos = "%-10s%-10s%-10s" % (biblioteca, archivo, miembro)
        if miembro:
            campos += "%-4s" % tipo
        peticion = ("%02d00070" % codigo + campos + fechad[:8] + horad[:6]).ljust(70)[:70]
        self.envia(to_ebcdic(peticion))

    def recorre(self):
        """Walks the stream as the client does: answers OK to every message of
        the catalogue, stops at the first other code. Returns the messages
        (code, payload) including the last one."""
        mensajes = []
        while True:
            m = self.recibe()
            codigo = int(from_ebcdic(m[:2]))
            mensajes.append((codigo, m))
            if codigo not in CATALOGO_TRANSFERENCIA and codigo not in (67, 68):
                return mensajes
            self.envia(to_ebcdic("OK"))

    # --- SQL side ------------------------------------------------------------
    def sql(self, texto, ebcdic=False):
        """Sends an SQL message (str, CP1252) and returns the reply as CP1252
        bytes (converted back when the session is EBCDIC)."""
        carga = texto.encode("cp1252")
        if ebcdic:
            carga = carga.translate(asc_fija)
        self.envia(carga, ebcdic)
        r = self.recibe(ebcdic)
        return r.translate(ebc_fija) if ebcdic else r

    def abre_sql(self, libl="", bufsize=4096, ebcdic=False):
        self.sql("01001%05d%05d%s" % (bufsize, len(libl) + 15, libl), ebcdic)
        opciones = "WWW_COMPRI=1,WWW_EBCDIC=%s" % ("1" if ebcdic else "")
        self.sql("20001%05d%s" % (len(opciones) + 15, opciones), ebcdic)


def texto_de(campo):
    return from_ebcdic(campo).decode("cp1252").rstrip()


def consulta(cli, sentencia, ebcdic=False):
    """Runs a query through 02 and 03; returns (columns, rows, replies)."""
    r = cli.sql("02001000%5d%s" % (len(sentencia) + 13, sentencia), ebcdic)
    respuestas = [r]
    if r[13:16] == b"ERR":
        return None, r, respuestas
    d = int(r[16:21])
    columnas = [c.split(b"-") for c in r[21:21 + d].split(b"!") if c]
    filas_totales = r[27 + d:]
    sigue = r[26 + d:27 + d]
    while sigue == b"0":
        r = cli.sql("03001001", ebcdic)
        respuestas.append(r)
        if r[13:16] == b"ERR":
            break
        filas_totales += r[19:]
        sigue = r[18:19]
    valores = filas_totales.split(b"\xaf")[:-1]
    n = len(columnas)
    filas = [valores[i:i + n] for i in range(0, len(valores), n)]
    return columnas, filas, respuestas


def expande_lzw(datos):
    """The client's expansion of a compressed reply (12-bit codes)."""
    codigos = []
    bits = int.from_bytes(datos, "big")
    total = len(datos) * 8
    for k in range(total // 12):
        codigos.append((bits >> (total - 12 * (k + 1))) & 0xFFF)
    dic = {i: bytes([i]) for i in range(256)}
    salida = bytearray()
    viejo = codigos[0]
    salida += dic[viejo]
    siguiente = 256
    for nuevo in codigos[1:]:
        if nuevo == 4095:
            break
        cadena = dic[nuevo] if nuevo in dic else dic[viejo] + dic[viejo][:1]
        salida += cadena
        if siguiente <= 4094:
            dic[siguiente] = dic[viejo] + cadena[:1]
            siguiente += 1
        viejo = nuevo
    return bytes(salida)
