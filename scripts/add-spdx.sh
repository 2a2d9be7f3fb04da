#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Writes the licence line into every source file that lacks it (the files
# tests/check_spdx.sh checks), or into the files named:
#   scripts/add-spdx.sh [FILE...]
# The line goes first, after a #! line when there is one; C and C++ files
# get it as a comment of the kind the file opens with. Files that have it
# are left alone, so running it twice changes nothing. Prints what it changed.
set -euo pipefail
# Named files are taken from where the script was called.
named=()
for f in "$@"; do
    named+=("$(realpath -- "$f")")
done
cd "$(dirname "$0")/.."
# shellcheck source=spdx-files.sh
. scripts/spdx-files.sh

comment_for() {
    local f=$1 first
    case $f in
    *.cpp | *.h | *.c)
        first=$(head -n 1 -- "$f")
        # A file that opens with a block comment (the C files and the
        # library's public C headers) keeps to that style.
        if [[ $f == *.c || $first == /\** ]]; then
            echo "/* $spdx_line */"
        else
            echo "// $spdx_line"
        fi
        ;;
    *) echo "# $spdx_line" ;;
    esac
}

add_line() {
    local f=$1 line tmp
    line=$(comment_for "$f")
    tmp=$(mktemp)
    if [ "$(head -c 2 -- "$f")" = "#!" ]; then
        { head -n 1 -- "$f"; printf '%s\n' "$line"; tail -n +2 -- "$f"; } >"$tmp"
    else
        { printf '%s\n' "$line"; cat -- "$f"; } >"$tmp"
    fi
    # Written over the file rather than moved, so its mode (executable
    # scripts) stays.
    cat "$tmp" >"$f"
    rm -f "$tmp"
    echo "added: $f"
}

files=()
if [ ${#named[@]} -gt 0 ]; then
    files=("${named[@]}")
else
    while IFS= read -r -d '' f; do
        files+=("$f")
    done < <(spdx_source_files)
fi

for f in "${files[@]}"; do
    [ -f "$f" ] || { echo "not a file: $f" >&2; exit 2; }
    spdx_has_line "$f" || add_line "$f"
done
