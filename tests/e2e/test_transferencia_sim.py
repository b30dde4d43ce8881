"""End-to-end runs of vortcp against zizez-sim ($ZIZEZ_SIM) serving the sample
system: the whole library, one source file, the data files and the spool, the
index across two runs, and two of the simulator's fault switches. Skipped
when the simulator is not built."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

from lib import local_text, run_vortcp, shown_path

MUESTRAS = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "samples"))
SIM = os.environ.get("ZIZEZ_SIM")

EXTENSIONES = {"RPGL": "ile", "CBL": "cbo", "CPY": "cpy", "DSPF": "pan", "PRTF": "prt", "CLP": "cl",
               "PF": "dds", "LF": "dds"}


def catalogo(lib):
    """The lines of the sample catalogue of a library, split at "|"."""
    with open(os.path.join(MUESTRAS, lib, "catalogo.txt"), encoding="utf-8") as f:
        return [l.rstrip("\n").split("|") for l in f if l.strip() and not l.startswith("#")]


def texto_local(*ruta):
    """A sample text as the client writes it: the sample is UTF-8, the
    server's code page and the table file's are CP1252."""
    with open(os.path.join(MUESTRAS, *ruta), encoding="utf-8") as f:
        return f.read().encode("cp1252")


@unittest.skipUnless(SIM and os.path.isdir(MUESTRAS), "zizez-sim is not built")
class SimuladorTest(unittest.TestCase):
    def setUp(self):
        self.raiz = tempfile.mkdtemp(prefix="vortcp_sim_")
        self.dir = os.path.join(self.raiz, "trabajo")
        os.mkdir(self.dir)
        self.sims = []

    def tearDown(self):
        for p in self.sims:
            p.terminate()
            p.wait(10)
            p.stdout.close()
        shutil.rmtree(self.raiz, ignore_errors=True)

    def simulador(self, *fallos):
        p = subprocess.Popen([SIM, "--puerto", "0", "--bd", os.path.join(self.raiz, "bd"),
                              "--muestras", MUESTRAS] + list(fallos),
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.sims.append(p)
        for linea in p.stdout:
            m = re.search(r"escuchando en 127\.0\.0\.1:(\d+)", linea)
            if m:
                return int(m.group(1))
        self.fail("zizez-sim did not start")

    def corre(self, args, puerto, estado=0):
        r = run_vortcp(args, self.dir, env={"SERVIDOR": "127.0.0.1", "SERVPORT": puerto,
                                            "BASE": MUESTRAS, "LANG": "ESP"}, timeout=60)
        self.assertEqual(r.status, estado, r.stdout + r.stderr)
        return r

    def lee(self, *ruta):
        """A local text file, line ends checked and read as LF (local_text)."""
        return local_text(os.path.join(self.dir, *ruta))

    def lee_crudo(self, *ruta):
        with open(os.path.join(self.dir, *ruta), "rb") as f:
            return f.read()

    def test_biblioteca_entera_dos_veces(self):
        puerto = self.simulador()
        fuentes = [c for c in catalogo("DEMO") if c[0] == "F"]
        for _ in range(2):
            r = self.corre(["ALL", "DEMO"], puerto)
        for _, fic, mbr, tipo, *_ in fuentes:
            ruta = ("DEMO", fic, "%s.%s" % (mbr, EXTENSIONES.get(tipo, tipo.lower())))
            self.assertEqual(self.lee(*ruta), texto_local("DEMO", fic, mbr + ".txt"), ruta)
            self.assertIn(("Obtiene: %s" % shown_path("/".join(ruta))).encode(), r.stdout)
        self.assertEqual(self.lee("DEMO", "MENSAJES.msg"), texto_local("DEMO", "MENSAJES.txt"))
        # One index line per member, raw data file and message file, even
        # after the second run.
        indice = self.lee("DEMO", "xvoras", "xinfo").decode("cp1252").split("\n")
        self.assertEqual(indice[-1], "")
        claves = [l[1:31] for l in indice[:-1]]
        self.assertEqual(len(claves), len(set(claves)))
        esperadas = {"%-10s%-10s%-10s" % ("DEMO", c[1], c[2]) for c in catalogo("DEMO") if c[0] in "FD"}
        esperadas.add("%-10s%-10s%-10s" % ("DEMO", "MENSAJES", ""))
        self.assertEqual(set(claves), esperadas)
        self.assertTrue(all(len(l) == 120 for l in indice[:-1]))

    def test_corte_a_mitad_de_miembro_no_pisa_la_copia_buena(self):
        # A first whole run, then one cut at its 14th frame, inside a member.
        self.corre(["MBR", "DEMO", "QRPGLESRC"], self.simulador())
        buenas = {n: self.lee_crudo("DEMO", "QRPGLESRC", n)
                  for n in os.listdir(os.path.join(self.dir, "DEMO", "QRPGLESRC"))}
        indice = self.lee("DEMO", "xvoras", "xinfo")
        r = self.corre(["MBR", "DEMO", "QRPGLESRC"], self.simulador("--corta-en-trama", "14"), estado=255)
        parciales = [n for n in os.listdir(os.path.join(self.dir, "DEMO", "QRPGLESRC")) if n.endswith(".parcial")]
        self.assertEqual(len(parciales), 1, parciales)
        cortado = parciales[0][:-len(".parcial")]
        linea = ("Incompleto: %s\n" % shown_path("DEMO/QRPGLESRC/" + parciales[0])).encode()
        self.assertIn(linea, r.stdout)
        self.assertIn(linea, self.lee("vortcp.log"))
        # Every final copy is the good one, the cut member's included, and
        # the cut member keeps its index line.
        for n, datos in buenas.items():
            self.assertEqual(self.lee_crudo("DEMO", "QRPGLESRC", n), datos, n)
        clave = ("%-10s%-10s%-10s" % ("DEMO", "QRPGLESRC", cortado.rsplit(".", 1)[0])).encode()
        vieja = [l for l in indice.split(b"\n") if l[1:31] == clave]
        nueva = [l for l in self.lee("DEMO", "xvoras", "xinfo").split(b"\n") if l[1:31] == clave]
        self.assertEqual(nueva, vieja)

    def test_datos_y_spool(self):
        puerto = self.simulador()
        r = self.corre(["DAT", "DEMO"], puerto)
        for _, fic, mbr, largo, *_ in (c for c in catalogo("DEMO") if c[0] == "D"):
            nombre = fic + ".ebc" if mbr == fic else "%s_%s.ebc" % (fic, mbr)
            datos = self.lee_crudo("DEMO", nombre)
            self.assertEqual(len(datos) % int(largo), 0, nombre)
            cuenta = "%d registros" % (len(datos) // int(largo))
            self.assertRegex(r.stdout.decode(), r"Obtiene: %s +%s"
                             % (re.escape(shown_path("DEMO/" + nombre)), cuenta))
        self.assertEqual(self.lee("DEMO", "VENTAS.ebc"), b"\n")
        self.assertFalse(os.path.exists(os.path.join(self.dir, "DEMO", "QRPGLESRC")))

        r = self.corre(["SPL", "DEMO"], puerto)
        self.assertIn("LISTADO DE FACTURAS".encode("cp1252"), r.stdout)
        self.assertNotIn(b"Obtiene", r.stdout)


if __name__ == "__main__":
    unittest.main()
