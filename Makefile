# The two commands a new user runs: `make run` and `make test`.
.PHONY: run test deps build clean

deps:
	@scripts/install-deps

build: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev

run: build
	./build/dev/src/cli/emlx2eml --help

test: build
	ctest --preset dev

clean:
	rm -rf build
