"""Only what changed, against zizez-sim's catalogue: a repeat run (one
session straight to the server, and four through the broker) asks for the
changed files only and writes only what changed; deletions on the server are
said, then mirrored; a dry run writes nothing and lists what the real run then
receives; the settings' values."""

import glob
import os
import re
import shutil
import tempfile
import unittest

from lib import run_vortcp, shown_path, unused_port
from lib.catalogo_sim import agrega_miembro, borra_objeto, cambia_fecha
from lib.simulador import MUESTRAS, Simulador


def estado(carpeta):
    """Every file below the folder: path -> (inode, bytes)."""
    r = {}
    for d, _, ns in os.walk(carpeta):
        for n in ns:
            p = os.path.join(d, n)
            with open(p, "rb") as f:
                r[os.path.relpath(p, carpeta)] = (os.stat(p).st_ino, f.read())
    return r


def lineas(salida, prefijo):
    return [l[len(prefijo):].rstrip(b" \r").split(b"  ")[0] for l in salida.split(b"\n") if l.startswith(prefijo)]


def rutas(*ps):
    return [shown_path(p).encode() for p in ps]


class Incremental(unittest.TestCase):
    def setUp(self):
        self.sim = Simulador()
        self.broker = Simulador("--broker", "0", "--max-sesiones", "8", bd=self.sim.bd)
        self.dir = tempfile.mkdtemp(prefix="vortcp_incr_")

    def tearDown(self):
        for s in (self.broker, self.sim):
            self.assertEqual(s.stop(), 0)
        shutil.rmtree(self.sim.dir, True)
        shutil.rmtree(self.broker.dir, True)
        shutil.rmtree(self.dir, True)

    def corre(self, args, sesiones=None, **env):
        sim = self.broker if sesiones else self.sim
        e = {"SERVIDOR": "127.0.0.1", "SERVPORT": str(sim.puerto), "BASE": MUESTRAS, "LANG": "ESP",
             "VORTCP_PROGRESO": "1"}
        if sesiones:
            e.update(MULTIAS="1", VORTCP_SESIONES=str(sesiones))
        e.update(env)
        r = run_vortcp(args, self.dir, env=e, timeout=120)
        self.assertIn(r.status, (0, 1, 255), r)
        return r

    def indice(self):
        with open(os.path.join(self.dir, "DEMO", "xvoras", "xinfo"), "rb") as f:
            return [l[:106] for l in f.read().splitlines()]

    def test_una_sesion_cambios_borrados_espejo_y_simulacion(self):
        self.assertEqual(self.corre(["MBR", "DEMO"]).status, 0)
        cambia_fecha(self.sim.bd, "DEMO", "QCLSRC", "COPIASEG", "20260101", "101500")
        agrega_miembro(self.sim.bd, "DEMO", "QCLSRC", "NUEVO", ["uno", "dos"])
        borra_objeto(self.sim.bd, "DEMO", "QCBLSRC", "CONTAB")
        os.remove(os.path.join(self.dir, "DEMO", "QRPGLESRC", "FACTURA.ile"))
        mio = os.path.join(self.dir, "DEMO", "QCBLSRC", "MIO.txt")
        open(mio, "w").close()
        antes = estado(self.dir)
        recibe = rutas("DEMO/QCLSRC/COPIASEG.cl", "DEMO/QCLSRC/NUEVO.cl", "DEMO/QRPGLESRC/FACTURA.ile")
        contab = rutas("DEMO/QCBLSRC/CONTAB.cbo")

        # The dry run, a mirror's too, removes and writes nothing (the log aside).
        s = self.corre(["MBR", "DEMO"], VORTCP_INCREMENTAL="1", VORTCP_SIMULA="1", VORTCP_ESPEJO="1")
        self.assertEqual(s.status, 0, s)
        self.assertEqual(lineas(s.stdout, b"Recibiria: "), recibe)
        self.assertEqual(lineas(s.stdout, b"Eliminado en el servidor: "), contab)
        self.assertIn(b"\nRecibiria 3 objetos; 19 sin cambios; 1 eliminados en el servidor\n", s.stdout)
        despues = estado(self.dir)
        del despues["vortcp.log"], antes["vortcp.log"]
        self.assertEqual(despues, antes)

        r = self.corre(["MBR", "DEMO"], VORTCP_INCREMENTAL="1")
        self.assertEqual(r.status, 0, r)
        self.assertEqual(lineas(r.stdout, b"Obtiene: "), recibe)
        self.assertEqual(lineas(r.stdout, b"Eliminado en el servidor: "), contab)
        self.assertRegex(r.stderr, rb"Total: 3 objetos, .*; 0 incompletos; 19 sin cambios\n")
        with open(os.path.join(self.dir, "vortcp.log"), "rb") as f:
            self.assertIn(b"Eliminado en el servidor: " + contab[0], f.read())
        # Only the changed files were asked for, since their earliest change;
        # the unchanged members they brought along (ENVIOFTP, NOMINAS) were
        # not written again.
        peticiones = set()
        for log in glob.glob(os.path.join(self.sim.registro, "*.log")):
            with open(log, "rb") as f:
                peticiones |= set(re.findall(rb"archivo=\[(\w+) *\] miembro=\[ *\] tipo=\[ *\] fechad=\[(\d*)\] "
                                             rb"horad=\[(\d*)\]", f.read()))
        self.assertEqual(peticiones, {(b"QCLSRC", b"20250101", b"120000"), (b"QRPGLESRC", b"20240115", b"093012")})
        despues = estado(self.dir)
        for p in ("QCLSRC/ENVIOFTP.cl", "QRPGLESRC/NOMINAS.ile", "QCBLSRC/CONTAB.cbo"):
            p = os.path.join("DEMO", p)
            self.assertEqual(despues[p], antes[p], p)
        self.assertEqual(len(self.indice()), 23)

        # The mirror removes what the index names and nothing else; nothing
        # has changed since.
        e = self.corre(["MBR", "DEMO"], VORTCP_INCREMENTAL="1", VORTCP_ESPEJO="1")
        self.assertEqual(e.status, 0, e)
        self.assertEqual(lineas(e.stdout, b"Eliminado: "), contab)
        self.assertNotIn(b"Obtiene: ", e.stdout)
        self.assertRegex(e.stderr, rb"; 22 sin cambios\n")
        self.assertFalse(os.path.exists(os.path.join(self.dir, "DEMO", "QCBLSRC", "CONTAB.cbo")))
        self.assertTrue(os.path.exists(mio))
        self.assertEqual(len(self.indice()), 22)
        self.assertFalse([l for l in self.indice() if l[11:31] == b"QCBLSRC   CONTAB    "])

    def test_cuatro_sesiones_lo_simulado_es_lo_recibido(self):
        self.assertEqual(self.corre(["ALL", "DEMO"], sesiones=4).status, 0)
        cambia_fecha(self.sim.bd, "DEMO", "VENTAS", "V2025", "20260102", "000000")
        cambia_fecha(self.sim.bd, "DEMO", "QDDSSRC", "PANTCLI", "20260103", "000000")
        cambia_fecha(self.sim.bd, "DEMO", "QCBLSRC", "RECIBOS", "20260104", "000000")
        borra_objeto(self.sim.bd, "DEMO", "VENTAS", "V2023")
        antes = estado(self.dir)
        s = self.corre(["ALL", "DEMO"], sesiones=4, VORTCP_INCREMENTAL="1", VORTCP_SIMULA="1")
        self.assertEqual(s.status, 0, s)
        # Converted data and message files always move.
        recibe = rutas("DEMO/QCBLSRC/RECIBOS.cbo", "DEMO/QDDSSRC/PANTCLI.pan", "DEMO/TARIFAS.dta",
                       "DEMO/VENTAS_V2025.ebc", "DEMO/MENSAJES.msg")
        self.assertEqual(lineas(s.stdout, b"Recibiria: "), recibe)
        self.assertEqual(lineas(s.stdout, b"Eliminado en el servidor: "), rutas("DEMO/VENTAS_V2023.ebc"))
        del antes["vortcp.log"]
        despues = estado(self.dir)
        del despues["vortcp.log"]
        self.assertEqual(despues, antes)
        r = self.corre(["ALL", "DEMO"], sesiones=4, VORTCP_INCREMENTAL="1")
        self.assertEqual(r.status, 0, r)
        self.assertEqual(sorted(lineas(r.stdout, b"Obtiene: ")), sorted(recibe))
        self.assertRegex(r.stderr, rb"; 0 incompletos; 22 sin cambios\n")
        self.assertTrue([l for l in self.indice() if l[11:31] == b"QDDSSRC   PANTCLI   " and l[92:] == b"20260103000000"])

    def test_ajustes_y_catalogo_no_disponible(self):
        for nombre, valor in (("VORTCP_INCREMENTAL", "2"), ("VORTCP_ESPEJO", "si"), ("VORTCP_SIMULA", "on")):
            r = run_vortcp(["MBR", "DEMO"], self.dir, env={"SERVIDOR": "127.0.0.1", "SERVPORT": str(unused_port()),
                                                           nombre: valor})
            self.assertEqual(r.status, 1, r)
            self.assertTrue(r.stdout.endswith(b"Valor no valido en la variable %s (%s)\n"
                                              % (nombre.encode(), valor.encode())), r)
        # A dry run of a member would be a real transfer: refused.
        r = self.corre(["MBR", "DEMO", "QCLSRC", "COPIASEG"], VORTCP_SIMULA="1")
        self.assertEqual(r.status, 1, r)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "DEMO")))
        sin = Simulador("--sin-catalogo", bd=self.sim.bd)
        try:
            self.sim, guardado = sin, self.sim
            s = self.corre(["MBR", "DEMO"], VORTCP_SIMULA="1", VORTCP_INCREMENTAL="0")
            self.assertEqual((s.status, os.listdir(self.dir)), (255, ["vortcp.log"]), s)
            r = self.corre(["MBR", "DEMO"], VORTCP_INCREMENTAL="1", VORTCP_ESPEJO="")
            self.assertEqual(r.status, 0, r)
            for x in (s, r):
                self.assertIn(b"Catalogo no disponible: se transfiere todo.\n", x.stderr)
            self.assertEqual(len(lineas(r.stdout, b"Obtiene: ")), 22)
        finally:
            self.sim = guardado
            self.assertEqual(sin.stop(), 0)
            shutil.rmtree(sin.dir, True)


if __name__ == "__main__":
    unittest.main()
