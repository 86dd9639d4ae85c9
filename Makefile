# Quillon: top-level convenience targets.
#   make run        install what is missing, build, start the program
#   make test       install what is missing, build in build/, run every test
#   make test-asan  the tests under AddressSanitizer + UBSan (build-asan/)
#   make test-tsan  the tests under ThreadSanitizer (build-tsan/)
#   make bench      build and run the benchmarks
#   make soak       a day of GSM and of PCM recording on the virtual device's fast clock
#   make explore    the sequence test with new seeds for EXPLORE_SECONDS (default 60);
#                   prints the seed of any failure
#   make fuzz       build the libFuzzer targets with clang (build-fuzz/) and run each
#                   for FUZZ_SECONDS (default 60); fails on a finding
#   make install    install into $(DESTDIR)$(PREFIX) (PREFIX defaults to /usr/local)
#   make deb        build the Debian package build/packages/quillon_VERSION_ARCH.deb

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
FUZZ_SECONDS ?= 60
EXPLORE_SECONDS ?= 60

.PHONY: all deps build run install deb test test-asan test-tsan bench soak explore fuzz clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B build $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

run: build
	build/src/app/quillon

# cmake --install honours DESTDIR from the environment, as make's DESTDIR=... sets it.
install: build
	DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

deb: build
	cd build && cpack -G DEB -B packages
	@ls build/packages/quillon_*.deb

test: build
	cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

test-asan: deps
	cmake -S . -B build-asan -DQUILLON_ASAN=ON -DQUILLON_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-asan -j $(JOBS)
	cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp E2E_TIME_SCALE=3 \
		ctest --output-on-failure -j $(JOBS) --timeout 600

test-tsan: deps
	cmake -S . -B build-tsan -DQUILLON_TSAN=ON -DQUILLON_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
		E2E_TIME_SCALE=6 \
		ctest --output-on-failure -j $(JOBS) --timeout 600

# Every program in build/bench/, each under its name; fails if any of them failed.
bench: build
	@status=0; for b in build/bench/bench_*; do \
		[ -x "$$b" ] || continue; echo "== $$b"; "$$b" || status=1; echo; \
	done; exit $$status

# One at a time: each day of recording keeps both cores busy.
soak: build
	cd build && QT_QPA_PLATFORM=offscreen QUILLON_SOAK=1 ctest --output-on-failure -V -R '^(SoakTest\.|e2e_soak$$)' --timeout 1500

explore: build
	scripts/explore build $(EXPLORE_SECONDS)

fuzz:
	@scripts/install-deps fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DQUILLON_FUZZ=ON -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzz_wave_read fuzz_settings_load fuzz_registry_load
	fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build build-asan build-tsan build-fuzz
