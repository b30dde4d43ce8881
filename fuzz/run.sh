#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) in build-fuzz and
# runs each for the given number of seconds on a fresh copy of its seed corpus
# in fuzz/corpus/<target>. Any finding (a crash, a sanitizer report, a failed
# check, a leak, a time-out) fails the run; its input is kept in
# build-fuzz/hallazgos/.
#   bash fuzz/run.sh SECONDS [TARGET...]     (default: 60 s, every target)
# VORTCP_FUZZ_SIN_COMPILAR=1 skips the build (for runs side by side on targets
# already built).
set -euo pipefail

segundos="${1:-60}"
shift || true
raiz="$(cd "$(dirname "$0")/.." && pwd)"
build="${VORTCP_BUILD_FUZZ:-$raiz/build-fuzz}"

# clang 14 and its runtime (libFuzzer, the sanitizers) from Debian.
if ! command -v clang++ >/dev/null 2>&1 || ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
  VORTCP_PAQUETES_EXTRA="clang libclang-rt-14-dev" bash "$raiz/scripts/dependencias.sh"
fi

if [ -z "${VORTCP_FUZZ_SIN_COMPILAR:-}" ]; then
  cmake -S "$raiz/fuzz" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  cmake --build "$build" -j2
fi

if [ $# -gt 0 ]; then
  objetivos=("$@")
else
  objetivos=()
  for f in "$raiz"/fuzz/f_*.cpp; do
    o="$(basename "$f" .cpp)"
    # Targets of a subsystem not written yet are not built (see CMakeLists.txt).
    if [ -x "$build/$o" ]; then objetivos+=("$o"); else echo "== $o: no construido"; fi
  done
fi

# The largest input each target takes: a few frames, a reply that expands
# within a frame buffer, a file of a few lines.
largo_maximo() {
  case "$1" in
    f_trama) echo 70000 ;;
    f_lzw_expande) echo 40000 ;;
    f_lzw_ida_vuelta) echo 29000 ;;
    *) echo 32768 ;;
  esac
}

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
mkdir -p "$build/hallazgos" "$build/registros"
resumen="$build/resumen.txt"
echo "# $(date '+%F %T') ${segundos} s: ${objetivos[*]}" >>"$resumen"
fallos=0
for o in "${objetivos[@]}"; do
  corpus="$build/corpus/$o"
  rm -rf "$corpus"
  mkdir -p "$corpus"
  if [ -d "$raiz/fuzz/corpus/$o" ]; then cp -r "$raiz/fuzz/corpus/$o/." "$corpus/"; fi
  registro="$build/registros/$o.log"
  echo "== $o: $segundos s"
  estado=0
  (cd "$build" && "./$o" -max_total_time="$segundos" -max_len="$(largo_maximo "$o")" -timeout=20 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/hallazgos/$o-" "$corpus") \
      >"$registro" 2>&1 || estado=$?
  ejecuciones=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$registro" | grep -o '[0-9]*$' | tail -1 || echo "?")
  tiempo=$(grep -o 'Done [0-9]* runs in [0-9]* second' "$registro" | grep -o 'in [0-9]*' | grep -o '[0-9]*' || echo "?")
  if [ "$estado" -ne 0 ]; then
    fallos=$((fallos + 1))
    echo "$o: HALLAZGO (estado $estado) ejecuciones=$ejecuciones" | tee -a "$resumen"
    grep -E 'ERROR|HALLAZGO|runtime error|SUMMARY|Test unit written' "$registro" | head -20 || true
  else
    echo "$o: sin hallazgos ejecuciones=$ejecuciones segundos=$tiempo" | tee -a "$resumen"
  fi
done
echo "Resumen en $resumen"
[ "$fallos" -eq 0 ]
