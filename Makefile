# The two commands of the README: `make run` starts the demo, `make test`
# builds everything and runs every test. Both install missing packages first.
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all deps configure build run test bench clean web web-serve

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
	rm -rf $(BUILD) build-web

# The demo as a web page in build-web/ (index.html and what it loads), built
# with Emscripten; copying that folder to a static web host publishes it.
# Emscripten's tools need Debian's Node modules on their path.
web: deps
	@[ -f build-web/CMakeCache.txt ] || NODE_PATH=/usr/share/nodejs emcmake cmake -S . -B build-web \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@NODE_PATH=/usr/share/nodejs cmake --build build-web -j$(JOBS)

# Browsers run WebAssembly only from a web server, not from file://.
web-serve: web
	@echo "http://127.0.0.1:8000/index.html"
	@python3 -m http.server 8000 --bind 127.0.0.1 --directory build-web

# Regenerates the demo's music with the tune generator (needs libmp3lame).
.PHONY: tune
tune: configure
	@cmake -S . -B $(BUILD) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target tunegen
	@$(BUILD)/tools/tunegen/tunegen run/data/sound.mp3

# Regenerates the room's meshes (run/data/xmas/*.obj) with the room generator.
.PHONY: room
room: configure
	@cmake -S . -B $(BUILD) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target roomgen
	@$(BUILD)/tools/roomgen/roomgen run/data/xmas

# A personal greeting: writes DIR as a working directory like run/ whose
# glowing letters say TEXT (see the README). The script gets the values as
# typed, so a '$' in the text is reported, not swallowed. Make itself still
# expands TEXT and DIR when it exports them to the recipes, before any runs:
# a $(...) in them is evaluated (a $(shell ...) runs), as in any variable set
# on make's command line. For such text, call tools/roomgen/make-greeting.sh.
.PHONY: greeting
greeting: export GREETING_TEXT := $(value TEXT)
greeting: export GREETING_DIR := $(value DIR)
greeting: configure
	@cmake -S . -B $(BUILD) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target roomgen
	@tools/roomgen/make-greeting.sh $(BUILD)/tools/roomgen/roomgen run "$$GREETING_TEXT" "$$GREETING_DIR"

# Soak run: the demo for 2,000 frames at a small size under a virtual display
# with random input, watching its memory (tools/soak.sh; not part of test).
.PHONY: soak
soak: build
	@tools/soak.sh $(BUILD)
