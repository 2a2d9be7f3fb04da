#!/usr/bin/env bash
# Builds the Debian package build/package/tavrin_<version>_amd64.deb from the
# same build tree as scripts/run.sh and scripts/test.sh, then checks it with
# lintian when lintian is installed. Install it with
#   sudo apt install ./build/package/tavrin_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset ci >/dev/null
cmake --build --preset ci --target tavrin_installed
rm -f build/package/tavrin_*.deb
cpack --config build/ci/CPackConfig.cmake
deb=$(ls build/package/tavrin_*.deb)
echo "Package: $deb"
if command -v lintian >/dev/null; then
    # Warnings kept on purpose are listed in README.md ("Install").
    lintian --fail-on error "$deb"
fi
