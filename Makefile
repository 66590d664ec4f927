# Thin front end over CMake. `make demo` and `make test` are the two Quick start commands.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
CTEST = ctest --output-on-failure -j $(JOBS)

.PHONY: all deps configure build demo test test-normal test-asan test-tsan bench clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	cmake -S . -B build -G Ninja -DTIDEWAVE_WERROR=ON -DTIDEWAVE_BUILD_BENCH=OFF $(CMAKE_FLAGS)

build: configure
	cmake --build build -j $(JOBS)

# Builds and runs the gateway simulator with the sample configuration.
demo: configure
	cmake --build build -j $(JOBS) --target tidewave-gwsim
	TIDEWAVE_CONFIG=$(CURDIR)/config/tidewave.properties ./build/tools/tidewave-gwsim

# The whole suite: normal build (GCC), AddressSanitizer+UBSan build (clang, so that the
# tree is also checked warning-free with the second compiler), and the threaded tests again
# under ThreadSanitizer (GCC).
test: deps test-normal test-asan test-tsan
	@echo "All test configurations passed."

test-normal: build
	cd build && $(CTEST)

test-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTIDEWAVE_WERROR=ON \
	  -DCMAKE_CXX_COMPILER=clang++ -DTIDEWAVE_SANITIZE=address -DTIDEWAVE_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:strict_init_order=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 $(CTEST)

test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTIDEWAVE_WERROR=ON \
	  -DTIDEWAVE_SANITIZE=thread -DTIDEWAVE_BUILD_TESTS=ON -DTIDEWAVE_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(CTEST) -L threaded

bench: deps
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIDEWAVE_BUILD_BENCH=ON $(CMAKE_FLAGS)
	cmake --build build-release -j $(JOBS) --target tidewave-bench
	./build-release/bench/tidewave-bench

clean:
	rm -rf build build-asan build-tsan build-release
