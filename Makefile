# Lumora: the two commands of the quick start, plus benchmarks and fuzzing.
# Every target installs what is missing first (scripts/install-deps).

JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 900

.PHONY: run test build asan tsan bench fuzz deps format format-check clean install screenshot

PREFIX ?= /usr/local

deps:
	@scripts/install-deps

# Builds the program optimised and starts it.
run: deps
	@cmake --preset release >/dev/null
	@cmake --build build/release -j $(JOBS) --target lumora
	@build/release/app/lumora

# Installs the program, its desktop entry and icons under PREFIX.
install: deps
	@cmake --preset release >/dev/null
	@cmake --build build/release -j $(JOBS) --target lumora
	@cmake --install build/release --prefix $(PREFIX)

# Screenshots of the real program under Xvfb, with a corpus photo and three
# captions added through the caption dialog: build/screenshot.png (the
# window), build/screenshot-caption-dialog.png (the dialog) and
# build/screenshot-actual-size.png (the view at 100% on a caption).
screenshot:
	@scripts/install-deps --screenshot
	@cmake --preset release >/dev/null
	@cmake --build build/release -j $(JOBS) --target lumora_screenshot
	@xvfb-run -a -s "-screen 0 1280x800x24" build/release/scripts/screenshot/lumora_screenshot \
		build/screenshot.png build/screenshot-caption-dialog.png build/screenshot-actual-size.png

build: deps
	@cmake --preset dev >/dev/null
	@cmake --build build/dev -j $(JOBS)

# Every test in a normal build, then again under AddressSanitizer and
# UndefinedBehaviorSanitizer; stops at the first failure.
test: build format-check
	@ctest --preset dev -j $(JOBS)
	@$(MAKE) --no-print-directory asan

asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build build/asan -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/fuzz/lsan-suppressions.txt \
		ctest --preset asan -j $(JOBS)

# The whole tree under ThreadSanitizer; runs the tests of work that uses
# threads (the window's jobs, the model, the command line's workers).
tsan: deps
	@cmake --preset tsan >/dev/null
	@cmake --build build/tsan -j $(JOBS)
	@TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan-suppressions.txt \
		ctest --preset tsan -j $(JOBS) -R '^(test_jobs|test_document_model|test_caption_command)$$'

# ImageMagick is a reference only here, so only this target installs it.
# The programs that give a figure print it as "summary: key = value"; their
# output also goes to build/release/bench/summary.log, whose summary lines
# are repeated together at the end.
bench:
	@scripts/install-deps --bench
	@cmake --preset release >/dev/null
	@cmake --build build/release -j $(JOBS) --target lumora_bench lumora_decode_peak \
		lumora_pipeline_bench lumora_job_peak lumora_view_bench lumora_tagged_photo_bench \
		lumora_tagged_job_peak lumora_batch_bench lumora_style_bench lumora_lossless_bench \
		lumora_formats_bench lumora_data_batch_bench \
		lumora_window_jobs_bench
	@build/release/bench/lumora_bench --benchmark_counters_tabular=true
	@build/release/bench/lumora_decode_peak
	@build/release/bench/lumora_pipeline_bench
	@build/release/bench/lumora_job_peak
	@rm -f build/release/bench/summary.log
	@bash -o pipefail -c 'build/release/bench/lumora_view_bench | tee -a build/release/bench/summary.log'
	@bash -o pipefail -c 'build/release/bench/lumora_tagged_photo_bench | tee -a build/release/bench/summary.log'
	@bash -o pipefail -c 'build/release/bench/lumora_tagged_job_peak | tee -a build/release/bench/summary.log'
	@bash -o pipefail -c 'build/release/bench/lumora_tagged_job_peak --big | tee -a build/release/bench/summary.log'
	@bash -o pipefail -c 'build/release/bench/lumora_batch_bench | tee -a build/release/bench/summary.log'
	@bash -o pipefail -c 'build/release/bench/lumora_style_bench | tee -a build/release/bench/summary.log'
	@bash -o pipefail -c 'build/release/bench/lumora_lossless_bench | tee -a build/release/bench/summary.log'
	@bash -o pipefail -c 'build/release/bench/lumora_formats_bench | tee -a build/release/bench/summary.log'
	@bash -o pipefail -c 'build/release/bench/lumora_window_jobs_bench | tee -a build/release/bench/summary.log'
	@bash -o pipefail -c 'build/release/bench/lumora_data_batch_bench | tee -a build/release/bench/summary.log'
	@echo
	@grep '^summary:' build/release/bench/summary.log

# Runs each libFuzzer target for FUZZ_SECONDS (default 15 minutes), seeded
# with the corpus; new crashers land in fuzz/out/<target>/.
fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build build/fuzz -j $(JOBS)
	@scripts/run-fuzzers $(FUZZ_SECONDS)

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

format-check: deps
	@clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

clean:
	@rm -rf build
