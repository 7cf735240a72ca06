# The two commands of the README. Everything else is a helper of these.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
WIN_BUILD  ?= build-win
FUZZ_BUILD ?= build-fuzz
# Seconds each libFuzzer target runs for (`make fuzz`); FUZZ_BUDGET=N shares N seconds among all.
FUZZ_SECONDS ?= 10
FUZZ_BUDGET  ?=
# Libraries built for mingw, outside the clone (scripts/build-mingw-deps.sh).
MINGW_CACHE ?= $(or $(AMBT_MINGW_CACHE),$(HOME)/.cache/ambertrail-mingw)
# Every unit test program the Windows build makes runs under Wine (a test folder that cannot work
# there yet leaves itself out of that build).
WIN_TEST_LABELS ?= ^unit$$

.PHONY: test demo setup build build-asan test-asan build-tsan test-tsan setup-windows mingw-deps windows test-windows linux-double fuzz build-fuzz clean

setup:
	@bash scripts/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure --timeout 600

# The main job builds only what it runs: the program with its packaged download server, its airport
# list and JFK's archived airport file, the AI package, the two doubles, the map tool, the count of
# static and live aircraft on one stand, and JFK's learned airport file.
DEMO_TARGETS ?= Ambertrail_P3D amb_server_folder amb_airport_data amb_ailib_folder amb_simdouble trafficdouble \
  amb_tracemap amb_standpairs amb_learned_jfk

demo: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target $(DEMO_TARGETS)
	@bash scripts/demo.sh $(BUILD)

# The sanitizer runs leave out tests that gain nothing from a sanitizer and take long under one;
# `make test` runs every test. Under both: the whole-recording replays, single-threaded engine runs of
# minutes each under a sanitizer.
SAN_SKIP  ?= ^Jfk(Replay|ReplayUserAloft|ReplayHabits|Ground)[./]
# Under ThreadSanitizer also the suites that run the engine on the test's own thread in virtual time
# (label virtual-time: the engine's suites and the parking days), with no second thread to race,
# but for those that start threads of their own (TSAN_THREADED). The engine's threads also meet in
# the application's end-to-end tests.
TSAN_SKIP_LABELS ?= ^virtual-time$$
TSAN_THREADED    ?= ^Removals\.

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Asan -DAMB_BUILD_BENCH=OFF $(CMAKE_ARGS)

build-asan: setup $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# The unit tests again, under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: build-asan
	ctest --test-dir $(ASAN_BUILD) -j $(JOBS) -L unit -E '$(SAN_SKIP)' --output-on-failure --timeout 900

$(TSAN_BUILD)/build.ninja:
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Tsan -DAMB_BUILD_BENCH=OFF $(CMAKE_ARGS)

build-tsan: setup $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS)

# The unit tests and the application's end-to-end tests under ThreadSanitizer; any report fails.
test-tsan: build-tsan
	TSAN_OPTIONS="$${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1}" \
	  ctest --test-dir $(TSAN_BUILD) -j $(JOBS) -L '^unit$$|^app$$' -LE '$(TSAN_SKIP_LABELS)' -E '$(SAN_SKIP)' \
	  --output-on-failure --timeout 900
	TSAN_OPTIONS="$${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1}" \
	  ctest --test-dir $(TSAN_BUILD) -j $(JOBS) -L '$(TSAN_SKIP_LABELS)' -R '$(TSAN_THREADED)' -E '$(SAN_SKIP)' \
	  --output-on-failure --timeout 900

# The libFuzzer targets (fuzz/): a clang build of its own with AddressSanitizer and
# UndefinedBehaviorSanitizer; warnings that only clang gives do not stop it.
$(FUZZ_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Fuzz -DAMB_FUZZ=ON \
	  -DAMB_WERROR=OFF -DAMB_BUILD_TESTS=OFF -DAMB_BUILD_BENCH=OFF -DAMB_BUILD_TOOLS=OFF $(CMAKE_ARGS)

build-fuzz: setup $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target amb_fuzz_targets

fuzz: build-fuzz
	@FUZZ_BUDGET='$(FUZZ_BUDGET)' bash scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The Windows cross build (mingw-w64): the libraries are built once into a cache outside the clone.
setup-windows:
	@bash scripts/setup.sh windows

mingw-deps: setup-windows
	@AMBT_MINGW_CACHE='$(MINGW_CACHE)' bash scripts/build-mingw-deps.sh

$(WIN_BUILD)/build.ninja:
	cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64.cmake -DAMB_BUILD_BENCH=OFF \
	  -DAMB_MINGW_PREFIX='$(MINGW_CACHE)/prefix' $(CMAKE_ARGS)

windows: mingw-deps $(WIN_BUILD)/build.ninja
	cmake --build $(WIN_BUILD) -j $(JOBS)

# The .exe tests under Wine, in a fresh Wine prefix inside the build folder, then the smoke test of
# the program, which also talks to the Linux build's simulator double over TCP.
test-windows: windows linux-double
	@AMBT_LINUX_SIMDOUBLE='$(CURDIR)/$(BUILD)/tools/simdouble/amb_simdouble' \
	  bash scripts/test-windows.sh $(WIN_BUILD) '$(WIN_TEST_LABELS)'

linux-double: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target amb_simdouble amb_ailib_folder

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(WIN_BUILD) $(FUZZ_BUILD)
