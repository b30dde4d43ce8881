#!/usr/bin/env bash
# The demo: zizez-sim serves the sample system and vortcp transfers from it
# into demo/arbol: the whole library, one source file, the data files and the
# spool; then the local tree, a member, the index and the log are shown.
set -euo pipefail
BUILD="$(cd "${1:-build}" && pwd)"
RAIZ="$(cd "$(dirname "$0")/.." && pwd)"
VORTCP="$BUILD/vortcp"
SIM="$BUILD/sim/zizez-sim"
[ -x "$VORTCP" ] || { echo "No se encuentra $VORTCP"; exit 1; }
[ -x "$SIM" ] || { echo "No se encuentra $SIM"; exit 1; }

DEMO="$RAIZ/demo"
rm -rf "$DEMO"
mkdir -p "$DEMO/arbol"
"$SIM" --puerto 0 --bd "$DEMO/bd" --muestras "$RAIZ/samples" >"$DEMO/sim.out" 2>&1 &
SIM_PID=$!
trap 'kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true' EXIT

PUERTO=""
for _ in $(seq 100); do
  PUERTO="$(sed -n 's/.*escuchando en 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$DEMO/sim.out")"
  [ -n "$PUERTO" ] && break
  sleep 0.1
done
[ -n "$PUERTO" ] || { cat "$DEMO/sim.out"; echo "zizez-sim no ha arrancado"; exit 1; }

export SERVIDOR=127.0.0.1 SERVPORT="$PUERTO" BASE="$RAIZ/samples" LANG=ESP
# The transferred texts are CP1252, like the table file; shown in the
# terminal's UTF-8 when iconv is there.
muestra() {
  if command -v iconv >/dev/null 2>&1; then iconv -f CP1252 -t UTF-8 "$@"; else cat "$@"; fi
}
paso() {
  echo
  echo "\$ vortcp $*"
  "$VORTCP" "$@" | muestra
  # Each run starts its own log: keep a copy per mode.
  cp vortcp.log "$DEMO/vortcp-$1.log"
}

cd "$DEMO/arbol"
paso ALL DEMO
paso MBR DEMO QRPGLESRC
paso DAT DEMO
paso SPL DEMO

echo
echo "--- Arbol local ($DEMO/arbol)"
find DEMO | sort
echo
echo "--- Un miembro: DEMO/QRPGLESRC/FACTURA.ile (primeras 15 lineas)"
head -15 DEMO/QRPGLESRC/FACTURA.ile | muestra
echo
echo "--- Indice: DEMO/xvoras/xinfo"
muestra DEMO/xvoras/xinfo
echo
echo "--- vortcp.log de la transferencia ALL"
muestra "$DEMO/vortcp-ALL.log"
