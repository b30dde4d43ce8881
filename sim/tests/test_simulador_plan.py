"""zizez-sim for parallel and incremental runs, mostly through the real
client: the two catalogue statements a run is planned from (and the
catalogue changed by a test), the simulator's own LZW compressor and table
file reader, fault switches acting on chosen sessions only, the delay per
message, the broker at its maximum, piece mode, and the narrowing of a
transfer request (generic members, FECHAD, HORAD)."""

import os
import random
import shutil
import socket
import sqlite3
import tempfile
import threading
import time
import unittest

from lib import WINDOWS, make_base, run_vortcp, shown_path, stored_name, to_ebcdic, from_ebcdic, asc_fija
from lib.catalogo_sim import agrega_miembro, borra_objeto, cambia_fecha, objetos
from lib.cliente_sim import Cliente, consulta, expande_lzw
from lib.simulador import MUESTRAS, Simulador

OBJETOS = ("SELECT OBJNAME, OBJTYPE, OBJSIZE FROM TABLE(QSYS2.OBJECT_STATISTICS('%s', '*FILE *MSGF')) X"
           "%s ORDER BY OBJNAME")
MIEMBROS = ("SELECT SYSTEM_TABLE_NAME, SYSTEM_TABLE_MEMBER, SOURCE_TYPE, DATA_SIZE, LAST_CHANGE_TIMESTAMP"
            " FROM QSYS2.SYSPARTITIONSTAT WHERE SYSTEM_TABLE_SCHEMA = '%s'%s ORDER BY 1, 2")
PROMPT = b"sql > "


def objetos_sql(lib, archivo=None):
    return OBJETOS % (lib, " WHERE OBJNAME = '%s'" % archivo if archivo else "")


def miembros_sql(lib, archivo=None):
    return MIEMBROS % (lib, " AND SYSTEM_TABLE_NAME = '%s'" % archivo if archivo else "")


def clave_ebcdic(nombre):
    return nombre.encode("cp1252").translate(asc_fija)


def comprime_lzw(datos):
    """Reference LZW compression of the replies the client expands: 12-bit
    codes, entries 256 to 4094, then 4095 and 0, whole bytes only."""
    dic = {bytes([i]): i for i in range(256)}
    codigos, actual = [], datos[:1]
    for c in datos[1:]:
        if actual + bytes([c]) in dic:
            actual += bytes([c])
            continue
        if len(dic) <= 4094:
            dic[actual + bytes([c])] = len(dic)
        codigos.append(dic[actual])
        actual = bytes([c])
    codigos += [dic[actual], 4095, 0]
    bits = "".join("{:012b}".format(k) for k in codigos)
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits) - 7, 8)), len(codigos)


class ConSimulador(unittest.TestCase):
    def setUp(self):
        self.raiz = tempfile.mkdtemp(prefix="vortcp_plan_")
        self.addCleanup(shutil.rmtree, self.raiz, True)
        self.sims = []

    def tearDown(self):
        for sim in self.sims:
            self.assertEqual(sim.stop(), 0)

    def simulador(self, *opciones, bd=None):
        sim = Simulador(*opciones, bd=bd)
        self.sims.append(sim)
        return sim

    def directorio(self):
        return tempfile.mkdtemp(dir=self.raiz)

    def corre(self, sim, args, estado=0, cwd=None, base=MUESTRAS, **env):
        entorno = {"SERVIDOR": "127.0.0.1", "SERVPORT": sim.puerto, "BASE": base, "LANG": "ESP"}
        entorno.update(env)
        r = run_vortcp(args, cwd or self.directorio(), env=entorno, timeout=120)
        self.assertEqual(r.status, estado, r.stdout + r.stderr)
        return r

    def consola(self, sim, sentencias, **env):
        """The console's output for `sentencias` (lines), from the first
        prompt on."""
        entorno = {"SERVIDOR": "127.0.0.1", "SERVPORT": sim.puerto, "BASE": MUESTRAS, "LANG": "ESP",
                   "WWW_LIBL": "DEMO"}
        entorno.update(env)
        entrada = "".join(s + "\n" for s in sentencias).encode("cp1252")
        r = run_vortcp(["WEB"], self.directorio(), env=entorno, stdin=entrada, timeout=120)
        self.assertEqual(r.status, 1, r.stdout)
        return r.stdout[r.stdout.find(PROMPT):]

    def miembros_recibidos(self, r):
        """The local files whose result line a run printed, as in the output."""
        return [l.split()[1] for l in r.stdout.decode("cp1252").splitlines() if l.startswith("Obtiene: ")]

    def nombres_recibidos(self, r):
        return sorted(p.replace("\\", "/").rsplit("/", 1)[-1] for p in self.miembros_recibidos(r))


