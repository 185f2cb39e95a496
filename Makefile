# The two commands a new user runs: `make run` and `make test`.
.PHONY: run test test-asan fuzz bench deps build clean

deps:
	@scripts/install-deps

build: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev

run: build
	./build/dev/src/app/emlx-converter

test: build
	ctest --preset dev

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	ctest --preset asan

# libFuzzer on the envelope reader, the header reader and naming: make fuzz FUZZ_SECONDS=60
fuzz:
	FUZZ_SECONDS=$(or $(FUZZ_SECONDS),60) scripts/fuzz

# Speed against plain copying: builds Release, makes a corpus, prints a table (bench/run).
bench:
	bench/run

clean:
	rm -rf build
