#!/usr/bin/env bash
# Builds the kit that ORVA's Windows build links against: qtbase, libarchive
# with zlib, bzip2 and xz (liblzma), and libsodium, cross-compiled with MinGW-w64 from Debian's
# own source packages, so Debian's patches (its security fixes among them)
# come along. Prints the kit's folder on stdout; a finished kit is reused, an
# interrupted one resumed. With --cached it only prints a finished kit's
# folder, and fails when there is none; --folder prints where the kit is or
# goes. Standard output carries that folder alone: everything else, setup's
# and apt's lines included, goes to standard error.
#
#   kit=$(scripts/build-windows-kit.sh)
#   cmake -S . -B /tmp/win-build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64.cmake \
#         -DORVA_WINDOWS_KIT="$kit" -DCMAKE_BUILD_TYPE=Release
#
# Everything lives under ${XDG_CACHE_HOME:-~/.cache}/orva-windows: the kit in
# <qt>-<libarchive>-<zlib>-<bzip2>-<xz>-<libsodium versions>/, the sources in src/, the
# builds and their log in build/<same name>/. Root is needed only to install missing packages;
# the source packages come through a private apt list, /etc is left alone.
# ORVA_KIT_JOBS sets make's parallelism (2 by default).
set -euo pipefail

# Debian bookworm's versions of the source packages. Changing one builds a new
# kit beside the old one.
qt_version=6.4.2+dfsg-10
libarchive_version=3.6.2-1+deb12u5
zlib_version=1:1.2.13.dfsg-1
bzip2_version=1.0.8-5
xz_version=5.4.1-1+deb12u2
sodium_version=1.0.18-1+deb12u1

triplet=x86_64-w64-mingw32
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
toolchain=$(cd "$here/.." && pwd)/cmake/toolchains/mingw-w64.cmake
jobs=${ORVA_KIT_JOBS:-2}

