#!/usr/bin/env bash
# Checks the packages that scripts/package.sh built in dist/, as root on Debian 12:
#   deb  the files, the control fields and lintian's verdict (no error, no warning), the manual
#        page with groff's warnings on, then installs it with apt-get, finds the page with man,
#        runs the installed /usr/bin/oxlconsole through scripts/smoke-check.sh, and removes it again
#   zip  the files, the executable's version resource, that it is stripped and needs no DLLs
#        beyond Windows' own, then unpacks it into a fresh folder and runs that oxlconsole.exe
#        through scripts/smoke-check.sh under wine64
# Both hold the bridge and its documents only: no sample desktop application, no test program.
#   scripts/check-packages.sh [deb|zip]...    (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."

kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(deb zip)
documents=(LICENSE LICENSES/GPL-3.0.txt LICENSES/LGPL-3.0.txt LICENSES/third-party.txt README.md
           THIRD-PARTY-NOTICES.md)
# Debian's own, beside those: the changelog and the copyright file, and the manual page.
debianDocuments=(changelog.gz copyright)
manualPage=usr/share/man/man1/oxlconsole.1.gz

fail() {
    echo "check-packages: $*" >&2
    exit 1
}

# The project version of the CMake tree $1.
version() {
    sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"
}

# Compares the file list on standard input with the arguments.
expectFiles() {
    diff -u <(printf '%s\n' "$@" | sort) <(sort) || fail "unexpected package contents (see above)"
}

installed=
unpacked=
cleanup() {
    if [ -n "$installed" ]; then
        apt-get remove -y -q --purge oxlconsole >/dev/null || true
    fi
    [ -z "$unpacked" ] || rm -rf "$unpacked"
    if declare -F wine_prefix_stop >/dev/null; then
        wine_prefix_stop
    fi
}
trap cleanup EXIT

checkDeb() {
    local v deb
    v=$(version build-deb)
    deb=$PWD/dist/oxlconsole_${v}_amd64.deb
    [ -f "$deb" ] || fail "$deb is missing"
    dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' |
        expectFiles usr/bin/oxlconsole "${documents[@]/#/usr/share/doc/oxlconsole/}" \
            "${debianDocuments[@]/#/usr/share/doc/oxlconsole/}" "$manualPage"
    [ "$(dpkg-deb -f "$deb" Package)" = oxlconsole ] || fail "package name"
    [ "$(dpkg-deb -f "$deb" Version)" = "$v" ] || fail "version $(dpkg-deb -f "$deb" Version), not $v"
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    for library in libqt5core5a libqt5network5 libc6; do
        grep -q "$library" <<<"$depends" || fail "no dependency on $library: $depends"
    done
    echo "$deb: version $v, depends on $depends" >&2

    scripts/install-missing.sh lintian
    lintian --fail-on error,warning "$deb" || fail "lintian finds errors or warnings in $deb"
    local warnings
    warnings=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO "./$manualPage" | gunzip |
        groff -man -Tutf8 -ww -z 2>&1) || fail "cannot format $manualPage"
    [ -z "$warnings" ] || fail "groff warns about the manual page: $warnings"
    echo "$deb: lintian passes, groff formats the manual page without warnings" >&2

    if dpkg-query -W -f='${Status}' oxlconsole 2>/dev/null | grep -q 'install ok installed'; then
        fail "oxlconsole is installed already; the check would replace and remove it"
    fi
    installed=1
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >/dev/null
    local page
    page=$(man -w oxlconsole) || fail "man finds no page oxlconsole"
    [ "$page" = "/$manualPage" ] || fail "man finds $page, not /$manualPage"
    scripts/smoke-check.sh build-deb/oxldesktop /usr/bin/oxlconsole
    apt-get remove -y -q --purge oxlconsole >/dev/null
    installed=
    for file in /usr/bin/oxlconsole "/$manualPage"; do
        [ ! -e "$file" ] || fail "$file is left after the removal"
    done
    echo "$deb: installed, smoke-checked and removed" >&2
}

checkZip() {
    local v name zip
    v=$(version build-zip)
    name=oxlconsole-$v-win64
    zip=$PWD/dist/$name.zip
    [ -f "$zip" ] || fail "$zip is missing"
    scripts/install-missing.sh unzip
    unzip -Z1 "$zip" | grep -v '/$' | expectFiles "$name/oxlconsole.exe" "${documents[@]/#/$name/}"
    unpacked=$(mktemp -d)
    unzip -q "$zip" -d "$unpacked"
    local exe=$unpacked/$name/oxlconsole.exe
    scripts/check-version-resource.py "$exe" "$v" "OXL Calyxen Connector"
    if ! x86_64-w64-mingw32-objdump -t "$exe" | grep -qx 'no symbols'; then
        fail "oxlconsole.exe is not stripped"
    fi
    local dlls
    dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p')
    if grep -iE 'qt5|libstdc|libgcc|winpthread' <<<"$dlls"; then
        fail "oxlconsole.exe needs DLLs that Windows does not have"
    fi
    echo "$zip: version $v, stripped, needs only $(echo $dlls)" >&2

    source scripts/wine-prefix.sh
    wine_prefix_start
    OXL_SMOKE_RUNNER=$wine64 scripts/smoke-check.sh build-zip/oxldesktop.exe "$exe"
    echo "$zip: unpacked and smoke-checked under wine64" >&2
}

for kind in "${kinds[@]}"; do
    case $kind in
    deb) checkDeb ;;
    zip) checkZip ;;
    *)
        echo "unknown package: $kind (deb or zip)" >&2
        exit 2
        ;;
    esac
done
