# The two commands a new user runs: `make run` and `make test`.
.PHONY: run test test-asan test-portable fuzz bench package deps build clean windows test-windows installer

deps:
	@scripts/install-deps

build: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev

# Builds only the window's program and what it needs, not the tests, fuzzers and benchmark.
run: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev --target emlx-converter
	./build/dev/src/app/emlx-converter

test: build
	ctest --preset dev

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	ctest --preset asan

# The core's suites and the fuzz replays, built with the fallbacks that other systems use
# (EMLX_PORTABLE_IO: no Linux-only system call).
test-portable: deps
	cmake --preset portable >/dev/null
	cmake --build --preset portable
	ctest --preset portable

# libFuzzer on the envelope reader, the header reader and naming: make fuzz FUZZ_SECONDS=60
fuzz:
	FUZZ_SECONDS=$(or $(FUZZ_SECONDS),60) scripts/fuzz

# Speed against plain copying: builds Release, makes a corpus, prints a table (bench/run).
bench:
	bench/run

BUILDFLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get

# A Debian package of a Release build, built with Debian's hardening flags and checked by lintian:
# build/package/vaskel-emlx-converter_<version>_<arch>.deb
package: deps
	cmake --preset package >/dev/null \
	  -DCMAKE_CXX_FLAGS="$$($(BUILDFLAGS) CXXFLAGS) $$($(BUILDFLAGS) CPPFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(BUILDFLAGS) LDFLAGS)"
	cmake --build --preset package
	cpack --preset package
	lintian --fail-on error build/package/*.deb

# Windows (x86-64), cross-built with mingw-w64 against build/windows-sysroot (made first by
# scripts/build-windows-sysroot): build/windows/dist holds the programs and what they need.
windows:
	@WITH_WINDOWS=1 scripts/install-deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows --target emlx2eml emlx-converter
	scripts/windows-dist

# The Windows build's suites and fuzz replays under Wine, and emlx2eml.exe against the Linux
# emlx2eml on one store, outputs compared byte for byte.
test-windows: windows
	cmake --preset dev >/dev/null
	cmake --build --preset dev --target emlx2eml make-corpus
	cmake --build --preset windows
	scripts/test-windows

# The Windows installer, build/windows/vaskel-emlx-converter-<version>-setup.exe (NSIS).
installer: windows
	scripts/windows-installer

# Keeps build/windows-sysroot: rebuilding it from source takes an hour.
clean:
	[ ! -d build ] || find build -mindepth 1 -maxdepth 1 ! -name windows-sysroot -exec rm -rf {} +