cache=${XDG_CACHE_HOME:-$HOME/.cache}/orva-windows
kit_name=${qt_version#*:}-${libarchive_version#*:}-${zlib_version#*:}-${bzip2_version#*:}-${xz_version#*:}-${sodium_version#*:}
kit=$cache/$kit_name
build=$cache/build/$kit_name
log=$build/build.log
stamp=$kit/.orva-kit-complete

say() { echo "build-windows-kit: $*"; }

# The folder a source package unpacks into, Debian's patches applied.
source_dir() { echo "$cache/src/$1-${2#*:}"; }

# What the kit is made of, for the licence notices of what ships from it:
# share/orva-kit/sources.tsv has a line "<source package>\t<Debian version>"
# for each Debian source package whose code the kit holds, and
# share/orva-kit/copyright/<source package> is that package's debian/copyright
# as it is, read from the unpacked sources. What the kit copies in as it is
# (the compiler's runtime DLLs, nlohmann/json's headers) is not listed: the
# notices take those from the build machine's packages, which
# packaging/windows/components.tsv names. Written once, also into a kit
# finished before it existed.
built_sources=(
    qt6-base "$qt_version" libarchive "$libarchive_version" zlib "$zlib_version"
    bzip2 "$bzip2_version" xz-utils "$xz_version" libsodium "$sodium_version"
)
write_kit_sources() {
    local notes=$kit/share/orva-kit i package version copyright
    local partial=$notes.partial
    [ -d "$notes" ] && return 0
    rm -rf "$partial"
    mkdir -p "$partial/copyright"
    for ((i = 0; i < ${#built_sources[@]}; i += 2)); do
        package=${built_sources[i]}
        version=${built_sources[i + 1]}
        copyright=$(source_dir "$package" "$version")/debian/copyright
        [ -f "$copyright" ] || {
            say "no $copyright: the kit's list of sources is left out"
            rm -rf "$partial"
            return 1
        }
        printf '%s\t%s\n' "$package" "$version" >>"$partial/sources.tsv"
        cp "$copyright" "$partial/copyright/$package"
    done
    mv "$partial" "$notes"
}

exec 3>&1 >&2
case "${1:-}" in
    --folder)
        echo "$kit" >&3
        exit 0
        ;;
    --cached)
        [ -f "$stamp" ] || exit 1
        ;;
    *)
        # A finished kit needs the cross compilers, Wine and NSIS as much as a new one.
        "$here/setup-debian.sh" --windows
        ;;
esac
if [ -f "$stamp" ]; then
    # A kit without the list still serves; the notices' build says what it misses.
    write_kit_sources || true
    echo "$kit" >&3
    exit 0
fi

# Runs a build step at the lowest priority with its output in the log; on a
# failure shows the log's end.
step() {
    echo "+ $*" >>"$log"
    if ! nice -n 19 "$@" >>"$log" 2>&1; then
        say "failed: $*"
        tail -n 40 "$log" >&2
        say "whole log: $log"
        exit 1
    fi
}

# libarchive's configure runs test programs under Wine: a prefix of our own,
# quiet.
export WINEPREFIX=$cache/wine WINEDEBUG=-all
mkdir -p "$build" "$kit"
say "building into $kit (log: $log)"
echo "== $(date -u '+%F %T') kit $kit_name" >>"$log"
started=$SECONDS
timings=()
timed() {
    local name=$1 since=$SECONDS
    shift
    "$@"
    timings+=("$name $(((SECONDS - since) / 60))m$(((SECONDS - since) % 60))s")
}

# ---- Debian's source packages, through apt with a private list of sources

apt_dir=$cache/apt
apt_options=(
    -o "Dir::Etc::sourcelist=$apt_dir/sources.sources" -o Dir::Etc::sourceparts=-
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
    -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
)
apt_updated=false

# The machine's own deb entries, as deb-src, in deb822 form: one-line .list
# entries are converted, .sources stanzas copied with their Types changed
# (which keeps every other field, an inline Signed-By key too).
write_source_list() {
    local file
    {
        for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
            [ -f "$file" ] || continue
            awk '
                /^[ \t]*deb[ \t]/ {
                    sub(/#.*/, "")
                    options = ""
                    if (match($0, /\[[^]]*\]/)) {
                        options = substr($0, RSTART + 1, RLENGTH - 2)
                        $0 = substr($0, 1, RSTART - 1) substr($0, RSTART + RLENGTH)
                    }
                    $1 = $1
                    if (NF < 3) next
                    print "Types: deb-src"
                    print "URIs: " $2
                    print "Suites: " $3
                    components = ""
                    for (i = 4; i <= NF; i++) components = components " " $i
                    if (components != "") print "Components:" components
                    n = split(options, pairs, /[ \t]+/)
                    for (i = 1; i <= n; i++) {
                        if (split(pairs[i], kv, "=") != 2) continue
                        if (kv[1] == "signed-by") print "Signed-By: " kv[2]
                        else if (kv[1] == "trusted") print "Trusted: " kv[2]
                    }
                    print ""
                }' "$file"
        done
        for file in /etc/apt/sources.list.d/*.sources; do
            [ -f "$file" ] || continue
            awk '
                function flush() {
                    if (stanza != "" && wanted && enabled) printf "%s\n", stanza
                    stanza = ""; wanted = 0; enabled = 1
                }
                BEGIN { enabled = 1 }
                /^[ \t]*$/ { flush(); next }
                /^#/ { next }
                tolower($1) == "types:" {
                    for (i = 2; i <= NF; i++) if ($i == "deb" || $i == "deb-src") wanted = 1
                    stanza = stanza "Types: deb-src\n"
                    next
                }
                tolower($1) == "enabled:" && tolower($2) == "no" { enabled = 0 }
                { stanza = stanza $0 "\n" }
                END { flush() }' "$file"
        done
    } >"$apt_dir/sources.sources.new"
    mv "$apt_dir/sources.sources.new" "$apt_dir/sources.sources"
}

apt_update() {
    "$apt_updated" && return
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    write_source_list
    say "apt-get update with the deb-src list $apt_dir/sources.sources"
    # A third-party repository without sources must not stop the build:
    # apt-get source says so if Debian's are missing.
    apt-get "${apt_options[@]}" -q update >>"$log" 2>&1 ||
        say "apt-get update reported errors (see $log), going on"
    apt_updated=true
}

fetch_source() {
    local package=$1 version=$2 target
    target=$(source_dir "$package" "$version")
    [ -d "$target" ] && return
    apt_update
    local download=$cache/src/download
    rm -rf "$download" "$target.partial"
    mkdir -p "$download"
    say "fetching $package $version"
    if ! (cd "$download" && apt-get "${apt_options[@]}" -q source --download-only "$package=$version") >>"$log" 2>&1; then
        tail -n 20 "$log" >&2
        say "could not fetch $package $version: has Debian moved on? Update the versions at the top of $0"
        exit 1
    fi
    step dpkg-source --no-copy -x "$download"/*.dsc "$target.partial"
    mv "$target.partial" "$target"
    rm -rf "$download"
}

fetch_sources() {
    local i
    for ((i = 0; i < ${#built_sources[@]}; i += 2)); do
        fetch_source "${built_sources[i]}" "${built_sources[i + 1]}"
    done
}
timed sources fetch_sources
qt_source=$(source_dir qt6-base "$qt_version")
libarchive_source=$(source_dir libarchive "$libarchive_version")
zlib_source=$(source_dir zlib "$zlib_version")
bzip2_source=$(source_dir bzip2 "$bzip2_version")
xz_source=$(source_dir xz-utils "$xz_version")
sodium_source=$(source_dir libsodium "$sodium_version")

# ---- The compilers: the POSIX-thread MinGW-w64 flavour (std::thread and
# std::mutex need it), whatever update-alternatives selects. Qt's mkspec
# takes one prefix for every tool, hence a folder of links under plain names.

cross=$build/cross-bin
rm -rf "$cross"
mkdir -p "$cross"
for tool in /usr/bin/"$triplet"-*; do
    name=${tool##*/}
    case "$name" in
        *-win32) ;;
        *-posix) ln -s "$tool" "$cross/${name%-posix}" ;;
        *) [ -e "$tool-posix" ] || ln -s "$tool" "$cross/$name" ;;
    esac
