# The two commands of the README: `make demo` and `make check`.
.PHONY: deps build linux linux-program windows msi sign check check-sanitize coverage fuzz bench twins demo preview clean

# Everything the builds and the tests need; make demo, make preview and make
# bench install only their part (see scripts/install-deps.sh).
deps:
	@scripts/install-deps.sh

# The linux build with its tests, which need GoogleTest.
linux: deps
	cmake --preset linux -DQUILLMARK_TESTS=ON >/dev/null
	cmake --build --preset linux

# The linux program alone, for the demo, the preview and the benchmarks.
linux-program:
	cmake --preset linux >/dev/null
	cmake --build --preset linux --target quillmark

# The 32-bit quillmark.exe (the one to deploy: it finds the in-box Jet and
# Access drivers) and the 64-bit quillmark64.exe beside it.
windows: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows
	cmake --preset windows64 >/dev/null
	cmake --build --preset windows64

build: linux windows

# The MSI of both exes (build/windows/quillmark.msi), with wixl; its
# ProductVersion is the FileVersion of the quillmark.exe it packs.
# make msi SITE=<folder>: the package of a site, build/windows/quillmark-<folder>.msi,
# with <folder>/quillmark.ini and its templates, checked by the linux build's /CHECK.
msi: windows $(if $(SITE),linux-program)
	packaging/build-msi.sh $(if $(SITE),--site "$(SITE)") build/windows \
	  build/windows/$(if $(SITE),quillmark-$(notdir $(abspath $(SITE))).msi,quillmark.msi)

# Authenticode: make sign CERT=cert.pem KEY=key.pem [PASSFILE=…] [TIMESTAMP=http://…]
# signs both exes, builds the MSI from the signed exes and signs it too.
SIGN_ENV = CERT="$(CERT)" KEY="$(KEY)" PASSFILE="$(PASSFILE)" TIMESTAMP="$(TIMESTAMP)"
sign: windows
	$(SIGN_ENV) packaging/sign.sh build/windows/quillmark.exe build/windows/quillmark64.exe
	packaging/build-msi.sh build/windows build/windows/quillmark.msi
	$(SIGN_ENV) packaging/sign.sh build/windows/quillmark.msi

# The Wine prefix of the windows runs is made once, before the tests, so that no
# test pays for (or times out on) Wine setting up a new prefix. A host that runs
# no 32-bit programs (a kernel without IA-32 emulation) takes Wine's 64-bit
# loader from tests/wine64, and its tests run the windows rows with
# quillmark64.exe (evaluated when used: Wine is installed by then).
WINE_PATH = $(shell /usr/lib/wine/wine --version >/dev/null 2>&1 || echo "$(CURDIR)/tests/wine64:")
WINE_ENV = PATH="$(WINE_PATH)$$PATH" WINEPREFIX=$(CURDIR)/build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

check: build
	$(WINE_ENV) wineboot -i >/dev/null 2>&1 && $(WINE_ENV) wineserver -w
	ctest --test-dir build/linux --output-on-failure -j2
	$(MAKE) --no-print-directory check-sanitize
	FUZZ_SECONDS=10 scripts/fuzz.sh

# The native unit and whole-program tests again, built with AddressSanitizer and
# UndefinedBehaviorSanitizer (the windows runs, the packaging tests and the
# window tests are left out: the first two run no native code, the last would
# report X11's own leaks; the comparison of both builds runs once, in the plain
# build).
check-sanitize:
	cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLMARK_SANITIZE=ON -DQUILLMARK_TESTS=ON >/dev/null
	cmake --build build/sanitize
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp ctest --test-dir build/sanitize --output-on-failure -j2 -E '(/windows|WindowTest|Twins|Packaging)'

# Line coverage of src/ by the native unit and whole-program tests, from a Debug
# build with gcov instrumentation. The windows runs, the packaging tests and the
# comparison of both builds add nothing to it and are left out (the windows build is not built
# here); the programs the whole-program tests start write their counts into this
# build folder too. As in make check, the fault tests count only when run as root.
# The report of every line is build/coverage/html/index.html.
coverage: deps
	cmake -S . -B build/coverage -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLMARK_COVERAGE=ON -DQUILLMARK_TESTS=ON >/dev/null
	find build/coverage -name '*.gcda' -delete  # counts of an earlier build
	cmake --build build/coverage
	find build/coverage -name '*.gcda' -delete  # counts of the test listing at build time
	rm -rf build/coverage/html && mkdir -p build/coverage/html
	status=0; ctest --test-dir build/coverage --output-on-failure -j2 -E '(/windows|Twins|Packaging)' || status=$$?; \
	gcovr --root . --filter 'src/' --object-directory build/coverage --print-summary \
	  --html-details build/coverage/html/index.html build/coverage >build/coverage/summary.txt \
	  || status=$$?; \
	grep '^lines:' build/coverage/summary.txt; exit $$status

# Every fuzz target for FUZZ_SECONDS (default 60) seconds.
fuzz: deps
	scripts/fuzz.sh

# Both builds on N (default 100) random configurations from the seed SEED
# (default 1) on, compared byte for byte; make check runs the first 12.
twins: build
	$(WINE_ENV) wineboot -i >/dev/null 2>&1 && $(WINE_ENV) wineserver -w
	QM_TWINS_CASES=$(or $(N),100) QM_TWINS_SEED=$(or $(SEED),1) build/linux/tests/quillmark_e2e --gtest_filter='Twins.*'

# Timings of the linux build on this machine.
bench:
	@scripts/install-deps.sh bench
	@$(MAKE) --no-print-directory linux-program
	cmake --build --preset linux --target quillmark-write-floor
	scripts/bench.sh

demo:
	@scripts/install-deps.sh demo
	@$(MAKE) --no-print-directory linux-program
	scripts/demo.sh

# The demo's user previewed with /SIMULATE into build/preview/, and a
# screenshot of its page (build/preview/index.png).
preview:
	@scripts/install-deps.sh preview
	@$(MAKE) --no-print-directory linux-program
	scripts/preview.sh

clean:
	rm -rf build
