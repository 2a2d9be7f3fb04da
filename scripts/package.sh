#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the Debian packages into build/package/ from the same build tree as
# scripts/run.sh and scripts/test.sh, then checks them with lintian when
# lintian is installed:
#   tavrin_<version>_<arch>.deb           the wizard
#   tavrin-burn_<version>_<arch>.deb      the command-line program
#   libstarburn1_<version>_<arch>.deb     the disc library
#   libstarburn-dev_<version>_<arch>.deb  headers, link and pkg-config file
# Install them with
#   sudo apt install ./build/package/*.deb
#
#   scripts/package.sh --check-reproducible
# builds the packages twice, each time from nothing in a tree of its own
# (build/repro-1, build/repro-2) and without the compiler cache, and compares
# them byte for byte; on a difference it names the files that differ and
# keeps both trees.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=package
case ${1:-} in
"") ;;
--check-reproducible) mode=reproducible ;;
-h | --help)
    sed -n '3,17p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
*)
    echo "usage: scripts/package.sh [--check-reproducible]" >&2
    exit 2
    ;;
esac

scripts/install-deps.sh

# lintian --pedantic --info with nothing to say: the verdicts kept on purpose
# are in dist/lintian-overrides. lintian advises against running as root, so
# root asks it as nobody.
lint() {
    command -v lintian >/dev/null || {
        echo "lintian is not installed: the packages are not checked"
        return 0
    }
    local as_user=() out
    if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
        as_user=(env HOME=/nonexistent setpriv --reuid=nobody --regid=nogroup --clear-groups)
    fi
    out=$("${as_user[@]}" lintian --pedantic --info "$@" 2>&1) || {
        echo "$out"
        echo "lintian failed" >&2
        return 1
    }
    if grep -E '^[EWIPX]: ' <<<"$out"; then
        echo "lintian has something to say about the packages (see above)" >&2
        return 1
    fi
    echo "lintian --pedantic --info: clean"
}

# package TREE OUTPUT: builds what the packages hold in TREE, and the packages into OUTPUT.
package() {
    local tree=$1 output=$2
    cmake --preset ci -B "$tree" >/dev/null
    nice -n 10 cmake --build "$tree" --target tavrin_installed
    rm -f "$output"/*.deb
    cpack --config "$tree/CPackConfig.cmake" -B "$output" >"$tree/cpack.log" 2>&1 || {
        cat "$tree/cpack.log"
        return 1
    }
}

if [ $mode = package ]; then
    package build/ci build/package
    echo "Packages:"
    ls -1 build/package/*.deb
    lint build/package/*.deb
    exit 0
fi

# --- the same bytes twice -----------------------------------------------------
# cpack stamps every file with SOURCE_DATE_EPOCH, or without it with the
# version's day; the compiler cache is left out, so each build compiles.
export CCACHE_DISABLE=1
start=$(date +%s)
echo "SOURCE_DATE_EPOCH: ${SOURCE_DATE_EPOCH:-unset, cpack stamps the files with the day of this version}"
for n in 1 2; do
    rm -rf "build/repro-$n"
    echo "--- build $n of 2: build/repro-$n"
    package "build/repro-$n" "build/repro-$n/package"
done
(cd build/repro-1/package && sha256sum ./*.deb) >build/repro-1/SHA256SUMS
(cd build/repro-2/package && sha256sum ./*.deb) >build/repro-2/SHA256SUMS
cat build/repro-1/SHA256SUMS
elapsed=$(($(date +%s) - start))
if cmp -s build/repro-1/SHA256SUMS build/repro-2/SHA256SUMS; then
    echo "reproducible: both builds gave the same $(wc -l <build/repro-1/SHA256SUMS) packages" \
        "($((elapsed / 60)) min $((elapsed % 60)) s)"
    rm -rf build/repro-1 build/repro-2
    exit 0
fi

echo "NOT reproducible ($((elapsed / 60)) min $((elapsed % 60)) s): the packages differ" >&2
diff build/repro-1/SHA256SUMS build/repro-2/SHA256SUMS >&2 || true
for deb in build/repro-1/package/*.deb; do
    name=$(basename "$deb")
    other=build/repro-2/package/$name
    cmp -s "$deb" "$other" && continue
    for n in 1 2; do
        rm -rf "build/repro-$n/unpacked/$name"
        dpkg-deb -R "build/repro-$n/package/$name" "build/repro-$n/unpacked/$name"
    done
    echo "$name: files that differ:" >&2
    diff -rq "build/repro-1/unpacked/$name" "build/repro-2/unpacked/$name" >&2 || true
done
echo "both trees are kept: build/repro-1 build/repro-2" >&2
exit 1
