# Sourced by the scripts that need the Windows programs; run from the repository's root.
#   windows_build TREE [CMAKE OPTION]...
# prepares the tool chain (scripts/windows-toolchain.sh, whose variables apply), then configures
# TREE as a Release cross build with MinGW-w64 against the static Qt and builds it.
windows_build() {
    local tree=$1
    shift
    scripts/windows-toolchain.sh
    cmake -S . -B "$tree" \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_PREFIX_PATH="${OXL_WIN_QT_PREFIX:-${OXL_WIN_CACHE:-$PWD/.cache}/qt5-win64}" \
        -DCMAKE_BUILD_TYPE=Release -DOXL_WARNINGS_AS_ERRORS="${OXL_WARNINGS_AS_ERRORS:-OFF}" \
        "$@" >/dev/null
    cmake --build "$tree" -j"$(nproc)"
}
