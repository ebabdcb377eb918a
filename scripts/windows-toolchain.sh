#!/usr/bin/env bash
# Prepares everything needed to cross-build and test the Windows executable on Debian 12:
# the MinGW-w64 compilers (posix threads), wine64, and a static Qt 5.15.8 (Core, Network, Test)
# built from Debian's own qtbase source package. Run as root. Safe to run again: a finished Qt
# install is recognised by its stamp file and the second run only checks the packages.
#
#   OXL_WIN_QT_PREFIX  where the Windows Qt is installed (default: <repo>/.cache/qt5-win64)
#   OXL_WIN_CACHE      where the source package is unpacked and built (default: <repo>/.cache)
#   OXL_WIN_JOBS       parallel make jobs (default: number of processors)
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${OXL_WIN_CACHE:-$repo/.cache}
prefix=${OXL_WIN_QT_PREFIX:-$cache/qt5-win64}
jobs=${OXL_WIN_JOBS:-$(nproc)}
qt_version=5.15.8
stamp=$prefix/.oxl-install-complete

configure_options=(
    -opensource -confirm-license
    -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32-
    -static -static-runtime -release
    -nomake examples -nomake tests
    -no-gui -no-widgets -no-opengl -no-dbus -no-icu -no-openssl
    -no-feature-sql -no-feature-xml -no-feature-concurrent -no-feature-bearermanagement
    -qt-zlib -qt-pcre -qt-doubleconversion
)
# A changed option list must not be mistaken for a finished install. The prefix is left out:
# CMake finds the tree relative to itself, so a moved cache stays usable.
fingerprint="qtbase $qt_version ${configure_options[*]}"

log() { printf '== %s\n' "$*" >&2; }

packages=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
    wine64 wine
    dpkg-dev perl python3 make g++ cmake xz-utils icoutils
)

# wine's recommendations (fonts, sound, graphics) are of no use to console programs.
"$repo/scripts/install-missing.sh" --no-install-recommends "${packages[@]}"

# Qt's win32-g++ build needs std::thread and std::mutex, which only the posix variants provide.
for tool in gcc g++; do
    want=/usr/bin/x86_64-w64-mingw32-$tool-posix
    if [ "$(readlink -f /usr/bin/x86_64-w64-mingw32-$tool)" != "$(readlink -f $want)" ]; then
        update-alternatives --set x86_64-w64-mingw32-$tool "$want"
    fi
done

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$fingerprint" ]; then
    log "static Qt $qt_version for Windows already installed in $prefix"
    exit 0
fi

have_deb_src() {
    grep -rqsE '^(deb-src[[:space:]]|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/
}
if ! have_deb_src; then
    main_sources=/etc/apt/sources.list.d/debian.sources
    [ -f "$main_sources" ] || { echo "no deb-src entry and no $main_sources to derive one from" >&2; exit 1; }
    log "adding source entries beside $main_sources"
    sed -E 's/^Types:.*/Types: deb-src/' "$main_sources" > /etc/apt/sources.list.d/debian-src.sources
    apt-get update -q
fi

mkdir -p "$cache/src"
srcdir=$(find "$cache/src" -maxdepth 1 -type d -name "qtbase-opensource-src-$qt_version*" | head -n 1)
if [ -z "$srcdir" ]; then
    log "fetching the qtbase source package"
    (cd "$cache/src" && apt-get source -q qtbase-opensource-src)
    srcdir=$(find "$cache/src" -maxdepth 1 -type d -name "qtbase-opensource-src-$qt_version*" | head -n 1)
    [ -n "$srcdir" ] || { echo "the qtbase source package is not version $qt_version" >&2; exit 1; }
fi

builddir=$cache/qtbase-win64-build
configured=$builddir/.oxl-configured
if ! [ -f "$configured" ] || [ "$(cat "$configured")" != "$fingerprint -prefix $prefix" ]; then
    rm -rf "$builddir"
    mkdir -p "$builddir"
    log "configuring Qt in $builddir"
    (cd "$builddir" && "$srcdir/configure" "${configure_options[@]}" -prefix "$prefix")
    printf '%s' "$fingerprint -prefix $prefix" > "$configured"
fi

log "building Qt with $jobs jobs"
make -C "$builddir" -j"$jobs"
rm -rf "$prefix"
make -C "$builddir" install
printf '%s' "$fingerprint" > "$stamp"
rm -rf "$builddir"
log "static Qt $qt_version for Windows installed in $prefix"
