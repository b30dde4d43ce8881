"""Hostile and damaged catalogues, a mirror that must not remove the wrong
thing, interruptions before the sessions and units lost for good, against
zizez-sim: a source file and a message file of one name, rows listed twice,
catalogues that never end or end too soon, names that are no names; a named
file of a library the server does not have, a folder link, a changed source
type, a damaged index line; Ctrl-C during the catalogue and the deletions;
a unit lost twice and a server that goes away."""

import os
import re
import shutil
import signal
import sqlite3
import subprocess
import tempfile
import time
import unittest

from lib import WINDOWS, clean_env, local_text, run_vortcp, shown_path, text_bytes, vortcp_bin
from lib.catalogo_sim import agrega_miembro, borra_objeto, cambia_fecha
from lib.simulador import MUESTRAS, Simulador


def arbol(carpeta):
    """Every file below the folder but the log: relative path -> bytes."""
    r = {}
    for d, _, ns in os.walk(carpeta):
        for n in ns:
            p = os.path.join(d, n)
            if n != "vortcp.log":
                with open(p, "rb") as f:
                    r[os.path.relpath(p, carpeta)] = f.read()
    return r


def indice(carpeta, lib="DEMO"):
    with open(os.path.join(carpeta, lib, "xvoras", "xinfo"), "rb") as f:
        return [l[:106] for l in f.read().splitlines()]


def lineas(salida, prefijo):
    return [l[len(prefijo):].rstrip(b" \r").split(b"  ")[0] for l in salida.split(b"\n") if l.startswith(prefijo)]


def completos(carpeta):
    """The objects complete in the tree: no working file, no index, and not
    a data file's own .ebc that its members' copies need (one line end)."""
    return [k for k, v in arbol(carpeta).items()
            if "xvoras" not in k and not k.endswith(".parcial") and not (k.endswith(".ebc") and v == text_bytes(b"\n"))]


def total(stderr):
    """(objects, incomplete) of the summary line."""
    m = re.search(rb"Total: ([\d.]+) objetos, .* ([\d.]+) incompletos", stderr)
    return int(m.group(1).replace(b".", b"")), int(m.group(2).replace(b".", b""))


def sql(bd, sentencia, *valores):
    with sqlite3.connect(os.path.join(bd, "sistema.db"), timeout=10) as c:
        return c.execute(sentencia, valores).rowcount


class Base(unittest.TestCase):
    def setUp(self):
        self.sims = []
        self.dirs = []
        self.bd = os.path.join(tempfile.mkdtemp(prefix="zizez-bd-"), "bd")
        self.dirs.append(os.path.dirname(self.bd))

    def tearDown(self):
        for s in self.sims:
            self.assertEqual(s.stop(), 0)
            shutil.rmtree(s.dir, True)
        for d in self.dirs:
            shutil.rmtree(d, True)

    def simulador(self, *opciones, broker=False):
        extra = ("--broker", "0", "--max-sesiones", "8") if broker else ()
        s = Simulador(*(extra + opciones), bd=self.bd)
        s.con_broker = broker
        self.sims.append(s)
        return s

    def carpeta(self):
        d = tempfile.mkdtemp(prefix="vortcp_hostil_")
        self.dirs.append(d)
        return d

    def entorno(self, sim, sesiones=None, **env):
        e = {"SERVIDOR": "127.0.0.1", "SERVPORT": str(sim.puerto), "BASE": MUESTRAS, "LANG": "ESP",
             "VORTCP_PROGRESO": "1"}
        if sim.con_broker:
            e["MULTIAS"] = "1"
        if sesiones:
            e["VORTCP_SESIONES"] = str(sesiones)
        e.update(env)
        return e

    def corre(self, sim, args, carpeta, sesiones=None, **env):
        return run_vortcp(args, carpeta, env=self.entorno(sim, sesiones, **env), timeout=120)


