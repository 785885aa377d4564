#!/usr/bin/env bash
# The main job, end to end on a small generated run: installs what is missing, builds quillon
# and the run generator, writes a synthetic run folder with its sheets and controls, converts it
# with quillon and shows the FASTQ files written and the end of the log.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
echo "building quillon and the run generator (optimised, into build/release) ..."
"$root/scripts/build.sh" release quillon quillon-runsim >/dev/null
demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
"$root/build/release/tools/runsim/quillon-runsim" --preset=demo --out="$demo/run"
echo
status=0
"$root/build/release/converter/quillon" --input="$demo/run" --output="$demo/run" \
    --controlsfile="$demo/run/controls.fasta" --trimadapters >"$demo/quillon.out" 2>&1 || status=$?
echo "quillon exited with status $status; the end of its log:"
tail -n 20 "$demo/quillon.out" | sed 's/^/  /'
echo
echo "FASTQ files written in $demo/run (bytes, name):"
empty=0
for file in $(cd "$demo/run" && ls -- *.fastq.gz); do
    if [ -z "$(gzip -dc "$demo/run/$file" | head -c 1)" ]; then
        empty=$((empty + 1))
    else
        printf '  %12s  %s\n' "$(stat -c %s "$demo/run/$file")" "$file"
    fi
done
echo "  and $empty files without a read (samples and controls that received none)"
echo
echo "Metrics files written in $demo/run:"
(cd "$demo/run" && find . -maxdepth 1 -name '*Metrics*.csv' -printf '  %f\n' | sort)
exit "$status"