class Catalogo(ConSimulador):
    def test_las_dos_consultas_con_su_formato(self):
        sim = self.simulador()
        c = Cliente(sim.puerto)
        self.addCleanup(c.close)
        c.abre_sql("DEMO", bufsize=120)
        filas_bd = objetos(sim.bd, "DEMO")
        # OBJECT_STATISTICS: one row per file and message file, with the bytes
        # of its members; declared widths, names as VARCHAR.
        cols, filas, respuestas = consulta(c, objetos_sql("DEMO"))
        self.assertEqual(respuestas[0][21:71], b"OBJNAME-448-10-0!OBJTYPE-448-8-0!OBJSIZE-484-15-0!")
        self.assertGreater(len(respuestas), 1)
        esperadas = {}
        for archivo, _, clase, _, largo, _, _ in filas_bd:
            if clase != "S":
                clave = (archivo, "*MSGF" if clase == "M" else "*FILE")
                esperadas[clave] = esperadas.get(clave, 0) + largo
        self.assertEqual([(f[0].decode(), f[1].decode()) for f in filas],
                         sorted(esperadas, key=lambda k: clave_ebcdic(k[0])))
        for f in filas:
            self.assertEqual(int(f[2]), esperadas[(f[0].decode(), f[1].decode())])
        todas = filas
        _, filas, _ = consulta(c, "SELECT OBJNAME,OBJTYPE,OBJSIZE FROM TABLE(QSYS2/OBJECT_STATISTICS('DEMO','*ALL'))T"
                                  " WITH UR")
        self.assertEqual(filas, todas)
        # SYSPARTITIONSTAT: source members with their type, raw data members
        # and the converted file as its own member, no type; CHAR names.
        cols, filas, _ = consulta(c, miembros_sql("DEMO"))
        self.assertEqual([b"-".join(x) for x in cols],
                         [b"SYSTEM_TABLE_NAME-452-10-0", b"SYSTEM_TABLE_MEMBER-452-10-0", b"SOURCE_TYPE-448-10-0",
                          b"DATA_SIZE-492-19-0", b"LAST_CHANGE_TIMESTAMP-392-26-0"])
        esperadas = sorted(((a.ljust(10), (m or a).ljust(10), t if cl == "F" else "", str(n),
                             "%s-%s-%s-%s.%s.%s.000000" % (f[:4], f[4:6], f[6:], h[:2], h[2:4], h[4:]))
                            for a, m, cl, t, n, f, h in filas_bd if cl in "FDC"),
                           key=lambda x: clave_ebcdic(x[0] + x[1]))
        self.assertEqual([tuple(v.decode("cp1252") for v in f) for f in filas], esperadas)
        # Narrowed to one file, and in any case and spacing.
        _, filas, _ = consulta(c, "  select objname,objtype ,  objsize from table ( qsys2.object_statistics ("
                                  " 'DEMO' , '*FILE *MSGF' ) ) x where objname='QCLSRC' order by objname ; ")
        self.assertEqual(filas, [[b"QCLSRC", b"*FILE", b"1330"]])
        _, filas, _ = consulta(c, miembros_sql("DEMO", "VENTAS").lower().replace("'demo'", "'DEMO'")
                               .replace("'ventas'", "'VENTAS'").replace(" = ", "="))
        self.assertEqual([f[1].strip() for f in filas], [b"V2023", b"V2024", b"V2025"])
        # An unknown library: an empty result.
        for sql in (objetos_sql("NOHAY"), miembros_sql("NOHAY")):
            _, filas, respuestas = consulta(c, sql)
            self.assertEqual((filas, len(respuestas)), ([], 1))

    def test_por_la_consola_y_con_el_catalogo_cambiado(self):
        sim = self.simulador()
        sql = [objetos_sql("DEMO", "QCLSRC"), miembros_sql("DEMO", "QCLSRC"), miembros_sql("NOHAY")]
        normal = self.consola(sim, sql)
        self.assertTrue(normal.startswith(PROMPT + b"| QCLSRC     | *FILE    | 1330            | \n( 1 filas )\n\n"
                                          + PROMPT + b"| QCLSRC     | ARRANQUE   | CLP        | 363                 |"
                                          b" 2020-01-01-00.01.00.000000 | \n| QCLSRC     | CIERREDIA  |"), normal)
        self.assertTrue(normal.endswith(b"( 4 filas )\n\n" + PROMPT + b"( 0 filas )\n\n" + PROMPT), normal)
        # The same rows in an EBCDIC session and in blocks of a small buffer.
        self.assertEqual(self.consola(sim, sql, WWW_EBCDIC="1", WWW_BUFSIZE="120"), normal)
        # A changed date, a deleted member and two added ones (sorted as
        # EBCDIC sorts: letters before digits) are in the next query and in
        # the next transfer.
        self.assertEqual(cambia_fecha(sim.bd, "DEMO", "QCLSRC", "COPIASEG", "20250315", "101500"), 1)
        self.assertEqual(borra_objeto(sim.bd, "DEMO", "QCLSRC", "ENVIOFTP"), 1)
        agrega_miembro(sim.bd, "DEMO", "QCLSRC", "A1", ["PGM", "ENDPGM"], fecha="20250316")
        agrega_miembro(sim.bd, "DEMO", "QCLSRC", "AB", ["PGM", "SNDMSG MSG('#1')", "ENDPGM"])
        salida = self.consola(sim, [miembros_sql("DEMO", "QCLSRC")]).decode()[len(PROMPT):]
        self.assertEqual([l.split("|")[2].strip() for l in salida.splitlines() if l.startswith("| ")],
                         ["AB", "ARRANQUE", "A1", "CIERREDIA", "COPIASEG"])
        self.assertIn("| COPIASEG   | CLP        | 314                 | 2025-03-15-10.15.00.000000 |", salida)
        self.assertIn("| AB         | CLP        | 28                  | 2025-01-01-12.00.00.000000 |", salida)
        cwd = self.directorio()
        r = self.corre(sim, ["MBR", "DEMO", "QCLSRC", "FECHAD", "20250101"], cwd=cwd)
        self.assertEqual(sorted(self.miembros_recibidos(r)),
                         [shown_path("DEMO/QCLSRC/%s.cl" % m) for m in ("A1", "AB", "COPIASEG")])
        with open(os.path.join(cwd, "DEMO", "QCLSRC", "AB.cl"), "rb") as f:
            self.assertEqual(f.read().replace(b"\r", b""), b"PGM\nSNDMSG MSG('#1')\nENDPGM\n")

    def test_servidor_sin_catalogo(self):
        sim = self.simulador("--sin-catalogo")
        salida = self.consola(sim, [objetos_sql("DEMO"), miembros_sql("DEMO")])
        self.assertIn(b"Error: -204 [OBJECT_STATISTICS en QSYS2 de tipo *N no encontrado.]", salida)
        self.assertIn(b"Error: -204 [SYSPARTITIONSTAT en QSYS2 de tipo *FILE no encontrado.]", salida)