class CatalogoHostil(Base):
    def test_archivo_y_fichero_de_mensajes_del_mismo_nombre(self):
        # QCLSRC is a source file and, since now, a message file too (the
        # system allows it): every road receives both, as one session does.
        sim = self.simulador(broker=True)
        sql(self.bd, "INSERT INTO objetos(biblioteca, archivo, miembro, clase, tipo, texto, fecha, hora, reclen,"
                     " formato, datos) SELECT biblioteca, 'QCLSRC', miembro, clase, tipo, texto, fecha, hora,"
                     " reclen, formato, datos FROM objetos WHERE biblioteca = 'DEMO' AND archivo = 'MENSAJES'")
        una = self.carpeta()
        self.assertEqual(self.corre(sim, ["ALL", "DEMO"], una).status, 0)
        esperado = arbol(una)
        self.assertIn(os.path.join("DEMO", "QCLSRC.msg"), esperado)
        self.assertIn(os.path.join("DEMO", "QCLSRC", "ARRANQUE.cl"), esperado)
        for args, env in ((["ALL", "DEMO"], {}), (["ALL", "DEMO", "QCLSRC"], {}),
                          (["ALL", "DEMO"], {"VORTCP_INCREMENTAL": "1"})):
            carpeta = self.carpeta()
            r = self.corre(sim, args, carpeta, sesiones=4, **env)
            self.assertEqual(r.status, 0, r)
            self.assertNotIn(b"Error al grabar", r.stdout)
            hecho = arbol(carpeta)
            if len(args) == 3:
                esperado_aqui = {k: v for k, v in esperado.items()
                                 if k.startswith(os.path.join("DEMO", "QCLSRC")) and "xvoras" not in k}
                hecho = {k: v for k, v in hecho.items() if "xvoras" not in k}
                self.assertEqual(hecho, esperado_aqui)
            else:
                self.assertEqual(sorted(hecho), sorted(esperado))
                self.assertEqual(indice(carpeta), indice(una))
        # A dry run lists both; a mirror says nothing of the members deleted.
        s = self.corre(sim, ["ALL", "DEMO"], una, sesiones=4, VORTCP_SIMULA="1")
        self.assertIn(shown_path("DEMO/QCLSRC.msg").encode(), lineas(s.stdout, b"Recibiria: "))
        self.assertIn(shown_path("DEMO/QCLSRC/ARRANQUE.cl").encode(), lineas(s.stdout, b"Recibiria: "))
        e = self.corre(sim, ["ALL", "DEMO"], una, VORTCP_ESPEJO="1", VORTCP_INCREMENTAL="1")
        self.assertEqual(e.status, 0, e)
        self.assertNotIn(b"Eliminado", e.stdout)
        # The message files come again in every incremental run, so their
        # index lines carry this run's update time: the index is compared
        # without it.
        despues = arbol(una)
        xinfo = os.path.join("DEMO", "xvoras", "xinfo")
        self.assertEqual([l[:106] for l in despues.pop(xinfo).splitlines()],
                         [l[:106] for l in esperado.pop(xinfo).splitlines()])
        self.assertEqual(despues, esperado)

    def test_filas_repetidas_cuentan_una_vez(self):
        sim = self.simulador("--catalogo-hostil", "doble", broker=True)
        una, varias = self.carpeta(), self.carpeta()
        self.assertEqual(self.corre(sim, ["ALL", "DEMO"], una).status, 0)
        r = self.corre(sim, ["ALL", "DEMO"], varias, sesiones=4)
        self.assertEqual(r.status, 0, r)
        self.assertEqual(sorted(lineas(r.stdout, b"Obtiene: ")), sorted(lineas(
            self.corre(sim, ["ALL", "DEMO"], self.carpeta()).stdout, b"Obtiene: ")))
        self.assertEqual(indice(varias), indice(una))
        s = self.corre(sim, ["ALL", "DEMO"], varias, VORTCP_SIMULA="1")
        self.assertIn(b"\nRecibiria 28 objetos; 0 sin cambios; 0 eliminados en el servidor\n", s.stdout)

    def test_catalogos_que_no_acaban_o_acaban_antes_de_tiempo(self):
        modos = [("vacio", b"un bloque anuncia mas filas y no trae ninguna"),
                 ("repite", b"mas de 1.000.000 filas"),
                 ("fin", b"fin tras anunciar mas filas")]
        # A million rows take two minutes of round trips under the emulator;
        # the limit is the same code on every platform.
        if WINDOWS:
            del modos[1]
        for modo, motivo in modos:
            sim = self.simulador("--catalogo-hostil", modo)
            carpeta = self.carpeta()
            self.assertEqual(self.corre(sim, ["MBR", "DEMO"], carpeta).status, 0)
            borra_objeto(self.bd, "DEMO", "QCBLSRC", "CONTAB")
            antes = arbol(carpeta)
            # A mirror that cannot trust the catalogue removes nothing and
            # receives all; a dry run says no more than that it cannot plan.
            r = self.corre(sim, ["MBR", "DEMO"], carpeta, VORTCP_ESPEJO="1")
            self.assertEqual(r.status, 0, r)
            self.assertIn(b"Catalogo no valido (" + motivo + b")\nCatalogo no disponible: se transfiere todo.\n",
                          r.stderr)
            self.assertNotIn(b"Eliminado", r.stdout)
            self.assertTrue(os.path.exists(os.path.join(carpeta, "DEMO", "QCBLSRC", "CONTAB.cbo")))
            s = self.corre(sim, ["MBR", "DEMO"], carpeta, VORTCP_SIMULA="1")
            self.assertEqual(s.status, 255, s)
            self.assertNotIn(b"Recibiria", s.stdout)
            del antes[os.path.join("DEMO", "xvoras", "xinfo")]
            despues = arbol(carpeta)
            del despues[os.path.join("DEMO", "xvoras", "xinfo")]
            self.assertEqual(sorted(despues), sorted(antes))
            agrega_miembro(self.bd, "DEMO", "QCBLSRC", "CONTAB", ["otra vez"], tipo="CBL")

    def test_nombres_que_no_son_nombres(self):
        # A file named "*" would make a generic request; one named "../X" a
        # path outside the tree.
        for nombre in ("*", "../X", "A B"):
            sim = self.simulador()
            agrega_miembro(self.bd, "DEMO", nombre, "M1", ["uno"])
            carpeta = self.carpeta()
            s = self.corre(sim, ["MBR", "DEMO"], carpeta, VORTCP_SIMULA="1")
            self.assertEqual(s.status, 255, s)
            self.assertIn(b"Catalogo no valido (nombre no valido (" + nombre.encode() + b"))\n", s.stderr)
            self.assertEqual(os.listdir(carpeta), ["vortcp.log"])
            sql(self.bd, "DELETE FROM objetos WHERE archivo = ?", nombre)


