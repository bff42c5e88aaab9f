#!/bin/sh
# Fits the synthetic view sets with smra_fit, Fit around 360 degrees and plain Fit, and prints
# one table against camera truth: fitted pictures, the worst camera after one rotation of the
# whole set, the worst pixel direction (of the sample grid) after that rotation, the worst link between two fitted pictures in neighbouring cells (rotation between
# them against the true one), the focal error and the fit's wall time.
#
#   bench/fit_truth.sh [-v] [--quality-priority] [SET...]
#
# Sets: ideal (synthetic-views-rhein3 v00-v11), idealrows (the same ring with its upper row),
# and the folders of synthetic-views-handheld (rhein3-tworow with its upper row in row -1,
# columns 0, 2, ..., 10). -v prints every camera. Needs the optimised build in build/ configured
# with -DSMRA_BENCH=ON (targets smra_fit and bench_fit_accuracy).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
data=${SMRA_TESTDATA_DIR:-$root/../shared/testdata}
fit=$root/build/tools/smra_fit
measure=$root/build/bench/bench_fit_accuracy
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

verbose=0
quality=""
sets=""
for a in "$@"; do
    case $a in
    -v) verbose=1 ;;
    --quality-priority) quality=$a ;;
    *) sets="$sets $a" ;;
    esac
done
[ -n "$sets" ] || sets="ideal idealrows rhein3-ring12 rhein1-ring10 rhein1-ring10-wide rhein3-tworow"

# The photos of a set, in order, with the upper row's cells where the set has one.
photos() {
    case $1 in
    ideal)
        d=$data/synthetic-views-rhein3
        for i in 00 01 02 03 04 05 06 07 08 09 10 11; do printf ' %s' "$d/rhein3_v$i.jpg"; done ;;
    idealrows)
        # The row in columns 0 to 11, so that the upper row's columns name the views below them.
        d=$data/synthetic-views-rhein3
        c=0
        for i in 00 01 02 03 04 05 06 07 08 09 10 11; do printf ' %s' "$d/rhein3_v$i.jpg@$c,0"; c=$((c + 1)); done
        c=0
        for i in 12 13 14 15 16 17; do printf ' %s' "$d/rhein3_v$i.jpg@$c,-1"; c=$((c + 2)); done ;;
    rhein3-tworow)
        d=$data/synthetic-views-handheld/$1
        c=0
        for i in 00 01 02 03 04 05 06 07 08 09 10 11; do printf ' %s' "$d/rhein3t_v$i.jpg@$c,0"; c=$((c + 1)); done
        c=0
        for i in 12 13 14 15 16 17; do printf ' %s' "$d/rhein3t_v$i.jpg@$c,-1"; c=$((c + 2)); done ;;
    *)
        for f in "$data/synthetic-views-handheld/$1"/*.jpg; do printf ' %s' "$f"; done ;;
    esac
}

truth() {
    case $1 in
    ideal | idealrows) echo "$data/synthetic-views-rhein3/truth.json" ;;
    *) echo "$data/synthetic-views-handheld/$1/truth.json" ;;
    esac
}

printf '%-20s %-6s %7s %10s %10s %10s %9s %7s  %s\n' set mode fitted camera_deg pixel_deg link_deg focal_% time_s end
for set in $sets; do
    # shellcheck disable=SC2046
    "$fit" new "$work/$set.in.fit" $(photos "$set") >/dev/null
    for mode in 360 plain; do
        flag=""
        [ $mode = 360 ] && flag=--around-360
        start=$(date +%s.%N)
        # shellcheck disable=SC2086
        "$fit" fit "$work/$set.in.fit" "$work/$set.$mode.fit" $flag $quality >"$work/out" 2>"$work/err" || true
        end=$(date +%s.%N)
        ending=$(grep -o 'message [0-9]*' "$work/err" | tail -1 || true)
        [ -n "$ending" ] || ending=success
        "$measure" "$work/$set.$mode.fit" "$(truth "$set")" >"$work/acc" 2>&1 || true
        [ $verbose = 1 ] && cat "$work/acc"
        awk -v set="$set" -v mode="$mode" -v t0="$start" -v t1="$end" -v ending="$ending" '
            /\.(jpg|JPG|png|bmp|tif) +[0-9.]+ +[0-9.]+$/ { if ($3 > pix) pix = $3 }
            /^worst camera/ { cam = $3; for (i = 1; i <= NF; ++i) if ($i == "error") foc = $(i + 1) }
            /^fitted/ { fitted = $2 "/" $4; sub(/;$/, "", fitted); link = $8 }
            END {
                if (fitted == "") { fitted = "0"; cam = "-"; pix = "-"; link = "-"; foc = "-" }
                printf "%-20s %-6s %7s %10s %10.4f %10s %9s %7.2f  %s\n", set, mode, fitted, cam, pix, link, foc, t1 - t0, ending
            }' "$work/acc"
    done
done
