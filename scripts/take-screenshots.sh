#!/usr/bin/env bash
# Takes the README's screenshots from the real programs: builds (an existing
# build folder, or build/screenshots configured on first use), installs the
# app into a throw-away workspace with the sample packs installed, runs ORVA
# on a private virtual X server with openbox, drives it with xdotool and saves,
# each with its title bar and ORVA's icon in it,
#   docs/screenshots/main-window.png   the main window
#   docs/screenshots/manager.png       the extension manager listing the samples
#   docs/screenshots/confirm.png       packsetup's question before it installs a signed pack
#   docs/screenshots/installing.png    packsetup's progress while a pack installs
# Everything it starts is ended by pid when it exits.
#
# Usage: scripts/take-screenshots.sh [build folder]
# Needs: cmake and the build dependencies, Xvfb, openbox, xdotool, xprop,
# ImageMagick's import.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/screenshots}
# Paths are used from inside the workspace too: make the build folder absolute.
mkdir -p "$build" && build=$(cd "$build" && pwd)
out=$root/docs/screenshots
jobs=$(nproc 2>/dev/null || echo 2)

# shellcheck source=lib/common.sh
. "$root/scripts/lib/common.sh"

for tool in cmake Xvfb openbox xdotool xprop import; do
    command -v "$tool" >/dev/null || { echo "take-screenshots: $tool is needed" >&2; exit 1; }
done

# ---- Build and workspace ----

if [ ! -f "$build/CMakeCache.txt" ]; then
    step "Configuring $build"
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVA_BUILD_TESTS=OFF \
        -DORVA_BUILD_SAMPLES=ON >/dev/null
fi
step "Building in $build"
cmake --build "$build" -j "$jobs" >/dev/null
packs=$build/samples/packs
for pack in InboxLogger InboxWatcher; do
    [ -f "$packs/$pack.etipack" ] || { echo "take-screenshots: no $packs/$pack.etipack (samples off?)" >&2; exit 1; }
done

work=$(mktemp -d)
app=$work/app
xvfb_pid=
openbox_pid=
orva_pid=

ended() { ! alive "$1"; }

