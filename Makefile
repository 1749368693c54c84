# The two commands of the README: `make demo` and `make check`.
.PHONY: deps build linux windows check demo clean

deps:
	@scripts/install-deps.sh

linux: deps
	cmake --preset linux >/dev/null
	cmake --build --preset linux

windows: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows

build: linux windows

check: build
	ctest --test-dir build/linux --output-on-failure -j2

demo: linux
	scripts/demo.sh

clean:
	rm -rf build
