#!/usr/bin/env bash
# Checks the layout of every C++ source, builds the tree twice (optimised, then with sanitizers)
# and runs every test in both builds;
# then runs the lanes' hand-off queue, compression scheduler, tile loader and FASTQ writer
# tests, the whole of quillon, and quillon-classic's lane and tile threading tests and runs under
# ThreadSanitizer, and every fuzzer for 30 s.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"

# Every C++ source must be laid out as .clang-format says; `clang-format-14 -i FILE` mends one.
echo "=== layout ==="
git -C "$root" ls-files -z '*.cpp' '*.h' | (cd "$root" && xargs -0 clang-format-14 --dry-run --Werror)
echo "every source laid out as .clang-format says"

for flavour in release sanitize; do
    echo "=== $flavour build ==="
    "$root/scripts/build.sh" "$flavour"
    echo "=== $flavour tests ==="
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir "$root/build/$flavour" --output-on-failure --parallel "$(nproc)"
done

# The task scheduler's library is not built with ThreadSanitizer, so the hand-offs between its
# worker threads would be reported as races. Pinned to one CPU the scheduler starts no worker
# and runs its parallel loops on the calling thread, while the lane's own threads (reader, tile
# threads, the unzip pool, writer) are all still checked.
echo "=== tsan build ==="
"$root/scripts/build.sh" tsan converter_pipeline_tests quillon
echo "=== tsan tests ==="
cpu="$(taskset -cp $$ | sed 's/.*: //; s/[,-].*//')"

# Runs the tests of a program that match any of the given gtest patterns under ThreadSanitizer,
# on the one CPU. A pattern that matches no test (a test or suite renamed) fails the run, so no
# test leaves this check unnoticed.
tsan_tests() {
    local program="$1"
    shift
    local pattern
    for pattern in "$@"; do
        if ! "$program" --gtest_list_tests --gtest_filter="$pattern" | grep -q '^  '; then
            echo "no test of $(basename "$program") matches '$pattern'" >&2
            return 1
        fi
    done
    local filter
    filter="$(IFS=:; echo "$*")"
    TSAN_OPTIONS=second_deadlock_stack=1 taskset -c "$cpu" "$program" --gtest_filter="$filter"
}

tsan_tests "$root/build/tsan/tests/converter/pipeline/converter_pipeline_tests" \
    'BlockingQueue*' 'CompressionScheduler*' 'ZelFileManager*' 'FastqFileManager*'

# The whole program on a small run with samples, controls and adapter trimming, each lane's
# tiles read four times over. With one scheduler thread the parallel loops run on the calling
# thread, while the reader, tile, unzip pool and writer threads all run; the scheduler's own
# hand-offs are left out by the suppressions file.
echo "=== tsan run of quillon ==="
tsan_run="$root/build/tsan/run"
rm -rf "$tsan_run"
"$root/build/release/tools/runsim/quillon-runsim" --preset=small --out="$tsan_run/run" --manifest=none >/dev/null
mkdir -p "$tsan_run/out"
TSAN_OPTIONS="second_deadlock_stack=1 suppressions=$root/tests/tsan.supp" \
    "$root/build/tsan/converter/quillon" --input="$tsan_run/run" --output="$tsan_run/out" \
    --controlsfile="$tsan_run/run/controls.fasta" --trimadapters --threads=1 --repeat=4 >"$tsan_run/quillon.log"
echo "quillon converted $(grep -c 'Completed L0' "$tsan_run/quillon.log") tiles with no report"

# quillon-classic's lane threads, tile threads and unzip pools, in-process and in the program
# its end-to-end tests run (a report there makes the program exit with an error status). The
# generator that makes the test runs uses the task scheduler, hence the single CPU again.
echo "=== tsan tests of quillon-classic ==="
"$root/scripts/build.sh" tsan classic_processing_tests quillon-classic
tsan_tests "$root/build/tsan/tests/classic/processing/classic_processing_tests" \
    'ClassicThreading.*' 'ClassicDemux.*' 'Layouts/ClassicConvert.*' 'Sheets/ClassicSampleRun.*' \
    'Faults/ClassicBadInput.*WrongType*' 'Faults/ClassicBadInput.*FullDisk*'

echo "=== fuzzers ==="
"$root/scripts/fuzz.sh" 30
