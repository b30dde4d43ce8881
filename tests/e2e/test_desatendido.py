"""Unattended transfers against zizez-sim: the JSON report of a run read
back with Python's json and checked against the tree (a full run; an
incremental run with a new, a changed, an unchanged, a deleted-on-server and
a hand-edited object; a mirror; a dry run; a run cut by a lost server), -q,
a copy edited by hand seen by an incremental run and a dry run, and a report
that cannot be written."""

import json
import os
import re
import shutil
import tempfile
import time
import unittest

from lib import WINDOWS, run_vortcp, shown_path, text_bytes
from lib.catalogo_sim import agrega_miembro, borra_objeto, cambia_fecha
from lib.simulador import MUESTRAS, Simulador


def arbol(carpeta):
    """The objects of the tree: relative path -> bytes (no index, no log, no
    working files, no data file's own .ebc of one line end)."""
    r = {}
    for d, _, ns in os.walk(carpeta):
        for n in ns:
            p = os.path.join(d, n)
            rel = os.path.relpath(p, carpeta)
            if "xvoras" in rel or rel.endswith(".parcial") or n in ("vortcp.log",) or n.endswith(".json"):
                continue
            with open(p, "rb") as f:
                datos = f.read()
            if n.endswith(".ebc") and datos == text_bytes(b"\n"):
                continue
            r[rel] = datos
    return r


def estados(informe):
    return {o["ruta"]: o["estado"] for o in informe["objetos"]}


