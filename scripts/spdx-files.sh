# SPDX-License-Identifier: GPL-2.0-or-later
# Which files are source files and how their licence line is found: shared by
# tests/check_spdx.sh (the check) and scripts/add-spdx.sh (the fix), so the
# two never disagree. Sourced from the repository root.

spdx_id=GPL-2.0-or-later
spdx_line="SPDX-License-Identifier: $spdx_id"
# The line may follow a #! line and an encoding line, nothing more.
spdx_head_lines=3

# Prints the source files, NUL-separated. In a git work tree: the files git
# knows and the new ones it does not ignore (so a fresh file fails before its
# first commit); in an unpacked source tree: every file outside build/.
spdx_source_files() {
    local patterns=('*.cpp' '*.h' '*.c' '*.cmake' '*CMakeLists.txt' '*.sh' '*.py')
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files -z --cached --others --exclude-standard -- "${patterns[@]}" |
            while IFS= read -r -d '' f; do
                # A file deleted but not yet staged is listed by --cached.
                [ -f "$f" ] && printf '%s\0' "$f"
            done
    else
        find . \( -path ./build -o -path ./.git -o -path ./.cache \) -prune -o \
            -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.cmake' \
            -o -name CMakeLists.txt -o -name '*.sh' -o -name '*.py' \) -printf '%P\0'
    fi
}

spdx_has_line() {
    head -n "$spdx_head_lines" -- "$1" | grep -qF "$spdx_line"
}
