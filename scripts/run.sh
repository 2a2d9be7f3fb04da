#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what is missing, builds and starts Tavrin on its virtual recorders.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The one build tree of the run, test and package commands: only the program
# is built here, scripts/test.sh builds the rest in the same tree.
cmake --preset ci >/dev/null
cmake --build --preset ci --target tavrin
# Virtual burns take 0.7 times as long as on a real drive: a 700 MB image on
# the 52x CD writer burns in about a minute, long enough to watch the progress.
export STARBURN_TIME_FACTOR="${STARBURN_TIME_FACTOR:-0.7}"
# The demonstration stays on the virtual recorders unless real drives are
# asked for (STARBURN_REAL_DRIVES=1 scripts/run.sh).
export STARBURN_REAL_DRIVES="${STARBURN_REAL_DRIVES:-0}"
exec build/ci/bin/tavrin "$@"
