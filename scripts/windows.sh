#!/usr/bin/env bash
# The Windows build of vortcp (MinGW-w64 cross compilers) and its tests under
# Wine.
#   bash scripts/windows.sh build   vortcp.exe in build-win/, imports checked, and
#                                   the zip of vortcp.exe, README.md and samples\
#   bash scripts/windows.sh test    also the unit tests and the e2e tests, run by
#                                   CTest under Wine against the native simulator
# As root it installs the cross compilers and Wine when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."

ACCION=${1:-build}
BUILD_WIN=${BUILD_WIN:-build-win}
BUILD_NATIVO=${BUILD:-build}
JOBS=${JOBS:-2}

instala_herramientas() {
  local faltan=()
  command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || faltan+=(g++-mingw-w64-x86-64)
  command -v wine >/dev/null 2>&1 || faltan+=(wine)
  [ -x /usr/lib/wine/wine64 ] || faltan+=(wine64)
  # Wine's SChannel, the TLS of the Windows build, runs on GnuTLS.
  dpkg -s libgnutls30 >/dev/null 2>&1 || faltan+=(libgnutls30)
  [ ${#faltan[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Faltan paquetes. Ejecute:"
    echo "  sudo apt-get install -y --no-install-recommends ${faltan[*]}"
    exit 1
  fi
  echo "Instalando: ${faltan[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${faltan[@]}"
}

# A static link leaves only DLLs that every Windows has; a MinGW runtime DLL
# (libstdc++, libgcc, libwinpthread) among the imports would make the .exe
# fail on a machine without MinGW.
comprueba_importaciones() {
  local exe=$1 dll malas=0
  while read -r dll; do
    case "${dll,,}" in
      kernel32.dll|msvcrt.dll|ws2_32.dll|wsock32.dll|user32.dll|advapi32.dll|ntdll.dll|\
      shell32.dll|gdi32.dll|ucrtbase.dll|secur32.dll|crypt32.dll|api-ms-win-*.dll) ;;
      *) echo "$exe importa una DLL que no es del sistema: $dll"; malas=1 ;;
    esac
  done < <(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  return $malas
}

configura_windows() {
  cmake -S . -B "$BUILD_WIN" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
    -DVORTCP_WERROR=ON "$@" >/dev/null
}

# The zip a Windows user unpacks anywhere: what the cross build's install
# rules name (vortcp.exe, README.md, samples\), made by cpack from the
# vortcp.exe already built. Prints its path; fails when the zip lacks the
# program or the table file.
empaqueta() {
  local zip lista
  rm -f "$BUILD_WIN"/vortcp-*.zip
  (cd "$BUILD_WIN" && cpack -G ZIP >/dev/null)
  zip=$(ls "$BUILD_WIN"/vortcp-*.zip)
  lista=$(cmake -E tar tf "$zip")
  for fichero in vortcp.exe samples/basico/ebcdic.ESP samples/scripts/informe.sql README.md; do
    if ! grep -q "/$fichero\$" <<<"$lista"; then
      echo "$zip no tiene $fichero" >&2
      return 1
    fi
  done
  echo "$zip"
}

construye() {
  configura_windows
  cmake --build "$BUILD_WIN" -j"$JOBS" --target vortcp
  comprueba_importaciones "$BUILD_WIN/vortcp.exe"
  echo "$BUILD_WIN/vortcp.exe"
  empaqueta
}

# The simulator stays a Linux program: it comes from the native build.
simulador_nativo() {
  [ -f sim/CMakeLists.txt ] || return 0
  cmake -S . -B "$BUILD_NATIVO" -DVORTCP_WERROR=ON >/dev/null
  cmake --build "$BUILD_NATIVO" -j"$JOBS" --target zizez-sim >&2
  find "$(cd "$BUILD_NATIVO" && pwd)" -type f -name zizez-sim -perm -u+x | head -n 1
}

prueba() {
  local sim
  sim=$(simulador_nativo)
  configura_windows -DVORTCP_ZIZEZ_SIM="$sim"
  cmake --build "$BUILD_WIN" -j"$JOBS"
  comprueba_importaciones "$BUILD_WIN/vortcp.exe"
  empaqueta

  # A fresh prefix for every run, and one Wine server kept up for all of it:
  # starting a server per test would cost seconds each time.
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/vortcp-wine.XXXXXX")
  export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d"
  trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
  wineserver -p
  echo "Preparando el prefijo de Wine en $WINEPREFIX"
  wine cmd /c exit >/dev/null 2>&1 || true
  # The unit tests that write the local tree need a drive root of their own:
  # on Windows the program's paths start at the root of the current drive.
  mkdir -p "$WINEPREFIX/drive_c/raiz-pruebas"
  ln -s "$WINEPREFIX/drive_c/raiz-pruebas" "$WINEPREFIX/dosdevices/t:"
  export VORTCP_RAIZ_PRUEBAS='T:\'
  (cd "$BUILD_WIN" && ctest --output-on-failure -j"$JOBS")
}

instala_herramientas
case "$ACCION" in
  build) construye ;;
  test) prueba ;;
  *) echo "uso: $0 build|test" >&2; exit 2 ;;
esac
