#!/usr/bin/env bash
# Configures and builds one flavour of the tree.
#   scripts/build.sh release   optimised (-O2), into build/release
#   scripts/build.sh sanitize  AddressSanitizer + UndefinedBehaviorSanitizer, into build/sanitize
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
flavour="${1:-release}"
case "$flavour" in
    release)  opts=(-DCMAKE_BUILD_TYPE=Release) ;;
    sanitize) opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_SANITIZE=ON) ;;
    *) echo "unknown build flavour: $flavour (release or sanitize)" >&2; exit 2 ;;
esac
dir="$root/build/$flavour"
cmake -S "$root" -B "$dir" "${opts[@]}" >/dev/null
cmake --build "$dir" --parallel "$(nproc)"
