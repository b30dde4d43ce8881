"""Data of the benchmarks, generated deterministically into one folder:

  muestras/G/    one zizez-sim sample folder per group G of benchmarks
                 (catalogo.txt per library, member files, tablas.sql), each
                 built into its own system bd/G, so that no benchmark's
                 simulator walks the catalogue of another's libraries
  ftp/LIB/...    the same member texts as plain files, for the FTP peer
  CARGA.dat      the backup file of the load benchmark (record number first,
                 then the six loaded fields, "~" between fields)
  carga.txt      the same rows without the record number, for sqlite3 .import
  datos.json     the sizes chosen, read back by the runner

Every source record is exactly 80 characters with no trailing blank, so a
member of R records is R * 81 bytes on the wire (records end in 0x15) and
R * 81 bytes on disk (lines end in LF).

python3 genera_datos.py DIR [--quick]
"""

import json
import os
import sys

TAMANOS = {
    False: dict(muchos=2000, muchos_registros=200, grandes=4, grandes_registros=100000,
                crece=[1000, 5000, 20000], crece_registros=10, filas=100000, carga=100000,
                sesiones=2000, sesiones_registros=10, trozos=200, trozos_registros=1110),
    True: dict(muchos=200, muchos_registros=200, grandes=4, grandes_registros=5000,
               crece=[100, 500, 2000], crece_registros=10, filas=10000, carga=10000,
               sesiones=200, sesiones_registros=10, trozos=40, trozos_registros=1110),
}
# Bumped whenever the generated data changes, so that a cached folder is rebuilt.
VERSION = 7

ARCHIVOS = [("QRPGLESRC", "RPGL"), ("QCBLSRC", "CBL"), ("QCLSRC", "CLP"), ("QDDSSRC", "PF")]
# The several-session library: eight source files of equal size, so that
# every session count divides the work evenly by whole files.
ARCHIVOS_8 = ARCHIVOS + [("QCPYSRC", "CPY"), ("QCMDSRC", "CMD"), ("QSQLSRC", "SQL"), ("QTXTSRC", "TXT")]
PALABRAS = ["EVAL", "CHAIN", "READE", "WRITE", "UPDATE", "IF", "ELSE", "ENDIF", "DOW", "ENDDO",
            "CALLP", "MOVEL", "Z-ADD", "ADD", "SUB", "MULT", "SETLL", "EXSR", "BEGSR", "ENDSR"]
CAMPOS = ["CLIENTE", "IMPORTE", "TOTAL", "FECHA", "NUMFAC", "SALDO", "CODART", "CANTID", "PRECIO", "IVA"]


def registro(miembro, n):
    """Record n of a member: source-like text of exactly 80 characters."""
    h = (miembro * 7919 + n * 104729) & 0xFFFFFFFF
    palabra = PALABRAS[h % len(PALABRAS)]
    a = CAMPOS[(h >> 5) % len(CAMPOS)]
    b = CAMPOS[(h >> 9) % len(CAMPOS)]
    texto = "     C     %-10s%-10s%-14s%-10s  %d" % (a, palabra, b, "RESULT", h % 100000)
    return ("%-72.72s%04d%04d" % (texto, (n + 1) % 10000, miembro % 10000))


def texto_miembro(miembro, registros):
    return "".join(registro(miembro, n) + "\n" for n in range(registros))


def escribe(ruta, texto):
    os.makedirs(os.path.dirname(ruta), exist_ok=True)
    with open(ruta, "w", encoding="ascii", newline="\n") as f:
        f.write(texto)


def biblioteca(raiz, grupo, nombre, descripcion, miembros, registros, con_ftp, archivos=ARCHIVOS):
    """A library of `miembros` members spread evenly over the source files."""
    lineas = ["L|%s" % descripcion]
    for m in range(miembros):
        archivo, tipo = archivos[m % len(archivos)]
        nombre_m = "M%05d" % m
        lineas.append("F|%s|%s|%s|20250101|120000|Miembro %d de prueba" % (archivo, nombre_m, tipo, m))
        texto = texto_miembro(m, registros)
        escribe(os.path.join(raiz, "muestras", grupo, nombre, archivo, nombre_m + ".txt"), texto)
        if con_ftp:
            escribe(os.path.join(raiz, "ftp", nombre, archivo, nombre_m + ".txt"), texto)
    escribe(os.path.join(raiz, "muestras", grupo, nombre, "catalogo.txt"), "\n".join(lineas) + "\n")


