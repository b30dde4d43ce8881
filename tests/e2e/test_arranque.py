"""Start of a run: usage text, parameter errors, title, log and trace files,
the start-up lines and their order, refused settings."""

import os
import tempfile
import unittest

from lib import make_base, run_vortcp, shown_path

AVISO = b"Cliente TCP del servidor ZIZEZ/400 para i-Series.\n\n\n"
TITULO = b"\nvortcp. Trabajo masivo con i-Series.\n" + AVISO
LZW = b"Expanding...\ninicio inicio=0  ilen=58\n"
USO = (b"\nvortcp. Traspaso masivo miembros/datos del AS/400.\n" + AVISO +
       b"** Error de parametros **\n"
       b"Uso:    vortcp [MBR]|[DATOS]|[LISTA] <biblioteca> <archivo> <miembro>\n"
       b"Donde:      <ALL>         Traspaso masivo de miembros/archivos/bibliotecas.\n"
       b"            <MBR>         Traspaso masivo de miembros/bibliotecas.\n"
       b"            <DAT>         Traspaso masivo de ficheros AS/400.\n"
       b"            <LISTA>       Solo lista las entradas directorio.\n"
       b"            <END>         Finalizar ejecucion en servidor AS/400.\n\n"
       b"            <biblioteca>  Nombre biblioteca en AS/400.\n"
       b"            <archivo>     Nombre archivo.\n"
       b"            <miembro>     Nombre del miembro concreto a traspasar.\n"
       b"\n\nSe creara la estrutura de directorio, si se requiere.\n\n")
ERROR_PARAMETROS = AVISO + b"Error de paramentros. Ejecutar VORTCP (sin parametros).\n\n"
# No table file anywhere: the run stops at the tables, before any connection.
SIN_TABLA = b"Fichero %s no encontrado.\n\n" % shown_path(b"config/ebcdic.ESP")


class Arranque(unittest.TestCase):
    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory()
        self.dir = self._tmp.name
        self.addCleanup(self._tmp.cleanup)

    def path(self, name):
        return os.path.join(self.dir, name)

    def run_in_dir(self, args, **env):
        env.setdefault("LANG", "ESP")
        return run_vortcp(args, self.dir, env=env)

    def write_old_log(self):
        with open(self.path("vortcp.log"), "w") as f:
            f.write("anterior\n")

    def log_text(self):
        with open(self.path("vortcp.log")) as f:
            return f.read()

    def test_usage_text_and_nothing_else(self):
        for args in ([], ["MBR", "A", "B", "C", "D", "FECHAD", "1", "HORAD"]):
            r = self.run_in_dir(args)
            self.assertEqual(r.stdout, USO, args)
            self.assertEqual(r.status, 1)
            self.assertEqual(os.listdir(self.dir), [])

    def test_parameter_errors_leave_the_log_alone(self):
        self.write_old_log()
        for args in (["Mbr", "LIB1"], ["XYZ"], ["MBR", "LIB1", "FECHAD"],
                     ["MBR", "LIB1", "F", "FECHAD", "1", "HORAD"],
                     ["MBR", "LIBRERIA123"], ["MBR", "L", "F", "M", "TIPO5"],
                     ["MBR", "L", "FECHAD", "9" * 256]):
            r = self.run_in_dir(args)
            self.assertEqual((r.status, r.stdout), (1, ERROR_PARAMETROS), args)
        self.assertEqual(self.log_text(), "anterior\n")
        self.assertFalse(os.path.exists(self.path("trace")))

    def test_title_lzw_and_missing_table_in_that_order(self):
        self.write_old_log()
        for args in (["END"], ["WEB", "LIB1"], ["datos", "LIB1"]):
            r = self.run_in_dir(args)
            self.assertEqual(r.stdout, TITULO + LZW + SIN_TABLA, args)
            self.assertEqual(r.status, 1)
            self.assertEqual(self.log_text(), "")  # emptied by every run
        self.assertFalse(os.path.exists(self.path("trace")))

    def test_table_file_under_base_then_under_www_root(self):
        # BASE has no table: WWW_ROOT's is used, and the run goes on to connect.
        make_base(self.path("raiz"), "ESP")
        os.rename(self.path("raiz/basico"), self.path("raiz/config"))
        r = self.run_in_dir(["END"], BASE=self.path("vacia"), WWW_ROOT=self.path("raiz"),
                            SERVIDOR="127.0.0.1", SERVPORT="1")
        self.assertNotIn(b"no encontrado", r.stdout)
        self.assertIn(b"Error de conexion.\n", r.stdout)
        self.assertEqual(r.status, 255)

    def test_test_levels(self):
        r = self.run_in_dir(["END"], TEST="1")
        inicio = (TITULO + b"Inicializa buffer modo test...\n" + LZW +
                  b"Inicio socket en Windows ...\nInicio llamada socket ...\n")
        self.assertTrue(r.stdout.startswith(inicio), r.stdout[:400])
        self.assertTrue(r.stdout.endswith(SIN_TABLA))
        self.assertTrue(os.path.exists(self.path("trace")))
        os.remove(self.path("trace"))

        r = self.run_in_dir(["END"], TEST="2")
        self.assertEqual(r.stdout, TITULO + LZW + SIN_TABLA)
        with open(self.path("trace"), "rb") as f:
            self.assertEqual(f.read(), b"")
        os.remove(self.path("trace"))

        for valor in ("0", "-3", "abc", ""):
            r = self.run_in_dir(["END"], TEST=valor)
            self.assertEqual(r.stdout, TITULO + LZW + SIN_TABLA, valor)
            self.assertFalse(os.path.exists(self.path("trace")), valor)

    def test_files_that_cannot_be_created(self):
        os.mkdir(self.path("trace"))
        r = self.run_in_dir(["END"], TEST="1")
        self.assertEqual(r.stdout, TITULO + b"No se puede abrir el fichero de trace")
        self.assertEqual(r.status, 1)
        os.rmdir(self.path("trace"))

        os.mkdir(self.path("vortcp.log"))
        r = self.run_in_dir(["END"])
        self.assertEqual(r.stdout, TITULO + b"No se puede abrir el fichero de log. (vortcp.log)\n")
        self.assertEqual(r.status, 1)

    def test_overlong_connection_setting(self):
        make_base(self.dir, "ESP")
        for name in ("SERVIDOR", "BASE", "MULTIAS"):
            r = self.run_in_dir(["END"], **{"BASE": self.dir, name: "x" * 256})
            self.assertTrue(r.stdout.endswith(
                b"Valor demasiado largo en la variable %s\n" % name.encode()), name)
            self.assertEqual(r.status, 1)


if __name__ == "__main__":
    unittest.main()
