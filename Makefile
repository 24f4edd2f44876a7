# make run: install what is missing, build and start the program on the sample pictures.
# make test: the whole suite in Release, again under ASan+UBSan, the threaded tests under TSan.
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all build run test deps test-deps bench fuzz format clean

all: build

deps:
	@bash scripts/install-deps.sh

test-deps:
	@bash scripts/install-deps.sh --test

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBMPSPECTRUM_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS)

run: build
	cd samples && ../build/bmpspectrum

test: test-deps
	cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	cmake --build build-test -j $(JOBS)
	cd build-test && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=address,undefined $(CMAKE_FLAGS) >/dev/null
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=thread $(CMAKE_FLAGS) >/dev/null
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && ctest --output-on-failure -j $(JOBS) -L threads --no-tests=ignore

bench: test-deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBMPSPECTRUM_BENCH=ON -DBMPSPECTRUM_TESTS=OFF >/dev/null
	cmake --build build-bench -j $(JOBS) --target bmpspectrum_bench
	build-bench/bench/bmpspectrum_bench

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-test build-asan build-tsan build-bench