class EspejoSeguro(Base):
    def preparado(self, **opciones):
        sim = self.simulador(**opciones)
        carpeta = self.carpeta()
        self.assertEqual(self.corre(sim, ["ALL", "DEMO"], carpeta).status, 0)
        return sim, carpeta

    def test_archivo_de_una_biblioteca_que_el_servidor_no_tiene(self):
        sim, carpeta = self.preparado()
        os.rename(os.path.join(carpeta, "DEMO"), os.path.join(carpeta, "OTRA"))
        with open(os.path.join(carpeta, "OTRA", "xvoras", "xinfo"), "rb") as f:
            viejo = f.read()
        with open(os.path.join(carpeta, "OTRA", "xvoras", "xinfo"), "wb") as f:
            f.write(viejo.replace(b"ADEMO      ", b"AOTRA      "))
        antes = arbol(carpeta)
        r = self.corre(sim, ["MBR", "OTRA", "QCLSRC"], carpeta, VORTCP_ESPEJO="1")
        self.assertEqual(r.status, 1, r)
        self.assertTrue(r.stdout.endswith(b"Biblioteca OTRA no encontrada en el servidor\n"), r.stdout)
        self.assertEqual(arbol(carpeta), antes)

    def test_no_se_borra_a_traves_de_un_enlace(self):
        sim, carpeta = self.preparado()
        fuera = self.carpeta()
        shutil.move(os.path.join(carpeta, "DEMO", "QCBLSRC"), os.path.join(fuera, "QCBLSRC"))
        os.symlink(os.path.join(fuera, "QCBLSRC"), os.path.join(carpeta, "DEMO", "QCBLSRC"))
        borra_objeto(self.bd, "DEMO", "QCBLSRC", "CONTAB")
        r = self.corre(sim, ["MBR", "DEMO"], carpeta, VORTCP_ESPEJO="1", VORTCP_INCREMENTAL="1")
        self.assertEqual(r.status, 1, r)
        self.assertIn(b"No se borra a traves de un enlace (" + shown_path("DEMO/QCBLSRC/CONTAB.cbo").encode() +
                      b")\n", r.stdout)
        self.assertTrue(os.path.exists(os.path.join(fuera, "QCBLSRC", "CONTAB.cbo")))
        self.assertTrue([l for l in indice(carpeta) if l[11:31] == b"QCBLSRC   CONTAB    "])

    def test_un_tipo_fuente_cambiado(self):
        # The copy under the old type's extension is said without a mirror
        # and removed with one; the member comes under its new one.
        for espejo in ("", "1"):
            sim, carpeta = self.preparado()
            sql(self.bd, "UPDATE objetos SET tipo = ?, fecha = ? WHERE archivo = 'QCLSRC' AND miembro = 'ARRANQUE'",
                "CLLE" if espejo else "CLP2", "2026010" + ("2" if espejo else "1"))
            vieja = os.path.join(carpeta, "DEMO", "QCLSRC", "ARRANQUE.cl")
            nueva = os.path.join(carpeta, "DEMO", "QCLSRC", "ARRANQUE." + ("clle" if espejo else "clp2"))
            r = self.corre(sim, ["MBR", "DEMO"], carpeta, VORTCP_INCREMENTAL="1", VORTCP_ESPEJO=espejo)
            self.assertEqual(r.status, 0, r)
            linea = (b"Eliminado: " if espejo else b"Copia con otro tipo: ")
            self.assertIn(linea + shown_path("DEMO/QCLSRC/ARRANQUE.cl").encode() + b"\n", r.stdout)
            self.assertEqual(os.path.exists(vieja), not espejo)
            self.assertTrue(os.path.exists(nueva))
            sql(self.bd, "UPDATE objetos SET tipo = 'CLP' WHERE archivo = 'QCLSRC' AND miembro = 'ARRANQUE'")

    def test_un_tipo_de_mas_de_cuatro_caracteres_no_es_un_tipo_cambiado(self):
        # The catalogue gives the whole type (RPGLE), the header its first
        # four characters (RPGL): the copy is PGM1.ile for both, and unchanged.
        sim = self.simulador()
        agrega_miembro(self.bd, "DEMO", "QRPGLESRC", "PGM1", ["uno"], tipo="RPGLE")
        carpeta = self.carpeta()
        self.assertEqual(self.corre(sim, ["ALL", "DEMO"], carpeta).status, 0)
        copia = os.path.join(carpeta, "DEMO", "QRPGLESRC", "PGM1.ile")
        self.assertTrue(os.path.exists(copia))
        s = self.corre(sim, ["MBR", "DEMO"], carpeta, VORTCP_INCREMENTAL="1", VORTCP_SIMULA="1")
        self.assertIn(b"Recibiria 0 objetos; 23 sin cambios;", s.stdout)
        r = self.corre(sim, ["MBR", "DEMO"], carpeta, VORTCP_INCREMENTAL="1", VORTCP_ESPEJO="1")
        self.assertEqual(r.status, 0, r)
        self.assertNotIn(b"otro tipo", r.stdout)
        self.assertNotIn(b"Eliminado", r.stdout)
        self.assertTrue(os.path.exists(copia))
        self.assertRegex(r.stderr, rb"; 23 sin cambios\n")

    def test_una_linea_de_miembro_sin_nombre_no_borra_el_ebc_del_archivo(self):
        sim, carpeta = self.preparado()
        ruta = os.path.join(carpeta, "DEMO", "xvoras", "xinfo")
        with open(ruta, "ab") as f:
            f.write(b"ADEMO      VENTAS              PF    ".ljust(120) + b"\n")
        base = os.path.join(carpeta, "DEMO", "VENTAS.ebc")
        self.assertTrue(os.path.exists(base))
        r = self.corre(sim, ["DAT", "DEMO"], carpeta, VORTCP_ESPEJO="1")
        self.assertEqual(r.status, 0, r)
        self.assertNotIn(b"Eliminado", r.stdout)
        self.assertTrue(os.path.exists(base))


