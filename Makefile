# The two commands a new user runs: `make run` and `make test`.
.PHONY: run test test-asan test-portable fuzz bench package deps build clean

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

clean:
	rm -rf build
