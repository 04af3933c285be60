# The two commands: `make run` and `make test`. Both install what is missing
# and configure first; `make run` builds only the viewer and what it links,
# `make test` everything.
MAKEFLAGS += --no-print-directory
BUILD ?= build
JOBS ?= 2
SECONDS_TO_FUZZ ?= 60

.PHONY: all deps configure build run test bench fuzz format format-check clean

all: build

deps:
	@tools/install-deps.sh

configure: deps
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: configure
	@cmake --build $(BUILD) --target celshade -j$(JOBS)
	@tools/run-viewer.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

bench: build
	@tools/run-bench.sh $(BUILD)

fuzz:
	@tools/install-deps.sh --fuzz
	@tools/run-fuzz.sh $(SECONDS_TO_FUZZ)

# The layout of .clang-format over every C and C++ file git tracks: `format`
# rewrites them, `format-check` lists what differs and fails if anything does.
FORMAT_FILES = $(shell git ls-files '*.c' '*.cpp' '*.h')

format: deps
	@clang-format -i $(FORMAT_FILES)

format-check: deps
	@clang-format --dry-run -Werror $(FORMAT_FILES)

clean:
	rm -rf $(BUILD)
