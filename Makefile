# Brevio: the two commands a machine needs are `make run` and `make test`.
# Both install any missing Debian packages first.

BUILD_TEST    ?= build/test
BUILD_RELEASE ?= build/release
BUILD_BENCH   ?= build/bench
BUILD_TSAN    ?= build/tsan
JOBS          ?= $(shell nproc)
CMAKE_COMMON  := -G Ninja -Wno-dev

# Let ccache share results between checkouts in different folders (CI builds
# a fresh clone): paths below the checkout are hashed relative to it.
export CCACHE_BASEDIR   := $(CURDIR)
export CCACHE_NOHASHDIR := 1

.PHONY: all deps build build-test test test-long test-tsan run bench package clean fuzz

all: build

deps:
	@bash scripts/install-deps.sh

# Release build of the programs (what `make run` starts).
build: deps
	cmake -S . -B $(BUILD_RELEASE) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVIO_TESTS=OFF
	cmake --build $(BUILD_RELEASE) -j $(JOBS)

# The Debian package of the release build: $(BUILD_RELEASE)/brevio_<version>_<arch>.deb.
package: build
	cd $(BUILD_RELEASE) && cpack -G DEB
	@ls $(BUILD_RELEASE)/brevio_*.deb

# Builds and starts Brevio (with the demo document camera when no camera is attached).
run: build
	@bash scripts/run-brevio.sh $(BUILD_RELEASE)/bin

# Every suite runs in one build with AddressSanitizer and UndefinedBehaviorSanitizer.
build-test: deps
	cmake -S . -B $(BUILD_TEST) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DBREVIO_SANITIZE=ON \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g"
	cmake --build $(BUILD_TEST) -j $(JOBS)

# Suites labelled `long` (a minute of recording, a hundred killed
# recordings: about half an hour) run with `make test-long`.
test: build-test
	cd $(BUILD_TEST) && ctest --output-on-failure -j $(JOBS) --timeout 600 -LE long

test-long: build-test
	cd $(BUILD_TEST) && ctest --output-on-failure -L long

# The threaded suites (ctest label `tsan`: camera streaming, recorders,
# platform messages) built and run with ThreadSanitizer.
TSAN_SUITES := test_camera test_media test_platform
test-tsan: deps
	cmake -S . -B $(BUILD_TSAN) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DBREVIO_TSAN=ON \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g"
	cmake --build $(BUILD_TSAN) -j $(JOBS) --target $(TSAN_SUITES)
	cd $(BUILD_TSAN) && ctest --output-on-failure -j $(JOBS) --timeout 600 -L tsan

# Longer fuzzing of every reader of outside input: FUZZ_SECONDS per target,
# a new random seed each time; found inputs stay in $(BUILD_TEST)/fuzz/corpus.
FUZZ_SECONDS ?= 120
fuzz: deps
	sh tests/fuzz/run-fuzz.sh all $(BUILD_TEST)/fuzz $(FUZZ_SECONDS)

# Speed measurements (Google Benchmark), optimised and without sanitizers.
bench: deps
	cmake -S . -B $(BUILD_BENCH) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release -DBREVIO_BENCH=ON -DBREVIO_TESTS=OFF
	cmake --build $(BUILD_BENCH) -j $(JOBS)
	@echo "Benchmark programs are in $(BUILD_BENCH)/bin (bench_*)."

# Builds and runs every benchmark program and prints one Markdown table of
# ours against the peers (OpenCV single-threaded, the frame's memcpy).
bench-report: bench
	@python3 scripts/bench-report.py $(BUILD_BENCH)/bin

clean:
	rm -rf build
