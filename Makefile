# Thin wrapper around CMake.  `make` builds the four programs into build/.
BUILD ?= build
PREFIX ?= /usr/local
CMAKE_FLAGS ?=

.PHONY: all configure test install demo bench clean windows test-windows test-sanitize fuzz

all: configure
	cmake --build $(BUILD) -j2

configure:
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

test: all
	cd $(BUILD) && ctest --output-on-failure -j2

install: all
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
# The programs the end-to-end tests run are built so too: a report ends a
# program with a status no test expects, so it fails that test.
SANITIZE_BUILD ?= build-sanitize
SANITIZE_FLAGS = -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all
SANITIZE_ENV = E2E_WATCHDOG=1200 ASAN_OPTIONS=exitcode=86:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=exitcode=87:halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitize/lsan.supp:print_suppressions=0

test-sanitize:
	@test -f $(SANITIZE_BUILD)/CMakeCache.txt || cmake -S . -B $(SANITIZE_BUILD) \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="$(SANITIZE_FLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE_FLAGS)" $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_BUILD) -j2
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) ctest --output-on-failure -j2

# libFuzzer targets, built with clang, each run for FUZZ_SECONDS on a copy
# of its seed corpus (the seeds in the repository stay as they are).
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

fuzz:
	@test -f $(FUZZ_BUILD)/CMakeCache.txt || CXX=clang++ cmake -S . -B $(FUZZ_BUILD) \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DFILETOOLS_FUZZ=ON \
		-DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer" $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j2 --target fuzztargets
	FUZZ_SECONDS=$(FUZZ_SECONDS) tests/fuzz/run.sh $(FUZZ_BUILD)

# Copies the bundled sample with dupra and with cp -r, and shows the times.
demo: configure
	BUILD=$(BUILD) examples/demo.sh

# The Windows build, cross-compiled with mingw-w64 into $(WINBUILD), and its
# tests under Wine.  The end-to-end tests are a Linux program (built in
# $(WINBUILD)/host) that runs the .exe files.
WINBUILD ?= build-windows

windows:
	@test -f $(WINBUILD)/CMakeCache.txt || cmake -S . -B $(WINBUILD) \
		-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WINBUILD) -j2

test-windows: windows
	@test -f $(WINBUILD)/host/CMakeCache.txt || cmake -S . -B $(WINBUILD)/host \
		-DCMAKE_BUILD_TYPE=Release
	cmake --build $(WINBUILD)/host -j2 --target e2etests
	tests/wine/run.sh $(WINBUILD) $(WINBUILD)/host

# Times dupra and relka against cp, rsync and mv (a few minutes).
bench: configure
	BUILD=$(BUILD) bench/run.sh
