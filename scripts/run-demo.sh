#!/usr/bin/env bash
# Builds ORVA against Qt 6, as the release build and the .deb are (in
# build/demo, without the tests), installs it into a fresh
# demo workspace (build/demo-app), installs the sample packs there with the
# real installer, and runs ORVA in it.
#
# With a display, ORVA opens on it and the user takes over. Without one the
# demo runs by itself on a virtual X server: it answers the start-up notices,
# drops two files into Inbox, shows Inbox.log, saves a screenshot and stops
# everything it started.
#
# ORVA_BUILD_ROOT chooses another folder than build/ for both.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
builds=${ORVA_BUILD_ROOT:-$root/build}
build=$builds/demo
app=$builds/demo-app
jobs=$(nproc 2>/dev/null || echo 2)
notice_title='^参赛作品-ORVA$'
main_title='^ORVA$'

# shellcheck source=lib/common.sh
. "$root/scripts/lib/common.sh"

if command -v apt-get >/dev/null 2>&1; then
    "$root/scripts/setup-debian.sh"
else
    echo "No apt-get here: make sure the packages listed in scripts/setup-debian.sh are installed."
fi

step "Building ORVA in $build"
mkdir -p "$build"
build_log=$build/build.log
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVA_QT_MAJOR=6 -DORVA_BUILD_TESTS=OFF -DORVA_BUILD_SAMPLES=ON &&
    cmake --build "$build" -j "$jobs"; } >"$build_log" 2>&1; then
    tail -n 40 "$build_log"
    echo "The build failed; the whole output is in $build_log" >&2
    exit 1
fi

step "Installing the demo workspace into $app"
# A fresh workspace every time, so that Inbox.log shows this run only.
rm -rf -- "$app"
cmake --install "$build" --prefix "$app" >/dev/null
cmake --install "$build" --prefix "$app" --component demo >/dev/null
mkdir -p "$app/Inbox"

# install_pack <name>: installs Packs/<name>.etipack with the real installer.
install_pack() {
    (cd "$app" && ./Extensions/00000001/packsetup.exe --quiet "Packs/$1.etipack") ||
        { echo "Installing the sample pack $1 failed" >&2; exit 1; }
}
# The control extension first: the listener's pack names it.
install_pack InboxLogger

# Extension names and paths are UTF-8; so must the locale be.
if [ "$(locale charmap 2>/dev/null || true)" != "UTF-8" ]; then
    export LC_ALL=C.UTF-8
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    cat <<EOF

