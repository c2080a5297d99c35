#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages of scripts/packages.txt that are missing. Runs apt-get directly
# as root and through sudo otherwise; does nothing when everything is present.
#
# It never removes a package: apt runs with --no-remove, and when apt could only install what
# is missing by removing something (another JACK, say), the script stops before anything
# changes and names the packages in the way.
#
# A line "a | b" of packages.txt is met by either package: nothing is installed when one of
# them is, and otherwise the first one that apt can install without removing anything.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

installed() {
    local status
    status=$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]]
}

# The packages apt would remove to install the given ones (empty when none), from a simulation
# that changes nothing and needs no root.
removed_by() {
    LC_ALL=C apt-get -s -q install --no-install-recommends "$@" 2>/dev/null \
        | sed -n 's/^Remv \([^ ]*\).*/\1/p' | sort -u | tr '\n' ' ' | sed 's/ $//'
}

missing=()
alternatives=()
while IFS= read -r line; do
    line=${line%%#*}
    [[ -z "${line//[[:space:]]/}" ]] && continue
    if [[ "$line" == *"|"* ]]; then
        alternatives+=("$line")
        continue
    fi
    pkg=$(echo "$line" | tr -d '[:space:]')
    installed "$pkg" || missing+=("$pkg")
done <"$here/packages.txt"

# Each alternative group not met yet gets the first member that fits next to what is installed.
for group in "${alternatives[@]}"; do
    read -r -a members <<<"$(echo "$group" | tr '|' ' ')"
    met=0
    for pkg in "${members[@]}"; do
        if installed "$pkg"; then
            met=1
            break
        fi
    done
    [[ $met -eq 1 ]] && continue
    chosen=${members[0]}
    for pkg in "${members[@]}"; do
        if [[ -z "$(removed_by "$pkg")" ]]; then
            chosen=$pkg
            break
        fi
    done
    missing+=("$chosen")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
    sudo_cmd=()
elif command -v sudo >/dev/null; then
    sudo_cmd=(sudo)
else
    echo "Missing packages (${missing[*]}) and no sudo to install them; install them as root." >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q

in_the_way=$(removed_by "${missing[@]}")
if [[ -n "$in_the_way" ]]; then
    echo "Not installing: apt would have to remove $in_the_way to install ${missing[*]}." >&2
    echo "Nothing was changed. Install the missing packages by hand once you have decided" >&2
    echo "what to do about the ones in the way." >&2
    exit 1
fi
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends --no-remove "${missing[@]}"
