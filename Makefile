# Vantrel: `make run` builds and starts the program, `make test` builds and runs every test.
# Both install what is missing from Debian's packages first (make deps).

BUILD   ?= build
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# A compiler cache, when one is installed, makes rebuilds in several checkouts cheap.
CCACHE := $(shell command -v ccache 2>/dev/null)
ifneq ($(CCACHE),)
CMAKE_FLAGS += -DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE)
endif

# Debian packages the build, the tests, the benchmarks and the release packages need
# (clang-format checks the sources' layout; ansible checks the playbook export; dpkg-dev,
# lintian, desktop-file-utils, man-db, zip and unzip make and check the packages; samba, smbclient, samba-testsuite and python3-samba give the Samba
# tests a real smbd, its testparm and smbcontrol, and smbtorture's SMB2 client).
PACKAGES = build-essential cmake pkg-config clang-format googletest libgtest-dev libgmock-dev libbenchmark-dev \
           libfltk1.3-dev xvfb xauth xdotool wine64 g++-mingw-w64-x86-64 libpugixml-dev libxml2-dev clang libclang-rt-14-dev \
           ansible dpkg-dev lintian desktop-file-utils man-db zip unzip \
           samba smbclient samba-testsuite python3-samba

.PHONY: all deps configure build test run dist bench fuzz asan clean format

all: build

deps:
	@scripts/install-deps.sh $(PACKAGES)

# The build in $(BUILD) (the tests, make run and the .deb): -O2 as before, but without debug
# information, which doubled the compile time of the test sources, the better part of make test
# on a fresh machine. For a debugger: make BUILD_FLAGS='-DCMAKE_BUILD_TYPE=RelWithDebInfo'.
BUILD_FLAGS ?= -DCMAKE_BUILD_TYPE=Release '-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG' '-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG'

configure: deps
	@cmake -S . -B $(BUILD) $(BUILD_FLAGS) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Every test, the desktop tests again under AddressSanitizer, then a short run of each fuzz
# target (each must come back clean).
TEST_FUZZ_SECONDS ?= 20
test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600
	@$(MAKE) --no-print-directory asan
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(TEST_FUZZ_SECONDS)

# Lays out every tracked source as .clang-format says; make test fails on a file that drifts.
format: deps
	@git ls-files -z --cached --others --exclude-standard -- '*.h' '*.cpp' '*.hpp' '*.cc' | xargs -0 -r clang-format-14 --style=file -i

# Only what the run starts: the window program, and vantrelctl that shows the rows without a
# display. The tests and the Windows cross build wait for make test.
run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target vantrel vantrelctl
	@scripts/run.sh $(BUILD)

# The release artifacts in dist/: the Windows zip (a Release cross build of the two programs in
# $(BUILD)-windows, no tests) and the .deb (from $(BUILD)), which must pass lintian.
DIST ?= dist
dist: configure
	@cmake --build $(BUILD) -j $(JOBS) --target vantrel vantrelctl
	@cmake -S . -B $(BUILD)-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DVANTREL_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-windows -j $(JOBS) --target vantrel vantrelctl
	@packaging/build-packages.sh zip $(BUILD)-windows $(DIST)
	@deb=$$(packaging/build-packages.sh deb $(BUILD) $(DIST)) && echo "$$deb" && lintian --fail-on error "$$deb"

bench: deps
	@cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DVANTREL_BENCH=ON -DVANTREL_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS)
	@for b in $(BUILD)-bench/bench/*_bench; do echo "== $$b"; $$b || exit 1; done

# The libFuzzer targets (fuzz/<name>_fuzz.cpp, seeds in fuzz/corpus/<first word of name>) under
# AddressSanitizer and UndefinedBehaviorSanitizer (clang), FUZZ_SECONDS each, JOBS of them at a
# time; pick some with FUZZ_TARGETS, e.g. `make fuzz FUZZ_TARGETS=store_file`.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= xml_parse store_file picture journal_entry smb_conf settings_text
fuzz: deps
	@cmake -S . -B $(BUILD)-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVANTREL_FUZZ=ON \
	  -DVANTREL_TESTS=OFF -DVANTREL_WERROR=OFF "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined" >/dev/null
	@cmake --build $(BUILD)-fuzz -j $(JOBS) --target $(FUZZ_TARGETS:%=%_fuzz)
	@scripts/run-fuzz.sh $(BUILD)-fuzz $(FUZZ_SECONDS) $(JOBS) $(FUZZ_TARGETS)

# The desktop program and its tests built with AddressSanitizer (a debug build: it compiles
# fastest), the desktop tests run on it: a memory fault, or a leak in our code, fails them.
asan: deps
	@cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=Debug -DVANTREL_ASAN=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-asan -j $(JOBS) --target gui_tests
	@cd $(BUILD)-asan && ctest --output-on-failure -L gui --timeout 300

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-fuzz $(BUILD)-asan $(BUILD)-windows $(DIST)
