# Thin wrapper around CMake.  `make` builds the four programs into build/.
BUILD ?= build
PREFIX ?= /usr/local
CMAKE_FLAGS ?=

.PHONY: all configure test install demo bench clean

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