done
for tool in gcc g++ windres ar objdump; do
    [ -x "$cross/$triplet-$tool" ] || {
        say "no $triplet-$tool among the MinGW-w64 tools"
        exit 1
    }
done
case "$("$cross/$triplet-g++" -v 2>&1)" in
    *"Thread model: posix"*) ;;
    *)
        say "$cross/$triplet-g++ is not the POSIX-thread compiler"
        exit 1
        ;;
esac

# ---- zlib, static: libarchive's DLL carries it, Qt uses its own copy.

build_zlib() {
    [ -f "$build/zlib.done" ] && return
    say "zlib"
    # zlib's CMake build moves zconf.h aside in its source folder: a copy.
    rm -rf "$build/zlib-source" "$build/zlib"
    cp -a "$zlib_source" "$build/zlib-source"
    step cmake -S "$build/zlib-source" -B "$build/zlib" \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DORVA_WINDOWS_KIT="$kit" -DCMAKE_BUILD_TYPE=Release
    step cmake --build "$build/zlib" --target zlibstatic -j "$jobs"
    mkdir -p "$kit/include" "$kit/lib"
    cp "$build/zlib-source/zlib.h" "$build/zlib/zconf.h" "$kit/include/"
    cp "$build/zlib/libzlibstatic.a" "$kit/lib/libz.a"
    touch "$build/zlib.done"
}

# ---- libbz2 as a DLL. bzip2 has only a Makefile for Unix, and the library is
# seven C files: compiled and linked here directly. The DLL exports all their
# functions, as Debian's libbz2.so does.

