# Thin wrapper over CMake: `make run` and `make test` work on a fresh Debian machine.
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: setup setup-all compile build run test clean

setup:
	@tools/setup-deps.sh

# Every package list of the project at once: the native build's and each edition's.
setup-all:
	@tools/setup-deps.sh $(wildcard tools/packages*.txt)

compile:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j$(JOBS)

build: setup
	@$(MAKE) --no-print-directory compile

run: build
	cd $(BUILD) && ./glasswhirligo $(ARGS)

# Stage by stage, each timed (tools/stage.sh prints the table at the end, or where one fails):
# the packages; the native build; the Release suite (with the plain-loop frame check, CTest's
# check_plain); the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer; a bounded
# run of every fuzzer; the web edition's checks; the arm64 and armhf builds' processor-dependent
# tests under the emulator; the three packages, and the amd64 one unpacked and played from
# elsewhere; the Windows edition under Wine; the portable Linux archives in a bare root; the
# release folder gathered from all of it and checked.
STAGE_LOG = $(BUILD)-stages.tsv
STAGE = @tools/stage.sh $(STAGE_LOG)
test:
	@rm -f $(STAGE_LOG)
	$(STAGE) "packages" $(MAKE) --no-print-directory setup-all
	$(STAGE) "native build" $(MAKE) --no-print-directory compile
	$(STAGE) "Release suite" ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)
	$(STAGE) "ASan+UBSan suite" tools/check-sanitized.sh
	$(STAGE) "fuzzing" tools/fuzz.sh $(FUZZ_SECONDS)
	$(STAGE) "web edition" tools/check-web.sh
	$(STAGE) "arm64 under the emulator" $(MAKE) --no-print-directory cross-test ARCH=arm64
	$(STAGE) "armhf under the emulator" $(MAKE) --no-print-directory cross-test ARCH=armhf
	$(STAGE) "Debian packages" $(MAKE) --no-print-directory package
	$(STAGE) "installed package" tools/check-package.sh \
	  build-packages/glasswhirligo_*_$$(dpkg --print-architecture).deb $(BUILD)
	$(STAGE) "Windows under Wine" $(MAKE) --no-print-directory test-windows
	$(STAGE) "portable Linux archives" $(MAKE) --no-print-directory test-portable
	$(STAGE) "release folder" $(MAKE) --no-print-directory test-release
	@tools/stage.sh $(STAGE_LOG) --report

clean:
	rm -rf $(BUILD) $(BUILD)-plain $(STAGE_LOG) build-asan build-fuzz build-web build-web-plain build-arm64 build-armhf build-packages \
	  build-windows build-release

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

# ---- Cross builds and Debian packages ----
# make cross ARCH=arm64|armhf builds the program, its package's files and the tests it runs under
# the emulator (CMake's arch_checks) into build-$(ARCH), against a sysroot unpacked from the
# target's Debian packages; its programs run under qemu-user (`cmake --build build-$(ARCH)`
# builds the rest). The song comes from the native build: every package ships the same bytes.
ARCH ?= arm64
CROSS_BUILD = build-$(ARCH)
PACKAGE_ARCHES = arm64 armhf

.PHONY: setup-cross native-song cross cross-test package

setup-cross: setup
	@tools/setup-deps.sh tools/packages-cross.txt

native-song: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j$(JOBS) --target demosong

