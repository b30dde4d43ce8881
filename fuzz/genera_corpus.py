#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/) from the
test vectors of the framing, the codec, the table file and the later layers.
Run it again after changing a vector; the files are small and committed."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
from lib.ebcdic import to_ebcdic  # noqa: E402

RAIZ = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def escribe(objetivo, nombre, datos):
    d = os.path.join(RAIZ, objetivo)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, nombre), "wb") as f:
        f.write(datos)


def trama(carga, ebcdic=True):
    largo = b"%.10d" % (len(carga) + 10)
    return (to_ebcdic(largo) if ebcdic else largo) + carga


# LZW vectors: abc, aaaaaaa (a code used in the step that defines it), a.
ABC = bytes.fromhex("061062063FFF00")
AAAAAAA = bytes.fromhex("061100101061FFF000")
A = bytes.fromhex("061FFF00")


def corpus_trama():
    # Header: byte 0 = pair | ebcdic << 1 | compressed << 2 | test << 3 | chunks << 4.
    cinco = b"HOLA!"
    escribe("f_trama", "transferencia", bytes([0x00, 0]) + trama(to_ebcdic(b"0100LIB1")))
    escribe("f_trama", "dos_en_una", bytes([0x00, 0]) + trama(cinco) + trama(b"OK"))
    escribe("f_trama", "byte_a_byte", bytes([0x18, 0, 1]) + trama(cinco) + trama(b""))
    escribe("f_trama", "largo_partido", bytes([0x30, 0, 13, 5, 7]) + trama(cinco) + trama(b"SEGUNDA"))
    escribe("f_trama", "sql_ascii", bytes([0x01, 0]) + trama(b"020001", False) + trama(b"04", False))
    escribe("f_trama", "sql_ebcdic", bytes([0x0B, 0]) + trama(to_ebcdic(b"03 fila"), True))
    escribe("f_trama", "sql_lzw", bytes([0x05, 0]) + trama(ABC, False) + trama(AAAAAAA, False))
    escribe("f_trama", "vacia_y_no_numero", bytes([0x01, 0]) + b"0000000010" + b"00000000x0abc")
    escribe("f_trama", "demasiado_larga", bytes([0x00, 0]) + to_ebcdic(b"0000030001") + b"x" * 20)
    # Lengths below 10: a negative one read as -246, and 5.
    escribe("f_trama", "largo_negativo", bytes([0x01, 0]) + b"-000000246" + trama(b"OK", False))
    escribe("f_trama", "largo_5", bytes([0x00, 0]) + to_ebcdic(b"0000000005") + b"abcde")


def corpus_lzw():
    for nombre, v in (("abc", ABC), ("aaaaaaa", AAAAAAA), ("a", A)):
        escribe("f_lzw_expande", nombre, bytes([0]) + v)
    escribe("f_lzw_expande", "inicio4", bytes([4]) + b"0701" + ABC)
    escribe("f_lzw_expande", "salida_pequena", bytes([0x18]) + AAAAAAA)
    for nombre, v in (("abc", b"abc"), ("aaaaaaa", b"aaaaaaa"),
                      ("arranque", b"070110028Biblioteca &1 no encontrada."),
                      ("repetido", bytes(range(256)) * 20)):
        escribe("f_lzw_ida_vuelta", nombre, v)


def corpus_tabla():
    escribe("f_tabla", "lineas", b"\x00# comentario\nC1 41\nC1 A\nC1 4B 41\nFF 41\n$ otro\n\n")
    escribe("f_tabla", "crlf_sin_fin", b"\x01C1 41\r\n4A 5B\r\nE0 5C")
    escribe("f_tabla", "mal_formadas", b"\x00ZZ 41\nC1\nC1 \nC1 G1\n" + b"X" * 700 + b"\n40 20\n")
    # A NUL made the next line be ignored; one past the first 599 characters.
    escribe("f_tabla", "nulos", b"\x00C1 41\x00\nC2 42\nC3 43" + b" " * 700 + b"\x00\nC4 44\n")


def corpus_argumentos():
    for nombre, args in (("mbr", ["MBR", "LIB1", "SRC"]), ("datos", ["datos", "LIB1", "FICH"]),
                         ("fechas", ["ALL", "LIB1", "SRC", "PGM1", "ile", "FECHAD", "010125"]),
                         ("horad", ["MBR", "LIB1", "FECHAD", "010125", "HORAD", "1200"]),
                         ("fechad_sin_valor", ["MBR", "LIB1", "SRC", "FECHAD"]),
                         ("largo", ["MBR", "BIBLIOTECA1"]), ("web", ["WEB"]), ("end", ["END", "x"])):
        escribe("f_argumentos", nombre, b"\0".join(a.encode() for a in args))


