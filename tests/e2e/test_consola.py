"""The SQL console end to end: the real binary in WEB mode against a scripted
peer on 127.0.0.1 that answers the handshake (messages 01 and 20) and then
plays the server's side of each test. This module also holds the helpers that
the other test_consola_* modules import."""

import os
import tempfile
import unittest

from lib import (Peer, close, ebcdic_frame, ebc_fija, expect_eof, expect_frame, frame, local_text, make_base,
                 read_frame, run_vortcp, send, to_ebcdic)

PROMPT = b"sql > "
AE = "\xae"
AF = "\xaf"


def lzw(data):
    """The project's LZW stream of `data`: 12-bit codes written high bit
    first, a dictionary of codes 256 to 4094, then the end code 4095 and a
    code 0 that pushes the last bits out."""
    dic = {bytes([i]): i for i in range(256)}
    nxt = 256
    codes = []
    w = b""
    for b in data:
        wc = w + bytes([b])
        if wc in dic:
            w = wc
            continue
        codes.append(dic[w])
        if nxt <= 4094:
            dic[wc] = nxt
            nxt += 1
        w = bytes([b])
    if w:
        codes.append(dic[w])
    codes += [4095, 0]
    bits = "".join("{:012b}".format(c) for c in codes)
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits) - 7, 8))


_DESDE_ASCII = {}
for _e in range(256):
    _DESDE_ASCII.setdefault(ebc_fija[_e], _e)


def a_ebcdic_servidor(texto):
    """EBCDIC bytes that the client's receive (built-in ebc_fija) turns back
    into exactly `texto`."""
    return bytes(_DESDE_ASCII[b] for b in texto.encode("latin-1"))


class Sesion:
    """The wire side of one console session: client messages as the peer
    sees them and server replies, in ASCII or (ebcdic=True) in EBCDIC."""

    def __init__(self, ebcdic=False):
        self.ebcdic = ebcdic

    def del_cliente(self, texto):
        """The frame of a message the client sends."""
        if self.ebcdic:
            return frame(to_ebcdic(texto), ebcdic_digits=True)
        return frame(texto, ebcdic_digits=False)

    def del_servidor(self, texto, comprimida=False):
        """The frame of a reply the server sends."""
        if comprimida:
            # Compressed before conversion: the client expands, then converts.
            datos = a_ebcdic_servidor(texto) if self.ebcdic else texto.encode("latin-1")
            return frame(lzw(datos), ebcdic_digits=self.ebcdic)
        if self.ebcdic:
            return frame(a_ebcdic_servidor(texto), ebcdic_digits=True)
        return frame(texto, ebcdic_digits=False)

    def saludo(self):
        return [read_frame(self.ebcdic), send(self.del_servidor("01001001000000OK ")),
                read_frame(self.ebcdic), send(self.del_servidor("20001001000000OK "))]

    def espera(self, texto):
        return expect_frame(self.del_cliente(texto))

    def intercambio(self, mensaje, respuesta, comprimida=False):
        """The client's message (checked byte for byte) and the reply."""
        return [self.espera(mensaje), send(self.del_servidor(respuesta, comprimida))]


# Messages of the client.
def m02(sentencia, cursor=0):
    return "02001%03d%5d%s" % (cursor, len(sentencia) + 13, sentencia)


def m03(cursor=0):
    return "03001%03d" % cursor


def m04(sentencia, cursor=0):
    return "04001%03d%5d%s" % (cursor, len(sentencia) + 13, sentencia)


# Replies of the server.
def filas(*valores_por_fila):
    return "".join("".join(v + AF for v in fila) for fila in valores_por_fila)


def r02(columnas, n, sigue, datos, cursor=0):
    """columnas: (name, number1, width, number3) per column."""
    bloque = "".join("%s-%d-%d-%d!" % c for c in columnas)
    return "02001%03d00000OK %5d%s%5d%d%s" % (cursor, len(bloque), bloque, n, sigue, datos)


def r03(n, sigue, datos):
    return "03001001%5s%5d%d%s" % ("", n, sigue, datos)


def r_error(codigo, texto, cursor=0, mensaje="04"):
    parte = "%s%s" % (codigo, texto)
    return "%s001%03d%05dERR%s" % (mensaje, cursor, len(parte), parte)


def r04(n, cursor=0):
    return "04001%03d00000OK %06d" % (cursor, n)


