#!/usr/bin/env bash
# Installs those of the named Debian packages that are not installed yet (apt needs root).
#   scripts/install-missing.sh [--no-install-recommends] PACKAGE...
set -euo pipefail
options=()
if [ "${1:-}" = --no-install-recommends ]; then
    options+=("$1")
    shift
fi
missing=()
for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -gt 0 ] || exit 0
echo "Installing ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${options[@]}" "${missing[@]}"
