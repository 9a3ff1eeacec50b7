#!/bin/sh
# ORVA for one user. ORVA works in its current folder and writes its start
# lists and installed extensions there, so each user gets an app folder of
# their own, $XDG_DATA_HOME/ORVA. Its programs are links into the installed
# one, so that an upgrade of the package reaches every user.
#   orva                    start ORVA in that folder
#   orva --install PACK     install PACK there (packsetup asks first)
#   orva --logs             print the folder of the listener pairs' logs
# Every start repairs the folder, one idempotent step at a time, so a start
# that was interrupted leaves nothing that breaks the next one.
set -eu

# The usage on standard output with status 0 for --help, else on error with 2.
usage() {
    echo "usage: orva [--install PACK | --logs]" >&"$1"
    exit "$2"
}

pack=
logs=
[ "${1:-}" = --help ] && usage 1 0
case $# in
    0) ;;
    1) [ "$1" = --logs ] || usage 2 2; logs=1 ;;
    2) [ "$1" = --install ] || usage 2 2; pack=$2 ;;
    *) usage 2 2 ;;
esac
if [ -n "$pack" ]; then
    case $pack in
        /*) ;;
        *) pack=$PWD/$pack ;; # packsetup runs in the app folder
    esac
    [ -f "$pack" ] || { echo "orva: no such pack: $pack" >&2; exit 1; }
fi

case ${XDG_DATA_HOME:-} in
    /*) app=$XDG_DATA_HOME/ORVA ;;
    *) app=$HOME/.local/share/ORVA ;; # unset, empty or relative: the default
esac
if [ -n "$logs" ]; then
    echo "$app/Logs" # ORVA creates it at the first start of a listener
    exit 0
fi

# Found from this script's own place: /usr/bin/../lib/orva, or the same in a
# folder the package was unpacked into.
prefix=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd -P)
lib=$prefix/lib/orva
[ -x "$lib/ORVA" ] || { echo "orva: ORVA is missing from $lib" >&2; exit 1; }

# Points `link` at `target` unless it does already; a new link is renamed over
# the old one, so there is always one or the other.
link() {
    [ "$(readlink "$2" 2>/dev/null)" = "$1" ] && return 0
    ln -sfn "$1" "$2.new.$$"
    mv -fT "$2.new.$$" "$2"
}

mkdir -p "$app/Start" "$app/Extensions/00000001"
for list in Listener Controller Runner Structure MainControllerExtension; do
    : >>"$app/Start/$list.etl" # created when missing, never changed
done
link "$lib/Extensions/chainlaunch.exe" "$app/Extensions/chainlaunch.exe"
link "$lib/Extensions/00000001/packsetup.exe" "$app/Extensions/00000001/packsetup.exe"
name=$app/Extensions/00000001/ExtensionName.etn
if [ ! -s "$name" ]; then
    printf packsetup >"$name.new.$$"
    mv -f "$name.new.$$" "$name"
fi
# 添加's file dialog opens in ORVA's folder: the sample packs are found there.
if [ -d "$prefix/share/orva/Packs" ]; then
    link "$prefix/share/orva/Packs" "$app/Packs"
fi

cd "$app"
if [ -n "$pack" ]; then
    exec ./Extensions/00000001/packsetup.exe "$pack"
fi
exec "$lib/ORVA"
