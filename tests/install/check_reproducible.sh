#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The packaging's share of a reproducible build, quick enough for every test
# run: cpack makes the packages twice from the one build tree, with
# SOURCE_DATE_EPOCH set, and
#   - both runs give the same bytes (what cpack adds by itself: the ar and
#     tar headers' times, the order of the files in the archives, the
#     compression, the control files);
#   - every file, folder and control file in them is stamped with
#     SOURCE_DATE_EPOCH, never with the time the build or cpack wrote it.
# It does not compile twice, so it cannot see what the compiler and linker
# put in the binaries (build paths, time stamps, an unstable order between
# two compilations): scripts/package.sh --check-reproducible builds twice
# from nothing in two trees and compares those packages, which takes as long
# as two full builds.
#   check_reproducible.sh BUILD_DIR
set -uo pipefail
build=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Not the version's day, which cpack uses when the variable is unset, so a
# package that ignores it shows; and not a time any file of the build has.
export SOURCE_DATE_EPOCH=1500000000
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

for n in 1 2; do
    if ! cpack --config "$build/CPackConfig.cmake" -B "$work/$n" >"$work/cpack-$n.log" 2>&1; then
        cat "$work/cpack-$n.log"
        echo "FAIL: cpack (run $n)"
        exit 1
    fi
    (cd "$work/$n" && sha256sum ./*.deb) >"$work/sums-$n"
    # A second apart at least, so a time taken from the clock differs.
    [ $n -eq 2 ] || sleep 1
done
cat "$work/sums-1"
[ -s "$work/sums-1" ] || fail "cpack made no package"

if ! cmp -s "$work/sums-1" "$work/sums-2"; then
    fail "two runs of cpack gave different packages"
    diff "$work/sums-1" "$work/sums-2"
    for deb in "$work"/1/*.deb; do
        name=$(basename "$deb")
        cmp -s "$deb" "$work/2/$name" && continue
        echo "--- $name: the listings (time stamps, order) of run 1 and run 2"
        diff <(dpkg-deb -c "$deb") <(dpkg-deb -c "$work/2/$name")
        diff <(dpkg-deb --ctrl-tarfile "$deb" | tar -tv) \
            <(dpkg-deb --ctrl-tarfile "$work/2/$name" | tar -tv)
    done
fi

# Every member's time, in seconds, from GNU tar's listing.
stamps() { TZ=UTC tar -tv --full-time | awk '{print $4 "T" $5 " " $6}'; }
want=$(TZ=UTC date -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%dT%H:%M:%S)
for deb in "$work"/1/*.deb; do
    name=$(basename "$deb")
    wrong=$({
        dpkg-deb --fsys-tarfile "$deb" | stamps
        dpkg-deb --ctrl-tarfile "$deb" | stamps
    } | awk -v want="$want" '$1 != want')
    [ -z "$wrong" ] || fail "$name: members not stamped $want (SOURCE_DATE_EPOCH):
$wrong"
done

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "reproducible packaging: two cpack runs gave the same $(wc -l <"$work/sums-1") packages," \
    "every file stamped $want"