class LectoresPropios(ConSimulador):
    def test_compresion_de_las_respuestas_a_mandatos(self):
        sim = self.simulador()
        azar = random.Random(22)
        for i in range(250):
            agrega_miembro(sim.bd, "DEMO", "F%05d" % i, "M", ["X"], reclen=10,
                           texto="".join(azar.choice("0123456789ABCDEF") for _ in range(40)))
        c = Cliente(sim.puerto)
        self.addCleanup(c.close)
        c.abre_sql("DEMO")
        c.envia(b"07%05dDSPLIB DEMO" % 11, ebcdic=False)
        comprimida = c.recibe(ebcdic=False)
        texto = expande_lzw(comprimida)
        referencia, codigos = comprime_lzw(texto)
        self.assertGreater(codigos, 4094 - 256 + 100)  # the dictionary fills up
        self.assertEqual(comprimida, referencia)
        self.assertIn(b"F00249     *FILE    PF-DTA", texto)
        # The client expands it alike.
        salida = self.consola(sim, ["cmd dsplib DEMO"])
        self.assertIn(texto[texto.find(b"F00000"):texto.find(b"F00249")], salida)

    def test_fichero_de_tabla_leido_como_lo_lee_el_cliente(self):
        # Lines the client uses (CR LF, a literal character) and lines it does
        # not (a value field that is not one, a NUL, a last line without its
        # line end): the simulator must decode the client's SQL text alike.
        tabla = (b"# tabla de la prueba\r\n$ otro comentario\n\n69 D1\r\n7B \xf1\n5F \xe7  x\n4A Z\x00\n"
                 b"5A \xfc")
        base = make_base(self.directorio(), content=tabla)
        sim = self.simulador("--tabla", os.path.join(base, "basico", "ebcdic.ESP"))
        entorno = {"SERVIDOR": "127.0.0.1", "SERVPORT": sim.puerto, "BASE": base, "LANG": "ESP",
                   "WWW_LIBL": "DEMO", "WWW_EBCDIC": "1"}
        r = run_vortcp(["WEB"], self.directorio(), env=entorno,
                       stdin="SELECT 'Ñ ñ ª [ ]' AS X\n".encode("cp1252"), timeout=60)
        self.assertIn("| Ñ ñ ª [ ] | \n( 1 filas )".encode("cp1252"), r.stdout)