# Every process running in the workspace: ORVA, chainlaunch, packsetup and
# the extensions, orphans included (extensions outlive their launcher).
workspace_pids() {
    local folder link
    folder=$(cd "$app" 2>/dev/null && pwd -P) || return 0
    for link in /proc/[0-9]*/cwd; do
        case $(readlink "$link" 2>/dev/null) in
        "$folder" | "$folder"/*) link=${link#/proc/}; echo "${link%/cwd}" ;;
        esac
    done
}

# KILL, after STOP so that no process can start another meanwhile.
end_pids() {
    [ "$#" -gt 0 ] || return 0
    kill -STOP "$@" 2>/dev/null || true
    kill -KILL "$@" 2>/dev/null || true
}

cleanup() {
    local rounds pids
    for ((rounds = 0; rounds < 10; rounds++)); do
        pids=$(workspace_pids)
        [ -z "$pids" ] && break
        # shellcheck disable=SC2086 # one pid per word
        end_pids $pids
        sleep 0.2
    done
    [ -n "$orva_pid" ] && { wait "$orva_pid" 2>/dev/null || true; }
    for pid in $openbox_pid $xvfb_pid; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf -- "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

fail() {
    echo "take-screenshots: $*" >&2
    if [ -n "${DISPLAY:-}" ] && timeout 10 import -window root "$build/screenshot-failure.png" 2>/dev/null; then
        echo "What the screen showed: $build/screenshot-failure.png" >&2
    fi
    [ -f "$work/ORVA.log" ] && tail -n 20 "$work/ORVA.log" >&2
    exit 1
}

step "Installing the app and the sample packs into $app"
cmake --install "$build" --prefix "$app" >/dev/null
(
    cd "$app"
    for pack in InboxLogger InboxWatcher; do
        ./Extensions/00000001/packsetup.exe --quiet "$packs/$pack.etipack" >/dev/null
    done
)
mkdir -p "$app/Inbox"

# A pack large enough that its progress can be watched: a random payload
# does not compress, so packsetup has real work to show.
mkdir -p "$work/PhotoSorter"
cp "$build/samples/InboxLogger.exe" "$work/PhotoSorter/PhotoSorter.exe"
head -c $((96 * 1024 * 1024)) /dev/urandom >"$work/PhotoSorter/photos.db"
"$app/etipack" keygen "$work/author.key" >/dev/null
"$app/etipack" create "$work/PhotoSorter" --name PhotoSorter --id 00000004 --role Runner \
    --control 00000003 --version 2.1 --author "Photo Tools" --description "Sorts new photos into folders by date" \
    --sign "$work/author.key" -o "$work/PhotoSorter.etipack" >/dev/null

# ---- Display ----

export LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config
unset QT_STYLE_OVERRIDE QT_QPA_PLATFORMTHEME QT_SCALE_FACTOR XDG_CURRENT_DESKTOP DESKTOP_SESSION
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Xvfb picks a free display and writes its number to the file.
Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$work/display" 2>"$work/Xvfb.log" &
xvfb_pid=$!
wait_for 30 "Xvfb" grep -q '[0-9]' "$work/display"
DISPLAY=:$(tr -dc 0-9 <"$work/display")
export DISPLAY
openbox --sm-disable >/dev/null 2>"$work/openbox.log" &
openbox_pid=$!
wait_for 30 "openbox" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'

# ---- Driving ORVA ----

# window_of <pid> <title> [id to skip]: prints the first matching visible
# top-level window of the process, or fails.
window_of() {
    local wid
    for wid in $(timeout 5 xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        [ "$wid" = "${3:-}" ] && continue
        [ "$(timeout 5 xdotool getwindowname "$wid" 2>/dev/null)" = "$2" ] || continue
        # Menus carry their window's title; only real windows count.
        timeout 5 xprop -id "$wid" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q '= _NET_WM_WINDOW_TYPE_[A-Z_]*MENU' &&
            continue
        echo "$wid"
        return 0
    done
    return 1
}

# wait_window <pid> <title> [id to skip]: prints the window id once it is shown.
wait_window() {
    local deadline=$((SECONDS + 30)) wid
    until wid=$(window_of "$@"); do
        alive "$1" || fail "process $1 ended while waiting for window \"$2\""
        [ "$SECONDS" -lt "$deadline" ] || fail "no window \"$2\" within 30s"
        sleep 0.1
    done
    echo "$wid"
}

press() {
    local wid=$1
    shift
    timeout 15 xdotool windowactivate --sync "$wid" key --delay 60 "$@"
}

click() {
    timeout 15 xdotool windowactivate --sync "$1" mousemove --window "$1" "$2" "$3" click 1
}

# Waits until the window is painted (Qt paints right after mapping), then
# saves it with its title bar, which shows ORVA's icon.
shoot() {
    sleep 1
    timeout 15 import -frame -window "$1" "$out/$2" || fail "could not capture $2"
    echo "   $out/$2"
}

mkdir -p "$out"
step "Starting ORVA on display $DISPLAY"
(cd "$app" && exec ./ORVA >"$work/ORVA.log" 2>&1) &
orva_pid=$!

# Two notices: OK on the first, No (Escape) on the second to enter the program.
first=$(wait_window "$orva_pid" "参赛作品-ORVA")
press "$first" Return
second=$(wait_window "$orva_pid" "参赛作品-ORVA" "$first")
press "$second" Escape
main=$(wait_window "$orva_pid" "ORVA")
# Out of the manager's way, so that neither covers the other.
timeout 15 xdotool windowmove --sync "$main" 40 560
shoot "$main" main-window.png

step "Opening the extension manager"
press "$main" alt+a Return
box=$(wait_window "$orva_pid" "关于扩展管理器")
press "$box" Return
manager=$(wait_window "$orva_pid" "ORVA" "$main")
timeout 15 xdotool windowmove --sync "$manager" 40 40
shoot "$manager" manager.png

step "Installing a large pack through 添加"
# 添加 stands at 280,260 (84 x 24) in the manager window.
click "$manager" 322 272
dialog=$(wait_window "$orva_pid" "选择扩展安装包")
timeout 15 xdotool windowactivate --sync "$dialog" type --delay 20 "$work/PhotoSorter.etipack"
press "$dialog" Return
installer_started() { pgrep -P "$orva_pid" -f packsetup.exe >/dev/null; }
wait_for 30 "packsetup" installer_started
installer=$(pgrep -P "$orva_pid" -f packsetup.exe | head -n 1)
# packsetup is let run in slices of 20 ms; after each, while it is stopped,
# its windows are looked at. Its progress dialog comes first, captured while
# the pack is read and unpacked into staging; the next window of the same
# title is its question, which is captured and answered with 安装; a third
# window, the result box, ends the series. A frame two thirds of the way
# through the reading is kept.
kill -STOP "$installer"
frames=0
progress=
question=
deadline=$((SECONDS + 120))
while alive "$installer"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "packsetup did not finish its work"
    if wid=$(window_of "$installer" "安装扩展-ORVA"); then
        [ -z "$progress" ] && progress=$wid
        if [ "$wid" != "$progress" ] && [ -z "$question" ]; then
            question=$wid
            kill -CONT "$installer"
            shoot "$question" confirm.png
            press "$question" Return
        elif [ "$wid" != "$progress" ] && [ "$wid" != "$question" ]; then
            break
        elif [ "$wid" = "$progress" ] && [ -z "$question" ] &&
            timeout 15 import -frame -window "$progress" "$work/frame-$((frames + 1)).png" 2>/dev/null; then
            frames=$((frames + 1))
        fi
    fi
    kill -CONT "$installer"
    sleep 0.02
    kill -STOP "$installer" 2>/dev/null || true
done
kill -CONT "$installer" 2>/dev/null || true
[ -n "$question" ] || fail "packsetup did not ask before installing"
[ "$frames" -gt 0 ] || fail "packsetup's progress dialog was never seen while unpacking"
cp "$work/frame-$(((frames * 2 + 2) / 3)).png" "$out/installing.png"
echo "   $out/installing.png (frame $(((frames * 2 + 2) / 3)) of $frames)"

# Answer packsetup's result box; its progress dialog ignores Return.
deadline=$((SECONDS + 120))
while alive "$installer"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "packsetup did not end"
    if wid=$(window_of "$installer" "安装扩展-ORVA"); then
        press "$wid" Return 2>/dev/null || true
    fi
    sleep 0.3
done
wait_for 30 "the manager window to close" sh -c "! xwininfo -id $manager 2>/dev/null | grep -q IsViewable"
[ -f "$app/Extensions/00000004/PhotoSorter.exe" ] || fail "the large pack was not installed"

step "Leaving ORVA"
press "$main" alt+p Return
box=$(wait_window "$orva_pid" "退出ORVA")
press "$box" Return
wait_for 30 "ORVA to end" ended "$orva_pid"
status=0
wait "$orva_pid" || status=$?
orva_pid=
[ "$status" -eq 0 ] || fail "ORVA ended with status $status"
step "Screenshots saved in $out"
