#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Every source file says its licence in its first lines, in the one form that
# tools (reuse, licensecheck, scancode) read: SPDX-License-Identifier. A file
# added without it fails here; scripts/add-spdx.sh writes the line.
#   check_spdx.sh [SOURCE_DIR]
set -u
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2
# shellcheck source=../scripts/spdx-files.sh
. scripts/spdx-files.sh

status=0
count=0
while IFS= read -r -d '' f; do
    count=$((count + 1))
    if ! spdx_has_line "$f"; then
        echo "$f: no '$spdx_line' in its first $spdx_head_lines lines (scripts/add-spdx.sh adds it)"
        status=1
    fi
done < <(spdx_source_files)

if [ $count -eq 0 ]; then
    echo "spdx: no source files found under $PWD"
    exit 2
fi
if [ $status -eq 0 ]; then
    echo "spdx: all $count source files carry '$spdx_line'"
fi
exit $status
