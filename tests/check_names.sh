#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Checks that no two of our sources define a type of the same name where the
# linker sees it (outside an anonymous namespace). Two such definitions are one
# program's two types: their inline constructors and members are merged at
# link time whatever their layout, and an object of one is built with the
# other's code (a copy result of the disc copy once overran a multi-burn
# copy result of another size this way). The compiler cannot tell without
# whole-program optimisation, so this script does.
set -u
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2
exec python3 - ini starburn platform ui base engine devices cli forms pages app <<'PY'
import os, re, sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, 'tests')
from source_code import code_of

TYPE = re.compile(r'(?:^|[\s>])(?:struct|class|union|enum(?:\s+class|\s+struct)?)\s+'
                  r'(?:\[\[[^\]]*\]\]\s*)?(\w+(?:::\w+)*)\s*(?:final\s*)?(?::(?!:)[^;{}]*)?$')
NAMESPACE = re.compile(r'(?:^|\s)(?:inline\s+)?namespace\s*([\w:]*)\s*$')
EXTERN = re.compile(r'(?:^|\s)extern\s*$')

def linked_types(code):
    """The qualified names of the types defined at (named) namespace scope,
    with their lines. A class's member defined out of line (struct A::B) goes
    with its class."""
    found, stack, start = [], [], 0
    for m in re.finditer(r'[{};]', code):
        c = m.group()
        if c == '{':
            head = code[start:m.start()]
            ns, t = NAMESPACE.search(head), TYPE.search(head)
            if ns:
                stack.append(('ns', ns.group(1)) if ns.group(1) else ('anonymous', ''))
            elif EXTERN.search(head):
                stack.append(('ns', ''))
            else:
                if t and '::' not in t.group(1) and all(s[0] == 'ns' for s in stack):
                    scope = '::'.join(s[1] for s in stack if s[1])
                    name = f'{scope}::{t.group(1)}' if scope else t.group(1)
                    found.append((name, code.count('\n', 0, m.start()) + 1))
                stack.append(('block', ''))
        elif c == '}' and stack:
            stack.pop()
        start = m.end()
    return found

seen = {}
for folder in sys.argv[1:]:
    for base, _, names in os.walk(folder):
        for name in sorted(names):
            if name.endswith(('.h', '.cpp', '.c')):
                path = os.path.join(base, name)
                for type_name, line in linked_types(code_of(open(path, encoding='utf-8').read())):
                    seen.setdefault(type_name, []).append(f'{path}:{line}')
bad = 0
for type_name, places in sorted(seen.items()):
    if len({p.rsplit(':', 1)[0] for p in places}) > 1:
        print(f'{type_name} is defined in {" and ".join(places)}: rename one, or put it in an anonymous namespace')
        bad = 1
if not bad:
    print(f'names: {len(seen)} linked types, each defined in one source')
sys.exit(bad)
PY
