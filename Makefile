# make run: install what is missing, build and start the program on the sample pictures.
# make windows: build-win/bmpspectrum.exe for 64-bit Windows, cross-built with mingw-w64.
# make install / make uninstall: the program, its manual, messages, desktop entry, icon and
# completion under PREFIX (default /usr/local), staged below DESTDIR when it is set.
# make package: build-package/bmpspectrum_VERSION_ARCH.deb, with Debian's hardening flags.
# make windows-package: build-win/bmpspectrum-VERSION-win64.zip (the exe, README, LICENSE and
# SHA256SUMS).
# make test: the whole suite in Release (with the Windows build under Wine beside the Linux one),
# again under ASan+UBSan, the threaded tests under TSan, then the Windows unit tests under Wine.
JOBS ?= 2
PREFIX ?= /usr/local
BUILD_DIR ?= build
CMAKE_FLAGS ?=
WINDOWS_CONFIGURE = cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release

.PHONY: all build install uninstall package windows-package run test deps test-deps bench-deps \
  package-deps windows-deps windows bench fuzz format clean

all: build

deps:
	@bash scripts/install-deps.sh

test-deps:
	@bash scripts/install-deps.sh --test

bench-deps:
	@bash scripts/install-deps.sh --bench

windows-deps:
	@bash scripts/install-deps.sh --windows

package-deps:
	@bash scripts/install-deps.sh --package

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBMPSPECTRUM_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS)

install: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBMPSPECTRUM_TESTS=OFF \
	  -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS)
	DESTDIR=$(DESTDIR) cmake --install build

# Removes exactly the files make install wrote (CMake lists them as it installs, without DESTDIR).
uninstall:
	@test -f $(BUILD_DIR)/install_manifest.txt || \
	  { echo "uninstall: nothing was installed from $(BUILD_DIR)/" >&2; exit 1; }
	sed 's|^|$(DESTDIR)|' $(BUILD_DIR)/install_manifest.txt | xargs -d '\n' rm -f --

# The .deb, compiled as Debian compiles its own packages (dpkg-buildflags, all hardening on).
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
package: package-deps
	cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DBMPSPECTRUM_TESTS=OFF \
	  -DCMAKE_INSTALL_PREFIX=/usr \
	  -DCMAKE_C_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CFLAGS)" \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" $(CMAKE_FLAGS) >/dev/null
	cmake --build build-package -j $(JOBS)
	cd build-package && cpack -G DEB

windows-package: windows
	cd build-win && cpack -G ZIP

# The exe links everything statically: it needs no DLL beyond Windows' own. Its icon is drawn
# by the Linux program, built for that in build/.
windows: windows-deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBMPSPECTRUM_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS) --target icon
	$(WINDOWS_CONFIGURE) -DBMPSPECTRUM_TESTS=OFF \
	  -DBMPSPECTRUM_ICON=$(CURDIR)/build/icons/bmpspectrum.ico >/dev/null
	cmake --build build-win -j $(JOBS) --target bmpspectrum

run: build
	cd samples && ../build/bmpspectrum

# What the sanitizers may ignore in libraries that are not ours: the test runs' own business.
SANITIZER_SUPPRESSIONS = $(CURDIR)/tests/support/sanitizers
test: test-deps
	cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Release \
	  -DBMPSPECTRUM_WINDOWS_EXE=$(CURDIR)/build-win/bmpspectrum.exe $(CMAKE_FLAGS) >/dev/null
	cmake --build build-test -j $(JOBS) --target icon
	$(WINDOWS_CONFIGURE) -DBMPSPECTRUM_TESTS=ON \
	  -DBMPSPECTRUM_ICON=$(CURDIR)/build-test/icons/bmpspectrum.ico >/dev/null
	cmake --build build-win -j $(JOBS)
	cmake --build build-test -j $(JOBS)
	cd build-test && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=address,undefined $(CMAKE_FLAGS) >/dev/null
	cmake --build build-asan -j $(JOBS)
	cd build-asan && LSAN_OPTIONS=suppressions=$(SANITIZER_SUPPRESSIONS)/lsan.supp \
	  ctest --output-on-failure -j $(JOBS)
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=thread $(CMAKE_FLAGS) >/dev/null
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=suppressions=$(SANITIZER_SUPPRESSIONS)/tsan.supp \
	  ctest --output-on-failure -j $(JOBS) -L threads --no-tests=ignore
	cd build-win && ctest --output-on-failure -j $(JOBS)

bench: bench-deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBMPSPECTRUM_BENCH=ON -DBMPSPECTRUM_TESTS=OFF >/dev/null
	cmake --build build-bench -j $(JOBS) --target bmpspectrum_bench bmpspectrum_repaint_bench bmpspectrum
	build-bench/bench/bmpspectrum_bench
	bash scripts/key-to-repaint.sh build-bench/bench/bmpspectrum_repaint_bench
	bash scripts/peak-rss.sh build-bench/bmpspectrum
	bash scripts/batch-bench.sh build-bench/bmpspectrum

# make fuzz: each libFuzzer target (clang, ASan+UBSan) for FUZZ_SECONDS, from the seed corpus,
# then every input it kept once more, none allowed 100 ms;
# what it learns stays in build-fuzz/corpus (tests/fuzz/found keeps a merged selection of it),
# crash reproducers go to tests/fuzz/crashes/; make test replays all three.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = bitmap_reader key_decoder
# Inputs up to 4 KB justify no block near 1 MB; 1 s is libFuzzer's finest timeout.
FUZZ_FLAGS ?= -max_len=4096 -timeout=1 -malloc_limit_mb=1 -rss_limit_mb=1024 -print_final_stats=1

fuzz: test-deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DSANITIZE=address,undefined -DBMPSPECTRUM_FUZZ=ON >/dev/null
	cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGETS:%=%_fuzzer)
	@for target in $(FUZZ_TARGETS); do \
	  mkdir -p build-fuzz/corpus/$$target tests/fuzz/found/$$target tests/fuzz/crashes/$$target; \
	  echo "fuzzing $$target for $(FUZZ_SECONDS) s"; \
	  build-fuzz/tests/fuzz/$${target}_fuzzer $(FUZZ_FLAGS) -max_total_time=$(FUZZ_SECONDS) \
	    -artifact_prefix=tests/fuzz/crashes/$$target/ \
	    build-fuzz/corpus/$$target tests/fuzz/corpus/$$target tests/fuzz/found/$$target || exit 1; \
	  slowest=$$(find build-fuzz/corpus/$$target -type f | xargs -r \
	    build-fuzz/tests/fuzz/$${target}_fuzzer 2>&1 | sed -n 's/^Executed .* in \([0-9]*\) ms$$/\1/p' | \
	    sort -n | tail -1); \
	  echo "slowest $$target input: $${slowest:-0} ms (at most 100)"; \
	  [ "$${slowest:-0}" -le 100 ] || exit 1; \
	done

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-test build-asan build-tsan build-bench build-win build-package
