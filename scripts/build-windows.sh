#!/usr/bin/env bash
# Builds ORVA for Windows x64 on Debian and packages it the way Windows users
# install it:
#   1. the kit (scripts/build-windows-kit.sh: Qt 6, libarchive and their
#      libraries from Debian's sources; ≈ 30 minutes on two idle cores the
#      first time, reused),
#   2. the programs, cross-built with MinGW-w64 (the CMake preset windows),
#   3. the portable app folder with every DLL it needs: build/windows-app/ORVA,
#   4. its zip and its installer (NSIS, per user):
#      build/ORVA-<version>-windows-x64.zip and ORVA-<version>-setup.exe,
#      every program in them signed when ORVA_SIGN_PKCS12 names a code-signing
#      certificate (scripts/sign-windows.sh; the tests make one of their own),
#   5. the test suite, its programs and the app folder's run as Windows
#      programs under Wine, end to end in Xvfb, and the start-up tests again
#      on what the installer installs, with its .etipack association
#      (--no-tests skips).
# ORVA_BUILD_ROOT chooses another folder than build/.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
builds=${ORVA_BUILD_ROOT:-$root/build}
run_tests=1
case "${1:-}" in
    "") ;;
    --no-tests) run_tests=0 ;;
    *)
        echo "usage: build-windows.sh [--no-tests]" >&2
        exit 2
        ;;
esac
cd "$root"

ORVA_WINDOWS_KIT=$("$root/scripts/build-windows-kit.sh")
export ORVA_WINDOWS_KIT
# Wine's own files for the build's and the tests' runs, away from ~/.wine.
export WINEPREFIX=${WINEPREFIX:-$(dirname "$ORVA_WINDOWS_KIT")/wine} WINEDEBUG=${WINEDEBUG:--all}

echo "== windows: configure and build"
# A build made against another kit has that kit's libraries in its cache.
cache=$builds/windows/CMakeCache.txt
if [ -f "$cache" ] && ! grep -qxF "ORVA_WINDOWS_KIT:PATH=$ORVA_WINDOWS_KIT" "$cache"; then
    rm -rf "$builds/windows"
fi
cmake --preset windows -B "$builds/windows" >/dev/null
cmake --build "$builds/windows" -j "$(nproc 2>/dev/null || echo 2)"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
test_ca=""
if [ "$run_tests" = 1 ] && [ -z "${ORVA_SIGN_PKCS12:-}" ]; then
    # The suite checks the signatures: made with a certificate of this run's own CA.
    export ORVA_SIGN_PKCS12=$scratch/test-signer.p12 ORVA_SIGN_PASSWORD=orva-test
    test_ca=$scratch/ca.pem
    "$root/tests/scripts/windows-signing.sh" certificate "$scratch"
    echo "windows: signed with a certificate made for this test run, which no one trusts: not for release"
fi
sign=()
if [ -n "${ORVA_SIGN_PKCS12:-}" ]; then
    sign=(-DSIGN="$root/scripts/sign-windows.sh")
else
    echo "windows: unsigned, as ORVA_SIGN_PKCS12 names no code-signing certificate"
fi

echo "== windows: app folder, zip and installer"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$cache")
copyright=$(sed -n 's/^ORVA_COPYRIGHT:INTERNAL=//p' "$cache")
app=$builds/windows-app/ORVA
rm -rf "$builds/windows-app"
cmake --install "$builds/windows" --prefix "$app" >/dev/null
# Every program in the app folder is ORVA's own (the DLLs are Qt's and the libraries').
if [ "${#sign[@]}" -gt 0 ]; then
    find "$app" -name '*.exe' -exec "$root/scripts/sign-windows.sh" {} +
fi
zip=$builds/ORVA-$version-windows-x64.zip
setup=$builds/ORVA-$version-setup.exe
rm -f "$zip"
(cd "$builds/windows-app" && cmake -E tar cf "$zip" --format=zip ORVA)
makensis -V2 -DAPP_DIR="$app" -DVERSION="$version" -DCOPYRIGHT="$copyright" -DOUT_FILE="$setup" \
    ${sign[@]+"${sign[@]}"} "$root/packaging/windows/ORVA.nsi"
echo "app folder: $app"
echo "zip:        $zip"
echo "installer:  $setup"

if [ "$run_tests" = 1 ]; then
    # Explorer shows ORVA.exe and packsetup.exe, the opener of packs, with
    # ORVA's icon: each carries an icon group (resource type 14).
    for program in "$app/ORVA.exe" "$app/Extensions/00000001/packsetup.exe"; do
        if ! wrestool -l --type=14 "$program" | grep -q group_icon; then
            echo "no icon in $program" >&2
            exit 1
        fi
    done

    # One at a time: the programs of a Wine prefix share one Wine server.
    echo "== windows: every test under Wine, end to end in Xvfb"
    ctest --test-dir "$builds/windows" --output-on-failure --no-tests=error

    # What the installer installs starts as the app folder does: its start-up
    # tests, run on a silent per-user install, which a silent uninstall ends.
    echo "== windows: the installer's install, started end to end"
    installed=$scratch/installed
    wine "$setup" /S "/D=Z:${installed//\//\\}\\ORVA"
    # Checked before the tests install extensions of their own there.
    "$root/tests/scripts/windows-signing.sh" check "$test_ca" "$installed/ORVA" "$setup" "$builds/windows/samples" "$version"
    (cd "$root/tests/e2e" && ORVA_APP_DIR=$installed/ORVA ORVA_WINE="$root/cmake/toolchains/wine-run.sh -" \
        ORVA_STANDIN=$builds/windows/tests/support/orva_standin.exe LC_ALL=C.UTF-8 \
        python3 -B -m unittest test_startup test_association)
    wine "$installed/ORVA/Uninstall.exe" /S "_?=Z:${installed//\//\\}\\ORVA"
    test ! -e "$installed/ORVA/ORVA.exe"
    # The uninstall takes the .etipack association with it.
    for key in .etipack ORVA.etipack; do
        if wine reg query "HKCU\\Software\\Classes\\$key" >/dev/null 2>&1; then
            echo "the uninstall left HKCU\\Software\\Classes\\$key" >&2
            exit 1
        fi
    done
fi
