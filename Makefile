# The README's commands: `make test` and `make demo`.
BUILD_DIR ?= build
SANITIZE_DIR ?= build-sanitize
JOBS ?= $(shell nproc)

DEMO_HOME ?= $(CURDIR)/$(BUILD_DIR)/demo-home

.PHONY: deps configure build test test-sanitize clean demo

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DBUILD_BENCHMARKS=OFF >/dev/null
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && ctest --output-on-failure -j $(JOBS)

# Converts the example documents in a fresh $(DEMO_HOME) and prints what the
# library reads back from the native files.
demo: build
	examples/run-demo $(BUILD_DIR) $(DEMO_HOME)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR)

FUZZ_DIR ?= build-fuzz
.PHONY: fuzz fuzz-smoke
fuzz: deps
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DBUILD_FUZZERS=ON >/dev/null
	cmake --build $(FUZZ_DIR) -j $(JOBS)

fuzz-smoke: fuzz
	scripts/fuzz-smoke $(FUZZ_DIR)
