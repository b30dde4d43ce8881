"""The library PAR of the tests of several sessions (and of TLS over them):
its sample folder for zizez-sim, and the tree, index and working files a run
leaves of it."""

import os
import re
import shutil

from .simulador import MUESTRAS

LIB = "PAR"
# The sessions' objects: five small source files (one unit each), a file big
# enough to be split by generic names (AB and ABC share a prefix, so AB goes
# alone by its own name), a raw data file, a converted one and a message file.
PEQUENOS = ["F%d" % i for i in range(1, 6)]
GRANDE = ("GRANDE", ["AB", "ABC", "ABD", "B"])


def lineas_de(semilla, n, ancho=60):
    return "".join(("%s linea %03d " % (semilla, i)).ljust(ancho, "x").rstrip() + "\n" for i in range(n))


def escribe(ruta, texto):
    os.makedirs(os.path.dirname(ruta), exist_ok=True)
    with open(ruta, "w", encoding="utf-8") as f:
        f.write(texto)


def crea_muestras(raiz):
    """A sample folder with the library PAR and the table file (also the
    client's BASE)."""
    os.makedirs(os.path.join(raiz, "basico"))
    shutil.copy(os.path.join(MUESTRAS, "basico", "ebcdic.ESP"), os.path.join(raiz, "basico"))
    lib = os.path.join(raiz, LIB)
    cat = ["L|Biblioteca de sesiones"]
    for k, archivo in enumerate(PEQUENOS):
        for m in range(1, 5):
            miembro = "M%d" % m
            cat.append("F|%s|%s|CLP|2024%02d%02d|10%02d00|Miembro %s de %s" % (archivo, miembro, k + 1, m, m,
                                                                                miembro, archivo))
            escribe(os.path.join(lib, archivo, miembro + ".txt"), lineas_de(archivo + miembro, 5))
    archivo, miembros = GRANDE
    for m in miembros:
        cat.append("F|%s|%s|RPGL|20250101|120000|Grande %s" % (archivo, m, m))
        escribe(os.path.join(lib, archivo, m + ".txt"), lineas_de(m, 40))
    for m in ("D1", "D2"):
        cat.append("D|DATOS|%s|20|20250301|080000|Datos %s" % (m, m))
        escribe(os.path.join(lib, "DATOS", m + ".txt"), "".join("%s REGISTRO %04d\n" % (m, i) for i in range(30)))
    cat.append("C|TABLA|20250102|000000|Tabla convertida")
    escribe(os.path.join(lib, "TABLA.txt"), "".join("T%03d valor\n" % i for i in range(10)))
    cat.append("M|MENSA|20250103|000000|Mensajes")
    escribe(os.path.join(lib, "MENSA.txt"), "".join("MSG%04d Mensaje %d\n" % (i, i) for i in range(8)))
    escribe(os.path.join(lib, "catalogo.txt"), "\n".join(cat) + "\n")


def arbol(carpeta):
    """The library's files (path -> bytes), its index and lock left out."""
    raiz = os.path.join(carpeta, LIB)
    ficheros = {}
    for dirpath, _, nombres in os.walk(raiz):
        for n in nombres:
            ruta = os.path.relpath(os.path.join(dirpath, n), raiz).replace(os.sep, "/")
            if ruta in ("xvoras/xinfo", "xvoras/xinfo.bloqueo"):
                continue
            with open(os.path.join(dirpath, n), "rb") as f:
                ficheros[ruta] = f.read()
    return ficheros


def indice(carpeta):
    """The index lines without the transfer date and time, in file order."""
    with open(os.path.join(carpeta, LIB, "xvoras", "xinfo"), "rb") as f:
        return [l.rstrip(b"\r")[:106] for l in f.read().split(b"\n") if l]


def lineas_de_resultado(salida):
    return [l for l in salida.split(b"\n") if l.startswith(b"Obtiene: ")]


def sin_tiempos(lineas):
    """Log lines with the summary's time and rate left out."""
    return [re.sub(rb" en \d+,\d s \(\d+ KB/s\)", b"", l) for l in lineas]


def parciales(carpeta):
    return sorted(os.path.relpath(os.path.join(d, n), carpeta).replace(os.sep, "/")
                  for d, _, ns in os.walk(carpeta) for n in ns if n.endswith(".parcial"))
