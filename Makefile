# make test   set up the machine, build, run every test
# make demo   set up, build what the demo runs, and run an update against a local server
#             (options through ARGS, e.g. make demo ARGS="--mode 3 --skin")
# make bench  set up, build, and run the benchmarks (figures against baselines)
# make report set up, build, run the benchmarks and write docs/performance.md and
#             docs/reliability.md (the latter from the rows of the last test run)
# make faults set up, build, and run the long versions of the fault suites
# make dist   set up, build what is shipped, and write the release archives
#             into $(BUILD)/dist
BUILD ?= build
JOBS ?= $(shell nproc)
export BUILD := $(abspath $(BUILD))

.PHONY: all setup configure build test demo bench report faults dist

all: build

setup:
	@scripts/setup.sh

configure: setup
	@mkdir -p $(BUILD)
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >$(BUILD)/cmake.log 2>&1 || (cat $(BUILD)/cmake.log; false)

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

test: build
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

dist: configure
	@cmake --build $(BUILD) -j$(JOBS) --target dist