class Desatendido(unittest.TestCase):
    def setUp(self):
        self.sim = Simulador()
        self.broker = Simulador("--broker", "0", "--max-sesiones", "8", bd=self.sim.bd)
        self.dir = tempfile.mkdtemp(prefix="vortcp_desat_")
        self.informes = tempfile.mkdtemp(prefix="vortcp_informes_")

    def tearDown(self):
        for s in (self.broker, self.sim):
            self.assertEqual(s.stop(), 0)
            shutil.rmtree(s.dir, True)
        shutil.rmtree(self.dir, True)
        shutil.rmtree(self.informes, True)

    def corre(self, args, sesiones=None, informe="informe.json", sim=None, **env):
        sim = sim or (self.broker if sesiones else self.sim)
        e = {"SERVIDOR": "127.0.0.1", "SERVPORT": str(sim.puerto), "BASE": MUESTRAS, "LANG": "ESP",
             "VORTCP_PROGRESO": "1"}
        if informe:
            e["VORTCP_INFORME"] = os.path.join(self.informes, informe)
        if sim is not self.sim:
            e["MULTIAS"] = "1"
        if sesiones:
            e["VORTCP_SESIONES"] = str(sesiones)
        e.update(env)
        return run_vortcp(args, self.dir, env=e, timeout=120)

    def informe(self, nombre="informe.json"):
        with open(os.path.join(self.informes, nombre), "rb") as f:
            datos = f.read()
        return json.loads(datos.decode("utf-8"))

    def comprueba_contra_el_arbol(self, informe, r):
        self.assertEqual(informe["estado_salida"], r.status)
        m = re.search(rb"Total: ([\d.]+) objetos, ([\d.]+) registros, ([\d.]+) bytes", r.stderr)
        self.assertEqual([informe["totales"][k] for k in ("objetos", "registros", "bytes")],
                         [int(g.replace(b".", b"")) for g in m.groups()])
        arbol_ = arbol(self.dir)
        recibidos = {o["ruta"]: o for o in informe["objetos"]
                     if o["estado"] in ("nuevo", "cambiado", "sin_cambios") and o["bytes"] > 0}
        for ruta, o in recibidos.items():
            self.assertIn(ruta, [shown_path(k) for k in arbol_], ruta)
        por_estado = {}
        for o in informe["objetos"]:
            por_estado[o["estado"]] = por_estado.get(o["estado"], 0) + 1
        for estado, clave in (("nuevo", "nuevos"), ("cambiado", "cambiados"), ("sin_cambios", "sin_cambios"),
                              ("eliminado_en_servidor", "eliminados_en_servidor"), ("eliminado", "eliminados"),
                              ("incompleto", "incompletos"), ("sin_transferir", "sin_transferir")):
            self.assertEqual(informe["totales"][clave], por_estado.get(estado, 0), clave)

    def test_ejecucion_completa_e_incremental(self):
        r = self.corre(["ALL", "DEMO"], informe="completa-%Y.json")
        self.assertEqual(r.status, 0, r)
        nombre = "completa-%s.json" % time.strftime("%Y")
        i = self.informe(nombre)
        self.assertEqual((i["modo"], i["biblioteca"], i["archivo"], i["miembro"]), ("ALL", "DEMO", "", ""))
        self.assertEqual(i["ajustes"], {"sesiones": 1, "incremental": False, "espejo": False, "simulacion": False})
        self.assertRegex(i["inicio"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
        self.assertEqual(set(estados(i).values()), {"nuevo"})
        self.assertEqual(len(i["objetos"]), 28)
        self.comprueba_contra_el_arbol(i, r)
        arranque = [o for o in i["objetos"] if o["ruta"] == shown_path("DEMO/QCLSRC/ARRANQUE.cl")][0]
        self.assertEqual((arranque["clase"], arranque["tipo"], arranque["registros"], arranque["bytes"],
                          arranque["fecha_cambio"]), ("fuente", "CLP", 8, 363, "2020-01-01T00:01:00"))
        clases = {o["clase"] for o in i["objetos"]}
        self.assertEqual(clases, {"fuente", "datos", "convertido", "mensajes"})

        # A new, a changed, a deleted-on-server and a hand-edited object; the
        # rest unchanged.
        agrega_miembro(self.sim.bd, "DEMO", "QCLSRC", "NUEVO", ["uno"])
        cambia_fecha(self.sim.bd, "DEMO", "QCLSRC", "COPIASEG", "20260101", "101500")
        borra_objeto(self.sim.bd, "DEMO", "QCBLSRC", "CONTAB")
        editado = os.path.join(self.dir, "DEMO", "QRPGLESRC", "FACTURA.ile")
        with open(editado, "ab") as f:
            f.write(b"     * editado a mano\n")
        # The dry run lists the hand-edited copy with what changed.
        s = self.corre(["MBR", "DEMO"], VORTCP_INCREMENTAL="1", VORTCP_SIMULA="1", informe="simula.json")
        self.assertEqual(s.status, 0, s)
        self.assertIn(b"Recibiria: " + shown_path("DEMO/QRPGLESRC/FACTURA.ile").encode() + b"\n", s.stdout)
        si = self.informe("simula.json")
        self.assertEqual(estados(si)[shown_path("DEMO/QRPGLESRC/FACTURA.ile")], "recibiria")
        self.assertEqual(estados(si)[shown_path("DEMO/QCBLSRC/CONTAB.cbo")], "eliminado_en_servidor")
        self.assertEqual(si["totales"]["recibiria"], 3)

        r = self.corre(["MBR", "DEMO"], VORTCP_INCREMENTAL="1")
        self.assertEqual(r.status, 0, r)
        i = self.informe()
        e = estados(i)
        self.assertEqual(e[shown_path("DEMO/QCLSRC/NUEVO.cl")], "nuevo")
        self.assertEqual(e[shown_path("DEMO/QCLSRC/COPIASEG.cl")], "cambiado")
        self.assertEqual(e[shown_path("DEMO/QRPGLESRC/FACTURA.ile")], "cambiado")
        self.assertEqual(e[shown_path("DEMO/QCBLSRC/CONTAB.cbo")], "eliminado_en_servidor")
        self.assertEqual(e[shown_path("DEMO/QCLSRC/ARRANQUE.cl")], "sin_cambios")
        self.assertEqual(i["totales"]["sin_cambios"], 19)
        self.comprueba_contra_el_arbol(i, r)
        # The hand-edited copy came again whole.
        with open(editado, "rb") as f:
            self.assertNotIn(b"editado a mano", f.read())

        # The mirror removes what the server deleted.
        m = self.corre(["MBR", "DEMO"], VORTCP_INCREMENTAL="1", VORTCP_ESPEJO="1")
        self.assertEqual(m.status, 0, m)
        self.assertEqual(estados(self.informe())[shown_path("DEMO/QCBLSRC/CONTAB.cbo")], "eliminado")
        self.assertEqual(self.informe()["totales"]["eliminados"], 1)

    def test_servidor_perdido(self):
        # Every session is cut after its eighth message: what came is
        # counted, what was cut is incomplete, the rest of the units lost
        # for good is sin_transferir.
        perdido = Simulador("--broker", "0", "--max-sesiones", "8", "--corta-tras", "8", bd=self.sim.bd)
        try:
            r = self.corre(["ALL", "DEMO"], sesiones=4, sim=perdido)
        finally:
            self.assertEqual(perdido.stop(), 0)
            shutil.rmtree(perdido.dir, True)
        self.assertEqual(r.status, 255, r)
        i = self.informe()
        self.assertEqual(i["estado_salida"], 255)
        e = estados(i)
        self.assertIn("sin_transferir", e.values())
        self.assertIn("incompleto", e.values())
        completos = [p for p, x in e.items() if x == "nuevo"]
        self.assertEqual(sorted(completos), sorted(shown_path(k) for k in arbol(self.dir)))
        self.assertEqual(len(e), 28)
        self.comprueba_contra_el_arbol(i, r)

    def test_silencioso_e_informe_que_no_se_puede_escribir(self):
        r = self.corre(["-q", "MBR", "DEMO", "QCLSRC"], informe=os.path.join("no", "hay", "carpeta.json"))
        self.assertEqual(r.status, 1, r)
        lineas = r.stdout.decode("latin-1").splitlines()
        self.assertEqual(len(lineas), 4)
        self.assertTrue(all(l.startswith("Obtiene: ") for l in lineas), lineas)
        self.assertEqual(r.stderr.count(b"\n"), 2, r.stderr)
        self.assertRegex(r.stderr, rb"^Total: 4 objetos, ")
        self.assertIn(b"Imposible escribir el informe (" + os.path.join(self.informes, "no", "hay",
                                                                          "carpeta.json").encode() + b")\n",
                      r.stderr)
        with open(os.path.join(self.dir, "vortcp.log"), "rb") as f:
            self.assertRegex(f.read(), rb"\nTotal: 4 objetos, [^\n]*\n$")


    def test_ajustes_que_se_nombran(self):
        base = {"BASE": MUESTRAS, "LANG": "ESP"}
        r = run_vortcp(["-q", "MBR", "DEMO"], self.dir, env=dict(base, SERVPORT="4400"))
        self.assertEqual((r.status, r.stdout), (255, b"Falta la variable SERVIDOR\n"))
        r = run_vortcp(["-q", "MBR", "DEMO"], self.dir, env=dict(base, SERVIDOR="127.0.0.1", SERVPORT="abc"))
        self.assertEqual((r.status, r.stdout), (255, b"Valor no valido en la variable SERVPORT (abc)\n"))
        # A vortcp.log that cannot be made says why.
        otro = tempfile.mkdtemp(dir=self.dir)
        os.mkdir(os.path.join(otro, "vortcp.log"))
        r = run_vortcp(["-q", "MBR", "DEMO"], otro, env=dict(base, SERVIDOR="127.0.0.1", SERVPORT="4400"))
        self.assertEqual(r.status, 1, r)
        self.assertIn(b"No se puede abrir el fichero de log. (vortcp.log)\n", r.stdout)
        self.assertRegex(r.stderr, rb"^vortcp\.log: .+\n$")
        if not WINDOWS:
            # LANG is the locale on POSIX: without VORTCP_LANG the table file
            # it names is none, and the run says what to set.
            r = run_vortcp(["-q", "MBR", "DEMO"], self.dir,
                           env={"BASE": MUESTRAS, "LANG": "C.UTF-8", "SERVIDOR": "127.0.0.1", "SERVPORT": "4400"})
            self.assertEqual(r.status, 1, r)
            self.assertIn(b"Defina VORTCP_LANG con el idioma del fichero de tablas", r.stderr)


if __name__ == "__main__":
    unittest.main()
