#!/usr/bin/env bash
# Configures and builds one flavour of the tree, or only the named targets of it.
#   scripts/build.sh release   optimised (-O2), into build/release
#   scripts/build.sh sanitize  AddressSanitizer + UndefinedBehaviorSanitizer, into build/sanitize
#   scripts/build.sh tsan      ThreadSanitizer, into build/tsan
#   scripts/build.sh fuzz      the libFuzzer targets with clang, into build/fuzz
#   scripts/build.sh tsan converter_pipeline_tests   only that target (and what it needs)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
flavour="${1:-release}"
shift || true
case "$flavour" in
    release)  opts=(-DCMAKE_BUILD_TYPE=Release) ;;
    sanitize) opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_SANITIZE=ON) ;;
    tsan)     opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TSAN=ON) ;;
    fuzz)     opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14) ;;
    *) echo "unknown build flavour: $flavour (release, sanitize, tsan or fuzz)" >&2; exit 2 ;;
esac
dir="$root/build/$flavour"
cmake -S "$root" -B "$dir" "${opts[@]}" >/dev/null
targets=()
for target in "$@"; do
    targets+=(--target "$target")
done
cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
