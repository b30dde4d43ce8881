# Entry points for developers and CI. Every target first makes sure the tools
# it needs are installed (scripts/dependencias.sh installs them as root).
BUILD      ?= build
BUILD_SAN  ?= build-san
JOBS       ?= 2

.PHONY: all deps build build-san test test-normal test-san demo fuzz fuzz-smoke bench windows test-windows clean

all: build

deps:
	@bash scripts/dependencias.sh

build: deps
	cmake -S . -B $(BUILD) -DVORTCP_WERROR=ON >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

build-san: deps
	cmake -S . -B $(BUILD_SAN) -DVORTCP_WERROR=ON -DVORTCP_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	cmake --build $(BUILD_SAN) -j$(JOBS)

# The whole suite, twice: a normal build and a sanitizer build.
test: test-normal test-san

test-normal: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-san: build-san
	cd $(BUILD_SAN) && ctest --output-on-failure -j$(JOBS)

demo: build
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

clean:
	rm -rf $(BUILD) $(BUILD_SAN) build-win build-fuzz build-bench