build_bzip2() {
    [ -f "$build/bzip2.done" ] && return
    say "bzip2"
    local out=$build/bzip2 object objects=()
    rm -rf "$out"
    mkdir -p "$out"
    for object in blocksort huffman crctable randtable compress decompress bzlib; do
        step "$cross/$triplet-gcc" -O2 -Wall -D_FILE_OFFSET_BITS=64 \
            -c "$bzip2_source/$object.c" -o "$out/$object.o"
        objects+=("$out/$object.o")
    done
    step "$cross/$triplet-gcc" -shared -o "$out/libbz2-1.dll" "${objects[@]}" \
        -Wl,--out-implib,"$out/libbz2.dll.a"
    mkdir -p "$kit/bin" "$kit/lib" "$kit/include"
    cp "$out/libbz2-1.dll" "$kit/bin/"
    cp "$out/libbz2.dll.a" "$kit/lib/"
    cp "$bzip2_source/bzlib.h" "$kit/include/"
    touch "$build/bzip2.done"
}

# ---- liblzma as a DLL through xz's configure: the library alone, with
# Windows' own threads (no winpthread), no programs, documents or translations.

build_xz() {
    [ -f "$build/xz.done" ] && return
    say "xz (liblzma)"
    rm -rf "$build/xz"
    mkdir -p "$build/xz"
    (cd "$build/xz" && step "$xz_source/configure" --host="$triplet" --prefix="$kit" \
        CC="$cross/$triplet-gcc" CFLAGS=-O2 \
        --enable-shared --disable-static --disable-nls --disable-doc \
        --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo \
        --disable-lzma-links --disable-scripts)
    step make -C "$build/xz/src/liblzma" -j "$jobs"
    step make -C "$build/xz/src/liblzma" install
    touch "$build/xz.done"
}

# ---- libsodium, static (its users define SODIUM_STATIC): pack signatures.

build_sodium() {
    [ -f "$build/sodium.done" ] && return
    say "libsodium"
    # Debian's source is the upstream repository: configure is made here, in a copy.
    rm -rf "$build/sodium"
    cp -a "$sodium_source" "$build/sodium"
    (cd "$build/sodium" && step autoreconf -fi)
    (cd "$build/sodium" && step ./configure --host="$triplet" --prefix="$kit" \
        CC="$cross/$triplet-gcc" CFLAGS=-O2 --enable-static --disable-shared)
    step make -C "$build/sodium" -j "$jobs"
    step make -C "$build/sodium" install
    touch "$build/sodium.done"
}

# ---- libarchive as a DLL, with zlib, bzip2, liblzma and Windows' own crypto.

build_libarchive() {
    [ -f "$build/libarchive.done" ] && return
    say "libarchive"
    step cmake -S "$libarchive_source" -B "$build/libarchive" \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DORVA_WINDOWS_KIT="$kit" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$kit" \
        -DENABLE_ZLIB=ON -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_NETTLE=OFF \
        -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF -DENABLE_ICONV=OFF -DENABLE_LZMA=ON \
        -DENABLE_LZO=OFF -DENABLE_BZip2=ON -DENABLE_LZ4=OFF -DENABLE_ZSTD=OFF \
        -DENABLE_LIBB2=OFF -DENABLE_PCREPOSIX=OFF -DENABLE_LibGCC=OFF \
        -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF -DENABLE_TEST=OFF \
        -DENABLE_WERROR=OFF -DENABLE_INSTALL=ON
    # A library it did not find is left out without an error, and the packs
    # compressed with it could not be read: stop here instead.
    local header
    for header in ZLIB_H BZLIB_H LZMA_H; do
        grep -q "^#define HAVE_$header 1" "$build/libarchive/config.h" || {
            say "libarchive's configure did not find ${header%_H} in $kit (see $log)"
            exit 1
        }
    done
    step cmake --build "$build/libarchive" -j "$jobs"
    step cmake --install "$build/libarchive"
    local imports dll
    imports=$("$cross/$triplet-objdump" -p "$kit/bin/libarchive.dll")
    for dll in libbz2-1.dll liblzma-5.dll; do
        case "$imports" in
            *"DLL Name: $dll"*) ;;
            *)
                say "$kit/bin/libarchive.dll does not import $dll"
                exit 1
                ;;
        esac
    done
    touch "$build/libarchive.done"
}

# ---- nlohmann/json is header-only: Debian's copy, placed in the kit so the
# cross build never sees the rest of /usr/include.

