# The two commands of the README. Everything else is a helper of these.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: test demo setup build build-asan test-asan clean

setup:
	@bash scripts/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure --timeout 600

demo: build
	@bash scripts/demo.sh $(BUILD)

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Asan -DAMB_BUILD_BENCH=OFF $(CMAKE_ARGS)

build-asan: setup $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# The unit tests again, under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: build-asan
	ctest --test-dir $(ASAN_BUILD) -j $(JOBS) -L unit --output-on-failure --timeout 900

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
