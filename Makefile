# Thin front over the CMake presets; see README.md.
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: all deps build build-native build-win32 build-wintest build-fuzz test test-native test-wintest test-fuzz demo bench clean

all: build

deps:
	@bash scripts/deps.sh

# native: portable code with sanitizers; win32: the shipped 32-bit programs;
# wintest: the Windows code for x86-64, whose tests run under 64-bit Wine.
build: build-native build-win32 build-wintest

build-native: deps
	@cmake --preset native >/dev/null
	@cmake --build --preset native -j $(JOBS)

build-win32: deps
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32 -j $(JOBS)

build-wintest: deps
	@cmake --preset wintest >/dev/null
	@cmake --build --preset wintest -j $(JOBS)

# fuzz: the libFuzzer targets over the portable code (clang).
build-fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)

test: build build-fuzz
	@bash scripts/fetch-testdata.sh >/dev/null
	@bash scripts/run-fuzzers.sh
	@bash scripts/run-tests.sh

test-fuzz: build-fuzz
	@bash scripts/run-fuzzers.sh

test-native: build-native
	@bash scripts/run-tests.sh native

test-wintest: build-wintest
	@bash scripts/run-tests.sh wintest

demo: deps
	@bash scripts/demo.sh

bench: deps
	@bash scripts/bench.sh

clean:
	rm -rf build/native build/native-release build/win32 build/wintest build/fuzz
