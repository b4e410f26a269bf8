# Thin wrapper over CMake: `make run` and `make test` work on a fresh Debian machine.
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: setup build run test clean

setup:
	@tools/setup-deps.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j$(JOBS)

run: build
	cd $(BUILD) && ./glasswhirligo $(ARGS)

# The Release suite, the plain loops against the same pinned frames, the whole suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, then a bounded run of every fuzzer.
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)
	tools/check-plain.sh
	tools/check-sanitized.sh
	tools/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) build-plain build-asan build-fuzz
