# Vantrel: `make run` builds and starts the program, `make test` builds and runs every test.
# Both install what is missing from Debian's packages first (make deps).

BUILD   ?= build
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

# Debian packages the build, the tests and the benchmarks need.
PACKAGES = build-essential cmake pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev \
           libfltk1.3-dev xvfb xauth xdotool wine64 g++-mingw-w64-x86-64 libpugixml-dev libxml2-dev

.PHONY: all deps configure build test run bench clean

all: build

deps:
	@scripts/install-deps.sh $(PACKAGES)

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

run: build
	@scripts/run.sh $(BUILD)

bench: deps
	@cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DVANTREL_BENCH=ON -DVANTREL_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS)
	@for b in $(BUILD)-bench/bench/*_bench; do echo "== $$b"; $$b || exit 1; done

clean:
	rm -rf $(BUILD) $(BUILD)-bench