SEP = b"\x00\xff\x00"


def cabecera(codigo, lib, fich, mbr, tipo, texto="Texto", fecha="01012025", hora="120000"):
    return ("%s00105%-10s%-10s%-10s%-4s%-50s%-8s%-6s" % (codigo, lib, fich, mbr, tipo, texto, fecha, hora)).encode()


def bloque(codigo, cuerpo, extra=b""):
    return codigo.encode() + b"%05d" % (7 + len(extra) + len(cuerpo)) + extra + cuerpo


def corpus_transferencia():
    # Byte 0, bit 0: payloads in ASCII, converted before they are sent.
    e = to_ebcdic
    nl = b"\x15"
    miembro = [e(cabecera("01", "LIB1", "SRC", "PGM1", "RPGL")),
               e(b"02") + e(b"%05d" % 20) + e(b"LINEA1") + nl + e(b"LIN2") + nl + b"\x40", e(b"99")]
    escribe("f_transferencia", "miembro", b"\x00" + SEP.join(miembro))
    crudo = [e(cabecera("03", "LIB1", "CUST", "M1", "PF")),
             e(b"04") + e(b"%05d" % 20) + e(b"00004") + b"\x0a\x0d\x25\x15\xc1\xc2\xc3\xc4",
             e(cabecera("03", "LIB1", "CUST", "CUST", "PF")), e(b"99")]
    escribe("f_transferencia", "crudo", b"\x00" + SEP.join(crudo))
    datos = [b"05000270LIB1      CLIENTES  ", b"0600005HOLA!", b"99"]
    escribe("f_transferencia", "convertido", b"\x01" + SEP.join(datos))
    mensajes = [cabecera("07", "LIB1", "QCPFMSG", "", "")[:7] + b"LIB1      QCPFMSG   " + b"%-50s01012025120000" % b"Mensajes",
                b"0800012CPF01", b"01", b"99"]
    escribe("f_transferencia", "mensajes", b"\x09" + SEP.join(mensajes))
    hostil = [cabecera("01", "..", "SRC", "X", "RPGL"), cabecera("01", "LIB1", "a/b", "X", "RPGL"),
              cabecera("01", "LIB1", "SRC", "..\\x", "CLP"), b"0299999abc", b"0400005", b"99"]
    escribe("f_transferencia", "hostil", b"\x01" + SEP.join(hostil))
    sin_cabecera = [b"0200012HOLA", b"0400017000021234", b"05", b"0699999", b"99"]
    escribe("f_transferencia", "sin_cabecera", b"\x03" + SEP.join(sin_cabecera))
    spool = [b"670002101324Linea de spool", b"6800022000132Otra linea", b"99"]
    escribe("f_transferencia", "spool", b"\x0d" + SEP.join(spool))


def linea_xinfo(fich, mbr, tipo="RPGL", texto="Programa"):
    return ("A%-10s%-10s%-10s%-6s%-55s%-8s%-6s%s" % ("LIB1", fich, mbr, tipo, texto, "01012025", "120000",
                                                   "20250102030405")).encode() + b"\n"


def corpus_xinfo():
    campos = b"\0".join([b"SRC", b"PGM1", b"RPGL", b"Programa de prueba", b"01012025", b"120000"]) + b"\0"
    viejo = (b"# comentario\n" + linea_xinfo("SRC", "PGM1") + b"# detras\n" + linea_xinfo("SRC", "PGM2")
             + linea_xinfo("QCPFMSG", "", "MSG"))
    escribe("f_xinfo", "reemplaza", campos + viejo)
    escribe("f_xinfo", "crlf_sin_fin", campos + linea_xinfo("SRC", "PGM1").replace(b"\n", b"\r\n")
            + linea_xinfo("SRC", "PGM3")[:-1])
    escribe("f_xinfo", "larga", campos + b"A" + b"x" * 2000 + b"\n\nALIB1      SRC       PGM1\n")
    escribe("f_xinfo", "nuevo", b"\0".join([b"QCPFMSG", b"", b"MSG", b"Mensajes", b"01 12025", b"000000"]))


def resp(estado=b"OK ", resto=b"", cursor=1, largo_error=0):
    return b"00000" + b"%03d%05d" % (cursor, largo_error) + estado + resto


def resp_consulta(columnas, filas, sigue=1, cursor=1):
    desc = b"".join(b"%s-1-%d-0!" % (n, w) for n, w in columnas)
    datos = b"".join(b"".join(v + b"\xaf" for v in fila) for fila in filas)
    return resp(resto=b"%05d" % len(desc) + desc + b"%05d%d" % (len(filas), sigue) + datos, cursor=cursor)


