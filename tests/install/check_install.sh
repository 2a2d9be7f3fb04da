#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs the build into a temporary DESTDIR and checks what a user's
# machine would get: the layout, the programs started from their installed
# places (the wizard offscreen, through its link in bin/), the desktop files
# as the desktop's own validators read them, and a C program built against
# the installed library with pkg-config alone.
#
#   check_install.sh BUILD_DIR PREFIX LIBDIR SOURCE_DIR VERSION [TAVRIN_BURN [SANITIZE]]
# TAVRIN_BURN: yes when the build has the command-line program. SANITIZE:
# the build's sanitizer (address, thread), which the C program needs too.
set -uo pipefail
build=$1 prefix=$2 libdir=$3 source=$4 version=$5 with_burn=${6:-no} sanitize=${7:-}
client_flags=()
case $sanitize in
address) client_flags=(-fsanitize=address,undefined) ;;
thread) client_flags=(-fsanitize=thread) ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
dest=$work/root
root=$dest$prefix
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! DESTDIR=$dest cmake --install "$build" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi

# Every file the install reports must land in the tree it was given; a rule
# that wrote into the machine's own /usr would show here.
stray() {
    sed -nE 's/^-- (Installing|Up-to-date): ([^ ]+).*/\2/p' "$1" | grep -v "^$2/" || true
}
outside=$(stray "$work/install.log" "$dest")
[ -z "$outside" ] || fail "installed outside DESTDIR: $outside"

# --- the layout --------------------------------------------------------------
expect=(
    "lib/tavrin/tavrin"
    "lib/tavrin/product.ini"
    "lib/tavrin/sounds/ISORes/main.bmp"
    "share/tavrin/sounds/ISORes/main.bmp"
    "share/tavrin/sounds/ISORes/toplogo.png"
    "share/tavrin/sounds/ISORes2/main.bmp"
    "$libdir/libStarBurn.so.1"
    "$libdir/pkgconfig/starburn.pc"
    "include/tavrin/StarBurn.h"
    "include/tavrin/StarBurnLinux.h"
    "share/applications/org.tavrin.Tavrin.desktop"
    "share/metainfo/org.tavrin.Tavrin.metainfo.xml"
    "share/icons/hicolor/scalable/apps/org.tavrin.Tavrin.svg"
    "share/man/man1/tavrin.1.gz"
)
# Every package's own documents folder has the copyright file and the changelog.
packages=(tavrin libstarburn1 libstarburn-dev)
[ "$with_burn" = yes ] && packages+=(tavrin-burn)
for p in "${packages[@]}"; do
    expect+=("share/doc/$p/copyright" "share/doc/$p/changelog.gz")
done
for size in 16 22 24 32 48 64 128 256; do
    expect+=("share/icons/hicolor/${size}x${size}/apps/org.tavrin.Tavrin.png")
done
for f in "${expect[@]}"; do
    [ -f "$root/$f" ] || fail "missing $prefix/$f"
done
[ -x "$root/lib/tavrin/tavrin" ] || fail "$prefix/lib/tavrin/tavrin is not executable"
for size in 16 256; do
    png="$root/share/icons/hicolor/${size}x${size}/apps/org.tavrin.Tavrin.png"
    # The PNG header holds width and height, big-endian, at bytes 16..23.
    dims=$(od -An -tx1 -j16 -N8 "$png" 2>/dev/null | tr -d ' \n')
    [ "$dims" = "$(printf '%08x%08x' "$size" "$size")" ] || fail "icon ${size}x${size} is $dims"
done

