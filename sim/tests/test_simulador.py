"""zizez-sim on its own: what the client cannot show. Sessions run side by
side, the broker hands out session ports and runs out of them, every fault
switch does what it says, and a session that crashes leaves the others and
the listener alone. The simulator is driven here by a small client written
with the standard library, so these tests do not depend on vortcp."""

import os
import signal
import socket
import threading
import time
import unittest

from lib.cliente_sim import CODIGO_FIN, Cliente, consulta, expande_lzw, texto_de
from lib.ebcdic import asc_fija, from_ebcdic, to_ebcdic
from lib.simulador import MUESTRAS, Simulador


def pid_del_otro_extremo(sock):
    """The pid of the process that holds the far end of a loopback TCP
    connection, from /proc (pids wrap around on a busy machine, so the newest
    session is not always the largest pid)."""
    puerto = sock.getsockname()[1]
    inodos = set()
    for tabla in ("/proc/net/tcp", "/proc/net/tcp6"):
        if not os.path.exists(tabla):
            continue
        with open(tabla) as f:
            for linea in f.readlines()[1:]:
                campos = linea.split()
                if int(campos[2].rsplit(":", 1)[1], 16) == puerto:
                    inodos.add(campos[9])
    for pid in (p for p in os.listdir("/proc") if p.isdigit()):
        try:
            for fd in os.listdir("/proc/%s/fd" % pid):
                if os.readlink("/proc/%s/fd/%s" % (pid, fd)) in {"socket:[%s]" % i for i in inodos}:
                    return int(pid)
        except OSError:
            continue
    raise AssertionError("no process holds the far end of port %d" % puerto)


class BaseSim(unittest.TestCase):
    # Sessions of a test stay open until its clean-up: room for all of them.
    opciones = ("--max-sesiones", "32")

    @classmethod
    def setUpClass(cls):
        cls.sim = Simulador(*cls.opciones)

    @classmethod
    def tearDownClass(cls):
        estado = cls.sim.stop()
        if estado != 0:
            raise AssertionError("el simulador termina con %d" % estado)

    def cliente(self):
        c = Cliente(self.sim.puerto)
        self.addCleanup(c.close)
        return c


def miembro_de_muestra(*partes):
    with open(os.path.join(MUESTRAS, *partes), encoding="utf-8") as f:
        return [l.rstrip() for l in f.read().split("\n")[:-1]]


