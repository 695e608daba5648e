# Thin wrappers around scripts/install-deps, CMake and CTest.
BUILD_DIR    ?= build
SANITIZE_DIR ?= build-sanitize
TSAN_DIR ?= build-tsan
FUZZ_DIR     ?= build-fuzz
JOBS         ?= 2
FUZZ_SECONDS ?= 60
CMAKE_FLAGS  ?=

SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

.PHONY: all deps configure build test run bench deb sanitize tsan fuzz format check-format tidy snapshots translations clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# The format check comes first: it takes seconds, the build minutes.
test: check-format build
	@ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

run: build
	@scripts/run-ferrow $(BUILD_DIR)

bench: build
	@scripts/run-benchmarks $(BUILD_DIR)

# The ferrow and ferrow-server Debian packages, made from the built tree into $(BUILD_DIR)/deb.
deb: build
	@scripts/build-debs $(BUILD_DIR)

sanitize: deps
	@cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFERROW_SANITIZE=ON -DFERROW_BENCH=OFF > /dev/null
	@cmake --build $(SANITIZE_DIR) -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j $(JOBS)

# The core's threads (lanes, relays, program lookups) under ThreadSanitizer: its own and its
# integration tests, which fail on any race the core reports.
tsan: deps
	@cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERROW_TSAN=ON -DFERROW_BENCH=OFF > /dev/null
	@cmake --build $(TSAN_DIR) -j $(JOBS) --target ferrow-core ferrow-server core_unit_tests core_integration_tests protocol_integration_tests
	@TSAN_OPTIONS=halt_on_error=0 ctest --test-dir $(TSAN_DIR) --output-on-failure -j $(JOBS) -R '^Core|^Concurrent|^ConnectionRegistry|^LogStream|^PolicyGroups|^FerrowEndToEnd|^FerrowServer|^UdpAssociate'

fuzz: deps
	@CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERROW_FUZZ=ON > /dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS)
	@scripts/run-fuzzers $(FUZZ_DIR) $(FUZZ_SECONDS)

# Renders every page and the widget gallery, light and dark, to PNG files; then light ones in each
# language of SNAPSHOT_LANGUAGES, into a folder of its own.
SNAPSHOT_LANGUAGES ?= zh_CN fa
snapshots: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target ferrow-snapshot
	@$(BUILD_DIR)/tools/snapshot/ferrow-snapshot $(BUILD_DIR)/snapshots > /dev/null
	@for language in $(SNAPSHOT_LANGUAGES); do \
	  $(BUILD_DIR)/tools/snapshot/ferrow-snapshot --language $$language --scheme light \
	    $(BUILD_DIR)/snapshots/$$language > /dev/null || exit 1; \
	done
	@echo "snapshots: $(BUILD_DIR)/snapshots"

# Refreshes translations/*.ts from the texts in the sources.
translations: configure
	@cmake --build $(BUILD_DIR) --target update_translations

format:
	@clang-format -i $(SOURCES)

check-format: deps
	@clang-format --dry-run --Werror $(SOURCES) || { echo "run 'make format' to fix the formatting"; exit 1; }

tidy: configure
	@clang-tidy -p $(BUILD_DIR) --quiet $(filter %.cpp,$(SOURCES))

clean:
	@rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(TSAN_DIR) $(FUZZ_DIR)