# The links that hold in DESTDIR trees and packages are relative.
check_link() {
    local link=$1 target=$2
    if [ ! -L "$root/$link" ]; then
        fail "$prefix/$link is not a symbolic link"
    elif [ "$(readlink -f "$root/$link")" != "$(readlink -f "$root/$target")" ]; then
        fail "$prefix/$link points to $(readlink "$root/$link")"
    elif [[ $(readlink "$root/$link") == /* ]]; then
        fail "$prefix/$link is an absolute link (breaks in DESTDIR and packages)"
    fi
}
check_link bin/tavrin lib/tavrin/tavrin
check_link lib/tavrin/sounds share/tavrin/sounds
link=$root/bin/tavrin

soname=$(objdump -p "$root/$libdir/libStarBurn.so.1" 2>/dev/null | awk '$1 == "SONAME" {print $2}')
[ "$soname" = "libStarBurn.so.1" ] || fail "libStarBurn's soname is '$soname'"
real=$(readlink -f "$root/$libdir/libStarBurn.so.1")
[[ $real =~ libStarBurn\.so\.1\.[0-9]+\.[0-9]+$ ]] || fail "libStarBurn.so.1 is not versioned: $real"

if [ "$prefix" = /usr ]; then
    [ -f "$dest/etc/tavrin/registry.ini" ] || fail "missing /etc/tavrin/registry.ini"
    outside=$(cd "$dest" && find . -mindepth 1 -maxdepth 1 ! -name usr ! -name etc)
else
    [ -f "$root/etc/tavrin/registry.ini" ] || fail "missing $prefix/etc/tavrin/registry.ini"
    outside=$(cd "$dest" && find . -mindepth 1 -maxdepth 1 ! -name "$(cut -d/ -f2 <<<"$prefix")")
fi
[ -z "$outside" ] || fail "written outside the prefix and /etc: $outside"

# --- the programs, run from where they were installed ------------------------
export HOME=$work/home XDG_STATE_HOME=$work/home/state XDG_DATA_HOME=$work/home/data
export STARBURN_STATE_DIR=$work/discs STARBURN_REAL_DRIVES=0 QT_QPA_PLATFORM=offscreen
unset LD_LIBRARY_PATH STARBURN_CONFIG
mkdir -p "$HOME"
registry=$dest/etc/tavrin/registry.ini
[ "$prefix" = /usr ] || registry=$root/etc/tavrin/registry.ini

# The program must load the installed library (its RUNPATH), not another copy.
lib=$(ldd "$root/lib/tavrin/tavrin" | awk '/libStarBurn/ {print $3}')
[ "$(readlink -f "$lib")" = "$real" ] || fail "the installed tavrin loads '$lib'"

out=$(TAVRIN_REGISTRY=$registry TAVRIN_STARTUP_CHECK=1 timeout 60 "$link" 2>"$work/tavrin.err")
status=$?
echo "$out"
if [ $status -ne 0 ]; then
    cat "$work/tavrin.err"
    fail "the installed tavrin did not show its welcome window (exit $status)"
fi
grep -qxF "art folder: $(readlink -f "$root/lib/tavrin")/sounds/ISORes/ (loaded)" <<<"$out" ||
    fail "the art was not found beside the real program"
# The reader names the file in every complaint about it.
if grep -F "registry.ini" "$work/tavrin.err"; then
    fail "the installed settings file was not read cleanly"
fi

if [ "$with_burn" = yes ]; then
    burn=$root/bin/tavrin-burn
    [ -x "$burn" ] || fail "missing $prefix/bin/tavrin-burn"
    ls "$root/share/man/man1/" | grep -q '^tavrin-burn\.1\.gz$' || fail "missing tavrin-burn(1)"
    v=$("$burn" --version 2>&1) || fail "tavrin-burn --version failed: $v"
    grep -qF "$version" <<<"$v" || fail "tavrin-burn --version says '$v', not $version"
fi

# A per-user copy: --prefix ~/.local, no root, nothing written outside it;
# the program finds its library and its art there too.
local_prefix=$work/user/.local
if cmake --install "$build" --prefix "$local_prefix" >"$work/install-local.log" 2>&1; then
    outside=$(stray "$work/install-local.log" "$local_prefix")
    [ -z "$outside" ] || fail "--prefix: installed outside the prefix: $outside"
    [ -f "$local_prefix/etc/tavrin/registry.ini" ] || fail "--prefix: no etc/tavrin/registry.ini"
    outside=$(cd "$work/user" && find . -mindepth 1 -maxdepth 1 ! -name .local)
    [ -z "$outside" ] || fail "--prefix: written outside the prefix: $outside"
    out=$(TAVRIN_REGISTRY=$local_prefix/etc/tavrin/registry.ini TAVRIN_STARTUP_CHECK=1 \
        timeout 60 "$local_prefix/bin/tavrin" 2>/dev/null) ||
        fail "--prefix: the program did not show its welcome window"
    grep -qxF "art folder: $(readlink -f "$local_prefix/lib/tavrin")/sounds/ISORes/ (loaded)" \
        <<<"$out" || fail "--prefix: the art was not found: $out"
else
    cat "$work/install-local.log"
    fail "cmake --install --prefix"
fi

# --- the desktop files, as the desktop's validators read them ----------------
# Clean means no error, no warning and no hint. Each validator runs when it
# is installed (scripts/install-deps.sh installs both).
if command -v desktop-file-validate >/dev/null; then
    out=$(desktop-file-validate "$root/share/applications/org.tavrin.Tavrin.desktop" 2>&1)
    [ $? -eq 0 ] && [ -z "$out" ] || fail "desktop-file-validate: $out"
else
    echo "SKIP: desktop-file-validate is not installed"
fi
# AppStream's pedantic mode would have the component id in lower case; the id
# follows the desktop file's reverse-DNS name (org.tavrin.Tavrin, as
# org.gnome.Nautilus), so that one remark is let through.
if command -v appstreamcli >/dev/null; then
    out=$(appstreamcli validate --pedantic --strict --no-net --no-color \
        "$root/share/metainfo/org.tavrin.Tavrin.metainfo.xml" 2>&1)
    status=$?
    issues=$(grep -E '^[EWIP]: ' <<<"$out" | grep -v -E '^P: org\.tavrin\.Tavrin:[0-9]+: cid-contains-uppercase-letter ')
    [ $status -eq 0 ] && [ -z "$issues" ] || fail "appstreamcli validate --pedantic: $out"
else
    echo "SKIP: appstreamcli is not installed"
fi
grep -qx "Exec=tavrin %f" "$root/share/applications/org.tavrin.Tavrin.desktop" ||
    fail "the desktop entry does not start tavrin with the file"

# --- another program, built against the installed library --------------------
export PKG_CONFIG_PATH=$root/$libdir/pkgconfig PKG_CONFIG_SYSROOT_DIR=$dest
[ "$(pkg-config --modversion starburn)" = "$version" ] || fail "starburn.pc has the wrong version"
# shellcheck disable=SC2046
if cc -std=c11 -Wall -Werror "${client_flags[@]}" -o "$work/client" "$source/tests/install/starburn_client.c" \
    $(pkg-config --cflags --libs starburn); then
    # Installed, the library is in the system's library folder; here it is
    # in DESTDIR, which the loader is told about.
    if out=$(LD_LIBRARY_PATH=$root/$libdir "$work/client"); then
        echo "$out"
        grep -q ": 3 devices$" <<<"$out" || fail "the client saw '$out'"
    else
        fail "the client built against the installed library failed"
    fi
else
    fail "a C program does not build against the installed library with pkg-config"
fi

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "install: the layout, the installed programs, the desktop files and the library all check out"
