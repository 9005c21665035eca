# Thin entry points over CMake's presets. The README names `make demo` (the main job), `make test`
# (every test, the gate CI runs) and `make check` (the contributor's loop, a minute or less).
JOBS ?= 2

.PHONY: all demo setup check check-build native native-asan windows dll test test-native test-asan test-windows \
        bench fuzz fuzz-long test-fuzz limits-report release format clean

all: native

setup:
	@scripts/setup-toolchain.sh

native: setup
	cmake --preset native >/dev/null
	cmake --build build/native -j$(JOBS)

# The build make check tests: native, optimised like the release, with assertions live.
check-build: setup
	cmake --preset check >/dev/null
	cmake --build build/check -j$(JOBS)

native-asan: setup
	cmake --preset native-asan >/dev/null
	cmake --build build/native-asan -j$(JOBS)

windows: setup
	cmake --preset windows >/dev/null
	cmake --build build/windows -j$(JOBS)

dll: setup
	cmake --preset windows >/dev/null
	cmake --build build/windows -j$(JOBS) --target Tallix
	@echo "Tallix.dll: build/windows/Tallix.dll"

# The main job: the native plugin and the terminal demo host, then the host itself. (The Windows
# DLL is a cross build of its own: make dll.)
demo:
	@scripts/setup-toolchain.sh demo
	cmake --preset native >/dev/null
	cmake --build build/native -j$(JOBS) --target tallix-host
	@exec build/native/demo/tallix-host

# The contributor's loop: every native suite with assertions live, the unit tests under ASan and
# UBSan, and every committed fuzz input replayed once through its target. Incremental: after a
# change to one file it rebuilds that file in each of the three builds.
check: check-build native-asan fuzz
	ctest --preset check
	ctest --preset check-asan
	scripts/fuzz-run.sh --replay

test-native: native
	ctest --preset native

test-asan: native-asan
	ctest --preset native-asan

test-windows: windows
	ctest --preset windows

# The limits report: the deepest stack use of every export (also checked by ctest above).
limits-report: native
	build/native/tallix_limits --gtest_filter='Stack.EveryExport*' | sed -n '/Deepest/,/^\[/p' | sed '$$d'

test-fuzz: fuzz
	scripts/fuzz-run.sh

# A longer campaign, one target at a time at low priority: FUZZ_SECONDS per target (an hour by
# default; FUZZ_RUNS stops a target after that many executions), FUZZ_TARGETS to choose some. What
# it finds that adds coverage is merged into fuzz/corpus/ for committing.
FUZZ_CAMPAIGN_SECONDS = $(or $(FUZZ_SECONDS),3600)
fuzz-long: fuzz
	FUZZ_SECONDS=$(FUZZ_CAMPAIGN_SECONDS) FUZZ_MERGE=1 FUZZ_WORK=$(CURDIR)/build/fuzz/campaign FUZZ_NICE=10 scripts/fuzz-run.sh $(FUZZ_TARGETS)

# Native first (fastest to fail), the DLL under wine last.
test: check test-native test-fuzz limits-report test-asan test-windows

release: test-windows
	scripts/release.sh

bench: native
	build/native/bench/tallix_bench

fuzz: setup
	cmake --preset fuzz >/dev/null
	cmake --build build/fuzz -j$(JOBS)

format:
	find src standin tests bench fuzz demo -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build