def corpus_sql():
    dos = [(b"NOMBRE", 10), (b"IMPORTE", 5)]
    filas = [[b"ANA", b"-12"], [b"LUIS", b"7"]]
    fetch = b"0000000000000" + b"%05d%d" % (1, 0) + b"PEPE\xaf0\xaf"
    fin100 = resp(b"ERR", b"000100", largo_error=6)
    escribe("f_consulta", "consulta", b"\x00" + SEP.join([resp_consulta(dos, filas, 0), fetch, fin100]))
    escribe("f_consulta", "ultima", b"\x06" + SEP.join([resp_consulta(dos, filas, 1)]))
    escribe("f_consulta", "error", b"\x10" + resp(b"ERR", b"-00204Tabla no encontrada", largo_error=25))
    escribe("f_consulta", "sentencia", b"\x01" + resp(resto=b"000003"))
    escribe("f_consulta", "cursor", b"\x00" + resp_consulta(dos, filas, 1, cursor=999))
    escribe("f_consulta", "columnas", b"\x02" + resp_consulta([(b"C%d" % i, 1) for i in range(151)], []))
    escribe("f_consulta", "mentirosa", b"\x08" + resp(resto=b"29000A-1-30000-0!B-1-2-0!999990AB\xaf"))
    escribe("f_consulta", "ebcdic", b"\x20" + to_ebcdic(resp_consulta(dos, filas, 1)))
    # 150 columns wider than any column, rows of end bytes only; 99,999 rows
    # claimed in two bytes with no columns.
    anchas = [(b"C%d" % i, 40000) for i in range(150)]
    escribe("f_consulta", "anchos_imposibles", b"\x00" + resp_consulta(anchas, [[b""] * 150] * 150))
    escribe("f_consulta", "filas_sin_datos", b"\x40" + resp(resto=b"00000" + b"999991" + b"ab"))

    escribe("f_backup", "tres", b"\x00" + b"1~A~B\n2~C~D\r\n3~E~F")
    escribe("f_backup", "partido", b"\x00" + b"1~A~B\n2~C\n~D\n3~~\n4~x~y~z~w\n")
    escribe("f_backup", "nul_y_blancos", b"\x01" + b"1~  x  ~\x00b\n2~a~b\n")
    escribe("f_backup", "largo", b"\x06" + b"1~" + b"z" * 5200 + b"\n2~b\n")
    escribe("f_backup", "un_campo", b"\x10" + b"uno\ndos\n\ntres\n")
    escribe("f_backup", "pequeno", b"\x0e" + b"".join(b"%d~%s~%s\n" % (i, b"v" * 30, b"w" * 20) for i in range(60)))
    # An empty first line loaded nothing; a final Ctrl-Z became a row.
    escribe("f_backup", "vacia_nulo_ctrl_z", b"\x00" + b"\r\n1~A~B\r\n2~C~D\n3~E\x00~F\n\n4~G~H\n\x1a")

    escribe("f_fsql", "sentencias", b"\x00" + b"-- comentario\n# otro\n$ x\n\nSELECT *\n FROM T;\n"
            b"UPDATE %CURLIB%.T SET A=1;\nINSERT INTO %curlib%.T VALUES(1) ;  \n;\nend;\nNO SE LEE;\n")
    escribe("f_fsql", "sin_fin", b"\x01" + b"a-b;\n -x;\nEnd;\nDELETE FROM T")
    escribe("f_fsql", "larga", b"\x04" + b"INSERT INTO T VALUES('" + (b"y" * 598 + b"\n") * 60 + b"');\n")
    escribe("f_fsql", "crlf", b"\x02" + b"UPDATE T\r\n SET A=1;\r\nloadsql no_existe.dat;\r\n")
    # A 599-character piece that began with " -" was dropped as a comment.
    cabeza = b"DELETE FROM ARTICULOS WHERE STOCK NOT IN (15000,"
    escribe("f_fsql", "linea_partida", b"\x00" + cabeza + b" " * (599 - len(cabeza)) + b" -1, 9800," * 60
            + b" 2);\n")
    # NUL bytes cut statements short; a final Ctrl-Z was sent as a statement.
    escribe("f_fsql", "nulos_ctrl_z", b"\x01" + b"DELETE FROM ARTICULOS\x00 WHERE CODIGO = 'ART00001';\n"
            b"DELETE FROM T\n WHERE A = 1\x00 OR 1=1\n;\n-- x\x00\nUPDATE T SET A=1;\n\x00x\n\x1a")


if __name__ == "__main__":
    corpus_sql()
    corpus_xinfo()
    corpus_transferencia()
    corpus_argumentos()
    corpus_trama()
    corpus_lzw()
    corpus_tabla()
