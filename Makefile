# The two commands of the README, plus the developer's conveniences.
#   make test   install what is missing, build all presets, run every test
#   make demo   build the example package and run it under Wine
#   make bench  build natively and run the benchmarks
#   make mutate put each fault of scripts/mutations.txt into a copy of the
#               tree and tell which of them the tests catch (MUTATE_ARGS:
#               e.g. --only uScript --out tests/records/mutations/last.txt)
#   make test-i686        the end-to-end scenarios on the shipped i686
#                         installer under 32-bit Wine (scripts/test-i686.sh)
#   make test-i686-smoke  the few of them that CI runs after make test
#   make size   where the bytes of the shipped i686 installer go; fails
#               when it is larger than SIZE_BUDGET bytes or imports a DLL
#               that Windows would look for beside it (scripts/imports.py)
#   make install  q7pack, its stubs, the UI driver, manual page, guides and
#               examples under PREFIX (/usr/local), below DESTDIR if set
#   make deb    the Debian package of the same, in build/deb
# JOBS defaults to the number of cores.

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
SIZE_BUDGET ?= 204800
PREFIX ?= /usr/local
NATIVE_PRESETS := native native-asan
ALL_PRESETS := $(NATIVE_PRESETS) win64 win32

.PHONY: all deps deps-i686 build test test-i686 test-i686-smoke demo bench mutate size fuzz install deb clean $(addprefix build-,$(ALL_PRESETS))

all: build

deps:
	@bash scripts/install-deps.sh

deps-i686:
	@bash scripts/install-deps.sh --i686

$(addprefix build-,$(ALL_PRESETS)): build-%:
	@echo "== build: $*"
	@cmake --preset $* >/dev/null
	@cmake --build --preset $* -j $(JOBS)

build: deps $(addprefix build-,$(ALL_PRESETS))

test: build
	@bash scripts/run-tests.sh $(NATIVE_PRESETS) win64

# The i686 scenarios run the win32 installer through the win64 test programs.
test-i686: deps-i686 build-win32 build-win64
	@bash scripts/test-i686.sh

test-i686-smoke: deps-i686 build-win32 build-win64
	@bash scripts/test-i686.sh --smoke

size: build-win32
	@python3 scripts/size.py build/win32/startup/q7patcher.exe build/win32/startup/q7patcher.map --budget $(SIZE_BUDGET)
	@/usr/bin/python3 scripts/imports.py build/win32/startup/q7patcher.exe

demo: deps build-native build-win64
	@bash scripts/demo.sh

# cmake --install reads DESTDIR from the environment.
install: build-native build-win32 build-win64
	@cmake --install build/native --prefix $(PREFIX)

deb: build-native build-win32 build-win64
	@bash scripts/deb.sh

bench: deps build-native
	@bash scripts/bench.sh

mutate: deps
	@python3 scripts/mutate.py $(MUTATE_ARGS)

fuzz: deps
	@bash scripts/fuzz.sh

clean:
	rm -rf build
