#!/usr/bin/env bash
# build-windows.sh captures the kit's folder from build-windows-kit.sh's
# standard output: it must be that one line, also when setup installs
# packages on the way. apt, dpkg and sudo are stand-ins here that find every
# package missing and talk as apt does; the kit is an empty finished one in
# a temporary cache. Nothing of the machine is touched.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/bin"
printf '#!/bin/sh\necho "deinstall ok config-files"\n' >"$tmp/bin/dpkg-query"
printf '#!/bin/sh\necho "Get:1 http://deb.example.org bookworm InRelease"\n' >"$tmp/bin/apt-get"
printf '#!/bin/sh\nexec "$@"\n' >"$tmp/bin/sudo"
chmod +x "$tmp"/bin/*
export XDG_CACHE_HOME=$tmp PATH=$tmp/bin:$PATH

kit=$("$root/scripts/build-windows-kit.sh" --folder)
mkdir -p "$kit"
touch "$kit/.orva-kit-complete"
"$root/scripts/build-windows-kit.sh" >"$tmp/stdout" 2>"$tmp/stderr"
grep -q '^Get:1' "$tmp/stderr" || { echo "setup did not run: $(cat "$tmp/stderr")"; exit 1; }
[ "$(cat "$tmp/stdout")" = "$kit" ] || { echo "standard output is not the kit's folder alone:"; cat "$tmp/stdout"; exit 1; }
