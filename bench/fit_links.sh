#!/bin/sh
# Plain Fit of the hand-held synthetic views, at the speed and the quality setting, measured link
# by link against camera truth: the worst rotation between two fitted neighbours, the worst
# seam (a neighbour's pixels carried by the picture beside it) and the focal error. Each set is
# laid as it was shot: the rings in one row, the two-row set with its upper views in row -1.
# Needs the optimised build in build/ configured with -DSMRA_BENCH=ON (targets smra_fit and
# bench_fit_links); SMRA_FIT names another smra_fit to compare with.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
sets=${SMRA_TESTDATA_DIR:-$root/../shared/testdata}/synthetic-views-handheld
fit=${SMRA_FIT:-$root/build/tools/smra_fit}
measure=$root/build/bench/bench_fit_links
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%-20s %-8s %7s %9s %9s %8s %7s\n' set setting fitted link_deg seam_deg focal_% time_s
for set in rhein3-ring12 rhein1-ring10 rhein1-ring10-wide rhein3-tworow; do
    dir=$sets/$set
    [ -d "$dir" ] || continue
    args=""
    column=0
    for view in "$dir"/*_v*.jpg; do
        number=$(basename "$view" .jpg | sed 's/.*_v//')
        if [ "$set" = rhein3-tworow ] && [ "$number" -ge 12 ]; then
            args="$args $view@$(( (number - 12) * 2 )),-1"
        else
            args="$args $view@$column,0"
            column=$((column + 1))
        fi
    done
    # shellcheck disable=SC2086
    "$fit" new "$work/$set.in.fit" $args >/dev/null
    for setting in speed quality; do
        flag=""
        [ "$setting" = quality ] && flag=--quality-priority
        time=$("$fit" fit "$work/$set.in.fit" "$work/$set.fit" $flag 2>/dev/null | sed -n 's/.*total time \([0-9.]*\) s/\1/p')
        "$measure" "$work/$set.fit" "$dir/truth.json" | tail -1 | awk -v s="$set" -v g="$setting" -v t="${time:-?}" '{
            gsub(",", ""); gsub("[(]", ""); 
            for (i = 1; i <= NF; ++i) {
                if ($i == "fitted") f = $(i + 1);
                if ($i == "link") l = $(i + 1);
                if ($i == "seam") m = $(i + 1);
                if ($i == "%)") p = $(i - 1);
            }
            printf "%-20s %-8s %7s %9s %9s %8s %7s\n", s, g, f, l, m, p, t }'
    done
done
