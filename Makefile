# make test   set up the machine, build, run every test
# make demo   set up, build what the demo runs, and run an update against a local server
#             (options through ARGS, e.g. make demo ARGS="--mode 3 --skin")
# make bench  set up, build, and run the benchmarks (figures against baselines)
# make report set up, build, run the benchmarks and write docs/performance.md and
#             docs/reliability.md (the latter from the rows of the last test run)
# make faults set up, build, and run the long versions of the fault suites
# make dist   set up, build what is shipped for x64 and x86, and write the
#             release archives into $(BUILD)/dist
# The 32-bit (i686) build is its own folder, $(BUILD_X86); make test builds
# there what the end-to-end acceptance suites run and runs them on it too.
BUILD ?= build
JOBS ?= $(shell nproc)
export BUILD := $(abspath $(BUILD))
BUILD_X86 ?= $(BUILD)/x86
override BUILD_X86 := $(abspath $(BUILD_X86))

.PHONY: all setup configure configure-x86 build build-x86 test demo bench report faults dist

all: build

setup:
	@scripts/setup.sh

configure: setup
	@mkdir -p $(BUILD)
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DX86_BUILD_DIR=$(BUILD_X86) >$(BUILD)/cmake.log 2>&1 || (cat $(BUILD)/cmake.log; false)

configure-x86: setup
	@mkdir -p $(BUILD_X86)
	@cmake -S . -B $(BUILD_X86) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DDIST_DIR=$(BUILD)/dist >$(BUILD_X86)/cmake.log 2>&1 || (cat $(BUILD_X86)/cmake.log; false)

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

build-x86: configure-x86
	@cmake --build $(BUILD_X86) -j$(JOBS) --target acceptance_programs

test: build build-x86
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 600

demo: configure
	@cmake --build $(BUILD) -j$(JOBS) --target demo_programs
	@/usr/bin/python3 tools/demo/demo.py $(ARGS)

bench: build
	@bench/run_all.sh

report: build
	@tools/report/report.sh
faults: build
	@cd $(BUILD) && FAULTS_FULL=1 ctest --output-on-failure -R '^e2e_faults_' --timeout 1200

dist: configure configure-x86
	@cmake --build $(BUILD) -j$(JOBS) --target dist
	@cmake --build $(BUILD_X86) -j$(JOBS) --target dist
