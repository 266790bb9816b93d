# The two commands of the README: `make run` starts the demo, `make test`
# builds everything and runs every test. Both install missing packages first.
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@tools/install-deps.sh

configure: deps
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@tools/run-demo.sh $(BUILD)

test: build
	@tools/run-tests.sh $(BUILD)

bench: build
	@tools/run-benchmarks.sh $(BUILD)

clean:
	rm -rf $(BUILD)
