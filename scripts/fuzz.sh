#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (scripts/build.sh fuzz) and runs every one of them at
# once for the given number of seconds (60 by default), each from seeds that the run generator
# writes. A fuzzer that finds a crash, hang or leak stops and keeps the input in
# build/fuzz/artifacts; once mended, save it under tests/fuzz/regressions/<target>/, where the
# tests of the other builds run it again. Prints, per fuzzer, how many inputs it ran.
#   scripts/fuzz.sh [seconds]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
# Every tests/fuzz/<target>_fuzzer.cpp is a target, as its CMakeLists.txt finds them.
targets=()
for source in "$root"/tests/fuzz/*_fuzzer.cpp; do
    name="$(basename "$source" .cpp)"
    targets+=("${name%_fuzzer}")
done

"$root/scripts/install-deps.sh"
echo "building the fuzzers and the run generator ..."
"$root/scripts/build.sh" fuzz "${targets[@]/%/_fuzzer}" >/dev/null
"$root/scripts/build.sh" release quillon-runsim >/dev/null

work="$root/build/fuzz/work"
artifacts="$root/build/fuzz/artifacts"
rm -rf "$work" "$artifacts"
mkdir -p "$work" "$artifacts"
for target in "${targets[@]}"; do
    mkdir -p "$work/corpus/$target"
done

# Seeds: a small run's sheets (the legacy sample sheet too), cycle masks, controls, base-call and
# positions files, and a few small base-call files of block-gzip members, of an ordinary gzip
# member and stored plainly.
runsim="$root/build/release/tools/runsim/quillon-runsim"
run="$work/run"
umi_run="$work/umi_run"
"$runsim" --preset=small --out="$run" --manifest=none --legacy-sample-sheet=legacy.csv >/dev/null
"$runsim" --preset=small --out="$umi_run" --reads=R1:30,I1:16,R2:30 --umi1=T2:N8Y8 --positions=float \
    --manifest=none --legacy-sample-sheet=legacy.csv >/dev/null
seed() { cp "$2" "$work/corpus/$1/$3"; }
seed sheets "$run/SampleSheetUsed.csv" sample_sheet.csv
seed sheets "$run/quillon_params.csv" design_sheet.csv
seed sheets "$umi_run/quillon_params.csv" umi_design_sheet.csv
n=0
grep -h 'CycleUsage,' "$run/SampleSheetUsed.csv" "$umi_run/quillon_params.csv" | sed 's/^[^,]*,//; s/"//g' |
    while IFS= read -r mask; do
        n=$((n + 1))
        printf '%s' "$mask" >"$work/corpus/cycle_mask/mask_$n"
    done
seed controls_fasta "$run/controls.fasta" controls.fasta
seed positions "$run/L01/S01_T001/R1_positions" int_positions
seed positions "$umi_run/L01/S01_T001/R1_positions" float_positions
"$runsim" --zel-file="$work/members.zel" --spots=20 --cycles=12 --extra-cycles=2 --member-size=100 >/dev/null
"$runsim" --zel-file="$work/ordinary.zel" --spots=30 --cycles=8 --storage=gzip >/dev/null
for target in dax_unzip base_calls classic_tile; do
    seed "$target" "$work/members.zel" members.zel
    seed "$target" "$work/ordinary.zel" ordinary.zel
    seed "$target" "$run/L01/S01_T001/R3.zel" tile.zel
done
# quillon-classic also reads plain base-call files (versions 1 and 2) and its legacy sample sheet.
for version in 1 2; do
    "$runsim" --zel-file="$work/plain_v$version.zel" --spots=20 --cycles=12 --extra-cycles=2 --storage=plain \
        --zel-version="$version" >/dev/null
    seed classic_tile "$work/plain_v$version.zel" "plain_v$version.zel"
done
seed classic_legacy_sheet "$run/legacy.csv" legacy.csv
seed classic_legacy_sheet "$umi_run/legacy.csv" umi_legacy.csv
seed classic_positions "$run/L01/S01_T001/R1_positions" int_positions
seed classic_positions "$umi_run/L01/S01_T001/R1_positions" float_positions

echo "running ${#targets[@]} fuzzers for $seconds s each, all at once ..."
pids=()
for target in "${targets[@]}"; do
    "$root/build/fuzz/tests/fuzz/${target}_fuzzer" "$work/corpus/$target" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        >"$work/$target.log" 2>&1 &
    pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
    target="${targets[$i]}"
    status=0
    wait "${pids[$i]}" || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log" | tail -n 1)
    if [ "$status" -eq 0 ]; then
        printf '  %-21s %10s inputs, nothing found\n' "$target" "${runs:-?}"
    else
        failed=1
        printf '  %-21s %10s inputs, FAILED (status %d); its log: %s\n' "$target" "${runs:-?}" "$status" \
            "$work/$target.log"
        grep -E '^==[0-9]+==ERROR|^SUMMARY|Test unit written to' "$work/$target.log" | sed 's/^/      /' || true
    fi
done
exit "$failed"
