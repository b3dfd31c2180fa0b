# Thin wrapper around CMake.  `make` builds the four programs into build/.
BUILD ?= build
PREFIX ?= /usr/local
CMAKE_FLAGS ?=

.PHONY: all configure test install demo bench clean windows test-windows

all: configure
	cmake --build $(BUILD) -j2

configure:
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

test: all
	cd $(BUILD) && ctest --output-on-failure -j2

install: all
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)

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
