# Two commands set everything up on a fresh machine:
#   make demo   installs what is missing, builds and renders the bundled example
#   make run    installs what is missing, builds and opens the example in the desktop program
#   make test   installs what is missing, builds and runs all tests
JOBS ?= $(shell nproc)
BUILD ?= build
EXAMPLE ?= examples/demo.upr

.PHONY: all deps build demo run test test-sanitize test-tsan fuzz bench package format clean

all: build

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	$(BUILD)/bin/spirelle-cli render $(EXAMPLE) --sampling-level 3 -o $(BUILD)/demo.png

# Opens the bundled example in the desktop program.
run: build
	$(BUILD)/bin/spirelle $(EXAMPLE)

# Rendering speed; the figures and the machine they came from go to bench/RESULTS.md.
bench: build
	$(BUILD)/bin/spirelle_bench

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# use_sigaltstack=0: the OpenCL compiler replaces the signal stack of the
# threads it runs on, which ASan would otherwise fail to unmap at thread exit.
test-sanitize: deps
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DSPIRELLE_SANITIZE=ON -DSPIRELLE_BENCH=OFF
	cmake --build build-sanitize -j$(JOBS)
	cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:use_sigaltstack=0 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j$(JOBS)

# The tests of the threads that share the RenderWorker, under the thread
# sanitizer; a reported data race fails the test.
test-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPIRELLE_SANITIZE_THREAD=ON \
		-DSPIRELLE_BENCH=OFF -DSPIRELLE_DESKTOP=OFF
	cmake --build build-tsan -j$(JOBS) --target app_tests spirelle-cli
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
		ctest --output-on-failure -j$(JOBS) -R '^(LoadFile|ApplySet|Retonemap|RenderThread|LongPass|RangeRender)\.'

# A Debian package of the programs, built for /usr: build-package/spirelle_VERSION_ARCH.deb
package: deps
	cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
		-DSPIRELLE_TESTS=OFF -DSPIRELLE_BENCH=OFF
	cmake --build build-package -j$(JOBS)
	cd build-package && cpack -G DEB

# libFuzzer targets; run one with e.g. build-fuzz/bin/fuzz_load_parameter_file -max_total_time=60
fuzz: deps
	CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPIRELLE_FUZZ=ON
	cmake --build build-fuzz -j$(JOBS) --target fuzz_all

format:
	find src tests fuzz bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-sanitize build-tsan build-fuzz build-package
