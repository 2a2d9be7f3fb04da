#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
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
# Nothing outside starburn/ reaches into the library's insides. Library calls
# and slots are checked at the end.
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

# Every library call of the program (every floor above the library) goes
# through LibraryCall or QuietLibraryCall (base/sbLibraryCall.h), which
# announce it in the diagnostic log and log its failure: a StarBurn_ call
# anywhere else is rejected. Every slot of the window floors runs under sbGuard (ui/sbGuard.h):
# a connect, a timer or a queued call without it is rejected.
if ! python3 - ini platform ui base engine devices cli forms pages app -- app pages forms ui devices/ufrm <<'PY'
import os, re, sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, 'tests')
from source_code import code_of

def sources(folders):
    for folder in folders:
        if os.path.isdir(folder):
            for base, _, names in os.walk(folder):
                for name in sorted(names):
                    if name.endswith(('.cpp', '.h')):
                        yield os.path.join(base, name)
        else:
            for name in sorted(os.listdir(os.path.dirname(folder))):
                path = os.path.join(os.path.dirname(folder), name)
                if path.startswith(folder) and name.endswith(('.cpp', '.h')):
                    yield path

def calls(code, pattern, wrappers):
    """The lines where a function named like pattern is called outside the
    parentheses of a wrapper."""
    stack, found = [], []
    for m in re.finditer(r'(\w*)\s*([()])', code):
        if m.group(2) == ')':
            if stack:
                stack.pop()
            continue
        name = m.group(1)
        if re.fullmatch(pattern, name) and not any(n in wrappers for n in stack):
            found.append(code.count('\n', 0, m.start()) + 1)
        stack.append(name)
    return found

args = sys.argv[1:]
split = args.index('--')
library_floors, window_floors = args[:split], args[split + 1:]
bad = 0
for path in sources(library_floors):
    code = code_of(open(path, encoding='utf-8').read())
    for line in calls(code, r'StarBurn_\w+', {'LibraryCall', 'QuietLibraryCall'}):
        print(f'{path}:{line}: a library call outside LibraryCall (base/sbLibraryCall.h)')
        bad = 1
for path in sources(window_floors):
    code = code_of(open(path, encoding='utf-8').read())
    for m in re.finditer(r'\b(connect|singleShot|invokeMethod)\s*\(', code):
        depth, j = 0, m.end() - 1
        while j < len(code):
            depth += {'(': 1, ')': -1}.get(code[j], 0)
            if depth == 0:
                break
            j += 1
        if not re.search(r'\bsbGuard(ed)?\s*\(', code[m.end():j]):
            line = code.count('\n', 0, m.start()) + 1
            print(f'{path}:{line}: a slot outside sbGuard (ui/sbGuard.h)')
            bad = 1
sys.exit(bad)
PY
then
    status=1
fi

if [ $status -eq 0 ]; then
    echo "layering: every include points down the floors, every library call goes through"
    echo "LibraryCall, every slot runs under sbGuard"
fi
exit $status
