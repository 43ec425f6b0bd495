#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# tools/run-fuzzers.sh BUILD SECONDS FUZZER...
# Runs each fuzzer for SECONDS on a scratch corpus grown from the seeds in
# tests/fuzz/corpus/NAME; a crash, a leak of time (one input over 10 s) or
# of memory (over 2 GB) fails the run, and the input is kept under
# BUILD/fuzz-findings/ to be replayed with `BUILD/tests/fuzz/NAME FILE`.
set -euo pipefail
build=$1
seconds=$2
shift 2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
export QT_QPA_PLATFORM=offscreen
# Qt keeps caches for the life of the process: they are not leaks.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for fuzzer in "$@"; do
    corpus="$build/fuzz-corpus/$fuzzer"
    findings="$build/fuzz-findings/$fuzzer"
    mkdir -p "$corpus" "$findings"
    echo "== $fuzzer: $seconds s"
    if ! "$build/tests/fuzz/$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$source_dir/tests/fuzz/corpus/$fuzzer" \
        2>"$build/fuzz-findings/$fuzzer.log"; then
        tail -n 60 "$build/fuzz-findings/$fuzzer.log"
        status=1
    else
        grep -E "stat::number_of_executed_units|Done" "$build/fuzz-findings/$fuzzer.log" | tail -n 2 || true
    fi
done
exit $status