class Ejecucion:
    """One run of vortcp WEB: a temp directory with the table file, the peer
    with the handshake and `pasos`, stdin bytes, extra environment."""

    def __init__(self, test, pasos, entrada, env=None, sesion=None, final=None, dir_trabajo=None):
        self.sesion = sesion or Sesion()
        self.dir = dir_trabajo
        if self.dir is None:
            tmp = tempfile.TemporaryDirectory()
            test.addCleanup(tmp.cleanup)
            self.dir = tmp.name
        make_base(self.dir)
        todos = self.sesion.saludo() + list(pasos) + ([final] if final else [expect_eof()])
        self.peer = Peer(todos)
        entorno = {"BASE": self.dir, "LANG": "ESP", "HOME": self.dir}
        if self.sesion.ebcdic:
            entorno["WWW_EBCDIC"] = "1"
        entorno.update(env or {})
        if isinstance(entrada, str):
            entrada = entrada.encode("latin-1")
        with self.peer:
            self.r = run_vortcp(["WEB"], self.dir, env={**self.peer.env(), **entorno},
                                stdin=entrada)
        self.estado = self.r.status

    @property
    def consola(self):
        """Standard output from the first prompt on."""
        out = self.r.stdout
        i = out.find(PROMPT)
        return out[i:] if i >= 0 else out

    def fichero(self, nombre):
        """A text file the console wrote, with its line ends as LF."""
        return local_text(os.path.join(self.dir, nombre))

    def ruta(self, nombre):
        return os.path.join(self.dir, nombre)


def ejecuta(test, pasos, entrada, **kw):
    return Ejecucion(test, pasos, entrada, **kw)


AYUDA = (
    b"\n"
    b"sqlserver            Modalidad salida SQLSERVER - bcp\n"
    b"kill                 Termina ejecuci\xa2n AS y VORTCP\n"
    b"fsql nnn.sql         Ejecucion directa de un fichero .sql\n"
    b"loadsql nnn.dat      Cargar un fichero BACKUP de sql en as.\n"
    b"output               Salida por pantalla, si tenia salida a fichero la cierra\n"
    b"output nnn.txt       La salida de la ejecuci\xa2n se graba en el fichero nnn.txt\n"
    b"quit (o enter)       Finaliza ejecucion\n"
    b"\nset DICT=1         Activa mostrar cabecera descripcion sentencia (0 no)\n"
    b"set DELIM=n          Caracter delimitador de campo, por defecto '|'\n"
    b"set DELIMB=n         Caracter blanco entre delimitar, por defecto si (1)\n"
    b"set LIBL=A/B/C       Activar asignacion de librerias A/B/C\n"
    b"set ROWNUM=n         Muestra m\xa0ximo n filas\n"
    b"set TEST=1           Activa modo test (1) o no (!=0)\n"
    b"set MINSERT=n        Numero maximo de filas insertada a la vez. 0 o nulo lo que permita "
    b"buffer tcp. Valor defecto, 0.\n"
    b"\n")


class FinDeLaConsola(unittest.TestCase):
    def test_ayuda_y_formas_de_quit(self):
        for fin in (b"quit\n", b"QUIT\n", b"   quit\n", b"\n", b"     \n", b""):
            with self.subTest(fin=fin):
                e = ejecuta(self, [], b"?\n" + fin)
                self.assertEqual(e.estado, 1)
                self.assertEqual(e.consola, PROMPT + AYUDA + PROMPT)

    def test_casi_comandos_van_al_servidor(self):
        s = Sesion()
        pasos = []
        for linea in ("Quit", "quit ", "? ", "kill now", "set", "select*from t"):
            pasos += s.intercambio(m04(linea), r04(0))
        e = ejecuta(self, pasos, "Quit\nquit \n? \nkill now\nset\nselect*from t\nquit\n")
        self.assertEqual(e.estado, 1)
        self.assertEqual(e.consola, PROMPT * 7)

    def test_kill_envia_9600(self):
        for linea in ("kill", "Kill", "  KILL"):
            with self.subTest(linea=linea):
                e = ejecuta(self, [expect_frame(ebcdic_frame("9600"))], linea + "\nquit\n")
                self.assertEqual(e.estado, 1)
                self.assertEqual(e.consola, PROMPT)

    def test_fin_de_la_entrada_sin_salto_de_linea(self):
        # The last line is run once, then the end of input ends the run.
        s = Sesion()
        e = ejecuta(self, s.intercambio(m04("DROP TABLE T"), r04(0)), "DROP TABLE T")
        self.assertEqual(e.estado, 1)
        self.assertEqual(e.consola, PROMPT * 2)

    def test_linea_demasiado_larga(self):
        s = Sesion()
        justa = "X" * 5118
        e = ejecuta(self, s.intercambio(m04(justa), r04(0)),
                    "Y" * 5119 + "\n" + "Z" * 60000 + "\n" + justa + "\n")
        self.assertEqual(e.estado, 1)
        aviso = b"Linea demasiado larga (maximo 5118 caracteres).\n"
        self.assertEqual(e.consola, PROMPT + aviso + PROMPT + aviso + PROMPT + PROMPT)


