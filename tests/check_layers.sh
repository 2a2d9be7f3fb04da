#!/usr/bin/env bash
# Checks who includes whom, so the layers stay what ARCHITECTURE.md says:
#   starburn/  standard library, libburn, libisofs; nothing else of ours
#   platform/  standard library and POSIX only
#   devices/ (not ufrm*), engine/  no Qt; of the library only starburn/StarBurn.h
#   ui/        Qt only; nothing of the engine or the library
#   app/, pages/, devices/ufrm*  anything but the library's insides
set -u
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2
status=0

# check FILES_GLOB_DESCRIPTION PATTERN MESSAGE FILE...
forbid() {
    local pattern=$1 message=$2
    shift 2
    local f hits
    for f in "$@"; do
        [ -f "$f" ] || continue
        hits=$(grep -n -E "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($pattern)" "$f" || true)
        if [ -n "$hits" ]; then
            while IFS= read -r line; do
                echo "$f:$line: $message"
            done <<<"$hits"
            status=1
        fi
    done
}

qt='Q[A-Za-z]+|qt|Qt'
ours='platform/|devices/|engine/|ui/|app/|pages/|art/'
lib_inside='starburn/(core|virtual|libburn|filetree)/'
# platform/ may include its own headers and nothing else of ours.
not_platform='devices/|engine/|ui/|app/|pages/|art/'

mapfile -t starburn_files < <(find starburn -name '*.h' -o -name '*.cpp' -o -name '*.c' 2>/dev/null)
mapfile -t platform_files < <(find platform -name '*.h' -o -name '*.cpp' 2>/dev/null)
mapfile -t core_files < <(find devices engine \( -name '*.h' -o -name '*.cpp' \) ! -name 'ufrm*' 2>/dev/null)
mapfile -t ui_files < <(find ui -name '*.h' -o -name '*.cpp' 2>/dev/null)
mapfile -t gui_files < <(find app pages -name '*.h' -o -name '*.cpp' 2>/dev/null; find devices -name 'ufrm*' 2>/dev/null)

forbid "$qt|fmt/|$ours" "the disc library uses only the standard library, libburn and libisofs" "${starburn_files[@]}"
forbid "$qt|fmt/|$not_platform|starburn/" "platform/ uses only the standard library and POSIX" "${platform_files[@]}"
forbid "$qt|ui/|app/|pages/|devices/ufrm|$lib_inside" "devices/ and engine/ never use Qt, the windows or the library's insides" "${core_files[@]}"
forbid "platform/|devices/|engine/|app/|pages/|starburn/" "ui/ uses Qt only" "${ui_files[@]}"
forbid "$lib_inside" "the windows reach the library only through starburn/StarBurn.h" "${gui_files[@]}"

if [ $status -eq 0 ]; then
    echo "layering: every include respects the layers"
fi
exit $status