class Transferencia(BaseSim):
    def test_mbr_envia_los_miembros_de_un_archivo_en_bloques_completos(self):
        c = self.cliente()
        c.pide(95, "DEMO", "QRPGLESRC")
        mensajes = c.recorre()
        self.assertEqual(mensajes[-1][0], CODIGO_FIN)
        # The list modes end with 9600; the simulator then closes.
        c.envia(to_ebcdic("9600"))
        self.assertTrue(c.cerrado())
        miembros, texto = {}, None
        for codigo, m in mensajes[:-1]:
            self.assertIn(codigo, (1, 2))
            if codigo == 1:
                self.assertEqual(len(m), 105)
                self.assertEqual(texto_de(m[7:17]), "DEMO")
                self.assertEqual(texto_de(m[17:27]), "QRPGLESRC")
                self.assertEqual(texto_de(m[37:41]), "RPGL")
                texto = miembros.setdefault(texto_de(m[27:37]), bytearray())
            else:
                self.assertEqual(int(from_ebcdic(m[2:7])), len(m))
                self.assertLessEqual(len(m), 29990)
                texto += m[7:]
        self.assertEqual(sorted(miembros), ["ALBARAN", "CLIENTES", "FACTURA", "INFCAJA", "INVENTA", "NOMINAS",
                                            "PEDIDOS"])
        # The big member spans several full blocks; its records come back
        # whole, national letters as the bytes ebc_fija turns into CP1252.
        bloques = [m for codigo, m in mensajes if codigo == 2 and len(m) == 29990]
        self.assertGreaterEqual(len(bloques), 2)
        lineas = from_ebcdic(bytes(miembros["NOMINAS"])).decode("cp1252").split("\x15")
        self.assertEqual(lineas[:-1], miembro_de_muestra("DEMO", "QRPGLESRC", "NOMINAS.txt"))
        self.assertIn(b"\xf1", from_ebcdic(bytes(miembros["FACTURA"])))  # the n with tilde of Nunez

    def test_estrechan_tipo_fecha_y_nombre_generico(self):
        c = self.cliente()
        c.pide(95, "DEMO", "QDDSSRC", "*ALL", "PF")
        nombres = [texto_de(m[27:37]) for codigo, m in c.recorre() if codigo == 1]
        self.assertEqual(nombres, ["CLIENTES", "FACTURAS"])
        c = self.cliente()
        c.pide(95, "DEMO", fechad="20240301")
        fechas = [from_ebcdic(m[91:99]).decode() for codigo, m in c.recorre() if codigo == 1]
        self.assertTrue(fechas and all(f >= "20240301" for f in fechas), fechas)
        c = self.cliente()
        c.pide(95, "DEMO", "QRPGLESRC", "IN*")
        nombres = [texto_de(m[27:37]) for codigo, m in c.recorre() if codigo == 1]
        self.assertEqual(nombres, ["INFCAJA", "INVENTA"])
        c = self.cliente()
        c.pide(95, "NOEXISTE")
        self.assertEqual([codigo for codigo, _ in c.recorre()], [CODIGO_FIN])

    def test_all_lleva_datos_en_bruto_convertidos_y_mensajes(self):
        c = self.cliente()
        c.pide(94, "DEMO")
        mensajes = c.recorre()
        codigos = [codigo for codigo, _ in mensajes]
        for codigo in (1, 2, 3, 4, 5, 7, 8):
            self.assertIn(codigo, codigos)
        archivo, bloque_de_datos = None, False
        for i, (codigo, m) in enumerate(mensajes):
            if bloque_de_datos:  # the data block after header 05: its code is not read
                bloque_de_datos = False
                continue
            if codigo == 3:
                archivo = texto_de(m[17:27])
            if codigo == 4:
                longitud, reclen = int(from_ebcdic(m[2:7])), int(from_ebcdic(m[7:12]))
                self.assertEqual(longitud, len(m))
                self.assertEqual(reclen, 40 if archivo == "MOVIMI" else 60)
                self.assertEqual((longitud - 12) % reclen, 0)
            if codigo == 5:
                bloque_de_datos = True
                self.assertEqual(texto_de(mensajes[i][1][17:27]), "TARIFAS")
                bloque = mensajes[i + 1][1]
                n = int(from_ebcdic(bloque[2:7]))
                self.assertEqual(n, len(bloque) - 7)
                self.assertTrue(from_ebcdic(bloque[7:]).decode("cp1252").startswith("CODIGO  ;"))
        # Raw members of VENTAS: whole 60-byte records, several members.
        ventas = [texto_de(m[27:37]) for codigo, m in mensajes if codigo == 3 and b"VENTAS" in from_ebcdic(m)]
        self.assertEqual(ventas, ["V2023", "V2024", "V2025"])
        c.envia(to_ebcdic("9600"))

    def test_dat_solo_datos_y_spool_en_sus_dos_formatos(self):
        c = self.cliente()
        c.pide(97, "DEMO")
        self.assertEqual({codigo for codigo, _ in c.recorre()}, {3, 4, 5, CODIGO_FIN})
        c = self.cliente()
        c.pide(66, "DEMO")
        mensajes = c.recorre()
        self.assertEqual({codigo for codigo, _ in mensajes}, {67, 68, CODIGO_FIN})
        for codigo, m in mensajes:
            if codigo == 67:
                r = int(from_ebcdic(m[7:11]))
                self.assertEqual(r, 132)
                self.assertEqual((len(m) - 11) % r, 0)  # whole printed lines only
            if codigo == 68:
                self.assertEqual(int(from_ebcdic(m[7:12])), 80)
                self.assertTrue(m.endswith(b"\x03"))
        # Spool modes send no 9600: the client just closes.

    def test_end_termina_la_sesion_y_un_ok_falso_tambien(self):
        c = self.cliente()
        c.pide(96)
        self.assertTrue(c.cerrado())
        c = self.cliente()
        c.pide(95, "DEMO", "QCLSRC")
        c.recibe()
        c.envia(to_ebcdic("NO"))
        with self.assertRaises(EOFError):
            c.recibe()


