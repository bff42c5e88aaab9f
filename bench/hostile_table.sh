#!/usr/bin/env bash
# Attacks the program and its tools as a clumsy user or an attacker would, and prints one table
# row per case: what ran, its exit, what it left at the output path, whether the input project
# kept its bytes, staged (hidden) files left behind, and the first line of what it said.
#
#   bench/hostile_table.sh [--quick] [--shots DIR] [--only SECTION,...] [BUILD_DIR]
#
# BUILD_DIR (default build/) holds tools/smra_fit, tools/smra_render and shell/Smra_En.
# --quick skips the cases on 27-megapixel photos (memory limits, the program's memory case).
# --shots DIR keeps the program's screenshots there (default /tmp/hostile_table_shots).
# --only runs some sections: fitted, deleted, input, memory, fsize, signals, stale, targets,
# new, program.
# HOSTILE_GUI_VMEM sets the program's address-space limit in its memory case (default 1300000 KB).
# The photos come from ../shared/testdata (SMRA_TESTDATA_DIR names another folder); every
# file the cases make lives in one temporary folder that is removed at the end. Each case runs
# for at most 120 s and nothing it started outlives it. The program's cases need Xvfb, xdotool
# and ImageMagick's import; without them they are left out with a note.
# This is a survey, not a test: a row reports what happened and never fails the script.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
helper=$root/bench/hostile_table.py
py=/usr/bin/python3
quick=0
shots=/tmp/hostile_table_shots
only=""
build=""
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=1 ;;
        --shots) shots=$2; shift ;;
        --only) only=$2; shift ;;
        -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
        *) build=$1 ;;
    esac
    shift