cross: setup-cross native-song
	tools/cross-sysroot.sh $(ARCH) $(CROSS_BUILD)/sysroot
	cmake -S . -B $(CROSS_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=toolchains/$(ARCH).cmake -DGW_SYSROOT=$(CURDIR)/$(CROSS_BUILD)/sysroot \
	  -DGW_SONG_FILE=$(CURDIR)/$(BUILD)/demosong.ogg
	cmake --build $(CROSS_BUILD) -j$(JOBS) --target arch_checks

# The cross build's processor-dependent tests (CTest label arch) under the emulator.
cross-test: cross
	ctest --test-dir $(CROSS_BUILD) --output-on-failure -j$(JOBS) -L arch

# One .deb for this machine and one for each cross build, in build-packages/, checked by lintian.
package: build setup-cross
	$(foreach arch,$(PACKAGE_ARCHES),$(MAKE) cross ARCH=$(arch) &&) true
	rm -rf build-packages
	for dir in $(BUILD) $(PACKAGE_ARCHES:%=build-%); do \
	  cpack --config $$dir/CPackConfig.cmake -B build-packages/$$dir >/dev/null || exit 1; \
	  mv build-packages/$$dir/*.deb build-packages/ && rm -rf build-packages/$$dir; done
	lintian --fail-on error --tag-display-limit 0 build-packages/*.deb

# ---- Windows ----
# make windows builds the Windows edition with mingw-w64 into build-windows/ and packs
# build-windows/glasswhirligo-1.0.0-win64.zip (the program, and fonts16.bin and demosong.ogg from
# the native build). test-windows plays it under Wine: the digest without a display, the window
# on Xvfb (tools/check-windows.sh).
.PHONY: setup-windows windows test-windows

setup-windows: setup
	@tools/setup-deps.sh tools/packages-windows.txt

windows: build setup-windows
	NATIVE_BUILD=$(BUILD) tools/windows.sh

test-windows: build setup-windows
	NATIVE_BUILD=$(BUILD) tools/check-windows.sh

# ---- The release ----
# make portable packs glasswhirligo-VERSION-linux-x86_64.tar.gz and -aarch64.tar.gz into
# build-release/portable/ (tools/portable.py), from the native and the arm64 build; test-portable
# plays each in a bare root of only what every desktop Linux has (tools/check-portable.sh; the
# roots are unpacked from Debian's packages into build-release/bare-ARCH once).
# make release gathers every download into build-release/glasswhirligo-VERSION/ with SHA256SUMS,
# building what is missing (the packages only when build-packages/ has none); test-release checks
# the folder. make video captures the whole show at 2880x2160 (not part of make test).
RELEASE = build-release
.PHONY: portable test-portable release test-release video

portable: build setup-cross
	$(MAKE) --no-print-directory cross ARCH=arm64
	python3 tools/portable.py $(BUILD) $(RELEASE)/portable
	python3 tools/portable.py build-arm64 $(RELEASE)/portable

test-portable: portable
	tools/cross-sysroot.sh amd64 $(RELEASE)/bare-amd64 tools/bare-packages.txt
	tools/cross-sysroot.sh arm64 $(RELEASE)/bare-arm64 tools/bare-packages.txt
	tools/check-portable.sh $(RELEASE)/portable/glasswhirligo-*-linux-x86_64.tar.gz $(RELEASE)/bare-amd64 \
	  $(BUILD)/libgw_frame_counter.so
	tools/check-portable.sh $(RELEASE)/portable/glasswhirligo-*-linux-aarch64.tar.gz $(RELEASE)/bare-arm64 \
	  build-arm64/libgw_frame_counter.so

release: build setup-windows setup-web portable
	NATIVE_BUILD=$(BUILD) tools/windows.sh
	NATIVE_BUILD=$(BUILD) tools/web.sh
	ls build-packages/*.deb >/dev/null 2>&1 || $(MAKE) --no-print-directory package
	tools/release.sh $(BUILD)

test-release: release
	tools/check-release.sh $(BUILD)

video: build
	mkdir -p $(RELEASE)/video
	cd $(BUILD) && version=$$(cat version.txt) && \
	  ./glasswhirligo-capture --scale 9 -o $(CURDIR)/$(RELEASE)/video/glasswhirligo-$$version-2880x2160.mp4 && \
	  cd $(CURDIR)/$(RELEASE)/video && sha256sum glasswhirligo-$$version-2880x2160.mp4 \
	    >glasswhirligo-$$version-2880x2160.mp4.sha256
	@ls -l $(RELEASE)/video
