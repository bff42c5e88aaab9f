#!/bin/sh
# Fits the synthetic views with smra_fit and measures them against camera truth:
# the 12-view ring around one turn, the same ring with plain Fit, and the ring with the
# upper row laid above the ring views it overlaps most. Needs the optimised build in build/
# configured with -DSMRA_BENCH=ON (targets smra_fit and bench_fit_accuracy).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
views=${SMRA_TESTDATA_DIR:-$root/../shared/testdata}/synthetic-views-rhein3
fit=$root/build/tools/smra_fit
measure=$root/build/bench/bench_fit_accuracy
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ring=""
for i in 00 01 02 03 04 05 06 07 08 09 10 11; do ring="$ring $views/rhein3_v$i.jpg"; done
# The upper row lies above the ring: row -1 (the work space counts rows downward).
upper="$views/rhein3_v12.jpg@0,-1 $views/rhein3_v13.jpg@2,-1 $views/rhein3_v14.jpg@4,-1"
upper="$upper $views/rhein3_v15.jpg@6,-1 $views/rhein3_v16.jpg@8,-1 $views/rhein3_v17.jpg@10,-1"

run() {
    name=$1; shift
    echo "== $name"
    "$fit" fit "$work/$name.in.fit" "$work/$name.fit" "$@" 2>/dev/null | tail -1 || true
    "$measure" "$work/$name.fit" "$views/truth.json"
}

# shellcheck disable=SC2086
"$fit" new "$work/ring360.in.fit" $ring >/dev/null
cp "$work/ring360.in.fit" "$work/ringplain.in.fit"
# shellcheck disable=SC2086
"$fit" new "$work/tworows.in.fit" $ring $upper >/dev/null
run ring360 --around-360
run ringplain
run tworows