class Sql(BaseSim):
    def test_consulta_con_anchos_bloques_y_lista_de_bibliotecas(self):
        c = self.cliente()
        c.abre_sql("DEMO/HIST", bufsize=200)
        cols, filas, respuestas = consulta(c, "SELECT ID, NOMBRE, SALDO, ALTA FROM CLIENTES ORDER BY ID")
        self.assertEqual([col[0] for col in cols], [b"ID", b"NOMBRE", b"SALDO", b"ALTA"])
        self.assertEqual(len(filas), 6)
        for i, col in enumerate(cols):
            ancho = int(col[2])
            self.assertEqual(ancho, max(len(f[i]) - f[i].startswith(b"-") for f in filas))
        self.assertEqual(filas[1][1].decode("cp1252"), "Muñoz e Hijos")
        self.assertEqual(filas[1][2], b"-320.75")
        self.assertGreater(len(respuestas), 1)
        for r in respuestas:
            self.assertLessEqual(len(r), 200)
        # The library list gives the search order; LIB.TABLE and LIB/TABLE
        # name any library.
        c = self.cliente()
        c.abre_sql("HIST/DEMO")
        _, filas, _ = consulta(c, "SELECT ID FROM CLIENTES")
        self.assertEqual(filas, [[b"901"]])
        _, filas, _ = consulta(c, "SELECT COUNT(*) FROM DEMO/CLIENTES")
        self.assertEqual(filas, [[b"6"]])
        _, filas, _ = consulta(c, "SELECT MONEDA FROM hist.cambios ORDER BY 1 FETCH FIRST 1 ROWS ONLY")
        self.assertEqual(filas, [[b"GBP"]])
        # A buffer size of six digits moves the later fields of 01.
        c = self.cliente()
        c.abre_sql("HIST", bufsize=123456)
        _, filas, respuestas = consulta(c, "SELECT ID FROM CLIENTES")
        self.assertEqual((filas, len(respuestas)), ([[b"901"]], 1))

    def test_errores_con_codigo_sql_y_texto(self):
        c = self.cliente()
        c.abre_sql("DEMO")
        casos = [("SELECT * FROM NOHAY", -204, "NOHAY"),
                 ("SELECT NOHAY FROM CLIENTES", -206, "NOHAY"),
                 ("SELECT FROM WHERE", -104, "no válido"),
                 ("INSERT INTO CLIENTES (ID, NOMBRE) VALUES (1, 'x')", -803, "duplicado"),
                 ("UPDATE CLIENTES SET SALDO = 0 WHERE ID = 999", 100, "")]
        for sentencia, codigo, texto in casos:
            cod = "02" if sentencia.startswith("SELECT") else "04"
            r = c.sql("%s001001%5d%s" % (cod, len(sentencia) + 13, sentencia))
            self.assertEqual(r[13:16], b"ERR", sentencia)
            self.assertEqual(int(r[16:22]), codigo, sentencia)
            largo = int(r[8:13])
            self.assertEqual(len(r), 16 + largo)
            self.assertIn(texto, r[22:].decode("cp1252"), sentencia)

    def test_mensajes_cortos_o_mal_formados_se_contestan(self):
        c = self.cliente()
        c.sql("01")
        lote_torcido = "\xaeA\xaeB\xaeC\xaeD\xae\xaeE"
        for m in ("02", "0200100", "03", "04001001", "05", "05001001   38 11PROVEEDORES", "07",
                  "05001001   40 11PROVEEDORES    2    2" + lote_torcido, "06", "9", "\x00\xff" * 20):
            r = c.sql(m)
            self.assertTrue(r, m)
        _, filas, _ = consulta(c, "SELECT COUNT(*) FROM PROVEEDORES WHERE CODIGO = 'A'")
        self.assertEqual(filas, [[b"0"]])

    def test_sentencias_carga_y_mandato_en_sesion_ebcdic(self):
        c = self.cliente()
        c.abre_sql("DEMO", ebcdic=True)
        s = "UPDATE ARTICULOS SET STOCK = STOCK + 1 WHERE PRECIO < 1"
        r = c.sql("04001001%5d%s" % (len(s) + 13, s), ebcdic=True)
        self.assertEqual((r[13:16], int(r[16:22])), (b"OK ", 2))
        # 05: rows of 0xAE-separated fields into a table of the current library.
        filas = [["Z01", "Ñandú Importaciones", "Cáceres"], ["Z02", "Pingüino, S.A.", "Jaén"]]
        lote = "".join("\xae" + "".join(v + "\xae" for v in f) for f in filas)
        m = "05001001%5d%3d%s%5d%5d%s" % (len(lote) + 11 + 30, 11, "PROVEEDORES", 2, 2, lote)
        r = c.sql(m, ebcdic=True)
        self.assertEqual((r[13:16], int(r[16:22])), (b"OK ", 2))
        _, leidas, _ = consulta(c, "SELECT NOMBRE, CIUDAD FROM PROVEEDORES WHERE CODIGO LIKE 'Z%' ORDER BY CODIGO",
                                ebcdic=True)
        self.assertEqual([[v.decode("cp1252") for v in f] for f in leidas], [f[1:] for f in filas])
        r = c.sql(m, ebcdic=True)  # the same rows again: duplicate key, nothing kept
        self.assertEqual(int(r[16:22]), -803)
        _, leidas, _ = consulta(c, "SELECT COUNT(*) FROM PROVEEDORES WHERE CODIGO LIKE 'Z%'", ebcdic=True)
        self.assertEqual(leidas, [[b"2"]])
        # 07: the reply is compressed; expanded, it is EBCDIC text.
        c.envia(("07%05d%s" % (11, "DSPLIB DEMO")).encode().translate(asc_fija))
        r = from_ebcdic(expande_lzw(c.recibe())).decode("cp1252")
        self.assertTrue(r.startswith("07000"), r)
        for objeto in ("QRPGLESRC", "VENTAS", "MENSAJES", "CLIENTES"):
            self.assertIn(objeto, r)
        c.envia(("07%05d%s" % (6, "DSPJOB")).encode().translate(asc_fija))
        self.assertIn("Biblioteca actual . . . :  DEMO", from_ebcdic(expande_lzw(c.recibe())).decode("cp1252"))
        c.envia(("07%05d%s" % (5, "NADA1")).encode().translate(asc_fija))
        self.assertTrue(from_ebcdic(expande_lzw(c.recibe())).startswith(b"07001"))


