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

# Copies the package of the built tree $1 into dist/.
package() {
    local tree=$1
    rm -rf "$tree/packages"
    (cd "$tree" && cpack -B "$PWD/packages" >/dev/null)
    mkdir -p dist
    cp "$tree"/packages/oxlconsole[-_]* dist/
}

source scripts/windows-build.sh
# Neither tests nor benchmark programs go into a package.
treeOptions=(-DOXL_BUILD_TESTS=OFF -DOXL_BUILD_BENCH=OFF)

for kind in "${kinds[@]}"; do
    case $kind in
    deb)
        # dpkg-dev and file for working out the library dependencies.
        scripts/install-missing.sh g++ cmake make qtbase5-dev dpkg-dev file
        cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=Release "${treeOptions[@]}" >/dev/null
        cmake --build build-deb -j"$(nproc)"
        package build-deb
        ;;
    zip)
        windows_build build-zip "${treeOptions[@]}"
        package build-zip
        ;;
    *)
        echo "unknown package: $kind (deb or zip)" >&2
        exit 2
        ;;
    esac
done
ls -l dist
