#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Makes the Debian packages from the build with cpack, into a temporary
# folder, and checks what a user's apt would get: four packages, each file in
# one of them, the dependencies between them, the library package named after
# the soname, no maintainer scripts, and lintian --pedantic --info with
# nothing to say (the kept verdicts are in dist/lintian-overrides).
#   check_package.sh BUILD_DIR VERSION [TAVRIN_BURN]
set -uo pipefail
build=$1 version=$2 with_burn=${3:-yes}
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
if grep -E 'CPack (Warning|Error)' "$work/cpack.log"; then
    fail "cpack complained"
fi

arch=$(dpkg --print-architecture)
packages=(tavrin libstarburn1 libstarburn-dev)
[ "$with_burn" = yes ] && packages+=(tavrin-burn)
declare -A deb
for p in "${packages[@]}"; do
    deb[$p]=$work/out/${p}_${version}_${arch}.deb
    [ -f "${deb[$p]}" ] || fail "no package ${p}_${version}_${arch}.deb"
done
made=$(find "$work/out" -maxdepth 1 -name '*.deb' | wc -l)
[ "$made" -eq ${#packages[@]} ] || fail "cpack made $made packages, not ${#packages[@]}"
[ $failures -eq 0 ] || exit 1

# --- what each package holds -------------------------------------------------
contents() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./||; s|/$||'; }
holds() {
    local p=$1
    shift
    for f in "$@"; do
        contents "${deb[$p]}" | grep -qxF "$f" || fail "$p does not hold $f"
    done
}
lacks() {
    local p=$1 pattern=$2
    local hits
    hits=$(contents "${deb[$p]}" | grep -E "$pattern")
    [ -z "$hits" ] || fail "$p holds what belongs elsewhere: $hits"
}
libdir=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)
holds tavrin usr/lib/tavrin/tavrin usr/bin/tavrin usr/lib/tavrin/sounds \
    usr/share/tavrin/sounds/ISORes/main.bmp etc/tavrin/registry.ini \
    usr/share/applications/org.tavrin.Tavrin.desktop \
    usr/share/metainfo/org.tavrin.Tavrin.metainfo.xml usr/share/man/man1/tavrin.1.gz
holds libstarburn1 "$libdir/libStarBurn.so.1"
lacks libstarburn1 '\.so$|^usr/include|pkgconfig|^usr/bin'
holds libstarburn-dev "$libdir/libStarBurn.so" usr/include/tavrin/StarBurn.h \
    usr/include/tavrin/StarBurnLinux.h "$libdir/pkgconfig/starburn.pc"
lacks libstarburn-dev '\.so\.[0-9]'
lacks tavrin 'libStarBurn|^usr/include|tavrin-burn'
if [ "$with_burn" = yes ]; then
    holds tavrin-burn usr/bin/tavrin-burn usr/share/man/man1/tavrin-burn.1.gz
    lacks tavrin-burn 'libStarBurn|^usr/lib/tavrin|^etc'
fi
for p in "${packages[@]}"; do
    holds "$p" "usr/share/doc/$p/copyright" "usr/share/doc/$p/changelog.gz"
done
# A file in two packages would stop apt installing the second.
files_of() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}'; }
twice=$(for p in "${packages[@]}"; do files_of "${deb[$p]}"; done | LC_ALL=C sort | uniq -d)
[ -z "$twice" ] || fail "in more than one package: $twice"

# --- how they depend on each other -------------------------------------------
field() { dpkg-deb -f "${deb[$1]}" "$2"; }
for p in tavrin libstarburn-dev $([ "$with_burn" = yes ] && echo tavrin-burn); do
    grep -qF "libstarburn1 (= $version)" <<<"$(field "$p" Depends)" ||
        fail "$p does not depend on libstarburn1 (= $version): $(field "$p" Depends)"
done
if [ "$with_burn" = yes ]; then
    qt=$(field tavrin-burn Depends | tr ',' '\n' | grep -i 'qt')
    [ -z "$qt" ] || fail "tavrin-burn depends on Qt: $qt"
fi
grep -q 'libburn' <<<"$(field libstarburn1 Depends)" ||
    fail "libstarburn1 does not depend on libburn: $(field libstarburn1 Depends)"

# The library package carries its soname in its name (Debian policy 8.1).
dpkg-deb -x "${deb[libstarburn1]}" "$work/lib"
soname=$(objdump -p "$work/lib/$libdir/libStarBurn.so.1" | awk '$1 == "SONAME" {print $2}')
[ "$soname" = libStarBurn.so.1 ] || fail "the packaged library's soname is '$soname'"
control=$(dpkg-deb --ctrl-tarfile "${deb[libstarburn1]}" | tar -t | sed 's|^\./||')
for f in shlibs symbols triggers; do
    grep -qx "$f" <<<"$control" || fail "libstarburn1 has no $f control file"
done
[ "$(dpkg-deb -I "${deb[libstarburn1]}" shlibs)" = "libStarBurn 1 libstarburn1 (>= $version)" ] ||
    fail "libstarburn1's shlibs: $(dpkg-deb -I "${deb[libstarburn1]}" shlibs)"
for p in "${packages[@]}"; do
    scripts=$(dpkg-deb --ctrl-tarfile "${deb[$p]}" | tar -t | grep -E 'preinst|postinst|prerm|postrm')
    [ -z "$scripts" ] || fail "$p has maintainer scripts: $scripts"
done

# --- lintian -------------------------------------------------------------------
if command -v lintian >/dev/null; then
    # lintian advises against running as root; a root build asks it as nobody.
    as_user=()
    if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
        chmod 755 "$work" "$work/out"
        as_user=(env HOME=/nonexistent setpriv --reuid=nobody --regid=nogroup --clear-groups)
    fi
    out=$("${as_user[@]}" lintian --pedantic --info "${deb[@]}" 2>&1)
    status=$?
    echo "$out"
    [ $status -eq 0 ] || fail "lintian ended with status $status"
    verdicts=$(grep -E '^[EWIPX]: ' <<<"$out")
    [ -z "$verdicts" ] || fail "lintian: $verdicts"
else
    echo "SKIP: lintian is not installed"
fi

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package: ${packages[*]} hold what they should, depend on each other at $version, and lintian is clean"