copy_nlohmann_json() {
    local config=/usr/share/cmake/nlohmann_json
    [ -f "$config/nlohmann_jsonConfig.cmake" ] || {
        say "no $config/nlohmann_jsonConfig.cmake: is nlohmann-json3-dev installed?"
        exit 1
    }
    rm -rf "$kit/include/nlohmann" "$kit/share/cmake/nlohmann_json"
    mkdir -p "$kit/include" "$kit/share/cmake"
    cp -a /usr/include/nlohmann "$kit/include/"
    cp -a "$config" "$kit/share/cmake/"
}

# ---- qtbase: Core, Gui, Widgets, Test, the windows platform plugin and the
# windowsvista style. Qt 6 cross-builds against a host Qt of the same version
# for its tools (moc, uic, rcc, qmake): Debian's, which is what CMake's
# AUTOMOC and AUTOUIC run, so the kit holds none of its own.

qt_host=/usr
qt_host_cmake=/usr/lib/x86_64-linux-gnu/cmake

# configure's options for a kit's folder and its build folder.
qt_options() {
    qt_configure=(
        -xplatform win32-g++ -qt-host-path "$qt_host"
        -opensource -confirm-license -release -prefix "$1/qt"
        -nomake examples -nomake tests
        -no-opengl -no-dbus -no-icu -no-openssl -no-fontconfig -no-glib -no-zstd
        -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-freetype -qt-harfbuzz
        -no-feature-tabletevent -no-feature-vulkan
        -no-feature-sql -no-feature-network -no-feature-xml -no-feature-printsupport
        -no-feature-concurrent
        # Qt 6.4 builds its DirectWrite font database only with Direct2D;
        # Direct2D 1.1 would add a platform plugin nobody loads.
        -feature-direct2d -no-feature-direct2d1_1
        -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$2/mingw-w64-toolchain.cmake"
        -DQT_HOST_PATH_CMAKE_DIR="$qt_host_cmake"
    )
}

# The compilers of cross-bin for Qt's CMake build, and only MinGW-w64's own
# headers and libraries: Qt takes the host's packages itself, from $qt_host.
write_qt_toolchain() {
    cat >"$build/mingw-w64-toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $cross/$triplet-gcc)
set(CMAKE_CXX_COMPILER $cross/$triplet-g++)
set(CMAKE_RC_COMPILER $cross/$triplet-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triplet)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}

build_qtbase() {
    local configured=$build/qtbase.configured
    qt_options "$kit" "$build"
    write_qt_toolchain
    # Options changed since the last configure: start that build afresh.
    if [ ! -f "$configured" ] || [ ! -f "$build/qtbase/build.ninja" ] ||
        [ "$(cat "$configured")" != "${qt_configure[*]}" ]; then
        say "qtbase: configure"
        rm -rf "$build/qtbase" "$configured"
        mkdir -p "$build/qtbase"
        (cd "$build/qtbase" && step "$qt_source/configure" "${qt_configure[@]}")
        echo "${qt_configure[*]}" >"$configured"
    fi
    say "qtbase: build (the longest part)"
    step cmake --build "$build/qtbase" --parallel "$jobs"
    step cmake --install "$build/qtbase"
}

