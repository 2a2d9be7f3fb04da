#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# libStarBurn's interface is what dist/libstarburn1.symbols lists: every
# symbol the built library exports must be there, and every symbol there must
# still be exported. A call removed or renamed breaks the programs built
# against the library; a new one is added to the file on purpose, with the
# version that brings it. The file is also the package's symbols file, so
# its first line must name the library's soname and the package Debian
# names after it.
#   check_symbols.sh LIBRARY SYMBOLS_FILE VERSION
set -uo pipefail
library=$1 symbols=$2 version=$3
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

soname=$(objdump -p "$library" | awk '$1 == "SONAME" {print $2}')
# libStarBurn.so.1 -> libstarburn1 (a name ending in a digit would take a dash).
base=${soname%%.so.*} major=${soname##*.so.}
package=$(tr '[:upper:]' '[:lower:]' <<<"$base")
[[ $package =~ [0-9]$ ]] && package+=-
package+=$major
read -r file_soname file_package file_minver < <(head -n 1 "$symbols")
[ "$file_soname" = "$soname" ] || fail "$symbols names '$file_soname', the library's soname is '$soname'"
[ "$file_package" = "$package" ] || fail "$symbols names package '$file_package'; the soname makes it '$package'"
[ "$file_minver" = "#MINVER#" ] || fail "$symbols: the first line ends in '$file_minver', not #MINVER#"

# The file's entries: " name@Base version".
listed=$(sed -nE 's/^ ([^ @]+)@Base ([^ ]+)$/\1 \2/p' "$symbols")
bad=$(grep -v -E '^( [^ @]+@Base [^ ]+|\* [A-Za-z-]+: .*)$' <(tail -n +2 "$symbols"))
[ -z "$bad" ] || fail "$symbols: lines that are not ' name@Base version': $bad"
while read -r name since; do
    [ -n "$name" ] || continue
    if dpkg --compare-versions "$since" gt "$version" 2>/dev/null; then
        fail "$name is listed from version $since, after this version $version"
    fi
done <<<"$listed"

# Defined dynamic symbols: what a program can link against.
exported=$(nm -D --defined-only --format=posix "$library" | awk '{print $1}' | LC_ALL=C sort -u)
expected=$(awk '{print $1}' <<<"$listed" | LC_ALL=C sort -u)
removed=$(LC_ALL=C comm -13 <(echo "$exported") <(echo "$expected") | sed '/^$/d')
added=$(LC_ALL=C comm -23 <(echo "$exported") <(echo "$expected") | sed '/^$/d')
for s in $removed; do
    fail "$s is in $symbols but the library no longer exports it"
done
for s in $added; do
    fail "the library exports $s, which $symbols does not list (add it with the version that brings it)"
done

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "symbols: $soname exports exactly the $(wc -l <<<"$expected") symbols of $symbols"
