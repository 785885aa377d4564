#!/usr/bin/env bash
# Builds the tree twice (optimised, then with sanitizers) and runs every test in both builds.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
for flavour in release sanitize; do
    echo "=== $flavour build ==="
    "$root/scripts/build.sh" "$flavour"
    echo "=== $flavour tests ==="
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir "$root/build/$flavour" --output-on-failure --parallel "$(nproc)"
done
