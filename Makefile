# Entry points for people and CI. `make run` and `make test` work on a fresh
# Debian 12 machine as root: both install what they need first.

PRESET ?= default
BUILD  := build/$(PRESET)
CLI    := $(BUILD)/src/cli/marlow-cli
DEMO   := build/demo

.PHONY: all deps configure build programs run run-gui run-panel test asan fuzz-smoke bench format format-check lint clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

# What `make run`, `make run-gui` and `make run-panel` run: the command-line tool, the stand-in
# vendor library and the window program; `make test` builds the rest.
PROGRAMS := marlow-cli IFWD_DownloadDll marlow

programs: configure
	@cmake --build --preset $(PRESET) --target $(PROGRAMS)

run: programs
	@scripts/demo $(CLI) $(DEMO)

run-gui: programs
	@scripts/run-gui $(BUILD)

run-panel: programs
	@scripts/run-gui --panel $(BUILD) build/demo-panel

test: build
	@ctest --preset $(PRESET)

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

fuzz-smoke: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz --target fuzzers
	@scripts/fuzz-smoke build/fuzz $${FUZZ_SECONDS:-20}

bench: build
	@scripts/bench $(BUILD)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails, listing the places, when a file is not as clang-format would leave it.
format-check: deps
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# clang-tidy over the default build's files (.clang-tidy); needs the build's
# compile_commands.json and generated headers.
lint: build
	@scripts/lint $(BUILD)

clean:
	rm -rf build
