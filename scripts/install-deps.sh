#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs the Debian 12 packages that Tavrin's build and tests need, and
# nothing when they are all present. Runs apt-get through sudo when not root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-qpa-plugins fonts-dejavu-core fonts-wine
    qt6-l10n-tools qt6-tools-dev qt6-translations-l10n
    libfmt-dev libgtest-dev libgmock-dev libbenchmark-dev
    libburn-dev libisofs-dev xorriso
    libcli11-dev help2man python3
    libssl-dev isomd5sum
    libsystemd-dev libudev-dev libacl1-dev libarchive-dev
    dbus python3-dbusmock
    file desktop-file-utils appstream lintian
    clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
