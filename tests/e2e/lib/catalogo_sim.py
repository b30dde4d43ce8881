"""Changing zizez-sim's catalogue from a test: sistema.db in the simulator's
--bd folder, table `objetos`. Every session reads the catalogue afresh, so a
change is seen by the next request or query without restarting the simulator.

- cambia_fecha: a member's change date and time (YYYYMMDD, HHMMSS)
- borra_objeto: a member (or a file without members) deleted
- agrega_miembro: a source or raw data member added, its lines given as text
- objetos: the rows of a library, to compare a reply with
"""

import os
import sqlite3

from .ebcdic import asc_fija, ebc_fija

# CP1252 to the EBCDIC byte that the client reads back as that character:
# the inverse of ebc_fija, asc_fija's byte where both agree, as the simulator
# stores text.
_A_EBCDIC = bytearray(b"\x6f" * 256)
for _b in range(255, -1, -1):
    _A_EBCDIC[ebc_fija[_b]] = _b
for _c in range(256):
    if ebc_fija[asc_fija[_c]] == _c:
        _A_EBCDIC[_c] = asc_fija[_c]
_A_EBCDIC = bytes(_A_EBCDIC)


def _catalogo(bd):
    return sqlite3.connect(os.path.join(bd, "sistema.db"), timeout=10)


def a_ebcdic(texto):
    """A str (CP1252 characters) as the EBCDIC bytes the simulator stores."""
    return texto.encode("cp1252").translate(_A_EBCDIC)


def cambia_fecha(bd, biblioteca, archivo, miembro, fecha, hora):
    """Sets the change date and time of one object; returns how many rows
    changed (0 when there is no such object). `miembro` "" names a file
    without members (converted data file, message file)."""
    with _catalogo(bd) as cat:
        return cat.execute("UPDATE objetos SET fecha = ?, hora = ? WHERE biblioteca = ? AND archivo = ?"
                           " AND miembro = ?", (fecha, hora, biblioteca, archivo, miembro)).rowcount


def borra_objeto(bd, biblioteca, archivo, miembro):
    with _catalogo(bd) as cat:
        return cat.execute("DELETE FROM objetos WHERE biblioteca = ? AND archivo = ? AND miembro = ?",
                           (biblioteca, archivo, miembro)).rowcount


def agrega_miembro(bd, biblioteca, archivo, miembro, lineas, tipo="CLP", fecha="20250101", hora="120000",
                   texto="", reclen=0):
    """Adds a source member (reclen 0: records ended by 0x15) or a raw data
    member (reclen > 0: fixed records, type PF) holding `lineas` (str)."""
    if reclen:
        datos = b"".join(a_ebcdic(l.ljust(reclen)[:reclen]) for l in lineas)
        clase, tipo = "D", "PF"
    else:
        datos = b"".join(a_ebcdic(l.rstrip()) + b"\x15" for l in lineas)
        clase = "F"
    with _catalogo(bd) as cat:
        cat.execute("INSERT INTO objetos(biblioteca, archivo, miembro, clase, tipo, texto, fecha, hora, reclen,"
                    " formato, datos) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 0, ?)",
                    (biblioteca, archivo, miembro, clase, tipo, texto, fecha, hora, reclen, datos))


def objetos(bd, biblioteca):
    """(archivo, miembro, clase, tipo, bytes, fecha, hora) of every object of
    a library."""
    with _catalogo(bd) as cat:
        return cat.execute("SELECT archivo, miembro, clase, tipo, length(datos), fecha, hora FROM objetos"
                           " WHERE biblioteca = ?", (biblioteca,)).fetchall()