@unittest.skipIf(WINDOWS, "signals are POSIX; the console's Ctrl-C cannot be sent under Wine")
class Interrupciones(Base):
    def lanza(self, sim, args, carpeta, **env):
        return subprocess.Popen([vortcp_bin()] + args, cwd=carpeta, env=clean_env(self.entorno(sim, **env)),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def espera_sesion(self, sim, n):
        """Waits until the simulator has logged n sessions."""
        fin = time.time() + 30
        while len(os.listdir(sim.registro)) < n:
            self.assertLess(time.time(), fin, "the run never connected")
            time.sleep(0.02)

    def test_ctrl_c_mientras_se_lee_el_catalogo(self):
        sim = self.simulador("--retardo-ms", "3000")
        carpeta = self.carpeta()
        p = self.lanza(sim, ["MBR", "DEMO"], carpeta, VORTCP_INCREMENTAL="1")
        self.espera_sesion(sim, 1)
        p.send_signal(signal.SIGINT)
        salida, error = p.communicate(timeout=30)
        self.assertEqual(p.returncode, 130, (salida, error))
        self.assertTrue(salida.endswith(b"Transferencia interrumpida.\n"), salida)
        self.assertEqual(os.listdir(carpeta), ["vortcp.log"])

    def test_ctrl_c_durante_las_borraduras(self):
        # Two thousand members deleted on the server; a mirror removes them
        # and is interrupted on the way (or during the transfer that
        # follows): the index names no file removed.
        sim = self.simulador()
        for i in range(2000):
            agrega_miembro(self.bd, "DEMO", "MUCHOS", "M%04d" % i, ["linea %d" % i])
        carpeta = self.carpeta()
        self.assertEqual(self.corre(sim, ["MBR", "DEMO"], carpeta).status, 0)
        sql(self.bd, "DELETE FROM objetos WHERE archivo = 'MUCHOS'")
        lento = self.simulador("--retardo-ms", "200")
        muchos = os.path.join(carpeta, "DEMO", "MUCHOS")
        p = self.lanza(lento, ["MBR", "DEMO"], carpeta, VORTCP_ESPEJO="1", VORTCP_INCREMENTAL="1")
        # The signal goes once the removals have begun.
        fin = time.time() + 60
        while len(os.listdir(muchos)) == 2000 and p.poll() is None and time.time() < fin:
            time.sleep(0.001)
        p.send_signal(signal.SIGINT)
        salida, error = p.communicate(timeout=60)
        self.assertEqual(p.returncode, 130, (salida[-300:], error))
        self.assertTrue(salida.endswith(b"Transferencia interrumpida.\n"), salida[-300:])
        quedan = set(os.listdir(os.path.join(carpeta, "DEMO", "MUCHOS")))
        en_indice = {l[21:31].rstrip() for l in indice(carpeta) if l[11:21] == b"MUCHOS    "}
        self.assertEqual({n.split(".")[0].encode() for n in quedan}, en_indice)


class UnidadesPerdidas(Base):
    def test_una_unidad_perdida_dos_veces_se_nombra_y_se_cuenta(self):
        sim = self.simulador("--archivo-con-fallos", "QCLSRC:2", "--corta-en-trama", "5", broker=True)
        carpeta = self.carpeta()
        r = self.corre(sim, ["MBR", "DEMO"], carpeta, sesiones=4)
        self.assertEqual(r.status, 255, r)
        self.assertIn(b"Sin transferir: DEMO QCLSRC\n", r.stderr)
        self.assertIn(b"Sin transferir: DEMO QCLSRC\n", local_text(os.path.join(carpeta, "vortcp.log")))
        # Of the four members of QCLSRC, the first arrived before each cut;
        # the other three count as incomplete, as does nothing else.
        objetos, incompletos = total(r.stderr)
        self.assertEqual((objetos, incompletos), (22, 3))
        self.assertEqual(objetos - incompletos, len(completos(carpeta)))

    def test_un_servidor_que_se_va_cuenta_lo_que_llego(self):
        # Every session is cut after its eighth message: each unit is lost
        # twice, after what it managed.
        sim = self.simulador("--corta-tras", "8", broker=True)
        carpeta = self.carpeta()
        r = self.corre(sim, ["ALL", "DEMO"], carpeta, sesiones=4)
        self.assertEqual(r.status, 255, r)
        objetos, incompletos = total(r.stderr)
        self.assertGreater(len(completos(carpeta)), 0)
        self.assertEqual(objetos - incompletos, len(completos(carpeta)))
        # The library's 28 objects: what did not arrive counts as incomplete.
        self.assertEqual(objetos, 28)


if __name__ == "__main__":
    unittest.main()
