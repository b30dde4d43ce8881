"""The Debian package of the build under test: cpack -G DEB makes it, and what
it installs runs. It is unpacked with dpkg-deb -x into a scratch root rather
than installed with dpkg -i, which would change the machine the suite runs
on; the binaries then run from that root, where zizez-sim must find the
installed sample system by itself (no --muestras), and the manual pages must
render without warnings."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

from lib import WINDOWS

RAIZ = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def version():
    with open(os.path.join(RAIZ, "CMakeLists.txt")) as f:
        return re.search(r"project\(vortcp VERSION ([0-9.]+)", f.read()).group(1)


@unittest.skipIf(WINDOWS, "the Debian package is the POSIX build's")
class PaqueteDebian(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        vortcp = os.environ.get("VORTCP_BIN")
        if not vortcp or not os.environ.get("ZIZEZ_SIM"):
            raise unittest.SkipTest("VORTCP_BIN o ZIZEZ_SIM no definidos (se ejecuta con ctest)")
        for herramienta in ("cpack", "dpkg-deb", "groff"):
            if shutil.which(herramienta) is None:
                raise unittest.SkipTest("falta %s (scripts/dependencias.sh lo instala)" % herramienta)
        build = os.path.dirname(os.path.realpath(vortcp))
        if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
            raise unittest.SkipTest("%s no es una carpeta de compilacion" % build)
        cls._tmp = tempfile.TemporaryDirectory(prefix="vortcp_paquete_")
        cls.dir = cls._tmp.name
        # Packages and cpack's staging go to the scratch folder, not the build.
        proc = subprocess.run(["cpack", "-G", "DEB", "-B", cls.dir], cwd=build,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
        cls.salida_cpack = proc.stdout.decode("utf-8", "replace")
        cls.estado_cpack = proc.returncode
        cls.deb = os.path.join(cls.dir, "vortcp_%s_amd64.deb" % version())
        cls.raiz = os.path.join(cls.dir, "raiz")

    @classmethod
    def tearDownClass(cls):
        cls._tmp.cleanup()

    def corre(self, *orden, **kw):
        return subprocess.run(list(orden), stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60, **kw)

    def test_el_paquete_se_instala_y_corre(self):
        self.assertEqual(self.estado_cpack, 0, self.salida_cpack[-2000:])
        control = self.corre("dpkg-deb", "-f", self.deb).stdout.decode()
        self.assertIn("Package: vortcp\n", control)
        self.assertIn("Version: %s\n" % version(), control)
        depende = re.search(r"^Depends: (.*)$", control, re.M).group(1)
        for paquete in ("libc6", "libedit2", "libsqlite3-0", "libssl3"):
            self.assertIn(paquete, depende)

        self.assertEqual(self.corre("dpkg-deb", "-x", self.deb, self.raiz).returncode, 0)
        usr = os.path.join(self.raiz, "usr")
        r = self.corre(os.path.join(usr, "bin", "vortcp"), "--version")
        self.assertEqual((r.returncode, r.stdout), (0, ("vortcp %s\n" % version()).encode()))
        r = self.corre(os.path.join(usr, "bin", "vortcp"), "--help")
        self.assertEqual(r.returncode, 0)
        self.assertIn(b"VORTCP_CODIFICACION", r.stdout)

        # zizez-sim builds the sample system from the one installed beside it.
        muestras = os.path.join(usr, "share", "vortcp", "samples")
        for fichero in ("basico/ebcdic.ESP", "DEMO/catalogo.txt", "scripts/informe.sql",
                        "scripts/informe.utf8.sql", "backup/PROVEEDORES.dat", "backup/PROVEEDORES.utf8.dat"):
            self.assertTrue(os.path.isfile(os.path.join(muestras, fichero)), fichero)
        bd = os.path.join(self.dir, "bd")
        r = self.corre(os.path.join(usr, "bin", "zizez-sim"), "--bd", bd, "--solo-crea")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.decode(), "zizez-sim: sistema creado en %s desde %s\n"
                         % (bd, os.path.realpath(muestras)))
        self.assertTrue(os.path.isfile(os.path.join(bd, "DEMO.db")))

        for pagina in ("vortcp.1", "zizez-sim.1"):
            ruta = os.path.join(usr, "share", "man", "man1", pagina)
            r = self.corre("groff", "-ww", "-man", "-Tutf8", "-z", ruta)
            self.assertEqual((r.returncode, r.stderr), (0, b""), pagina)


if __name__ == "__main__":
    unittest.main()
