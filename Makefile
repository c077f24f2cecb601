# Front door of the project: `make test` and `make demo` work on a fresh
# Debian 12 machine (they install what is missing first).
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 30
CMAKE_FLAGS ?=
PREFIX     ?= /usr/local

.PHONY: all deps ensure-deps configure build programs run test bench test-asan fuzz demo format clean library-data \
        install package check-package icons

all: build

deps:
	scripts/install-deps.sh

ensure-deps:
	@scripts/install-deps.sh --check >/dev/null 2>&1 || scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

configure: $(BUILD)/CMakeCache.txt

build: ensure-deps configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Installs the programs and their data under $(PREFIX) (DESTDIR is honoured).
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package (brellin_VERSION_ARCH.deb in $(BUILD)), installing into /usr.
package: build
	cd $(BUILD) && cpack -G DEB

# The package installed on a clean Debian 12 root (needs root and the network).
check-package:
	scripts/check-package.sh $(BUILD)

bench: build
	scripts/run-bench.sh $(BUILD)

test-asan: ensure-deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRELLIN_SANITIZE=ON -DBRELLIN_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

fuzz: ensure-deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRELLIN_FUZZ=ON -DBRELLIN_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The two programs alone, without the tests and benchmarks, for the first minute.
programs: ensure-deps configure
	cmake --build $(BUILD) -j $(JOBS) --target brellin-cli brellin

demo: programs
	scripts/demo.sh $(BUILD)

# The desktop program on a demo project (needs a display; see the README).
run: programs
	scripts/run-desktop.sh $(BUILD)

format:
	clang-format -i $$(git ls-files '*.h' '*.cpp')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

# Regenerates the shipped brush, pattern and style files in data/ (the results are committed).
library-data: build
	$(BUILD)/tools/brellin-make-brushes data
	$(BUILD)/tools/brellin-make-patterns data
	scripts/make-styles.sh $(BUILD)

# Renders the icons' PNG sizes from their SVGs (the results are committed).
icons:
	scripts/make-icons.sh
