# Entry points: make demo | build | test | test-sanitize | test-tsan | fuzz | fuzz-smoke | bench | package | screenshot
#               | windows | windows-installer | test-windows
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER)
# ccache shares objects between build trees and checkouts at other paths.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1
CTEST_FLAGS ?= --output-on-failure --no-tests=error -j $(JOBS)

.PHONY: bootstrap build demo test test-sanitize test-tsan fuzz fuzz-smoke bench package screenshot clean windows windows-installer test-windows

bootstrap:
	@scripts/bootstrap

build/build.ninja: CMakeLists.txt | bootstrap
	cmake -S . -B build $(CMAKE_FLAGS)

build: bootstrap build/build.ninja
	cmake --build build -j $(JOBS)

# One synchronization against the reference service, in demo/ (DEMO_DIR). Only
# what the demo runs is built: the tests and the windows wait for `make build`.
DEMO_TARGETS := hotsync handheld norvreg norvelia-service catalogc Norv30
demo: bootstrap build/build.ninja
	@echo "make demo: building $(DEMO_TARGETS)"
	@echo "make demo: about 2 minutes the first time on two cores, seconds after"
	cmake --build build -j $(JOBS) --target $(DEMO_TARGETS)
	scripts/demo $(DEMO_DIR)

test: build
	QT_QPA_PLATFORM=offscreen ctest --test-dir build $(CTEST_FLAGS)

build-asan/build.ninja: CMakeLists.txt | bootstrap
	cmake -S . -B build-asan $(CMAKE_FLAGS) -DNORV_SANITIZE=ON

test-sanitize: bootstrap build-asan/build.ninja
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	QT_QPA_PLATFORM=offscreen ctest --test-dir build-asan $(CTEST_FLAGS)

build-tsan/build.ninja: CMakeLists.txt | bootstrap
	cmake -S . -B build-tsan $(CMAKE_FLAGS) -DNORV_TSAN=ON

# Qt is not instrumented: what its own threads do to their own objects (QtTest's
# watchdog, joined through Qt's futexes) is not ours to report.
test-tsan: bootstrap build-tsan/build.ninja
	cmake --build build-tsan -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1 \
	QT_QPA_PLATFORM=offscreen ctest --test-dir build-tsan -L threads $(CTEST_FLAGS)

build-fuzz/build.ninja: CMakeLists.txt | bootstrap
	cmake -S . -B build-fuzz $(CMAKE_FLAGS) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DNORV_FUZZ=ON

fuzz: bootstrap build-fuzz/build.ninja
	cmake --build build-fuzz -j $(JOBS) --target fuzzers

# The Windows build: MinGW-w64 cross build into build-win/, tests under Wine.
build-win/build.ninja: CMakeLists.txt cmake/mingw-w64.cmake cmake/Windows.cmake | bootstrap
	cmake -S . -B build-win $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake

windows: bootstrap build-win/build.ninja
	cmake --build build-win -j $(JOBS)

# The installer, build-win/norvelia-setup-<version>.exe, with NSIS's makensis.
windows-installer: windows
	cmake --build build-win --target windows-installer

# The Wine tests read what the Windows programs made with the Linux build's handheld and hotsync;
# one installs the installer.
test-windows: windows-installer build/build.ninja
	cmake --build build -j $(JOBS) --target handheld hotsync norvelia-service catalogc
	scripts/test-windows build-win -j $(JOBS)

# Each fuzzer for FUZZ_SECONDS on its seed corpus; any crash, leak or hang fails.
FUZZ_SECONDS ?= 60
fuzz-smoke: fuzz
	scripts/fuzz-smoke build-fuzz $(FUZZ_SECONDS)

# Benchmarks: Release at -O2 (GCC 12 at -O3 gives false -Wrestrict warnings in
# std::string), in their own tree; each prints its ratios at the end.
BENCHES := client_wire_bench pdb_file_bench record_bench session_memory_bench
# What bench/sync-bench runs: a whole synchronization, built in the same tree.
SYNC_BENCH_TARGETS := hotsync handheld norvreg norvelia-service catalogc Norv30
BENCH_FLAGS ?= --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true

build-bench/build.ninja: CMakeLists.txt | bootstrap
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG" $(LAUNCHER)

bench: bootstrap build-bench/build.ninja
	cmake --build build-bench -j $(JOBS) --target $(BENCHES) $(SYNC_BENCH_TARGETS)
	@for b in $(filter-out session_memory_bench,$(BENCHES)); do echo "== $$b (build-bench, Release)"; build-bench/bench/$$b $(BENCH_FLAGS) || exit 1; done
	@echo "== session_memory_bench (build-bench, Release)"; NORVELIA_MSGDIR=$(CURDIR)/share/norvelia build-bench/bench/session_memory_bench
	@echo "== bench/sync-bench (build-bench, Release): a whole synchronization against its physical bound"; BIN=$(CURDIR)/build-bench/bin bench/sync-bench
	@echo "== bench/sync-bench scale (build-bench, Release): installs and their targets"; BIN=$(CURDIR)/build-bench/bin bench/sync-bench scale

clean:
	rm -rf build build-asan build-tsan build-fuzz build-bench build-win

# Pictures of the windows under Xvfb, into build/screenshots/.
screenshot: build
	@scripts/screenshot

# The Debian package of the installed tree, in build/.
package: build
	cd build && cpack -G DEB
