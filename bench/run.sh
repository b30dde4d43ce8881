#!/usr/bin/env bash
# make bench: builds vortcp and zizez-sim in Release (build-bench), the lock-step
# limit pair, the replay server and the delaying link, generates the data
# (cached in bench/out), runs every benchmark and prints the Markdown table
# (also kept in bench/out).
# QUICK=1 runs smaller data. Everything talks to 127.0.0.1 only.
# Extra settings: BENCH_ONLY=1,3 runs only those benchmarks; BENCH_PAIRS=n.
set -euo pipefail

RAIZ=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$RAIZ/build-bench"
OUT="$RAIZ/bench/out"
HERR="$BUILD/bench"
QUICK=${QUICK:-0}
if [ "$QUICK" = "1" ]; then MODO=quick; else MODO=full; fi

aviso() { echo "bench: $*"; }

# The peers come from Debian's packages; without root a missing one is skipped.
SIN_FTP=""
falta=()
command -v vsftpd >/dev/null 2>&1 || [ -x /usr/sbin/vsftpd ] || falta+=(vsftpd)
command -v lftp >/dev/null 2>&1 || falta+=(lftp)
command -v sqlite3 >/dev/null 2>&1 || falta+=(sqlite3)
command -v stunnel4 >/dev/null 2>&1 || falta+=(stunnel4)
command -v openssl >/dev/null 2>&1 || falta+=(openssl)
if [ ${#falta[@]} -gt 0 ]; then
  if [ "$(id -u)" = "0" ]; then
    aviso "installing ${falta[*]} with apt-get"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${falta[@]}" >/dev/null 2>&1 ||
      { apt-get update -qq >/dev/null 2>&1 &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${falta[@]}" >/dev/null 2>&1; } ||
      aviso "apt-get could not install ${falta[*]}"
  fi
fi
export PATH="$PATH:/usr/sbin"
if ! command -v vsftpd >/dev/null 2>&1 || ! command -v lftp >/dev/null 2>&1; then
  SIN_FTP="vsftpd or lftp not installed (run as root to install them)"
  aviso "SKIPPED: the FTP peer (lftp mirror from vsftpd): $SIN_FTP"
fi
SIN_TLS=""
if ! command -v stunnel4 >/dev/null 2>&1 || ! command -v openssl >/dev/null 2>&1; then
  SIN_TLS="stunnel4 or openssl not installed (run as root to install them)"
  aviso "SKIPPED: benchmark 11 (TLS through stunnel): $SIN_TLS"
fi
if ! command -v sqlite3 >/dev/null 2>&1; then
  aviso "sqlite3 (the command-line shell) is needed for benchmarks 4 and 5 and to reset their table;"
  aviso "install it with: apt-get install sqlite3"
  exit 1
fi

if [ ! -f "$RAIZ/sim/CMakeLists.txt" ]; then
  aviso "zizez-sim (sim/) is not in this tree yet: nothing to measure against"
  exit 1
fi

aviso "building vortcp and zizez-sim in Release ($BUILD)"
cmake -S "$RAIZ" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DVORTCP_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j2 --target vortcp zizez-sim >/dev/null
mkdir -p "$HERR"
for prog in mide limite_servidor limite_cliente enlace_lento replica_sql relevo; do
  if [ ! -x "$HERR/$prog" ] || [ "$RAIZ/bench/$prog.c" -nt "$HERR/$prog" ] || [ "$RAIZ/bench/red.h" -nt "$HERR/$prog" ]; then
    cc -O2 -Wall -Wextra -Werror -o "$HERR/$prog" "$RAIZ/bench/$prog.c" -lpthread
  fi
done

DATOS="$OUT/datos-$MODO"
mkdir -p "$OUT"
if [ "$MODO" = quick ]; then
  python3 "$RAIZ/bench/genera_datos.py" "$DATOS" --quick
else
  python3 "$RAIZ/bench/genera_datos.py" "$DATOS"
fi
# vortcp needs a table file; the data is plain ASCII, so the built-in tables do.
mkdir -p "$DATOS/basico"
TABLA="$DATOS/basico/ebcdic.ESP"
[ -f "$TABLA" ] || echo "# banco: sin cambios sobre las tablas fijas" >"$TABLA"
# One simulated system per group of benchmarks, rebuilt when the data or the
# simulator is newer.
for muestras in "$DATOS"/muestras/*/; do
  grupo=$(basename "$muestras")
  bd="$DATOS/bd/$grupo"
  if [ ! -f "$bd/sistema.db" ] || [ "$DATOS/datos.json" -nt "$bd/sistema.db" ] ||
    [ "$BUILD/sim/zizez-sim" -nt "$bd/sistema.db" ]; then
    aviso "building the simulated system $grupo"
    mkdir -p "$DATOS/bd"
    "$BUILD/sim/zizez-sim" --bd "$bd" --muestras "$muestras" --tabla "$TABLA" --solo-crea >/dev/null
  fi
done

# Scratch trees are removed when the run ends, not before each benchmark: a
# folder of thousands of files deleted just before a run makes ext4's inode
# allocator skip every recently freed inode, and that, not the program, would
# then be measured.
TRABAJO="$OUT/trabajo-$MODO"
rm -rf "$TRABAJO"
mkdir -p "$TRABAJO"
trap 'rm -rf "$TRABAJO"' EXIT
args=(--datos "$DATOS" --bin "$BUILD" --herramientas "$HERR" --trabajo "$TRABAJO" --tabla "$TABLA"
  --salida "$OUT/tabla-$MODO.md")
[ "$MODO" = quick ] && args+=(--quick)
[ -n "$SIN_FTP" ] && args+=(--sin-ftp "$SIN_FTP")
[ -n "$SIN_TLS" ] && args+=(--sin-tls "$SIN_TLS")
[ -n "${BENCH_ONLY:-}" ] && args+=(--solo "$BENCH_ONLY")
[ -n "${BENCH_PAIRS:-}" ] && args+=(--pares "$BENCH_PAIRS")
python3 "$RAIZ/bench/banco.py" "${args[@]}"