class Sesiones(unittest.TestCase):
    def test_sesiones_a_la_vez_y_una_que_cae_no_toca_a_otra(self):
        sim = Simulador("--max-sesiones", "8")
        try:
            viva = Cliente(sim.puerto)
            viva.abre_sql("DEMO")
            resultados = []

            def sesion(n):
                c = Cliente(sim.puerto)
                c.abre_sql("DEMO", bufsize=300)
                _, filas, _ = consulta(c, "SELECT CODIGO FROM ARTICULOS WHERE STOCK > %d" % n)
                resultados.append(len(filas))
                c.close()

            hilos = [threading.Thread(target=sesion, args=(0,)) for _ in range(6)]
            for h in hilos:
                h.start()
            for h in hilos:
                h.join(20)
            self.assertEqual(resultados, [4] * 6)
            # A session process that crashes, and one sent garbage.
            mala = Cliente(sim.puerto)
            mala.sock.sendall(b"99999999999999")
            self.assertTrue(mala.cerrado())
            victima = Cliente(sim.puerto)
            victima.abre_sql("DEMO")
            # A crash (SIGSEGV would draw a sanitizer report) of the session
            # process that holds the victim's connection.
            os.kill(pid_del_otro_extremo(victima.sock), signal.SIGABRT)
            self.assertTrue(victima.cerrado())
            _, filas, _ = consulta(viva, "SELECT COUNT(*) FROM CLIENTES")
            self.assertEqual(filas, [[b"6"]])
            otra = Cliente(sim.puerto)
            otra.pide(95, "HIST")
            self.assertEqual([c for c, _ in otra.recorre()], [1, 2, CODIGO_FIN])
            for c in (viva, mala, victima, otra):
                c.close()
        finally:
            self.assertEqual(sim.stop(), 0)

    def test_broker_reparte_puertos_y_se_agota(self):
        sim = Simulador("--broker", "0", "--max-sesiones", "2")
        try:
            def pide_puerto():
                s = socket.create_connection(("127.0.0.1", sim.puerto), timeout=5)
                s.sendall(to_ebcdic("9700007"))
                datos = b""
                while True:
                    trozo = s.recv(100)
                    if not trozo:
                        break
                    datos += trozo
                s.close()
                return from_ebcdic(datos).decode()
            self.assertEqual(pide_puerto(), "9700000")
            self.assertEqual(pide_puerto(), "9700001")
            self.assertEqual(pide_puerto(), "979999900002")
            # The sessions listen at broker + n + 1; once a session ends its
            # port is handed out again.
            c = Cliente(sim.puerto + 1)
            c.pide(96)
            self.assertTrue(c.cerrado())
            c.close()
            fin = time.time() + 5
            while time.time() < fin:
                r = pide_puerto()
                if r != "979999900002":
                    break
                time.sleep(0.3)
            self.assertEqual(r, "9700000")
        finally:
            self.assertEqual(sim.stop(), 0)

    def test_un_cliente_lento_del_broker_no_detiene_a_los_demas(self):
        sim = Simulador("--broker", "0", "--max-sesiones", "2")
        try:
            lento = socket.create_connection(("127.0.0.1", sim.puerto), timeout=5)
            lento.sendall(to_ebcdic("970"))
            otro = socket.create_connection(("127.0.0.1", sim.puerto), timeout=5)
            otro.sendall(to_ebcdic("9700007"))
            self.assertEqual(from_ebcdic(otro.recv(100)).decode(), "9700000")
            otro.close()
            # The slow request was neither answered nor dropped meanwhile; its
            # rest gets its answer.
            lento.setblocking(False)
            with self.assertRaises(BlockingIOError):
                lento.recv(100)
            lento.setblocking(True)
            lento.sendall(to_ebcdic("0007"))
            self.assertEqual(from_ebcdic(lento.recv(100)).decode(), "9700001")
            lento.close()
        finally:
            self.assertEqual(sim.stop(), 0)

    def test_sin_broker_una_conexion_de_mas_se_cierra(self):
        sim = Simulador("--max-sesiones", "1")
        try:
            primera = Cliente(sim.puerto)
            primera.abre_sql("DEMO")
            segunda = Cliente(sim.puerto)
            self.assertTrue(segunda.cerrado())
            primera.close()
            segunda.close()
            time.sleep(0.5)  # the ended session is reaped
            tercera = Cliente(sim.puerto)
            tercera.abre_sql("DEMO")
            tercera.close()
        finally:
            self.assertEqual(sim.stop(), 0)

    def test_sigterm_y_sigint_paran_tambien_las_sesiones(self):
        for senal in (signal.SIGTERM, signal.SIGINT):
            sim = Simulador()
            c = Cliente(sim.puerto)
            c.abre_sql("DEMO")
            self.assertEqual(sim.stop(senal), 0)
            self.assertTrue(c.cerrado())
            c.close()


