#!/usr/bin/env bash
# Checks who includes whom, so the floors stay what ARCHITECTURE.md says. Every
# include of ours must point down (or stay on its own floor):
#   ini/       the one INI reader: standard library and POSIX only
#   starburn/  the disc library: standard library, libburn, libisofs, ini/
#   platform/  standard library, POSIX, ini/
#   ui/        Qt only
#   base/      platform/, the library's public headers; no Qt
#   engine/    base/ and below; no Qt
#   devices/   engine/ and below; no Qt (its recorder page ufrm* stands with pages/)
#   cli/       devices/ and below; no Qt
#   forms/     Qt, ui/, devices/ and below
#   pages/     forms/ and below (and devices/ufrm*, the recorder page)
#   app/       everything above
# Nothing outside starburn/ reaches into the library's insides.
set -u
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2
status=0

ground='ini|platform|starburn/StarBurn[A-Za-z]*\.h'
allowed_for() {
    case $1 in
    ini) echo 'ini' ;;
    platform) echo 'platform|ini' ;;
    ui) echo 'ui' ;;
    base) echo "base|$ground" ;;
    engine) echo "engine|base|$ground" ;;
    devices) echo "devices/sb|engine|base|$ground" ;;
    cli) echo "cli|devices/sb|engine|base|$ground" ;;
    forms) echo "forms|ui|devices/sb|engine|base|$ground" ;;
    pages) echo "pages|devices|forms|ui|engine|base|$ground" ;;
    app) echo "app|pages|devices|forms|ui|engine|base|$ground" ;;
    esac
}
no_qt='ini platform base engine devices cli'
ours='ini|starburn|platform|base|engine|devices|cli|ui|forms|pages|app|art'

floor_of() {
    case $1 in
    devices/ufrm*) echo pages ;;
    *) echo "${1%%/*}" ;;
    esac
}

check_file() {
    local f=$1 floor allowed line target
    floor=$(floor_of "$f")
    allowed=$(allowed_for "$floor")
    while IFS= read -r line; do
        [ -n "$line" ] || continue
        target=$(sed -E 's/^([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^">]+)[">].*/\2/' <<<"$line")
        if [[ $target =~ ^($ours)/ ]] && ! [[ $target =~ ^($allowed) ]]; then
            echo "$f:$line: $floor/ may not include $target (an include that climbs or crosses a floor)"
            status=1
        fi
        if [[ " $no_qt " == *" $floor "* ]] && [[ $target =~ ^(Q[A-Za-z]+|qt|Qt) ]]; then
            echo "$f:$line: $floor/ never uses Qt"
            status=1
        fi
    done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$f" || true)
}

# The library: nothing of ours outside itself, no Qt, no fmt.
while IFS= read -r f; do
    hits=$(grep -n -E "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"](Q[A-Za-z]+|qt|Qt|fmt/|(platform|base|engine|devices|cli|ui|forms|pages|app|art)/)" "$f" || true)
    if [ -n "$hits" ]; then
        while IFS= read -r line; do
            echo "$f:$line: the disc library uses only the standard library, libburn, libisofs and ini/"
        done <<<"$hits"
        status=1
    fi
done < <(find starburn \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) 2>/dev/null)

# tavrin-burn links the engine and the library only: no Qt target, no Qt library.
if [ -f cli/CMakeLists.txt ]; then
    hits=$(grep -n -E 'Qt[0-9]*::|sbgui|sbui|find_package\(Qt' cli/CMakeLists.txt || true)
    if [ -n "$hits" ]; then
        while IFS= read -r line; do
            echo "cli/CMakeLists.txt:$line: tavrin-burn never links Qt"
        done <<<"$hits"
        status=1
    fi
fi

while IFS= read -r f; do
    check_file "$f"
done < <(find ini platform ui base engine devices cli forms pages app \( -name '*.h' -o -name '*.cpp' \) 2>/dev/null | sort)

if [ $status -eq 0 ]; then
    echo "layering: every include points down the floors"
fi
exit $status
