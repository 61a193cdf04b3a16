# The two commands of the README: `make run` and `make test`. Everything else is a helper.
#
#   make run                       install what is missing, build (Release) and start the program
#   make test                      install what is missing, build and run the whole test suite
#   make test SANITIZE=address,undefined   the same in its own folder, with sanitizers
#   make build | make bench | make clean

SANITIZE ?=
ifeq ($(strip $(SANITIZE)),)
BUILD_DIR ?= build
BUILD_TYPE ?= Release
else
BUILD_DIR ?= build-sanitize
BUILD_TYPE ?= Debug
endif
WERROR ?= $(if $(CI),ON,OFF)
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DPERCOLATION_WERROR=$(WERROR) \
              -DPERCOLATION_SANITIZE=$(SANITIZE)

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@scripts/run.sh $(BUILD_DIR)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench:
	@$(MAKE) --no-print-directory build SANITIZE= BUILD_DIR=build BUILD_TYPE=Release
	@scripts/bench.sh build

clean:
	rm -rf build build-sanitize