class Fallos(unittest.TestCase):
    """Each switch on a simulator of its own, observed from the client side."""

    def con_simulador(self, *opciones):
        sim = Simulador(*opciones)
        self.addCleanup(lambda: self.assertEqual(sim.stop(), 0))
        c = Cliente(sim.puerto)
        self.addCleanup(c.close)
        return sim, c

    def test_trozos_con_pausas(self):
        _, c = self.con_simulador("--trozos", "7:30")
        c.pide(95, "HIST")
        inicio = time.time()
        primero = c.sock.recv(65536)
        self.assertLessEqual(len(primero), 7)
        c.pendiente = primero
        cabecera = c.recibe()
        self.assertEqual(len(cabecera), 105)
        self.assertGreater(time.time() - inicio, 0.3)  # 115 bytes in pieces of 7, 30 ms apart
        c.envia(to_ebcdic("OK"))
        self.assertEqual(int(from_ebcdic(c.recibe()[:2])), 2)

    def test_dos_tramas_en_un_envio(self):
        _, c = self.con_simulador("--dos-tramas")
        c.pide(95, "HIST")
        # The header and the first block arrive before any OK is sent.
        datos = b""
        while len(datos) < 115 + 10:
            datos += c.sock.recv(65536)
        c.pendiente = datos
        self.assertEqual(int(from_ebcdic(c.recibe()[:2])), 1)
        self.assertEqual(int(from_ebcdic(c.recibe()[:2])), 2)
        c.envia(to_ebcdic("OK"))
        c.envia(to_ebcdic("OK"))
        self.assertEqual(int(from_ebcdic(c.recibe()[:2])), CODIGO_FIN)

    def test_cortes_tras_n_mensajes_y_a_mitad_de_trama(self):
        _, c = self.con_simulador("--corta-tras", "2")
        c.pide(95, "DEMO", "QCLSRC")
        with self.assertRaises(EOFError):
            c.recorre()
        self.assertEqual(c.pendiente, b"")
        _, c = self.con_simulador("--corta-en-trama", "1")
        c.pide(95, "DEMO")
        with self.assertRaises(EOFError) as e:
            c.recibe()
        self.assertIn("pendientes", str(e.exception))
        self.assertGreater(len(c.pendiente), 10)

    def test_longitud_de_trama_por_encima_del_maximo(self):
        _, c = self.con_simulador("--trama-larga", "1")
        c.pide(95, "HIST")
        digitos = c._lee(10)
        self.assertGreater(int(from_ebcdic(digitos)), 30000)

    def test_nombres_hostiles_y_bloque_mentiroso(self):
        for hostil in ("..", "../ETC", "A/B"):
            _, c = self.con_simulador("--nombre-hostil", hostil)
            c.pide(94, "DEMO")
            cabecera = c.recibe()
            self.assertEqual(texto_de(cabecera[17:27]), hostil)
        _, c = self.con_simulador("--bloque-mentiroso")
        c.pide(95, "HIST")
        c.recibe()
        c.envia(to_ebcdic("OK"))
        bloque = c.recibe()
        self.assertEqual(int(from_ebcdic(bloque[2:7])), len(bloque) + 100)

    def test_registro_legible_de_la_sesion(self):
        sim, c = self.con_simulador()
        c.abre_sql("DEMO")
        consulta(c, "SELECT NOMBRE FROM CLIENTES WHERE ID = 2")
        c.close()
        time.sleep(0.3)
        with open(os.path.join(sim.registro, os.listdir(sim.registro)[0]), encoding="utf-8") as f:
            registro = f.read()
        self.assertIn("<- asc", registro)
        self.assertIn("SELECT NOMBRE FROM CLIENTES WHERE ID = 2", registro)
        self.assertIn("Muñoz e Hijos\\xaf", registro)


if __name__ == "__main__":
    unittest.main()