# The query table: text, integers and decimals, filled by SQLite itself.
TABLAS_SQL = """-- Tablas del banco de pruebas
CREATE TABLE FILAS (ID INTEGER PRIMARY KEY, NOMBRE VARCHAR(30), CIUDAD VARCHAR(20),
  CANTIDAD INTEGER, PRECIO DECIMAL(9,2), IMPORTE DECIMAL(11,2));
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %(filas)d)
INSERT INTO FILAS SELECT i, 'Cliente numero ' || i,
  CASE i %% 5 WHEN 0 THEN 'Madrid' WHEN 1 THEN 'Barcelona' WHEN 2 THEN 'Valencia'
  WHEN 3 THEN 'Sevilla' ELSE 'Zaragoza' END,
  (i * 37) %% 1000, ((i * 7919) %% 100000) / 100.0, ((i * 104729) %% 10000000) / 100.0 FROM n;
CREATE TABLE CARGA (ID INTEGER, NOMBRE VARCHAR(30), CIUDAD VARCHAR(20),
  CANTIDAD INTEGER, PRECIO DECIMAL(9,2), IMPORTE DECIMAL(11,2));
"""

CIUDADES = ["Madrid", "Barcelona", "Valencia", "Sevilla", "Zaragoza"]


def fila_carga(i):
    return ["%d" % i, "Cliente numero %d" % i, CIUDADES[i % 5], "%d" % (i * 37 % 1000),
            "%.2f" % ((i * 7919) % 100000 / 100.0), "%.2f" % ((i * 104729) % 10000000 / 100.0)]


def genera(raiz, quick):
    t = dict(TAMANOS[quick])
    biblioteca(raiz, "muchos", "MUCHOS", "Muchos miembros pequenos", t["muchos"], t["muchos_registros"], True)
    biblioteca(raiz, "grandes", "GRANDES", "Pocos miembros grandes", t["grandes"], t["grandes_registros"], True)
    t["crece_bibliotecas"] = []
    for i, n in enumerate(t["crece"]):
        nombre = "CRECE%d" % (i + 1)
        biblioteca(raiz, nombre.lower(), nombre, "Biblioteca de %d miembros" % n, n, t["crece_registros"], False)
        t["crece_bibliotecas"].append(nombre)
    # Small members (one block of 810 bytes): a run is bound by round trips.
    biblioteca(raiz, "sesiones", "SESIONES", "Miembros en ocho archivos", t["sesiones"], t["sesiones_registros"],
               False, archivos=ARCHIVOS_8)
    # 1,110 records are 89,910 bytes: three blocks of about 29,980, each sent
    # as 21 pieces of 1,448 bytes in piece mode.
    biblioteca(raiz, "trozos", "TROZOS", "Miembros de bloques llenos", t["trozos"], t["trozos_registros"], False)
    escribe(os.path.join(raiz, "muestras", "sql", "SQLBANCO", "catalogo.txt"), "L|Tablas del banco\n")
    escribe(os.path.join(raiz, "muestras", "sql", "SQLBANCO", "tablas.sql"), TABLAS_SQL % t)
    with open(os.path.join(raiz, "CARGA.dat"), "w", encoding="ascii", newline="\n") as dat, \
            open(os.path.join(raiz, "carga.txt"), "w", encoding="ascii", newline="\n") as txt:
        for i in range(1, t["carga"] + 1):
            campos = fila_carga(i)
            dat.write("%d~%s\n" % (i, "~".join(campos)))
            txt.write("~".join(campos) + "\n")
    t["version"] = VERSION
    t["quick"] = quick
    with open(os.path.join(raiz, "datos.json"), "w") as f:
        json.dump(t, f, indent=1)


def vigente(raiz, quick):
    """True when raiz already holds the data of this version and mode."""
    try:
        with open(os.path.join(raiz, "datos.json")) as f:
            t = json.load(f)
        return t.get("version") == VERSION and t.get("quick") == quick
    except (OSError, ValueError):
        return False


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("uso: genera_datos.py DIR [--quick]")
    destino, rapido = sys.argv[1], "--quick" in sys.argv[2:]
    if vigente(destino, rapido):
        print("bench: data in %s is up to date" % destino)
    else:
        import shutil
        shutil.rmtree(destino, ignore_errors=True)
        os.makedirs(destino)
        genera(destino, rapido)
        print("bench: data generated in %s" % destino)
