# Entry points for developers and CI. `make` alone only builds; `make deps`
# installs the build's packages (as root, with apt-get), and the targets that
# run things (test, demo, fuzz, bench, windows) first install what they need.
BUILD      ?= build
BUILD_SAN  ?= build-san
JOBS       ?= 2

.PHONY: all deps build build-san test test-normal test-san demo fuzz fuzz-smoke bench windows test-windows \
	formato comprueba-formato install clean

all: build

deps:
	@bash scripts/dependencias.sh

build:
	cmake -S . -B $(BUILD) -DVORTCP_WERROR=ON >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

build-san:
	cmake -S . -B $(BUILD_SAN) -DVORTCP_WERROR=ON -DVORTCP_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	cmake --build $(BUILD_SAN) -j$(JOBS)

# The whole suite, twice: a normal build and a sanitizer build.
test: test-normal test-san

test-normal: deps build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-san: deps build-san
	cd $(BUILD_SAN) && ctest --output-on-failure -j$(JOBS)

demo: deps build
	@bash scripts/demo.sh $(BUILD)

# Coverage-guided fuzzing (clang, libFuzzer, ASan + UBSan): every target for
# SECONDS seconds (default 60); fuzz-smoke runs each for 10 s, as CI does.
SECONDS_FUZZ ?= $(or $(SECONDS),60)
fuzz: deps
	@bash fuzz/run.sh $(SECONDS_FUZZ)

fuzz-smoke: deps
	@bash fuzz/run.sh 10

# Benchmarks in Release against the peers; QUICK=1 runs smaller data.
bench: deps
	@bash bench/run.sh

# The Windows build (MinGW-w64) and its tests under Wine.
windows: deps
	@bash scripts/windows.sh build

test-windows: deps
	@bash scripts/windows.sh test

# The sources in the layout of .clang-format: `formato` rewrites them,
# `comprueba-formato` (CI) fails on any file that differs.
FUENTES_FORMATO = $(shell git ls-files 'src/*.cpp' 'src/*.h' 'sim/*.cpp' 'sim/*.h' 'tests/unit/*.cpp' \
	'tests/unit/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
formato:
	@VORTCP_PAQUETES_EXTRA=clang-format bash scripts/dependencias.sh
	clang-format -i $(FUENTES_FORMATO)

comprueba-formato:
	@VORTCP_PAQUETES_EXTRA=clang-format bash scripts/dependencias.sh
	clang-format --dry-run --Werror $(FUENTES_FORMATO)

# cmake --install of the normal build (PREFIX=/usr/local by default).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(BUILD_SAN) build-win build-fuzz build-bench