ORVA starts now in $app, with the control extension InboxLogger installed.
  1. Two notices titled 参赛作品-ORVA: answer OK, then No
     (Yes opens the author's website and ends ORVA).
  2. The small main window titled ORVA.
  3. Install the listener: 扩展 → 管理, OK, then 添加 and choose
     $app/Packs/InboxWatcher.etipack.
     The installer asks first: what the pack is, that a listener runs at
     every start, and the fingerprint of the key that signed it (the build
     made that key). Choose 安装; it shows its result. Open 管理 again to see
     InboxWatcher in the 监听器 list.
  4. Leave ORVA (程序 → 退出) and start it again from that folder
     (cd "$app" && ./ORVA): it now starts InboxWatcher.
Then, from another terminal, drop a file into the inbox:
  echo hi > "$app/Inbox/hello.txt"
InboxWatcher notices it and ends; chainlaunch then runs InboxLogger, which
adds a line to Inbox.log and moves the file into Processed/. Watch it with:
  tail -f "$app/Inbox.log"

EOF
    cd "$app"
    exec ./ORVA
fi

# ---- No display: run the demo by itself on a virtual X server. ----

step "Installing the sample listener InboxWatcher with packsetup"
install_pack InboxWatcher

started=$SECONDS
work=$(mktemp -d)
orva_log=$build/ORVA-output.log
screenshot=$app/demo-screenshot.png
xvfb_pid=
openbox_pid=
orva_pid=

# Processes whose program lives in the demo folder: ORVA, chainlaunch and the
# sample extensions, however they were started (InboxLogger is detached).
demo_pids() {
    local folder
    folder=$(cd "$app" && pwd -P)
    { find /proc/[0-9]*/exe -maxdepth 0 -lname "$folder/*" 2>/dev/null || true; } |
        sed -n 's|^/proc/\([0-9]*\)/exe$|\1|p'
}

# Sends TERM to the given pids, then KILL to those still there after 3 s.
stop_pids() {
    local pid tries
    [ "$#" -gt 0 ] || return 0
    kill -TERM "$@" 2>/dev/null || true
    for ((tries = 0; tries < 30; tries++)); do
        for pid in "$@"; do
            alive "$pid" && break
            pid=
        done
        [ -z "$pid" ] && return 0
        sleep 0.1
    done
    kill -KILL "$@" 2>/dev/null || true
}

stop_demo() {
    local rounds pids children
    if [ -n "$orva_pid" ]; then
        # ORVA first, so that it starts no further chainlaunch run; its
        # children are looked up before they lose their parent.
        children=$(pgrep -P "$orva_pid" || true)
        stop_pids "$orva_pid"
        wait "$orva_pid" 2>/dev/null || true
        # shellcheck disable=SC2086 # one pid per word
        stop_pids $children
        orva_pid=
    fi
    # A chainlaunch run may have started one more program just before it ended.
    for ((rounds = 0; rounds < 10; rounds++)); do
        pids=$(demo_pids)
        [ -z "$pids" ] && break
        # shellcheck disable=SC2086 # one pid per word
        stop_pids $pids
        sleep 0.2
    done
    if [ -n "$openbox_pid" ]; then
        stop_pids "$openbox_pid"
        wait "$openbox_pid" 2>/dev/null || true
        openbox_pid=
    fi
    if [ -n "$xvfb_pid" ]; then
        stop_pids "$xvfb_pid"
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=
    fi
}

cleanup() {
    stop_demo
    rm -rf -- "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

fail() {
    echo "Demo failed: $*" >&2
    if [ -n "$xvfb_pid" ] && [ -n "${DISPLAY:-}" ]; then
        timeout 10 import -window root "$app/demo-failure.png" 2>/dev/null &&
            echo "What the screen showed: $app/demo-failure.png" >&2
    fi
    echo "ORVA's output: $orva_log" >&2
    exit 1
}

orva_alive() {
    alive "$orva_pid" || fail "ORVA ended unexpectedly"
}

# Visible windows whose title matches; xdotool is bounded so that it cannot hang.
visible_windows() {
    timeout 5 xdotool search --onlyvisible --name "$1" 2>/dev/null || true
}

# wait_for_window <seconds> <title regex> [id to skip]: prints the window id.
wait_for_window() {
    local seconds=$1 title=$2 skip=${3:-} deadline id
    deadline=$((SECONDS + seconds))
    while :; do
        orva_alive
        for id in $(visible_windows "$title"); do
            if [ "$id" != "$skip" ]; then
                echo "$id"
                return 0
            fi
        done
        [ "$SECONDS" -lt "$deadline" ] || fail "timed out after ${seconds}s waiting for a window titled $title"
        sleep 0.2
    done
}

window_gone() {
    ! visible_windows "$2" | grep -qx "$1"
}

answer() {
    local id=$1 key=$2
    timeout 10 xdotool windowactivate --sync "$id" key "$key" || fail "could not press $key in window $id"
}

# Written under a hidden name and renamed, so that the watcher never sees half a file.
drop_file() {
    printf '%s\n' "$2" >"$app/Inbox/.$1"
    mv -- "$app/Inbox/.$1" "$app/Inbox/$1"
    echo "Dropped Inbox/$1"
}

file_filed() {
    orva_alive
    [ -f "$app/Processed/$1" ] && grep -qF $'\t'"$1"$'\t' "$app/Inbox.log" 2>/dev/null
}

step "No display: starting a virtual X server and openbox"
Xvfb -displayfd 3 -screen 0 800x480x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_for 15 "the virtual X server" grep -qE '^[0-9]+$' "$work/display"
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY
export QT_QPA_PLATFORM=xcb
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    # Qt warns on every start without one.
    export XDG_RUNTIME_DIR=$work/runtime
    mkdir -m 700 "$XDG_RUNTIME_DIR"
fi
openbox --sm-disable >"$work/openbox.log" 2>&1 &
openbox_pid=$!
wait_for 15 "openbox" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'

step "Starting ORVA on display $DISPLAY (its output goes to $orva_log)"
(cd "$app" && exec ./ORVA) >"$orva_log" 2>&1 &
orva_pid=$!

first=$(wait_for_window 30 "$notice_title")
echo "First notice (window $first): OK"
answer "$first" Return
wait_for 10 "the first notice to close" window_gone "$first" "$notice_title"

second=$(wait_for_window 15 "$notice_title" "$first")
echo "Second notice (window $second): No, to enter the program"
answer "$second" Escape

main=$(wait_for_window 60 "$main_title")
echo "Main window is up (window $main); InboxWatcher is watching Inbox"

step "Dropping two files into Inbox"
drop_file hello.txt "Hello from the ORVA demo"
wait_for 30 "InboxLogger to file hello.txt" file_filed hello.txt
echo "InboxLogger logged hello.txt and moved it into Processed/"
drop_file report.txt "A second file, dropped once the first was filed"
wait_for 30 "InboxLogger to file report.txt" file_filed report.txt
echo "InboxLogger logged report.txt and moved it into Processed/"
orva_alive

step "Inbox.log"
cat "$app/Inbox.log"

sleep 0.5 # let the main window finish painting
timeout 20 import -window root "$screenshot" || fail "could not take the screenshot"

step "Stopping ORVA, chainlaunch and the sample extensions"
stop_demo

step "Demo finished in $((SECONDS - started))s"
cat <<EOF
- The sample packs in Packs/ were installed with the real installer
  (InboxLogger, then InboxWatcher into the Listener list). They are signed
  by the key the build made ($build/samples/sample-author.key): the
  installer checked the signatures and keeps the key beside each manifest
  (Extensions/<id>/PackAuthorKey.txt), so only packs signed by the same key
  can update them.
- ORVA started in the demo workspace; its two notices were answered OK and No.
- It started the listener InboxWatcher through chainlaunch and showed its
  main window.
- Each file dropped into Inbox ended InboxWatcher; chainlaunch then ran the
  control extension InboxLogger, which logged the file to Inbox.log and moved
  it into Processed/, and ORVA started the pair over.
- Everything the demo started has been stopped; the workspace is kept.

  Workspace:     $app
  Inbox.log:     $app/Inbox.log
  Processed/:    $(cd "$app/Processed" && printf '%s ' *)
  Screenshot:    $screenshot
  ORVA's output: $orva_log
EOF
