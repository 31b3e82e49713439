# Thin wrapper over CMake. `make run` and `make test` install what is missing, build, and run.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
FILE ?=

.PHONY: build deps configure run test bench clean

build: deps configure
	cmake --build $(BUILD) -j$(JOBS)

deps:
	@./scripts/install-deps.sh

configure:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null

run: build
	./$(BUILD)/zuvelo-pgp $(FILE)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

bench: deps
	cmake -S . -B $(BUILD)-release -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD)-release -j$(JOBS)
	@if [ -x bench/run.sh ]; then bench/run.sh $(BUILD)-release; else echo "no benchmarks yet"; fi

clean:
	rm -rf $(BUILD) $(BUILD)-release
