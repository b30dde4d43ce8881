#!/usr/bin/env bash
# The SQL part of the demo: one console session (vortcp WEB) against a running
# zizez-sim, fed from a pipe: help, a query on the screen, the same query in
# bcp mode into a file, an INSERT, an UPDATE with its rows-affected line, an
# error, a script with %CURLIB%, a backup load and a CMD.
# Usage: demo_sql.sh VORTCP PUERTO MUESTRAS DIR
set -euo pipefail
VORTCP="$1"
PUERTO="$2"
MUESTRAS="$3"
DIR="$4"
mkdir -p "$DIR"
cd "$DIR"
cp "$MUESTRAS/backup/PROVEEDORES.dat" .

muestra() {
  if command -v iconv >/dev/null 2>&1; then iconv -f CP1252 -t UTF-8 "$@"; else cat "$@"; fi
}

ENTRADA="?
SELECT ID, NOMBRE, CIUDAD, SALDO FROM CLIENTES
sqlserver
output clientes.bcp
SELECT ID, NOMBRE, CIUDAD, SALDO FROM CLIENTES
output
set DELIMB=1
INSERT INTO ARTICULOS VALUES ('ART00007', 'Martillo de carpintero', 9.90, 25)
UPDATE ARTICULOS SET PRECIO = PRECIO * 1.05 WHERE STOCK > 100
SELECT * FROM NOEXISTE
fsql $MUESTRAS/scripts/informe.sql
loadsql PROVEEDORES.dat
SELECT CODIGO, NOMBRE, CIUDAD FROM PROVEEDORES
cmd DSPJOB
quit
"

echo
echo "\$ vortcp WEB   (entrada por tuberia; WWW_LIBL=DEMO WWW_CURLIB=DEMO)"
printf '%s' "$ENTRADA" | sed 's/^/    > /'
echo
set +e
printf '%s' "$ENTRADA" | SERVIDOR=127.0.0.1 SERVPORT="$PUERTO" BASE="$MUESTRAS" LANG=ESP \
  WWW_LIBL=DEMO WWW_CURLIB=DEMO "$VORTCP" WEB | muestra
estado=${PIPESTATUS[1]}
set -e
echo
echo "(fin de la sesion: estado $estado, el de quit)"
echo
echo "--- Fichero bcp: $DIR/clientes.bcp"
muestra clientes.bcp
