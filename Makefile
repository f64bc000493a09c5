# Tabrivo: one-command set-up on Debian 12 (run as root, or with sudo available).
#   make run   - install missing packages, build (Release), start the window; without a
#                display, convert the samples or ARGS="files..." with the command-line converter
#   make test  - install missing packages, build, run the whole suite with ctest
#   make test-sanitize - the same suite built with AddressSanitizer and UBSan

BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
ARGS ?=
# Extra cmake options, e.g. CMAKE_ARGS=-DTABRIVO_WERROR=ON as CI passes.
CMAKE_ARGS ?=

# Debian packages the build and the tests need.
DEB_PACKAGES := build-essential cmake ninja-build pkg-config python3 \
	libgumbo-dev libicu-dev libuchardet-dev zlib1g-dev libbrotli-dev libgtest-dev libgmock-dev \
	qt6-base-dev qt6-qpa-plugins libxcb1-dev fonts-liberation strace \
	help2man lintian appstream desktop-file-utils bash-completion clang-format git jq wget \
	pybind11-dev python3-dev python3-pytest python3-pandas python3-lxml python3-distributed

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps configure build run test test-sanitize lint clean

all: build

deps:
	@missing=""; \
	for p in $(DEB_PACKAGES); do \
		dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
		echo "Installing:$$missing"; \
		$(SUDO) apt-get update -q && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends $$missing; \
	fi

$(BUILD_DIR)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS)

configure: deps $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
		"$(BUILD_DIR)/bin/tabrivo"; \
	else \
		echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset): converting with tabrivo-convert instead."; \
		./scripts/run-samples.sh "$(BUILD_DIR)" $(ARGS); \
	fi

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# What CI checks before building: formatting, no Qt in the Qt-free libraries.
lint: deps
	./scripts/lint.sh

# The whole suite once more under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake --preset sanitize $(CMAKE_ARGS)
	cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) build-sanitize
