#!/usr/bin/env bash
# make demo: the sample AS/400 of samples/ served by zizez-sim on a free
# loopback port, and vortcp run against it in every mode into a fresh demo/
# folder; then what it wrote is shown and the simulator is stopped. The client
# runs in UTF-8 (VORTCP_CODIFICACION=UTF-8), as on a Linux terminal: members,
# spool, console and its files are shown as they are; only the index, which
# keeps the server's CP1252 bytes whatever the run writes, is converted.
# Usage: bash scripts/demo.sh <build-dir>   (make demo builds the binaries first)
set -uo pipefail

RAIZ=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build}
case "$BUILD" in /*) ;; *) BUILD="$RAIZ/$BUILD" ;; esac
VORTCP="$BUILD/vortcp"
SIM="$BUILD/sim/zizez-sim"
for bin in "$VORTCP" "$SIM"; do
  if [ ! -x "$bin" ]; then
    echo "demo: falta $bin (ejecute make demo)" >&2
    exit 1
  fi
done

DEMO="$RAIZ/demo"
ESTADO="$DEMO/.zizez"      # the simulated system and its session logs
LOGS="$DEMO/.logs"         # each run rewrites vortcp.log: a copy per run
rm -rf "$DEMO"
mkdir -p "$ESTADO/registro" "$LOGS"

if [ -t 1 ]; then
  titulo() { printf '\n\033[1m=== %s\033[0m\n' "$*"; }
else
  titulo() { printf '\n=== %s\n' "$*"; }
fi
# The index keeps CP1252 bytes in every run.
a_utf8() { iconv -f CP1252 -t UTF-8 -c; }

titulo "Sistema de muestra: samples/ -> $ESTADO/bd"
"$SIM" --bd "$ESTADO/bd" --muestras "$RAIZ/samples" --solo-crea || exit 1

# The simulator with its session broker: the broker on a free port P, the
# sessions on P+1 .. P+4.
"$SIM" --bd "$ESTADO/bd" --tabla "$RAIZ/samples/basico/ebcdic.ESP" --registro "$ESTADO/registro" \
  --broker 0 --max-sesiones 4 >"$ESTADO/sim.out" 2>"$ESTADO/sim.err" &
SIM_PID=$!
para_simulador() {
  if kill -0 "$SIM_PID" 2>/dev/null; then
    kill -TERM "$SIM_PID"
    wait "$SIM_PID" 2>/dev/null
  fi
}
trap para_simulador EXIT
PUERTO=""
for _ in $(seq 1 100); do
  PUERTO=$(sed -n 's/^zizez-sim: escuchando en 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$ESTADO/sim.out")
  [ -n "$PUERTO" ] && break
  kill -0 "$SIM_PID" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$PUERTO" ]; then
  echo "demo: el simulador no arranca" >&2
  cat "$ESTADO/sim.err" >&2
  exit 1
fi
cat "$ESTADO/sim.out"

cd "$DEMO"
export SERVIDOR=127.0.0.1 BASE="$RAIZ/samples" VORTCP_LANG=ESP VORTCP_CODIFICACION=UTF-8
unset TEST MULTIAS WWW_LIBL WWW_EBCDIC WWW_COMPRI WWW_BUFSIZE WWW_CURLIB DICT DELIM DELIMB FORMATO \
  MINSERT ROWNUM VORTCP_PROGRESO VORTCP_ESPERA
FALLOS=0
RUN=0
# One run of the client straight on the first session port.
vortcp() {
  titulo "vortcp $*"
  SERVPORT=$((PUERTO + 1)) "$VORTCP" "$@"
  local rc=$?
  echo "(estado de salida: $rc)"
  [ "$rc" -eq 0 ] || FALLOS=$((FALLOS + 1))
  RUN=$((RUN + 1))
  [ -f vortcp.log ] && cp vortcp.log "$LOGS/vortcp-$RUN-$1.log"
}

vortcp MBR DEMO QRPGLESRC
vortcp MBR DEMO QDDSSRC '*ALL' PF
vortcp MBR DEMO FECHAD 20240301 HORAD 000000
vortcp ALL DEMO
vortcp DAT DEMO VENTAS
vortcp LISTA DEMO MOVIMI
vortcp MBR HIST
vortcp SPL DEMO FACTURAS
vortcp SPF DEMO LISTACLI

titulo "vortcp END a traves del intermediario (MULTIAS=1, SERVPORT=$PUERTO)"
MULTIAS=1 SERVPORT=$PUERTO "$VORTCP" END
echo "(estado de salida: $?)"

# The SQL console, EBCDIC session, library list DEMO then HIST, fed from a
# here-document: the console does not echo what it reads, so the lines are
# shown first; each "sql > " of the session is one of them.
CONSOLA=$(cat <<SQL
?
SELECT ID, NOMBRE, CIUDAD, SALDO, ALTA FROM CLIENTES ORDER BY ID
SELECT FECHA, MONEDA, VALOR FROM CAMBIOS
sqlserver
output clientes.bcp
SELECT ID, NOMBRE, CIUDAD, SALDO FROM CLIENTES ORDER BY ID
output
set DELIM=|
set DELIMB=1
INSERT INTO ARTICULOS VALUES ('ART00010', 'Nivel de burbuja 60 cm', 18.40, 25)
UPDATE ARTICULOS SET PRECIO = PRECIO * 1.05 WHERE STOCK > 100
SELECT CODIGO, DESCRIP, PRECIO, STOCK FROM ARTICULOS ORDER BY CODIGO
SELECT * FROM NOEXISTE
fsql $RAIZ/samples/scripts/informe.utf8.sql
loadsql $RAIZ/samples/backup/PROVEEDORES.utf8.dat
SELECT * FROM PROVEEDORES ORDER BY CODIGO
cmd DSPLIB DEMO
cmd DSPJOB
quit
SQL
)
titulo "vortcp WEB (WWW_EBCDIC=1, WWW_LIBL=DEMO/HIST, WWW_CURLIB=DEMO)"
printf '%s\n' "$CONSOLA" | sed 's/^/    > /'
echo
printf '%s\n' "$CONSOLA" | SERVPORT=$((PUERTO + 1)) WWW_EBCDIC=1 WWW_COMPRI=1 WWW_LIBL=DEMO/HIST WWW_CURLIB=DEMO \
  "$VORTCP" WEB
ESTADO_WEB=${PIPESTATUS[1]}
echo
echo "(estado de salida: $ESTADO_WEB; quit termina con 1)"

titulo "Lo que se ha escrito en $DEMO"
find . -path ./.zizez -prune -o -path ./.logs -prune -o -print | sort
titulo "Un miembro: DEMO/QRPGLESRC/FACTURA.ile"
[ -f DEMO/QRPGLESRC/FACTURA.ile ] && head -20 DEMO/QRPGLESRC/FACTURA.ile
titulo "Copia convertida: DEMO/TARIFAS.dta"
[ -f DEMO/TARIFAS.dta ] && cat DEMO/TARIFAS.dta
titulo "Indice: DEMO/xvoras/xinfo"
[ -f DEMO/xvoras/xinfo ] && a_utf8 <DEMO/xvoras/xinfo
titulo "Salida bcp: clientes.bcp"
[ -f clientes.bcp ] && cat clientes.bcp
for log in "$LOGS"/vortcp-*-ALL.log; do
  [ -f "$log" ] || continue
  titulo "Registro del cliente en la transferencia ALL: $log"
  cat "$log"
done
titulo "Registros de sesion del simulador ($ESTADO/registro)"
ls "$ESTADO/registro"

para_simulador
trap - EXIT
titulo "Simulador detenido. Ejecuciones de transferencia con estado distinto de 0: $FALLOS"