# Qt does not use the other libraries: a finished kit with the same qtbase
# version configured the same way lends its qt/ folder, which saves a quarter
# of an hour. Qt's CMake files find everything relative to their own place;
# the text files naming the other kit's folders (pkg-config, .prl, .pri, the
# qt-cmake scripts, Qt's toolchain file) are pointed at this one's, the
# bundled libraries' build copies at their installed ones.
reuse_qtbase() {
    local donor donor_build copy=$kit/qt.partial
    for donor in "$cache/${qt_version#*:}-"*/; do
        donor=${donor%/}
        donor_build=$cache/build/${donor##*/}
        if [ "$donor" = "$kit" ] || [ ! -f "$donor/.orva-kit-complete" ] ||
            [ ! -f "$donor_build/qtbase.configured" ]; then
            continue
        fi
        qt_options "$donor" "$donor_build"
        [ "$(cat "$donor_build/qtbase.configured")" = "${qt_configure[*]}" ] || continue
        say "qtbase: copied from $donor"
        rm -rf "$kit/qt" "$copy"
        step cp -a "$donor/qt" "$copy"
        # shellcheck disable=SC2016 # perl's own variables
        { grep -rlIZF -e "$donor/" -e "$donor_build/" "$copy" || [ $? = 1 ]; } |
            old_lib=$donor_build/qtbase/lib/ new_lib=$kit/qt/lib/ \
                old_build=$donor_build/ new_build=$build/ old_kit=$donor/ new_kit=$kit/ \
                xargs -0 -r perl -pi -e 's/\Q$ENV{old_lib}\E/$ENV{new_lib}/g;
                    s/\Q$ENV{old_build}\E/$ENV{new_build}/g; s/\Q$ENV{old_kit}\E/$ENV{new_kit}/g'
        # The kit's qmake is the host's, run with bin/target_qt.conf, which
        # names the host's Qt and the kit relative to each other: both
        # computed afresh for this folder, as Qt's build does (without
        # resolving links).
        local conf=$copy/bin/target_qt.conf host_prefix host_data
        host_prefix=$(realpath -ms --relative-to="$kit/qt/bin" "$qt_host")
        host_data=$(realpath -ms --relative-to="$qt_host" "$kit/qt")
        [ -f "$conf" ] && step sed -i -e "s|^HostPrefix=.*|HostPrefix=$host_prefix|" \
            -e "s|^HostData=.*|HostData=$host_data|" "$conf"
        mv "$copy" "$kit/qt"
        local prefix data
        prefix=$("$kit/qt/bin/qmake" -query QT_INSTALL_PREFIX 2>>"$log") || prefix=
        data=$("$kit/qt/bin/qmake" -query QT_HOST_DATA 2>>"$log") || data=
        if [ "$prefix" = "$kit/qt" ] && [ "$data" = "$kit/qt" ] &&
            ! grep -rqIF -e "$donor/" -e "$donor_build/" "$kit/qt"; then
            write_qt_toolchain
            return 0
        fi
        say "qtbase copied from $donor does not work from $kit/qt: building it"
        rm -rf "$kit/qt"
        return 1
    done
    return 1
}

qtbase() {
    # Qt's build and ORVA's run the host's tools, which must be of the
    # kit's Qt version.
    local host
    # shellcheck disable=SC2016 # dpkg-query's own field
    host=$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools 2>/dev/null) || host=
    if [ "${host%%+*}" != "${qt_version%%+*}" ]; then
        say "the host's Qt tools (qt6-base-dev-tools ${host:-not installed}) are not Qt ${qt_version%%+*}"
        exit 1
    fi
    reuse_qtbase || build_qtbase
    # Qt's DLLs and the programs need the compiler's runtime beside them.
    local dll
    for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
        cp "$("$cross/$triplet-g++" -print-file-name="$dll")" "$kit/qt/bin/"
    done
    if [ ! -f "$kit/qt/lib/cmake/Qt6/Qt6Config.cmake" ] ||
        [ ! -f "$kit/qt/plugins/platforms/qwindows.dll" ]; then
        say "qtbase installed without lib/cmake/Qt6/Qt6Config.cmake or plugins/platforms/qwindows.dll"
        exit 1
    fi
}

timed zlib build_zlib
timed bzip2 build_bzip2
timed xz build_xz
timed libarchive build_libarchive
timed libsodium build_sodium
copy_nlohmann_json
timed qtbase qtbase
write_kit_sources || exit 1

touch "$stamp"
for timing in "${timings[@]}"; do
    say "took $timing"
done
say "done in $(((SECONDS - started) / 60))m$(((SECONDS - started) % 60))s"
# The compilers' processor time beside the wall time: other builds share the
# cores, and user + system over the cores estimates the time on idle ones.
# (times itself, not in a subshell, whose children would be none.)
times >"$build/times"
say "processor time of the build steps (user, system): $(tail -n 1 "$build/times")"
echo "$kit" >&3
