#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and demonstrate ORVA,
# only those that are missing. Quiet when everything is present already.
# Both Qt majors: Qt 6 for the release build and the demo, Qt 5 for the
# sanitizer build. Their xcb and offscreen platform plugins come with
# libqt6gui6 and libqt5gui5, which the -dev packages pull in.
# --windows adds what the Windows cross build needs (scripts/build-windows-kit.sh):
# the POSIX-thread MinGW-w64 compilers, dpkg-dev for Debian's source packages,
# Wine to run the programs, NSIS for the installer, osslsigncode to sign them
# and openssl for the tests' own certificate.
# Everything it and apt say goes to standard error: callers such as
# build-windows-kit.sh keep standard output for what their own callers read.
set -euo pipefail
exec >&2

packages=(
    build-essential cmake
    qt6-base-dev qt6-base-dev-tools libqt6test6
    qtbase5-dev qtbase5-dev-tools libqt5test5
    nlohmann-json3-dev libarchive-dev libsodium-dev
    xvfb openbox xdotool x11-utils fonts-noto-cjk imagemagick
    python3 procps clang-format clang-tidy shellcheck reuse librsvg2-bin
    clang libclang-rt-14-dev libarchive-tools strace
    dpkg-dev file lintian desktop-file-utils shared-mime-info xdg-utils libglib2.0-bin
)

windows_packages=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    mingw-w64-tools wine64 wine nsis dpkg-dev perl python3 make cmake pkg-config
    autoconf automake libtool icoutils osslsigncode openssl ninja-build
)

case "${1:-}" in
    "") ;;
    --windows) packages+=("${windows_packages[@]}") ;;
    *)
        echo "usage: setup-debian.sh [--windows]"
        exit 2
        ;;
esac

if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
    echo "setup-debian.sh: no dpkg/apt-get here; install the equivalents of: ${packages[*]}"
    exit 1
fi

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    if [ "$status" != "install ok installed" ]; then
        missing+=("$package")
    fi
done
[ "${#missing[@]}" -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "setup-debian.sh: missing packages, and no sudo to install them: ${missing[*]}"
        exit 1
    fi
    as_root=(sudo)
fi

echo "Installing: ${missing[*]}"
${as_root[@]+"${as_root[@]}"} env DEBIAN_FRONTEND=noninteractive apt-get update -qq
${as_root[@]+"${as_root[@]}"} env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