class Ajustes(unittest.TestCase):
    def test_set_y_sqlserver(self):
        entrada = ("set dict=1\nsqlserverx\nset TEST=0\nSET X\nset DELIM=;;\nset DELIMB=0\n"
                   "set delim=\nimgs abc\nimgs\n")
        e = ejecuta(self, [], entrada)
        self.assertEqual(e.consola, (
            b"sql > putenv [dict=1]\ndict=1 test=0 rownum=0 delim=| delimb=1\n\n"
            b"sql > Activada salida modo SQLSERVER-bcp\n\n"
            b"sql > putenv [TEST=0]\ndict=1 test=0 rownum=0 delim=| delimb=0\n\n"
            b"sql > putenv [X]\ndict=1 test=0 rownum=0 delim=| delimb=0\n\n"
            b"sql > putenv [DELIM=;;]\ndict=1 test=0 rownum=0 delim=; delimb=0\n\n"
            b"sql > putenv [DELIMB=0]\ndict=1 test=0 rownum=0 delim=; delimb=0\n\n"
            b"sql > putenv [delim=]\ndict=1 test=0 rownum=0 delim=| delimb=0\n\n"
            b"sql > trata: (abc)\n"
            b"sql > trata: ()\n"
            b"sql > "))

    def test_ajustes_del_entorno_al_empezar(self):
        e = ejecuta(self, [], "set A=1\n", env={"DICT": "1", "ROWNUM": "7", "DELIM": "#",
                                                "DELIMB": "0", "TEST": "0"})
        self.assertIn(b"dict=1 test=0 rownum=7 delim=# delimb=0\n\n", e.consola)

    def test_test_a_uno_abre_trace(self):
        e = ejecuta(self, [], "set test=1\nset TEST=0\n")
        self.assertIn(b"dict=0 test=1 rownum=0", e.consola)
        self.assertTrue(os.path.exists(e.ruta("trace")))


class NivelDePrueba(unittest.TestCase):
    def test_lineas_de_traza(self):
        s = Sesion()
        cols = [("n", 0, 2, 0)]
        pasos = (s.intercambio(m02("SELECT n FROM T"), r02(cols, 1, 0, filas(["1"])))
                 + s.intercambio(m03(), r_error("000100", "", mensaje="03"))
                 + s.intercambio(m04("X"), r_error("-00104", "mal"))
                 + s.intercambio("0700001a", "hecho", comprimida=True))
        e = ejecuta(self, pasos, "SELECT n FROM T\nX\ncmd a\n", env={"TEST": "1", "DICT": "1"})
        for linea in (b"Envia : [02001000   28SELECT n FROM T]\n",
                      b"Enviado: rc=28 [02001000   28SELECT n FROM T]\n",
                      b"\t(0)  N  0  2  0\n\t(0)  N  0  2  0\n",
                      b"Recibe: rc=%d  serror=(ERR) sigue=0\n( 1 filas )\n\n" % len(r_error("000100", "")),
                      b"Recibe2: rc=%d  serror=(ERR)\nError: -104 [mal]\n\n" % len(r_error("-00104", "mal")),
                      b"retorna: rc=%d [hecho]\nretorna: rc=%d [hecho]\n" % ((len(lzw(b"hecho")),) * 2)):
            self.assertIn(linea, e.consola)


