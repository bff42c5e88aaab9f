#!/bin/sh
# Traces the fits of the synthetic views step by step against camera truth (bench_fit_stage_trace):
# the 12-view ring around one turn, the same ring with plain Fit, and the ring with the upper row
# above it, each with the project's lens model and again with the views' own (no distortion), so
# that the share of the error that comes from the lens model shows. Writes one trace per run into
# the folder given (default: a new temporary folder, printed at the end) and prints the last line
# of each. Needs the optimised build in build/ configured with -DSMRA_BENCH=ON.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
views=${SMRA_TESTDATA_DIR:-$root/../shared/testdata}/synthetic-views-rhein3
fit=$root/build/tools/smra_fit
trace=$root/build/bench/bench_fit_stage_trace
out=${1:-$(mktemp -d)}
mkdir -p "$out"

ring=""
for i in 00 01 02 03 04 05 06 07 08 09 10 11; do ring="$ring $views/rhein3_v$i.jpg"; done
# The upper row lies above the ring: row -1 (the work space counts rows downward).
upper="$views/rhein3_v12.jpg@0,-1 $views/rhein3_v13.jpg@2,-1 $views/rhein3_v14.jpg@4,-1"
upper="$upper $views/rhein3_v15.jpg@6,-1 $views/rhein3_v16.jpg@8,-1 $views/rhein3_v17.jpg@10,-1"

# shellcheck disable=SC2086
"$fit" new "$out/ring.in.fit" $ring >/dev/null
# shellcheck disable=SC2086
"$fit" new "$out/tworows.in.fit" $ring $upper >/dev/null

run() {
    name=$1; project=$2; shift 2
    "$trace" "$out/$project.in.fit" "$views/truth.json" --tries "$@" > "$out/$name.txt"
    printf '%-22s %s\n' "$name" "$(grep 'end of the fit' "$out/$name.txt" | head -1 | cut -c6-)"
}

run ring360 ring --around-360
run ring360-k0 ring --around-360 --distortion 0
run ringplain ring
run ringplain-k0 ring --distortion 0
run ringplain-quality ring --quality-priority
run tworows tworows
run tworows-k0 tworows --distortion 0
run tworows-quality tworows --quality-priority
echo "traces in $out"
