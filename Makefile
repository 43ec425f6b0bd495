# SPDX-License-Identifier: GPL-3.0-or-later
# make run  — set up everything on Debian 12, build, and start the reader
# make test — set up everything, build, and run every test
# make bench — build and print the benchmark tables

PACKAGES := cmake g++ make pkg-config qt6-base-dev qt6-qpa-plugins libgl-dev \
	libespeak-ng-dev espeak-ng espeak-ng-data libsonic-dev libseccomp-dev libpulse-dev \
	pulseaudio pulseaudio-utils xvfb xdotool wmctrl openbox hardinfo x11-utils imagemagick sox fonts-noto-cjk qt6-translations-l10n \
	libicu-dev libzip-dev libpoppler-qt6-dev qpdf xclip libsndfile1-dev libsamplerate0-dev libtag1-dev \
	desktop-file-utils appstream dbus-daemon dbus-bin at-spi2-core python3-pyatspi \
	speech-dispatcher speech-dispatcher-espeak-ng python3-speechd playerctl
# Only the Debian package build uses these.
DEB_PACKAGES := debhelper dpkg-dev lintian
# Only the fuzzing targets use these: clang and its libFuzzer.
FUZZ_PACKAGES := clang libclang-rt-14-dev
FUZZERS := fuzz_text_decoding fuzz_xml_documents fuzz_zip_documents fuzz_rich_text fuzz_rtf_text fuzz_frames
FUZZ_SECONDS ?= 60
# Only the benchmarks use these (speech-dispatcher itself is in PACKAGES: the module's test runs it).
BENCH_PACKAGES :=
BUILD := build
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
# Trees built from nothing (CI's, and the two sanitizer builds) compile each
# library's sources as one unit: Qt's headers are then parsed once per
# library, not once per file (a sanitizer build took 331 s before, 239 s
# after, on two cores). File-local names must therefore differ between the
# files of one library: the same constant twice is an error, but two
# overloads of one helper would meet without a word.
UNITY := -DCMAKE_UNITY_BUILD=ON
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo $(if $(CI),-DSAYRELLA_WERROR=ON $(UNITY))
# The sanitizer builds compile at -O1 with line tables only: what their
# reports need (every frame with its file and line), in much less time than
# -O2 with full debug information, on each of the two builds CI makes.
SANITIZER_BUILD_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" \
	"-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" -DSAYRELLA_BENCHMARKS=OFF $(UNITY) $(if $(CI),-DSAYRELLA_WERROR=ON)

.PHONY: deps build test check-sanitize check-thread fuzz run bench deb clean

deps:
	@missing=$$(for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing Debian packages:" $$missing; \
	    $(SUDO) apt-get update -qq && \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$$(nproc)

# SAYRELLA_LARGE_FILE_TEST: the test of a WAV past 4 GiB (4.3 GB, in /dev/shm where there is room) runs here, not again under the sanitizers.
test: build
	SAYRELLA_LARGE_FILE_TEST=1 tools/with-test-audio.sh ctest --test-dir $(BUILD) --output-on-failure -j2

# The unit tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer:
# any report from the program's own process fails the run. (What the engine
# does inside the synthesis helper stays there: the helper dies, the reader lives.)
check-sanitize: deps
	cmake -S . -B $(BUILD)-sanitize $(SANITIZER_BUILD_FLAGS) -DSAYRELLA_SANITIZE=ON
	cmake --build $(BUILD)-sanitize -j$$(nproc)
	ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    tools/with-test-audio.sh ctest --test-dir $(BUILD)-sanitize -L unit --output-on-failure -j2

# The unit tests again, the reader's side built with ThreadSanitizer: any
# race it reports in the program's own code fails the run. (The confined
# synthesis helper cannot host the sanitizer, nor can the sandbox's own test.
# The sound-server test stops, starts and freezes servers on a schedule the
# sanitizer's slowdown does not keep; it runs in the other two builds.)
check-thread: deps
	cmake -S . -B $(BUILD)-thread $(SANITIZER_BUILD_FLAGS) -DSAYRELLA_THREAD_SANITIZE=ON
	cmake --build $(BUILD)-thread -j$$(nproc)
	TSAN_OPTIONS="suppressions=$(CURDIR)/tools/tsan.supp halt_on_error=1 exitcode=66 die_after_fork=0" \
	    tools/with-test-audio.sh ctest --test-dir $(BUILD)-thread -L unit -E '^(tst_sandbox|tst_soundserver)$$' --output-on-failure -j2

# Every parser of untrusted bytes under libFuzzer, ASan and UBSan, each for
# FUZZ_SECONDS, from the seeds in tests/fuzz/corpus (which it never changes).
fuzz: EXTRA_PACKAGES = $(FUZZ_PACKAGES)
fuzz: deps
	cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DSAYRELLA_FUZZ=ON
	cmake --build $(BUILD)-fuzz -j$$(nproc) --target $(FUZZERS)
	tools/run-fuzzers.sh $(BUILD)-fuzz $(FUZZ_SECONDS) $(FUZZERS)

run: build
	tools/run.sh $(BUILD)

bench: EXTRA_PACKAGES = $(BENCH_PACKAGES)
bench: build
	tools/with-test-audio.sh $(BUILD)/bench/speech_bench
	dbus-run-session -- tools/with-test-display.sh tools/with-test-audio.sh $(BUILD)/bench/audible_bench
	tools/with-test-display.sh tools/with-test-audio.sh $(BUILD)/bench/startup_bench
	$(BUILD)/bench/highlight_bench
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/documents_bench
	$(BUILD)/bench/hostile_documents_bench
	$(BUILD)/bench/frontend_bench
	$(BUILD)/bench/export_bench
	$(BUILD)/bench/subtitle_bench

# A Debian package of this checkout, built from a copy of it under out/deb
# (dpkg-buildpackage writes beside the source folder), then checked by lintian.
deb: EXTRA_PACKAGES = $(DEB_PACKAGES)
deb: deps
	rm -rf out/deb && mkdir -p out/deb/sayrella
	tar -c --exclude=./build --exclude='./build-*' --exclude=./out --exclude=./.git . | tar -x -C out/deb/sayrella
	$(SUDO) apt-get build-dep -y -q --no-install-recommends ./out/deb/sayrella
	cd out/deb/sayrella && DEB_BUILD_OPTIONS="parallel=$$(nproc)" dpkg-buildpackage -us -uc -b
	lintian --info out/deb/*.deb | tee out/deb/lintian.txt
	@ls out/deb/*.deb

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-thread out
