#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# tavrin-burn against its peers on one image, in one run:
#   cp + sync                                   what the disk allows
#   tavrin-burn burn -> virtual recorder        time factor 0 (as fast as the disk allows)
#   tavrin-burn burn -> libburn stdio drive     a file written by libburn as if it were a disc
#   xorriso -as cdrecord dev=stdio:FILE -sao    with its default fifo, and with fs=32m
# Every run ends with sync, inside its time. Each is run ROUNDS times, alternating, and its best
# time counts. Peak memory is the run's own maximum resident set (/usr/bin/time).
#
#   bench/cli_bench.sh [SIZE_MB] [ROUNDS] [WORK_FOLDER]      (defaults: 700, 2, $TMPDIR or /tmp)
# Run from the repository root after building (build/ci/bin/tavrin-burn).
set -euo pipefail

size_mb=${1:-700}
rounds=${2:-2}
base=${3:-${TMPDIR:-/tmp}}
root=$(cd "$(dirname "$0")/.." && pwd)
program=${TAVRIN_BURN:-$root/build/ci/bin/tavrin-burn}
[ -x "$program" ] || { echo "build tavrin-burn first: $program" >&2; exit 2; }
command -v xorriso >/dev/null || { echo "xorriso is missing (scripts/install-deps.sh)" >&2; exit 2; }

work=$(mktemp -d "$base/tavrin_cli_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
image=$work/image.iso
head -c $((size_mb * 1048576)) /dev/urandom >"$image"
bytes=$(stat -c %s "$image")

# A DVD writer with room for the image, and a libburn stdio pseudo-drive.
cat >"$work/virtual.ini" <<EOF
[Virtual]
TimeFactor = 0
BuiltInRecorders = no
[Libburn]
RealDrives = no
[Recorder bench]
DeviceName = CdRom0
Disc = DVD+R
EOF
cat >"$work/stdio.ini" <<EOF
[Virtual]
BuiltInRecorders = no
[Libburn]
RealDrives = no
[Stdio out]
Path = $work/stdio-out.iso
DeviceName = CdRom1
EOF

declare -A best peak
measure() { # name command...
    local name=$1
    shift
    sync
    local start end seconds kb
    start=$(date +%s.%N)
    /usr/bin/time -f %M -o "$work/rss" "$@" >"$work/out" 2>&1 || {
        echo "$name failed:" >&2
        tail -5 "$work/out" >&2
        exit 1
    }
    sync
    end=$(date +%s.%N)
    seconds=$(echo "$end - $start" | bc -l)
    kb=$(tail -1 "$work/rss")
    if [ -z "${best[$name]:-}" ] || (($(echo "$seconds < ${best[$name]}" | bc -l))); then
        best[$name]=$seconds
    fi
    if [ -z "${peak[$name]:-}" ] || ((kb > ${peak[$name]})); then
        peak[$name]=$kb
    fi
}

clean() {
    rm -rf "$work/copy.iso" "$work/stdio-out.iso" "$work/xorriso.iso" "$work/state"
    mkdir -p "$work/state"
}

names=("cp + sync" "tavrin-burn virtual" "tavrin-burn stdio" "xorriso default fifo" "xorriso fs=32m")
for ((round = 1; round <= rounds; ++round)); do
    clean
    measure "cp + sync" cp "$image" "$work/copy.iso"
    clean
    measure "tavrin-burn virtual" env STARBURN_CONFIG="$work/virtual.ini" \
        STARBURN_STATE_DIR="$work/state" "$program" burn "$image" --device CdRom0 --yes
    clean
    # A pseudo-drive throttles to the speed asked: 65535 KB/s is its "unthrottled".
    measure "tavrin-burn stdio" env STARBURN_CONFIG="$work/stdio.ini" \
        STARBURN_STATE_DIR="$work/state" "$program" burn "$image" --device CdRom1 --speed 65535 \
        --yes
    cmp -n "$bytes" "$image" "$work/stdio-out.iso"
    clean
    measure "xorriso default fifo" xorriso -as cdrecord dev=stdio:"$work/xorriso.iso" -sao "$image"
    clean
    measure "xorriso fs=32m" xorriso -as cdrecord dev=stdio:"$work/xorriso.iso" -sao fs=32m "$image"
done
clean

echo "image: $size_mb MiB ($bytes bytes), best of $rounds"
printf '%-22s %9s %10s %12s\n' run seconds MB/s "peak MiB"
for name in "${names[@]}"; do
    printf '%-22s %9.2f %10.1f %12.1f\n' "$name" "${best[$name]}" \
        "$(echo "$bytes / 1048576 / ${best[$name]}" | bc -l)" "$(echo "${peak[$name]} / 1024" | bc -l)"
done
cp_rate=$(echo "$bytes / ${best["cp + sync"]}" | bc -l)
virtual_rate=$(echo "$bytes / ${best["tavrin-burn virtual"]}" | bc -l)
stdio=${best["tavrin-burn stdio"]}
xorriso_best=${best["xorriso default fifo"]}
if (($(echo "${best["xorriso fs=32m"]} < $xorriso_best" | bc -l))); then
    xorriso_best=${best["xorriso fs=32m"]}
fi
printf 'virtual / cp throughput: %.2f (target >= 0.8)\n' "$(echo "$virtual_rate / $cp_rate" | bc -l)"
printf 'stdio time / better xorriso time: %.2f (target <= 1.0)\n' "$(echo "$stdio / $xorriso_best" | bc -l)"
