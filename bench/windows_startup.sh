#!/usr/bin/env bash
# Start-up time of the Windows programs under Wine, to compare two builds of
# the app folder (the kits' Qt majors, say) on one machine:
#   etipack.exe --help        a console program that ends by itself;
#   chainlaunch.exe A B       two trivial programs chained (A = B = Wine's
#                             hostname.exe), its one-second wait after B included;
#   ORVA.exe                  from its start until its first start-up notice
#                             is mapped (looked for every 10 ms), then ended
#                             by its process id.
# Prints the median, the fastest and the slowest of N runs (9 by default) in
# milliseconds, after one run of each that is not counted (the files come
# into the page cache). Wine's server is kept running between the runs
# (wineserver -p), so the numbers are the program's start, not Wine's boot.
# The app folder is copied (ORVA writes beside itself); the Wine prefix and
# the Xvfb display are this script's own, and go when it ends.
#
#   bench/windows_startup.sh <app folder> [runs]
# Not part of the test suite.
set -euo pipefail

if [ $# -lt 1 ] || [ ! -f "$1/ORVA.exe" ]; then
    echo "usage: windows_startup.sh <app folder with ORVA.exe> [runs]" >&2
    exit 2
fi
app_source=$(cd "$1" && pwd)
runs=${2:-9}
for tool in wine wineserver Xvfb xdotool; do
    command -v "$tool" >/dev/null || {
        echo "windows_startup: $tool is needed (scripts/setup-debian.sh --windows)" >&2
        exit 1
    }
done

work=$(mktemp -d)
xvfb=
cleanup() {
    WINEPREFIX=$work/wine wineserver -k 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A display of its own: Xvfb picks a free number and writes it to fd 3, here
# a FIFO that the read waits on (an Xvfb that fails closes it unwritten).
mkfifo "$work/display" "$work/tick"
# Never written: reading it with a time-out paces the look for ORVA's window.
exec 5<>"$work/tick"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
read -r display <"$work/display" || {
    echo "windows_startup: Xvfb did not start" >&2
    exit 1
}
export DISPLAY=":$display"
export WINEPREFIX=$work/wine WINEDEBUG=-all LC_ALL=C.UTF-8

cp -a "$app_source" "$work/app"
app=$work/app
echo "windows_startup: preparing a Wine prefix in $WINEPREFIX" >&2
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i >/dev/null 2>&1

now_us() { echo "${EPOCHREALTIME/./}"; }

# Runs "$@" and prints its duration in milliseconds; it must end by itself.
time_command() {
    local start end
    start=$(now_us)
    "$@" >/dev/null 2>&1 || true
    end=$(now_us)
    echo $(((end - start) / 1000))
}

# ORVA.exe until its first notice is mapped; ended then by its pid.
time_orva() {
    local start end pid
    start=$(now_us)
    (cd "$app" && exec wine ORVA.exe >/dev/null 2>&1) &
    pid=$!
    # xdotool's own --sync looks every half second: too coarse here.
    until xdotool search --onlyvisible --name '参赛作品-ORVA' >/dev/null 2>&1; do
        read -r -t 0.01 -u 5 || true
    done
    end=$(now_us)
    kill -KILL "$pid"
    wait "$pid" 2>/dev/null || true
    echo $(((end - start) / 1000))
}

hostname_exe='C:\windows\system32\hostname.exe'
measure() {
    case "$1" in
        etipack) time_command wine "$app/etipack.exe" --help ;;
        chainlaunch) time_command wine "$app/Extensions/chainlaunch.exe" "$hostname_exe" "$hostname_exe" ;;
        ORVA) time_orva ;;
    esac
}

printf '%-12s %8s %8s %8s   (ms, %d runs)\n' program median fastest slowest "$runs"
for program in etipack chainlaunch ORVA; do
    measure "$program" >/dev/null
    times=()
    for ((run = 0; run < runs; run++)); do
        times+=("$(measure "$program")")
    done
    mapfile -t sorted < <(printf '%s\n' "${times[@]}" | sort -n)
    printf '%-12s %8s %8s %8s\n' "$program" "${sorted[runs / 2]}" "${sorted[0]}" "${sorted[runs - 1]}"
done
