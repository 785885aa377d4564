#!/usr/bin/env bash
# The main job, end to end on a small generated run: installs what is missing, builds,
# writes a synthetic run folder with its sheets and controls, and shows what was written.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" release >/dev/null
demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
"$root/build/release/tools/runsim/quillon-runsim" --preset=demo --out="$demo"
echo
echo "The demo run folder $demo holds:"
(cd "$demo" && ls -p | sed 's/^/  /' && echo "  and per tile, e.g. L01/S01_T001/:" && ls L01/S01_T001 | sed 's/^/    /')
