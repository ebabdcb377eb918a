#!/usr/bin/env bash
# Builds the release packages into dist/ on Debian 12, installing what is missing (apt needs root;
# the Windows tool chain needs root on its first run):
#   deb  oxlconsole_<version>_amd64.deb, from a Release build in build-deb/
#   zip  oxlconsole-<version>-win64.zip, from a Release cross build in build-zip/ against the
#        static Qt that scripts/windows-toolchain.sh prepares (its variables apply)
#   scripts/package.sh [deb|zip]...    (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."

kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(deb zip)

# The Debian changelog is dated by the last commit, so that a package built again from the same
# commit says the same.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && commitTime=$(git log -1 --format=%ct 2>/dev/null) &&
    [ -n "$commitTime" ]; then
    export SOURCE_DATE_EPOCH=$commitTime
fi

# Configures and builds the tree $1 without the tests, with the CMake options that follow, and
# copies its package into dist/.
package() {
    local tree=$1
    shift
    cmake -S . -B "$tree" -DCMAKE_BUILD_TYPE=Release -DOXL_BUILD_TESTS=OFF "$@" >/dev/null
    cmake --build "$tree" -j"$(nproc)"
    rm -rf "$tree/packages"
    (cd "$tree" && cpack -B "$PWD/packages" >/dev/null)
    mkdir -p dist
    cp "$tree"/packages/oxlconsole[-_]* dist/
}

for kind in "${kinds[@]}"; do
    case $kind in
    deb)
        # dpkg-dev and file for working out the library dependencies.
        scripts/install-missing.sh g++ cmake make qtbase5-dev dpkg-dev file
        package build-deb
        ;;
    zip)
        scripts/windows-toolchain.sh
        package build-zip -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
            -DCMAKE_PREFIX_PATH="${OXL_WIN_QT_PREFIX:-${OXL_WIN_CACHE:-$PWD/.cache}/qt5-win64}"
        ;;
    *)
        echo "unknown package: $kind (deb or zip)" >&2
        exit 2
        ;;
    esac
done
ls -l dist
