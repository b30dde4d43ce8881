"""A library through several sessions at once (VORTCP_SESIONES) against
zizez-sim's broker: the same tree and index lines as one session, whole
result lines, a lost session tried again, a unit lost twice, Ctrl-C with
every session open, a broker with fewer sessions than asked for, and the
runs that keep one session (no broker, no catalogue) or end at once (an
unknown library, a value that is not valid)."""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

from lib import WINDOWS, clean_env, run_vortcp, shown_path, unused_port, vortcp_bin
from lib.biblioteca_par import LIB, arbol, crea_muestras, indice, lineas_de_resultado, parciales, sin_tiempos
from lib.catalogo_sim import cambia_fecha
from lib.simulador import MUESTRAS, Simulador


class VariasSesiones(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.raiz = tempfile.mkdtemp(prefix="vortcp_sesiones_")
        cls.muestras = os.path.join(cls.raiz, "muestras")
        crea_muestras(cls.muestras)
        # The reference: one session, no faults.
        sim = Simulador("--muestras", cls.muestras, "--broker", "0", "--max-sesiones", "8")
        try:
            cls.referencia = tempfile.mkdtemp(dir=cls.raiz)
            r = cls.corre_en(sim, ["ALL", LIB], cls.referencia)
            assert r.status == 0, r
            cls.salida_referencia = r.stdout
        finally:
            assert sim.stop() == 0
            shutil.rmtree(sim.dir, True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.raiz, True)

    @classmethod
    def corre_en(cls, sim, args, carpeta, sesiones=None, broker=True, **env):
        entorno = {"SERVIDOR": "127.0.0.1", "SERVPORT": sim.puerto, "BASE": cls.muestras, "LANG": "ESP"}
        if broker:
            entorno["MULTIAS"] = "1"
        if sesiones is not None:
            entorno["VORTCP_SESIONES"] = str(sesiones)
        entorno.update(env)
        return run_vortcp(args, carpeta, env=entorno, timeout=120)

    def setUp(self):
        self.sims = []

    def tearDown(self):
        for sim in self.sims:
            self.assertEqual(sim.stop(), 0)
            shutil.rmtree(sim.dir, True)

    def simulador(self, *opciones, sesiones=8):
        sim = Simulador("--muestras", self.muestras, "--broker", "0", "--max-sesiones", str(sesiones), *opciones)
        self.sims.append(sim)
        return sim

    def carpeta(self):
        return tempfile.mkdtemp(dir=self.raiz)

    def assertComoUnaSesion(self, carpeta):
        self.assertEqual(arbol(carpeta), arbol(self.referencia))
        self.assertEqual(indice(carpeta), indice(self.referencia))

    def test_cuatro_sesiones_dejan_lo_mismo_que_una(self):
        sim = self.simulador()
        carpeta = self.carpeta()
        r = self.corre_en(sim, ["ALL", LIB], carpeta, sesiones=4)
        self.assertEqual(r.status, 0, r.stdout + r.stderr)
        self.assertComoUnaSesion(carpeta)
        # Each object's line whole, the same bytes as one session's (which
        # prints it in two halves), in the order the objects completed.
        self.assertEqual(sorted(lineas_de_resultado(r.stdout)), sorted(lineas_de_resultado(self.salida_referencia)))
        # The catalogue's session is the one that shows the connection.
        self.assertEqual(r.stdout.count(b"(1) Servidor detectado (127.0.0.1) ...\n"), 1)
        self.assertEqual(r.stdout.count(b"Envia NT->AS/400: [9700007]\n"), 1)
        with open(os.path.join(carpeta, "vortcp.log"), "rb") as f:
            self.assertEqual(sorted(sin_tiempos(f.read().split(b"\n"))), sorted(sin_tiempos(self._log_referencia())))
        # The generic and exact member requests went out as units.
        peticiones = self.peticiones(sim)
        for miembro in ("AB", "ABC*", "ABD*", "B*"):
            self.assertIn(("GRANDE", miembro), peticiones)

    def _log_referencia(self):
        with open(os.path.join(self.referencia, "vortcp.log"), "rb") as f:
            return f.read().split(b"\n")

    def peticiones(self, sim):
        """The (file, member field) of each transfer request the simulator
        logged."""
        vistas = []
        for nombre in os.listdir(sim.registro):
            with open(os.path.join(sim.registro, nombre), encoding="latin-1") as f:
                for l in f:
                    m = re.match(r"-- peticion 94 biblioteca=\[%s\] archivo=\[(.*?)\] miembro=\[(.*?)\]" % LIB, l)
                    if m:
                        vistas.append(m.groups())
        return vistas

    def test_el_indice_guarda_sus_lineas_y_el_orden_de_una_sesion(self):
        # An index with lines of its own: a comment, an object the run
        # replaces and one it does not touch. The run's lines go after those
        # it leaves, in the one-session order; the others stay in place.
        previo = (b"# indice de PAR\n"
                  b"A" + b"PAR".ljust(10) + b"F3".ljust(10) + b"M2".ljust(10) + b"CLP   viejo".ljust(95) + b"\n"
                  b"A" + b"PAR".ljust(10) + b"OTRO".ljust(10) + b"X".ljust(10) + b"CLP   a mano".ljust(95) + b"\n")
        sim = self.simulador()
        salidas = []
        for sesiones in (None, 4):
            carpeta = self.carpeta()
            os.makedirs(os.path.join(carpeta, LIB, "xvoras"))
            with open(os.path.join(carpeta, LIB, "xvoras", "xinfo"), "wb") as f:
                f.write(previo)
            r = self.corre_en(sim, ["ALL", LIB], carpeta, sesiones=sesiones)
            self.assertEqual(r.status, 0, r.stdout)
            salidas.append(indice(carpeta))
        self.assertEqual(salidas[1], salidas[0])
        self.assertEqual(salidas[1][:2], [b"# indice de PAR", previo.split(b"\n")[2][:106]])

    def test_una_sesion_perdida_se_reintenta(self):
        # The first session that asks for F3 is cut in the middle of its
        # third message; its member open then is left incomplete, and the
        # unit comes again whole on a new session.
        sim = self.simulador("--archivo-con-fallos", "F3:1", "--corta-en-trama", "3")
        carpeta = self.carpeta()
        r = self.corre_en(sim, ["ALL", LIB], carpeta, sesiones=4)
        self.assertEqual(r.status, 0, r.stdout + r.stderr)
        self.assertIn(b"Incompleto: " + shown_path("PAR/F3/M1.cl.parcial").encode(), r.stdout)
        self.assertComoUnaSesion(carpeta)
        self.assertEqual(parciales(carpeta), [])
        self.assertEqual(self.peticiones(sim).count(("F3", "")), 2)

    def test_reintento_de_una_ejecucion_incremental(self):
        # Every member of F3 changed; one session, so that F3 is one unit.
        # Its first session is cut once M1 and M2 are complete. The retry
        # receives them again, so the index keeps the one-session order and
        # the counts hold all four.
        sim = self.simulador("--archivo-con-fallos", "F3:1", "--corta-en-trama", "7")
        carpeta = self.carpeta()
        previa = self.simulador()
        self.assertEqual(self.corre_en(previa, ["ALL", LIB], carpeta, sesiones=4).status, 0)
        for m in ("M1", "M2", "M3", "M4"):
            cambia_fecha(sim.bd, LIB, "F3", m, "20260101", "120000")
        r = self.corre_en(sim, ["ALL", LIB], carpeta, VORTCP_INCREMENTAL="1", VORTCP_PROGRESO="1")
        self.assertEqual(r.status, 0, r.stdout + r.stderr)
        self.assertIn(b"Incompleto: " + shown_path("PAR/F3/M3.cl.parcial").encode(), r.stdout)
        # The lines of the changed members follow those the run left alone,
        # in the order the server sent them, once each.
        claves = [l[11:31] for l in indice(carpeta)]
        self.assertEqual(sorted(claves), sorted(l[11:31] for l in indice(self.referencia)))
        f3 = [l for l in indice(carpeta) if l[11:21] == b"F3".ljust(10)]
        self.assertEqual([l[21:23] for l in f3], [b"M1", b"M2", b"M3", b"M4"])
        self.assertEqual([l[92:106] for l in f3], [b"20260101120000"] * 4)
        self.assertRegex(r.stderr, rb"Total: 6 objetos, 28 registros, .*; 0 incompletos; 22 sin cambios\n")
        self.assertEqual(parciales(carpeta), [])

    def test_una_unidad_perdida_dos_veces_termina_con_menos_uno(self):
        sim = self.simulador("--archivo-con-fallos", "F3:2", "--corta-en-trama", "3")
        carpeta = self.carpeta()
        r = self.corre_en(sim, ["ALL", LIB], carpeta, sesiones=4)
        self.assertEqual(r.status, 255, r.stdout + r.stderr)
        self.assertEqual(r.stdout.count(b"Incompleto: " + shown_path("PAR/F3/M1.cl.parcial").encode()), 2)
        self.assertEqual(parciales(carpeta), ["PAR/F3/M1.cl.parcial"])
        # Everything else is complete, and only that is in the index.
        hecho, esperado = arbol(carpeta), arbol(self.referencia)
        del hecho["F3/M1.cl.parcial"]
        self.assertEqual(hecho, {k: v for k, v in esperado.items() if not k.startswith("F3/")})
        self.assertEqual(indice(carpeta), [l for l in indice(self.referencia) if l[11:21] != b"F3".ljust(10)])

    def test_un_nombre_rechazado_para_todas_las_sesiones(self):
        # A header with a name that would leave the tree: the run stops every
        # session and ends with 1. (The simulator's hostile name goes to the
        # headers of every session, whatever the selectors say.)
        sim = self.simulador("--nombre-hostil", "..", "--retardo-ms", "50")
        carpeta = self.carpeta()
        r = self.corre_en(sim, ["ALL", LIB], carpeta, sesiones=4)
        self.assertEqual(r.status, 1, r.stdout + r.stderr)
        self.assertIn(b"Nombre no valido recibido del servidor (..)\n", r.stdout)
        self.assertNotIn(b"Connection closed", r.stdout)
        self.assertNotIn(b"Obtiene", r.stdout)
        self.assertEqual(parciales(carpeta), [])
        # No unit starts after the refusal.
        self.assertLessEqual(len(self.peticiones(sim)), 4)

    def test_un_intermediario_con_dos_sesiones_sirve_una_ejecucion_de_ocho(self):
        sim = self.simulador(sesiones=2)
        carpeta = self.carpeta()
        r = self.corre_en(sim, ["ALL", LIB], carpeta, sesiones=8)
        self.assertEqual(r.status, 0, r.stdout + r.stderr)
        self.assertNotIn(b"Superado el numero maximo", r.stdout)
        self.assertComoUnaSesion(carpeta)

    def test_sin_intermediario_ni_catalogo_una_sola_sesion(self):
        sim = Simulador("--muestras", self.muestras, "--puerto", "0")
        self.sims.append(sim)
        carpeta = self.carpeta()
        r = self.corre_en(sim, ["ALL", LIB], carpeta, sesiones=4, broker=False)
        self.assertEqual(r.status, 0, r.stdout)
        self.assertEqual(r.stderr, b"Sin intermediario de sesiones: se usa una sola sesion.\n")
        self.assertComoUnaSesion(carpeta)

        sim = self.simulador("--sin-catalogo")
        carpeta = self.carpeta()
        r = self.corre_en(sim, ["ALL", LIB], carpeta, sesiones=4)
        self.assertEqual(r.status, 0, r.stdout)
        self.assertEqual(r.stderr, b"Catalogo no disponible: se usa una sola sesion.\n")
        # The one session connects anew, with its own lines.
        self.assertEqual(r.stdout.count(b"(1) Servidor detectado (127.0.0.1) ...\n"), 2)
        self.assertComoUnaSesion(carpeta)

    def test_biblioteca_desconocida_y_archivo_que_no_esta(self):
        sim = self.simulador()
        r = self.corre_en(sim, ["MBR", "NOEXISTE"], self.carpeta(), sesiones=4)
        self.assertEqual(r.status, 1, r.stdout)
        self.assertTrue(r.stdout.endswith(b"Biblioteca NOEXISTE no encontrada en el servidor\n"), r.stdout)
        # A file the library does not have: nothing to do, as for one session.
        carpeta = self.carpeta()
        r = self.corre_en(sim, ["MBR", LIB, "NOHAY"], carpeta, sesiones=4)
        self.assertEqual(r.status, 0, r.stdout)
        self.assertFalse(os.path.exists(os.path.join(carpeta, LIB)))
        # A generic file name keeps the files of its prefix.
        carpeta = self.carpeta()
        r = self.corre_en(sim, ["MBR", LIB, "F*"], carpeta, sesiones=4)
        self.assertEqual(r.status, 0, r.stdout)
        self.assertEqual(sorted(arbol(carpeta)), sorted(k for k in arbol(self.referencia) if k.startswith("F")))

    @unittest.skipIf(WINDOWS, "signals are POSIX; the console's Ctrl-C cannot be sent under Wine")
    def test_ctrl_c_con_cuatro_sesiones_abiertas(self):
        # Each message waits, so that every session holds an open object
        # most of the time; once four working files are there at once, Ctrl-C.
        sim = self.simulador("--retardo-ms", "300")
        carpeta = self.carpeta()
        env = clean_env({"SERVIDOR": "127.0.0.1", "SERVPORT": sim.puerto, "BASE": self.muestras, "LANG": "ESP",
                         "MULTIAS": "1", "VORTCP_SESIONES": "4"})
        p = subprocess.Popen([vortcp_bin(), "ALL", LIB], cwd=carpeta, env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        try:
            fin = time.time() + 60
            # Some objects complete by then, so that the index has lines.
            xinfo = os.path.join(carpeta, LIB, "xvoras", "xinfo")
            while ((len(parciales(carpeta)) < 4 or not os.path.exists(xinfo)) and time.time() < fin
                   and p.poll() is None):
                time.sleep(0.02)
            self.assertEqual(len(parciales(carpeta)), 4)
            p.send_signal(signal.SIGINT)
            salida, error = p.communicate(timeout=30)
        finally:
            if p.poll() is None:
                p.kill()
                p.communicate()
        self.assertEqual(p.returncode, 130, salida + error)
        self.assertTrue(salida.endswith(b"Transferencia interrumpida.\n"), salida[-300:])
        self.assertNotIn(b"Connection closed", salida)
        dejados = parciales(carpeta)
        self.assertTrue(dejados)
        for ruta in dejados:
            self.assertIn(b"Incompleto: " + ruta.encode() + b"\n", salida)
        # The index holds the complete objects, and only them.
        completos = {k for k in arbol(carpeta) if not k.endswith((".parcial", ".dta"))}
        en_indice = set()
        for l in indice(carpeta):
            archivo, miembro = l[11:21].strip().decode(), l[21:31].strip().decode()
            if archivo == "MENSA":
                en_indice.add("MENSA.msg")
            elif archivo == "DATOS":
                en_indice.add("DATOS_%s.ebc" % miembro)
            else:
                en_indice.add("%s/%s.%s" % (archivo, miembro, "ile" if archivo == "GRANDE" else "cl"))
        self.assertEqual(en_indice, completos - {"DATOS.ebc"})


class ValoresDeSesiones(unittest.TestCase):
    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self._tmp.cleanup)

    def corre(self, args, valor):
        # Nothing listens there: a value that passes gets as far as the
        # connection, one that does not never connects.
        return run_vortcp(args, self._tmp.name, env={"SERVIDOR": "127.0.0.1", "SERVPORT": unused_port(),
                                                     "MULTIAS": "1", "BASE": MUESTRAS, "LANG": "ESP",
                                                     "VORTCP_SESIONES": valor})

    def test_valores(self):
        for valor in ("0", "17", "100", "dos", "4 ", "-2", "+3", "0x4"):
            for args in (["ALL", "DEMO"], ["END"], ["WEB"]):
                r = self.corre(args, valor)
                self.assertEqual(r.status, 1, (valor, args, r.stdout))
                self.assertTrue(r.stdout.endswith(b"Valor no valido en la variable VORTCP_SESIONES (%s)\n"
                                                  % valor.encode()), r.stdout)
                self.assertNotIn(b"Servidor detectado", r.stdout)
        for valor in ("", "1", "2", "16", "08"):
            r = self.corre(["MBR", "DEMO"], valor)
            self.assertEqual(r.status, 255, (valor, r.stdout))
            self.assertIn(b"Fallo en la operacion connect", r.stdout)


if __name__ == "__main__":
    unittest.main()