done
build=$(cd "${build:-$root/build}" && pwd) || exit 2
fit=$build/tools/smra_fit
render=$build/tools/smra_render
app=$build/shell/Smra_En
data=${SMRA_TESTDATA_DIR:-$root/../shared/testdata}
views=$data/synthetic-views-rhein3
for f in "$fit" "$render" "$views/rhein3_v00.jpg"; do
    [ -e "$f" ] || { echo "hostile_table: $f is missing" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/hostile.XXXXXX")
chmod 755 "$work"
export SMRA_SETTINGS_DIR=$work/settings HOSTILE_WORK=$work
mkdir -p "$SMRA_SETTINGS_DIR" "$shots"
pids=()
disp=""
cleanup() {
    # Only a process of ours still running (its command line names our folder or display); the
    # shell's notices of the jobs it ends are not part of the table.
    exec 2>/dev/null
    for p in "${pids[@]}"; do
        [ -n "$p" ] || continue
        args=$({ tr '\0' ' ' < "/proc/$p/cmdline"; } 2>/dev/null) || continue
        case $args in *"$work"*|"Xvfb ${disp:-none} "*) kill -KILL "$p" 2>/dev/null ;; esac
    done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

root_user=0
[ "$(id -u)" = 0 ] && root_user=1
started=$(date +%s)

# One folder per case, open to every user (some cases run as nobody), removed after the row.
n=0
c=""
new_case() { n=$((n + 1)); c=$work/case$n; mkdir -p "$c"; chmod 777 "$c"; }
end_case() { rm -rf "$c"; }
case_row() { "$py" "$helper" run --timeout 120 "$@"; }
want() { [ -z "$only" ] || [[ ",$only," == *",$1,"* ]]; }

# ---- fixtures: a ring of 12 views (unfitted and fitted), three views, odd photo files ----
fx=$work/fx
mkdir -p "$fx/ring" "$fx/trio" "$fx/odd"
ring_args=()
for i in $(seq 0 11); do
    v=$(printf 'rhein3_v%02d.jpg' "$i")
    cp "$views/$v" "$fx/ring/$v"
    ring_args+=("$fx/ring/$v@$i,0")
done
for i in 0 1 2; do cp "$views/rhein3_v0$i.jpg" "$fx/trio/"; done
chmod 644 "$fx"/ring/*.jpg "$fx"/trio/*.jpg
"$fit" new "$fx/ring/ring.fit" "${ring_args[@]}" >/dev/null
"$fit" fit "$fx/ring/ring.fit" "$fx/ring/fitted.fit" --around-360 >/dev/null 2>&1
"$fit" new "$fx/trio/trio.fit" "$fx"/trio/rhein3_v0{0,1,2}.jpg >/dev/null
"$py" "$helper" odd "$fx/odd" "$views/rhein3_v00.jpg"
cp "$views/rhein3_v03.jpg" "$fx/odd/shot@home.jpg"
: > "$fx/odd/empty.jpg"
mkdir "$fx/odd/folder.jpg"
mkfifo "$fx/odd/fifo.jpg"
cp "$views/rhein3_v04.jpg" "$fx/odd/unreadable.jpg"
chmod 000 "$fx/odd/unreadable.jpg"
jxl=$data/libjxl-jpeg-variants
[ -e "$fx/ring/fitted.fit" ] || echo "note: the fitted ring could not be made; its cases show that" >&2

echo "# Hostile table: $(git -C "$root" rev-parse --abbrev-ref HEAD 2>/dev/null) $(git -C "$root" rev-parse --short HEAD 2>/dev/null), build $build, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo
"$py" "$helper" header

# ---- a fully fitted project fitted again ----
if want fitted; then
    for mode in "" --around-360; do
        new_case
        cp "$fx/ring/fitted.fit" "$c/in.fit"
        case_row --case "fully fitted, fit again" --show "smra_fit fit fitted.fit out.fit $mode" \
            --in "$c/in.fit" --out "$c/out.fit" --watch "$c" -- "$fit" fit "$c/in.fit" "$c/out.fit" $mode
        end_case
    done
    new_case
    cp "$fx/ring/fitted.fit" "$c/in.fit"
    case_row --case "fully fitted, fit onto itself" --show "smra_fit fit fitted.fit fitted.fit" \
        --out "$c/in.fit" --watch "$c" -- "$fit" fit "$c/in.fit" "$c/in.fit"
    end_case
fi

# ---- photos deleted after the project was saved ----
# The photos are moved aside for the case and put back afterwards.
if want deleted; then
    hide_photos() {
        mkdir -p "$c/aside"
        if [ "$1" = one ]; then mv "$fx/ring/rhein3_v05.jpg" "$c/aside/"; else mv "$fx"/ring/*.jpg "$c/aside/"; fi
    }
    restore_photos() { mv "$c"/aside/*.jpg "$fx/ring/"; }
    for tool in fit render; do
        for which in one all; do
            for skip in "" --skip-missing; do
                new_case
                if [ "$tool" = fit ]; then
                    cp "$fx/ring/ring.fit" "$c/in.fit"
                    hide_photos "$which"
                    case_row --case "$which photo$([ "$which" = all ] && echo s) deleted" --show "smra_fit fit ring.fit out.fit $skip" \
                        --in "$c/in.fit" --out "$c/out.fit" --watch "$c" -- "$fit" fit "$c/in.fit" "$c/out.fit" $skip
                else
                    cp "$fx/ring/fitted.fit" "$c/in.fit"
                    hide_photos "$which"
                    case_row --case "$which photo$([ "$which" = all ] && echo s) deleted" --show "smra_render fitted.fit out.jpg --width 2000 $skip" \
                        --in "$c/in.fit" --out "$c/out.jpg" --watch "$c" -- "$render" "$c/in.fit" "$c/out.jpg" --width 2000 $skip
                fi
                restore_photos
                end_case
            done
        done
    done
    new_case
    cp "$fx/ring/ring.fit" "$c/in.fit"
    hide_photos all
    case_row --case "all photos deleted, fit onto itself" --show "smra_fit fit ring.fit ring.fit" \
        --out "$c/in.fit" --watch "$c" -- "$fit" fit "$c/in.fit" "$c/in.fit"
    restore_photos
    end_case
fi

# ---- writing onto the input ----
if want input; then
    new_case
    cp "$fx/ring/ring.fit" "$c/in.fit"
    case_row --case "output is the input project" --show "smra_fit fit ring.fit ring.fit" \
        --out "$c/in.fit" --watch "$c" -- "$fit" fit "$c/in.fit" "$c/in.fit"
    end_case
    new_case
    cp "$fx/ring/fitted.fit" "$c/in.fit"
    case_row --case "output is a photo of the project" --show "smra_render fitted.fit rhein3_v00.jpg" \
        --in "$c/in.fit" --out "$fx/ring/rhein3_v00.jpg" --watch "$fx/ring" -- "$render" "$c/in.fit" "$fx/ring/rhein3_v00.jpg"
    end_case
    new_case
    cp "$views/rhein3_v00.jpg" "$views/rhein3_v01.jpg" "$c/"
    case_row --case "new project onto its own photo" --show "smra_fit new v00.jpg v00.jpg v01.jpg" \
        --out "$c/rhein3_v00.jpg" --watch "$c" -- "$fit" new "$c/rhein3_v00.jpg" "$c/rhein3_v00.jpg" "$c/rhein3_v01.jpg"
    end_case
fi

# ---- memory limits on 12 photos of 27 megapixels ----
# The views enlarged to 6000 x 4500 (camera data left out). The fitted ring is fitted on the
# small views, which are then replaced by the enlarged ones: the project finds its photos at
# another size, as after a photo was swapped for a bigger copy.
big_made=0
big_fixtures() {
    [ "$big_made" = 1 ] && return
    big_made=1
    mkdir -p "$fx/big" "$fx/bigfit"
    "$py" "$helper" enlarge "$fx/big" 6000 4500 "$fx"/ring/*.jpg
    local args=() fitargs=() v i
    for i in $(seq 0 11); do
        v=$(printf 'rhein3_v%02d.jpg' "$i")
        cp "$fx/ring/$v" "$fx/bigfit/$v"
        args+=("$fx/big/$v@$i,0")
        fitargs+=("$fx/bigfit/$v@$i,0")
    done
    "$fit" new "$fx/big/ring.fit" "${args[@]}" >/dev/null
    "$fit" new "$fx/bigfit/ring.fit" "${fitargs[@]}" >/dev/null
    "$fit" fit "$fx/bigfit/ring.fit" "$fx/bigfit/fitted.fit" --around-360 >/dev/null 2>&1
    for v in "$fx"/big/*.jpg; do cp "$v" "$fx/bigfit/"; done
}
if [ "$quick" = 0 ] && want memory; then
    big_fixtures
    for limit in 2097152:2GB 1048576:1GB 524288:512MB; do
        kb=${limit%%:*}
        new_case
        cp "$fx/big/ring.fit" "$c/in.fit"
        case_row --case "ulimit -v ${limit#*:}, 12 x 27 MP" --show "smra_fit fit ring27.fit out.fit" --vmem "$kb" \
            --in "$c/in.fit" --out "$c/out.fit" --watch "$c" -- "$fit" fit "$c/in.fit" "$c/out.fit"
        end_case
        new_case
        cp "$fx/bigfit/fitted.fit" "$c/in.fit"
        case_row --case "ulimit -v ${limit#*:}, 12 x 27 MP" --show "smra_render fitted27.fit out.jpg" --vmem "$kb" \
            --in "$c/in.fit" --out "$c/out.jpg" --watch "$c" -- "$render" "$c/in.fit" "$c/out.jpg"
        end_case
    done
fi

# ---- a small file-size limit; an older output is in place ----
if want fsize; then
    new_case
    cp "$fx/ring/ring.fit" "$c/in.fit"
    echo "older output" > "$c/out.fit"
    case_row --case "ulimit -f 8 (KB), old output there" --show "smra_fit fit ring.fit out.fit" --fsize 8 \
        --in "$c/in.fit" --out "$c/out.fit" --watch "$c" -- "$fit" fit "$c/in.fit" "$c/out.fit"
    end_case
    new_case
    cp "$fx/ring/fitted.fit" "$c/in.fit"
    echo "older output" > "$c/out.jpg"
    case_row --case "ulimit -f 64 (KB), old output there" --show "smra_render fitted.fit out.jpg --width 2000" --fsize 64 \
        --in "$c/in.fit" --out "$c/out.jpg" --watch "$c" -- "$render" "$c/in.fit" "$c/out.jpg" --width 2000
    end_case
    new_case
    case_row --case "ulimit -f 1 (KB)" --show "smra_fit new out.fit 12 photos" --fsize 1 \
        --out "$c/out.fit" --watch "$c" -- "$fit" new "$c/out.fit" "${ring_args[@]}"
    end_case
fi

# ---- signals during the work ----
if want signals; then
    for sig in INT TERM KILL; do
        new_case
        cp "$fx/ring/ring.fit" "$c/in.fit"
        case_row --case "SIG$sig 1 s into the fit" --show "smra_fit fit ring.fit out.fit" --signal "$sig" --when 1.0 \
            --in "$c/in.fit" --out "$c/out.fit" --watch "$c" -- "$fit" fit "$c/in.fit" "$c/out.fit"
        end_case
        new_case
        cp "$fx/ring/fitted.fit" "$c/in.fit"
        case_row --case "SIG$sig 0.5 s into the render" --show "smra_render fitted.fit out.jpg --width 6000" \
            --signal "$sig" --when staged \
            --in "$c/in.fit" --out "$c/out.jpg" --watch "$c" -- "$render" "$c/in.fit" "$c/out.jpg" --width 6000
        end_case
    done
fi

# ---- a staged file of ours left two days ago by a killed render, in the output folder ----
if want stale; then
    new_case
    cp "$fx/ring/fitted.fit" "$c/in.fit"
    echo "stale" > "$c/.smra-Stale0"
    touch -d "2 days ago" "$c/.smra-Stale0"
    case_row --case "stale .smra-* (2 days old) beside the output; input column = that file" \
        --show "smra_render fitted.fit out.jpg --width 1000" \
        --in "$c/.smra-Stale0" --out "$c/out.jpg" --watch "$c" -- "$render" "$c/in.fit" "$c/out.jpg" --width 1000
    end_case
fi

# ---- odd output targets ----
# A device node where root may make one (a character device like /dev/null), else a FIFO with a
# reader, so that a program that opens it does not wait for ever.
if want targets; then
    odd_target() { # KIND EXT: makes $c/out.EXT (or $c/x.EXT) of that kind; sets target
        target=$c/out.$2
        case $1 in
            symlink) echo "link target" > "$c/real.$2"; ln -s "real.$2" "$target" ;;
            device)
                target=$c/x.$2
                if [ "$root_user" = 1 ] && mknod "$target" c 1 3 2>/dev/null; then :; else
                    mkfifo "$target"
                    "$py" "$helper" exec -- /usr/bin/timeout 130 /bin/cat "$target" >/dev/null &
                    pids+=($!); reader=$!
                fi ;;
            readonly|readonly-nobody) echo "read-only" > "$target"; chmod 444 "$target" ;;
            folder) mkdir "$target" ;;
            nofolder) target=$c/no/such/folder/out.$2 ;;
        esac
    }
    for kind in symlink device readonly readonly-nobody folder nofolder; do
        [ "$kind" = readonly-nobody ] && [ "$root_user" = 0 ] && continue
        as=()
        label=$kind
        [ "$kind" = readonly-nobody ] && { as=(--nobody); label="readonly (as nobody)"; }
        [ "$kind" = readonly ] && [ "$root_user" = 1 ] && label="readonly (as root)"
        for tool in fit render; do
            new_case
            reader=""
            if [ "$tool" = fit ]; then
                cp "$fx/trio/trio.fit" "$c/in.fit"
                odd_target "$kind" fit
                chmod 644 "$c/in.fit"
                case_row --case "target: $label" --show "smra_fit fit trio.fit ${target#"$c"/}" "${as[@]}" \
                    --in "$c/in.fit" --out "$target" --watch "$c" --watch "$(dirname "$target")" \
                    -- "$fit" fit "$c/in.fit" "$target"
            else
                cp "$fx/ring/fitted.fit" "$c/in.fit"
                odd_target "$kind" jpg
                case_row --case "target: $label" --show "smra_render fitted.fit ${target#"$c"/} --width 1000" "${as[@]}" \
                    --in "$c/in.fit" --out "$target" --watch "$c" --watch "$(dirname "$target")" \
                    -- "$render" "$c/in.fit" "$target" --width 1000
            fi
            [ -n "$reader" ] && kill "$reader" 2>/dev/null
            end_case
        done
    done
fi

# ---- odd photos for a new project ----
if want new; then
    new_photo_case() { # LABEL SHOWN-NAME [--nobody] PHOTO...
        local label=$1 shown=$2
        shift 2
        local as=()
        [ "${1:-}" = --nobody ] && { as=(--nobody); shift; }
        new_case
        case_row --case "new: $label" --show "smra_fit new out.fit $shown" "${as[@]}" \
            --out "$c/out.fit" --watch "$c" -- "$fit" new "$c/out.fit" "$@"
        if [ -e "$c/out.fit" ]; then
            case_row --case "new: $label, then fit" --show "smra_fit fit out.fit out2.fit" \
                --in "$c/out.fit" --out "$c/out2.fit" --watch "$c" -- "$fit" fit "$c/out.fit" "$c/out2.fit"
        fi
        end_case
    }
    new_photo_case "JPEG header claims 65535 x 65535" huge-header.jpg "$fx/odd/huge-header.jpg"
    new_photo_case "PNG header claims 65535 x 65535" huge-header.png "$fx/odd/huge-header.png"
    new_photo_case "name with @" "shot@home.jpg v01.jpg" "$fx/odd/shot@home.jpg" "$views/rhein3_v01.jpg"
    new_photo_case "name with @ and a cell" "shot@home.jpg@0,0 v01.jpg@1,0" "$fx/odd/shot@home.jpg@0,0" "$views/rhein3_v01.jpg@1,0"
    new_photo_case "0-byte file" empty.jpg "$fx/odd/empty.jpg"
    new_photo_case "folder" folder.jpg "$fx/odd/folder.jpg"
    # A writer keeps the FIFO's far end, so that opening it does not block; it is ended afterwards.
    "$py" "$helper" exec -- /usr/bin/timeout 130 /bin/sh -c "exec 3>'$fx/odd/fifo.jpg'; sleep 2" &
    writer=$!
    pids+=("$writer")
    new_photo_case "FIFO" fifo.jpg "$fx/odd/fifo.jpg"
    kill "$writer" 2>/dev/null
    new_photo_case "grey-scale JPEG" flower_gray.jpg "$jxl/flower.png.im_q85_gray.jpg"
    new_photo_case "progressive JPEG" flower_progr.jpg "$jxl/flower.png.im_q85_420_progr.jpg"
    new_photo_case "CMYK JPEG" cmyk.jpg "$fx/odd/cmyk.jpg"
    new_photo_case "20000 x 20000 PNG" big-20000.png "$fx/odd/big-20000.png"
    if [ "$root_user" = 1 ]; then
        new_photo_case "unreadable (0000) photo, as nobody" unreadable.jpg --nobody "$fx/odd/unreadable.jpg"
    else
        new_photo_case "unreadable (0000) photo" unreadable.jpg "$fx/odd/unreadable.jpg"
    fi
fi

# ---- the windowed program under a private X server ----
if want program; then
    gui_ok=1
    for t in Xvfb xdotool import; do command -v "$t" >/dev/null || gui_ok=0; done
    [ -x "$app" ] || gui_ok=0
    if [ "$gui_ok" = 0 ]; then
        echo
        echo "note: the program's cases were left out (needs $app, Xvfb, xdotool and import)"
    else
        for d in $(seq 150 199); do [ -e "/tmp/.X11-unix/X$d" ] || [ -e "/tmp/.X$d-lock" ] || { disp=:$d; break; }; done
        Xvfb "$disp" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
        xpid=$!
        pids+=("$xpid")
        export DISPLAY=$disp
        sleep 1
        apid=""
        # Starts the program on a project and waits for its main window (named after the project).
        app_start() { # VMEM-KB PROJECT
            rm -f "$c/app.status" "$c/app.status.pid"
            "$py" "$helper" launch "$c/app.status" --vmem "$1" -- "$app" "$2" >"$c/app.log" 2>&1 &
            pids+=($!)
            apid=""
            for _ in $(seq 1 100); do [ -s "$c/app.status.pid" ] && break; sleep 0.1; done
            apid=$(cat "$c/app.status.pid" 2>/dev/null)
            pids+=("$apid")
            win=""
            for _ in $(seq 1 120); do
                win=$(xdotool search --onlyvisible --name "$(basename "$2")" 2>/dev/null | head -n 1)
                [ -n "$win" ] && break
                kill -0 "$apid" 2>/dev/null || break
                sleep 0.25
            done
            sleep 1
        }
        # Keys go to the window that has the focus; without a window manager we give it ourselves.
        keys() { xdotool windowfocus --sync "$win" 2>/dev/null; xdotool key --delay 80 "$@"; }
        # Waits up to 15 s for the program to end and sets app_exit.
        app_stop() {
            for _ in $(seq 1 60); do [ -s "$c/app.status" ] && break; sleep 0.25; done
            if [ ! -s "$c/app.status" ]; then
                kill -KILL "$apid" 2>/dev/null
                app_exit="still running 15 s after; killed"
                sleep 0.5
                return
            fi
            app_exit=$(cat "$c/app.status")
        }
        log_line() {
            local line
            line=$(tr '\r' '\n' < "$c/app.log" | grep -v -e '^QStandardPaths' -e '^ *$' | head -n 1 | cut -c1-120)
            echo "${line:-(nothing said)}"
        }

        # Render & Save (Ctrl+R) into out.jpg, then a signal once the staged output exists. The
        # manager's output size is set to Large and its rendering to Quality (clicks at their places
        # in a 1600 x 1000 screen with fresh settings), so that the render lasts about a second.
        for sig in INT TERM KILL; do
            new_case
            cp "$fx/ring/fitted.fit" "$c/in.fit"
            "$py" "$helper" snap "$c/state" --out "$c/out.jpg" --in "$c/in.fit" --watch "$c"
            app_start 0 "$c/in.fit"
            if [ -z "$win" ]; then
                exit_text="no window"
            else
                xdotool windowfocus --sync "$win" 2>/dev/null
                xdotool mousemove 1477 605 click 1
                sleep 0.7
                xdotool key Up Return
                sleep 0.5
                xdotool mousemove 1550 644 click 1
                sleep 0.5
                keys ctrl+r
                sleep 2
                xdotool key ctrl+a
                xdotool type --delay 5 "$c/out.jpg"
                xdotool key Return
                seen=0
                for _ in $(seq 1 3000); do
                    compgen -G "$c/.smra-*" >/dev/null && { seen=1; break; }
                    kill -0 "$apid" 2>/dev/null || break
                    sleep 0.01
                done
                sleep 0.1
                if [ "$seen" = 1 ]; then
                    kill -s "$sig" "$apid"
                    app_stop
                    exit_text="$sig sent: $app_exit"
                else
                    kill -TERM "$apid"
                    app_stop
                    exit_text="no staged output seen; TERM sent: $app_exit"
                fi
                sleep 0.5
            fi
            "$py" "$helper" report "$c/state" --case "program: SIG$sig during Render & Save" \
                --show "Smra_En fitted.fit; Ctrl+R out.jpg" --exit "$exit_text" --message "$(log_line)"
            end_case
        done

        # A whole Render & Save into a folder where a staged file of ours was left two days ago.
        new_case
        cp "$fx/ring/fitted.fit" "$c/in.fit"
        echo "stale" > "$c/.smra-Stale0"
        touch -d "2 days ago" "$c/.smra-Stale0"
        "$py" "$helper" snap "$c/state" --out "$c/out.jpg" --in "$c/.smra-Stale0" --watch "$c"
        app_start 0 "$c/in.fit"
        if [ -z "$win" ]; then
            exit_text="no window"
        else
            keys ctrl+r
            sleep 2
            xdotool key ctrl+a
            xdotool type --delay 5 "$c/out.jpg"
            xdotool key Return
            for _ in $(seq 1 120); do [ -s "$c/out.jpg" ] && break; sleep 0.25; done
            sleep 2
            kill -TERM "$apid"
            app_stop
            exit_text="TERM after the render: $app_exit"
        fi
        "$py" "$helper" report "$c/state" --case "program: stale .smra-* (2 days old) beside the output; input column = that file" \
            --show "Smra_En fitted.fit; Ctrl+R out.jpg" --exit "$exit_text" --message "$(log_line)"
        end_case

        # Out of memory during the fit, then Save. The project of 12 photos is opened under the
        # limit, its pieces laid out with the manager's Single inline (a click at its place) and
        # fitted (Process > Execute [Fit], once the menu shows it enabled); each message is
        # answered with its default (Return) and the project saved with Ctrl+S, a question
        # there answered with its default as well.
        if [ "$quick" = 0 ]; then
            big_fixtures
            new_case
            cp "$fx/big/ring.fit" "$c/in.fit"
            size_before=$(stat -c %s "$c/in.fit")
            "$py" "$helper" snap "$c/state" --out "$c/in.fit" --watch "$c"
            app_start "${HOSTILE_GUI_VMEM:-1300000}" "$c/in.fit"
            said=()
            title_before_save="?"
            title_after="?"
            if [ -z "$win" ]; then
                exit_text="no window: $(cat "$c/app.status" 2>/dev/null)"
            else
                other_window() { xdotool search --onlyvisible --name . 2>/dev/null | grep -q -v -x "$win"; }
                laid=0
                lay_out() {
                    [ "$laid" = 0 ] && ! other_window || return 0
                    xdotool windowfocus --sync "$win" 2>/dev/null
                    xdotool mousemove 1412 378 click 1
                    laid=1
                    sleep 2
                }
                sleep 3
                # Messages come as further windows, one after another while the fit goes on (one
                # per picture at most): each is answered until none has come for 6 s.
                wait_box() { # SECONDS
                    box=""
                    for _ in $(seq 1 $(($1 * 4))); do
                        box=$(xdotool search --onlyvisible --name . 2>/dev/null | grep -v -x "$win" | head -n 1)
                        [ -n "$box" ] && return
                        kill -0 "$apid" 2>/dev/null || return
                        sleep 0.25
                    done
                }
                answered=0
                answer_boxes() { # FIRST-WAIT-SECONDS
                    local round
                    for round in $(seq 1 16); do
                        wait_box "$([ "$round" = 1 ] && echo "$1" || echo 6)"
                        [ -n "$box" ] || break
                        sleep 0.5
                        [ "$answered" = 0 ] && import -window root "$shots/memory-message.png"
                        [ "$answered" = 0 ] && said+=("message window '$(xdotool getwindowname "$box" 2>/dev/null)'")
                        xdotool windowfocus --sync "$box" 2>/dev/null
                        xdotool key Return
                        answered=$((answered + 1))
                        sleep 1
                    done
                }
                # The pieces load in the background; Execute [Fit] is enabled once they have. A
                # message that comes first (while loading or laying out) is answered, and the
                # Fit tried once more.
                enabled=0
                for attempt in 1 2; do
                    lay_out
                    for _ in $(seq 1 8); do
                        kill -0 "$apid" 2>/dev/null || break
                        other_window && break
                        keys alt+p
                        sleep 0.5
                        import -window root "$c/menu.png"
                        if [ "$("$py" "$helper" ink "$c/menu.png" 100 20 260 20)" -lt 160 ]; then
                            enabled=1
                            break
                        fi
                        xdotool key Escape
                        sleep 1.5
                    done
                    if [ "$enabled" = 1 ]; then
                        import -window root "$shots/memory-laid-out.png"
                        xdotool key f
                        said+=("Fit started (try $attempt)")
                        answer_boxes 45
                        break
                    fi
                    answer_boxes 2
                done
                [ "$enabled" = 1 ] || said+=("Execute [Fit] not reached")
                [ "$answered" -gt 0 ] && said+=("$answered message window(s) answered with Return")
                if kill -0 "$apid" 2>/dev/null; then
                    title_before_save=$(xdotool getwindowname "$win" 2>/dev/null)
                    keys ctrl+s
                    wait_box 4
                    if [ -n "$box" ]; then
                        import -window root "$shots/memory-save-question.png"
                        said+=("Save asked in '$(xdotool getwindowname "$box" 2>/dev/null)', answered Return")
                        xdotool windowfocus --sync "$box" 2>/dev/null
                        xdotool key Return
                    fi
                    sleep 3
                    import -window root "$shots/memory-after-save.png"
                    title_after=$(xdotool getwindowname "$win" 2>/dev/null)
                    kill -TERM "$apid"
                    app_stop
                    exit_text="TERM after Save: $app_exit"
                else
                    app_stop
                    exit_text="ended during the fit: $app_exit"
                fi
            fi
            size_after=$(stat -c %s "$c/in.fit" 2>/dev/null || echo gone)
            joined="no message window"
            [ ${#said[@]} -gt 0 ] && joined=$(printf '%s; ' "${said[@]}") && joined=${joined%; }
            "$py" "$helper" report "$c/state" --case "program: ulimit -v 1300000, Fit, OK, Ctrl+S" \
                --show "Smra_En ring27.fit (12 x 27 MP); Single inline; Fit" --exit "$exit_text" \
                --message "project $size_before B -> $size_after B; $joined; title before Save: $title_before_save; after: $title_after; $(log_line)"
            end_case
        fi
        kill "$xpid" 2>/dev/null
        for _ in $(seq 1 20); do kill -0 "$xpid" 2>/dev/null || break; sleep 0.25; done
    fi
fi

echo
echo "$n cases in $(( $(date +%s) - started )) s; screenshots in $shots"
