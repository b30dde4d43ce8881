#!/usr/bin/env bash
# Makes sure the tools and libraries of the build and its tests are installed. As root it
# installs what is missing with apt-get; otherwise it stops and prints the
# apt-get line to run.
set -euo pipefail

faltan=()
command -v cmake   >/dev/null 2>&1 || faltan+=(cmake)
command -v g++     >/dev/null 2>&1 || faltan+=(g++)
command -v make    >/dev/null 2>&1 || faltan+=(make)
command -v python3 >/dev/null 2>&1 || faltan+=(python3)
# The package test: cpack -G DEB asks dpkg-shlibdeps for the dependencies, and
# the manual pages are checked with groff.
command -v dpkg-shlibdeps >/dev/null 2>&1 || faltan+=(dpkg-dev)
command -v groff   >/dev/null 2>&1 || faltan+=(groff-base)
[ -f /usr/include/gtest/gtest.h ] || faltan+=(libgtest-dev)
[ -f /usr/include/sqlite3.h ]     || faltan+=(libsqlite3-dev)
[ -f /usr/include/histedit.h ]    || faltan+=(libedit-dev)
[ -f /usr/include/nlohmann/json.hpp ] || faltan+=(nlohmann-json3-dev)
[ -f /usr/include/openssl/ssl.h ] || faltan+=(libssl-dev)
# The TLS tests: a real terminator (stunnel) in front of zizez-sim, and the
# openssl command that makes their certificates.
command -v stunnel4 >/dev/null 2>&1 || faltan+=(stunnel4)
command -v openssl  >/dev/null 2>&1 || faltan+=(openssl)
for extra in ${VORTCP_PAQUETES_EXTRA:-}; do
  dpkg -s "$extra" >/dev/null 2>&1 || faltan+=("$extra")
done

[ ${#faltan[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  echo "Instalando: ${faltan[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${faltan[@]}"
else
  echo "Faltan paquetes. Ejecute:"
  echo "  sudo apt-get install -y ${faltan[*]}"
  exit 1
fi