class Salida(unittest.TestCase):
    def test_output_abre_cambia_y_cierra(self):
        s = Sesion()
        pasos = s.intercambio(m04("DELETE FROM A"), r04(2)) + s.intercambio(m04("DELETE FROM B"), r04(3)) \
            + s.intercambio(m04("DELETE FROM C"), r04(4))
        e = ejecuta(self, pasos, "output a.txt\nDELETE FROM A\noutput  b.txt\nDELETE FROM B\n"
                                 "output\nDELETE FROM C\noutput\noutputx.txt\n")
        self.assertEqual(e.consola, (
            b"sql > Establecida salida ejecucion en: (a.txt)\n\n"
            b"sql > sql > Establecida salida ejecucion en: ( b.txt)\n\n"
            b"sql > sql > sql > 4 filas afectadas.\n\n"
            b"sql > sql > Establecida salida ejecucion en: (.txt)\n\n"
            b"sql > "))
        self.assertEqual(e.fichero("a.txt"), b"DELETE FROM A\n2 filas afectadas.\n\n")
        self.assertEqual(e.fichero(" b.txt"), b"DELETE FROM B\n3 filas afectadas.\n\n")
        self.assertEqual(e.fichero(".txt"), b"")

    @unittest.skipUnless(os.path.exists("/dev/full"), "needs /dev/full")
    def test_escritura_fallida_se_dice(self):
        s = Sesion()
        pasos = s.intercambio(m04("UPDATE T"), r04(1)) + s.intercambio(m04("UPDATE U"), r04(1))
        e = ejecuta(self, pasos, "output /dev/full\nUPDATE T\noutput\noutput /dev/full\nUPDATE U\nquit\n")
        fallo = b"Error al grabar (/dev/full)\n"
        self.assertEqual(e.consola.count(fallo), 2)
        self.assertTrue(e.consola.endswith(b"sql > " + fallo))

    @unittest.skipUnless(os.path.exists("/dev/full"), "needs /dev/full")
    def test_un_fin_por_conexion_perdida_cierra_y_comprueba_la_salida(self):
        s = Sesion()
        e = ejecuta(self, [s.espera(m04("UPDATE T")), close()], "output /dev/full\nUPDATE T\nquit\n",
                    final=expect_eof())
        self.assertEqual(e.estado, 255)
        self.assertTrue(e.consola.endswith(b"sql > Error al grabar (/dev/full)\n"), e.consola)

    def test_output_que_no_se_puede_abrir(self):
        for linea in ("output ", "output no/existe/x.txt"):
            with self.subTest(linea=linea):
                e = ejecuta(self, [], linea + "\n")
                nombre = linea[7:].encode()
                self.assertEqual(e.estado, 1)
                self.assertEqual(e.consola, b"sql > Establecida salida ejecucion en: (" + nombre + b")\n\n"
                                 b"Ejecucion cancelada. Imposible abrir (" + nombre + b")\n")


class MensajesDeComando(unittest.TestCase):
    def test_cls_y_cmd(self):
        s = Sesion()
        pasos = (s.intercambio("0600000", "06001001000000OK ")
                 + s.intercambio("0600006WRKJOB", "06001001000000OK ")
                 + s.intercambio("0700006dspjob", "Trabajo 123456/QUSER/ZIZEZ activo", comprimida=True))
        e = ejecuta(self, pasos, "cls\ncls WRKJOB\ncmd dspjob\n")
        rc = len(lzw(b"Trabajo 123456/QUSER/ZIZEZ activo"))
        self.assertEqual(e.consola, (
            b"sql > envia: [0600000]\n"
            b"sql > envia: [0600006WRKJOB]\n"
            b"sql > Expanding...\ninicio inicio=0  ilen=%d\n"
            b"retorna: rc=%d [Trabajo 123456/QUSER/ZIZEZ activo]\n"
            b"sql > " % (rc, rc)))

    def test_cmd_en_ebcdic(self):
        s = Sesion(ebcdic=True)
        pasos = s.intercambio("0700003abc", "Respuesta: OK", comprimida=True)
        e = ejecuta(self, pasos, "CMD abc\n", sesion=s)
        self.assertIn(b"retorna: rc=%d [Respuesta: OK]\n" % len(lzw(a_ebcdic_servidor("Respuesta: OK"))),
                      e.consola)

    def test_servidor_que_cierra(self):
        # A failed receive ends the run with the framing's result (-1).
        s = Sesion()
        e = ejecuta(self, [s.espera("0600000")], "cls\nquit\n", final=close())
        self.assertEqual(e.estado, 255)


if __name__ == "__main__":
    unittest.main()