class FallosPorSesion(ConSimulador):
    def test_fallos_solo_en_las_sesiones_numeradas(self):
        for lista, cortadas in (("2", [2]), ("1,2", [1, 2])):
            with self.subTest(lista=lista):
                sim = self.simulador("--sesion-con-fallos", lista, "--corta-en-trama", "2")
                for n in (1, 2, 3):
                    r = self.corre(sim, ["MBR", "DEMO", "QCLSRC"], estado=255 if n in cortadas else 0)
                    self.assertEqual(b"Incompleto" in r.stdout, n in cortadas)

    def test_fallos_solo_en_las_peticiones_de_un_archivo(self):
        sim = self.simulador("--archivo-con-fallos", "QCLSRC:2", "--corta-tras", "1")
        self.corre(sim, ["MBR", "DEMO", "QCBLSRC"])
        self.corre(sim, ["MBR", "DEMO", "QCLSRC"], estado=255)
        self.corre(sim, ["MBR", "DEMO", "QCPYSRC"])
        self.corre(sim, ["MBR", "DEMO", "QCLSRC"], estado=255)
        self.corre(sim, ["MBR", "DEMO", "QCLSRC"])
        # With a member field: only requests that name it.
        sim = self.simulador("--archivo-con-fallos", "QRPGLESRC/IN*", "--corta-tras", "1")
        self.corre(sim, ["MBR", "DEMO", "QRPGLESRC"])
        self.corre(sim, ["MBR", "DEMO", "QRPGLESRC", "IN*"], estado=255)
        self.corre(sim, ["MBR", "DEMO", "QRPGLESRC", "IN*"], estado=255)

    def test_retardo_por_mensaje_en_cada_sesion(self):
        # HIST's one member: header, block and end code, each 0.3 s late.
        sim = self.simulador("--retardo-ms", "300", "--max-sesiones", "8")
        tiempos = []

        def sesion():
            c = Cliente(sim.puerto, timeout=30)
            inicio = time.time()
            c.pide(95, "HIST")
            self.assertEqual([m[0] for m in c.recorre()], [1, 2, 99])
            tiempos.append(time.time() - inicio)
            c.close()

        inicio = time.time()
        hilos = [threading.Thread(target=sesion) for _ in range(4)]
        for h in hilos:
            h.start()
        for h in hilos:
            h.join(60)
        total = time.time() - inicio
        self.assertEqual(len(tiempos), 4)
        self.assertGreaterEqual(min(tiempos), 0.9)
        self.assertLess(total, 2.7)  # one after the other would take 3.6 s


