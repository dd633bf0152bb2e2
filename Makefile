# Thin front over the CMake presets; see README.md.
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: all deps build build-native build-native-release build-win32 build-win32test build-wintest build-fuzz test test-native test-wintest test-win32 test-fuzz demo bench clean

all: build

deps:
	@bash scripts/deps.sh

# native: portable code with sanitizers; win32: the shipped 32-bit programs;
# wintest: the Windows code for x86-64, whose tests run under 64-bit Wine.
build: build-native build-win32 build-wintest

build-native: deps
	@cmake --preset native >/dev/null
	@cmake --build --preset native -j $(JOBS)

# native-release: the optimised morvane-cli and measurement driver that the
# recorded patch CRC table is checked with.
build-native-release: deps
	@cmake --preset native-release >/dev/null
	@cmake --build --preset native-release -j $(JOBS) --target morvane-cli engwarp_bench

build-win32: deps
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32 -j $(JOBS)

# win32test: only the i686 drivers of the 32-bit suites and their helpers.
build-win32test: deps
	@cmake --preset win32test >/dev/null
	@cmake --build --preset win32test -j $(JOBS)

build-wintest: deps
	@cmake --preset wintest >/dev/null
	@cmake --build --preset wintest -j $(JOBS)

# fuzz: the libFuzzer targets over the portable code (clang).
build-fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)

test: build build-native-release build-win32test build-fuzz
	@bash scripts/fetch-testdata.sh >/dev/null
	@bash scripts/run-fuzzers.sh
	@bash scripts/run-tests.sh

test-fuzz: build-fuzz
	@bash scripts/run-fuzzers.sh

test-native: build-native
	@bash scripts/run-tests.sh native

test-wintest: build-wintest
	@bash scripts/run-tests.sh wintest

# The shipped 32-bit programs under emulated 32-bit Wine, driven by the
# whole-program and setup suites built for i686 (scripts/run-win32-suites.sh).
test-win32: build-win32 build-win32test build-native-release
	@bash scripts/fetch-testdata.sh >/dev/null
	@bash scripts/run-tests.sh win32

demo: deps
	@bash scripts/demo.sh

bench: deps
	@bash scripts/bench.sh

clean:
	rm -rf build/native build/native-release build/win32 build/win32test build/wintest build/fuzz
