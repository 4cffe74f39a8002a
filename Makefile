# The two commands of the README, plus the developer's conveniences.
#   make test   install what is missing, build all presets, run every test
#   make demo   build the example package and run it under Wine
#   make bench  build natively and run the benchmarks
# JOBS defaults to the number of cores.

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
NATIVE_PRESETS := native native-asan
ALL_PRESETS := $(NATIVE_PRESETS) win64 win32

.PHONY: all deps build test demo bench fuzz clean $(addprefix build-,$(ALL_PRESETS))

all: build

deps:
	@bash scripts/install-deps.sh

$(addprefix build-,$(ALL_PRESETS)): build-%:
	@echo "== build: $*"
	@cmake --preset $* >/dev/null
	@cmake --build --preset $* -j $(JOBS)

build: deps $(addprefix build-,$(ALL_PRESETS))

test: build
	@bash scripts/run-tests.sh $(NATIVE_PRESETS) win64

demo: deps build-native build-win64
	@bash scripts/demo.sh

bench: deps build-native
	@bash scripts/bench.sh

fuzz: deps
	@bash scripts/fuzz.sh

clean:
	rm -rf build