class Intermediario(ConSimulador):
    def test_dos_sesiones_ocupadas_y_un_puerto_liberado(self):
        sim = self.simulador("--broker", "0", "--max-sesiones", "2")
        ocupadas = []
        for n in range(2):
            s = socket.create_connection(("127.0.0.1", sim.puerto), timeout=10)
            s.sendall(to_ebcdic("9700007"))
            respuesta = from_ebcdic(s.recv(100)).decode()
            s.close()
            self.assertEqual(respuesta, "97%05d" % n)
            c = Cliente(sim.puerto + n + 1)
            c.abre_sql("DEMO")
            ocupadas.append(c)
        # Both taken: the client is told the maximum; a straight connection
        # to a busy session port is closed at once.
        r = self.corre(sim, ["END"], estado=255, MULTIAS="1")
        self.assertIn(b"Superado el numero maximo de sesiones definidas (2).", r.stdout)
        otra = Cliente(sim.puerto + 1)
        self.assertTrue(otra.cerrado())
        otra.close()
        self.assertIsNotNone(consulta(ocupadas[0], "SELECT COUNT(*) FROM CLIENTES")[0])
        # A session that ends frees its port.
        ocupadas[1].close()
        fin = time.time() + 15
        while True:
            r = run_vortcp(["MBR", "HIST"], self.directorio(), env={
                "SERVIDOR": "127.0.0.1", "SERVPORT": sim.puerto, "BASE": MUESTRAS, "LANG": "ESP", "MULTIAS": "1"})
            if r.status == 0 or time.time() > fin:
                break
            time.sleep(0.2)
        self.assertEqual(r.status, 0, r.stdout)
        self.assertIn(b"Obtiene: ", r.stdout)
        ocupadas[0].close()


class Peticiones(ConSimulador):
    def recibidos(self, sim, *args):
        return self.nombres_recibidos(self.corre(sim, list(args)))

    def test_nombres_genericos_fechas_y_horas(self):
        sim = self.simulador()
        self.assertEqual(self.recibidos(sim, "MBR", "DEMO", "QRPGLESRC", "IN*"), ["INFCAJA.ile", "INVENTA.ile"])
        self.assertEqual(self.recibidos(sim, "MBR", "DEMO", "QRPGLESRC", "FECHAD", "20240302", "HORAD", "080501"),
                         ["ALBARAN.ile", "INFCAJA.ile", "NOMINAS.ile", "PEDIDOS.ile"])
        self.assertEqual(self.recibidos(sim, "MBR", "DEMO", "QRPGLESRC", "FECHAD", "20240302", "HORAD", "080502"),
                         ["INFCAJA.ile", "NOMINAS.ile", "PEDIDOS.ile"])
        # HORAD alone (after a member and a type): a time of any day.
        self.assertEqual(self.recibidos(sim, "MBR", "DEMO", "QRPGLESRC", "IN*", "RPGL", "HORAD", "130000"),
                         ["INFCAJA.ile"])
        r = self.corre(sim, ["MBR", "DEMO", "QCLSRC"])
        self.assertEqual({p.rsplit("\\" if WINDOWS else "/", 1)[0] for p in self.miembros_recibidos(r)}, {shown_path("DEMO/QCLSRC")})

    def test_trozos_de_1448_bytes_sin_pausa(self):
        arboles = []
        for opciones in ((), ("--trozos", "1448:0")):
            sim = self.simulador(*opciones)
            cwd = self.directorio()
            self.corre(sim, ["ALL", "DEMO"], cwd=cwd)
            arbol = {}
            for dirpath, _, ficheros in os.walk(cwd):
                for f in ficheros:
                    if f != "vortcp.log" and "xvoras" not in dirpath:
                        with open(os.path.join(dirpath, f), "rb") as fh:
                            arbol[os.path.relpath(os.path.join(dirpath, f), cwd)] = fh.read()
            arboles.append(arbol)
        self.assertGreater(len(arboles[0]), 20)
        self.assertEqual(arboles[1], arboles[0])


if __name__ == "__main__":
    unittest.main()
