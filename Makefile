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

# The Release suite (the plain loops against the same pinned frames among it, as the CTest
# entry check_plain), the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# then a bounded run of every fuzzer.
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)
	tools/check-sanitized.sh
	tools/fuzz.sh $(FUZZ_SECONDS)
	$(MAKE) test-web

clean:
	rm -rf $(BUILD) $(BUILD)-plain build-asan build-fuzz build-web

# The web edition: the same sources with emscripten into build-web/site/, from the native build's
# assets; its checks (the node digest, the page in headless Chromium) are part of `make test`.
.PHONY: setup-web web serve-web test-web

setup-web:
	@tools/setup-deps.sh tools/packages-web.txt

web: build setup-web
	tools/web.sh

serve-web: web
	@echo "Glasswhirligo on http://127.0.0.1:8017/ (Ctrl-C stops the server)"
	python3 -m http.server 8017 --bind 127.0.0.1 --directory build-web/site

test-web: build setup-web
	tools/check-web.sh
