#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Writes tavrin-burn's manual page with help2man: the program's --help, each
# command's --help as a section of its own, and the hand-written sections of
# tavrin-burn.h2m (examples, files).
#   make_manpage.sh HELP2MAN PROGRAM H2M OUTPUT
set -euo pipefail
help2man=$1 program=$2 h2m=$3 output=$4
mkdir -p "$(dirname "$output")"
include=$(mktemp)
trap 'rm -f "$include"' EXIT
{
    cat "$h2m"
    echo "[COMMANDS]"
    for command in devices burn eject check verify; do
        echo ".SS $command"
        echo ".nf"
        # Roff reads a leading dot or quote as a request; a backslash as an escape.
        "$program" "$command" --help | sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"
        echo ".fi"
    done
} >"$include"
"$help2man" --no-info --no-discard-stderr --section=1 \
    --name="burn CD/DVD image files from a terminal with the Tavrin engine" \
    --include="$include" --output="$output" "$program"
