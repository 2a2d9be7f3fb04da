#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# tavrin-burn against xorriso on one emulated MMC drive, in one run:
#   tavrin-burn burn IMAGE --yes                          Track-At-Once, left appendable, ejected
#   xorriso -as cdrecord dev=mmc:DRIVE -multi -eject      the same result, default fifo and fs=32m
# The drive is the MMC emulator (tests/mmcemu, preloaded below libburn, every command answered at
# once) with a blank DVD+R, a fresh one put in before every run through its disc description.
# The disk is synced before every run, outside its time (the emulated drive's "disc" is a file
# of this disk, and writing it back is not the drive's work); the disc is compared with the
# image after every run.
# Each way is run ROUNDS times, alternating; its best time counts. Peak memory is the run's own
# maximum resident set (/usr/bin/time, from wait4). Then one more run of each with the SCSI log on
# (not timed) counts what each sent to the drive.
#
#   bench/mmc_bench.sh [SIZE_MB] [ROUNDS] [WORK_FOLDER]      (defaults: 700, 2, $TMPDIR or /tmp)
# Run from the repository root after building (build/ci: tavrin-burn and tests/libsbmmcemu.so),
# or through the build: cmake --build build/ci --target mmc_bench.
set -euo pipefail

size_mb=${1:-700}
rounds=${2:-2}
base=${3:-${TMPDIR:-/tmp}}
root=$(cd "$(dirname "$0")/.." && pwd)
program=${TAVRIN_BURN:-$root/build/ci/bin/tavrin-burn}
emulator=${SBMMCEMU_LIBRARY:-$root/build/ci/tests/libsbmmcemu.so}
[ -x "$program" ] || { echo "build tavrin-burn first: $program" >&2; exit 2; }
[ -f "$emulator" ] || { echo "build the emulator first: $emulator" >&2; exit 2; }
command -v xorriso >/dev/null || { echo "xorriso is missing (scripts/install-deps.sh)" >&2; exit 2; }
((size_mb <= 4400)) || { echo "a DVD+R holds at most 4400 MiB" >&2; exit 2; }

work=$(mktemp -d "$base/tavrin_mmc_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
image=$work/image.iso
head -c $((size_mb * 1048576)) /dev/urandom >"$image"
bytes=$(stat -c %s "$image")
drive=$work/sr0

cat >"$work/emu.ini" <<EOF
[Drive 0]
Path = $drive
Vendor = TAVRIN
Product = BENCH DVD WRITER
Media = dvdplusr
State = blank
EOF
cat >"$work/starburn.ini" <<EOF
[Virtual]
BuiltInRecorders = no
[Libburn]
Devices = $drive
EOF
mkdir -p "$work/state"
export SBMMCEMU=$work/emu.ini
LD_PRELOAD=$emulator true # makes the device file and its disc description

# A fresh blank DVD+R: the disc description beside the device file replaced as a whole, which
# the emulator takes for a disc swap (its record of the old disc is dropped).
fresh() {
    printf '[Disc]\nMedia=dvdplusr\nState=blank\nCapacity=0\nConfigured=dvdplusr blank 0\n' \
        >"$drive.medium.new"
    mv "$drive.medium.new" "$drive.medium"
}

ours=(env LD_PRELOAD="$emulator" STARBURN_CONFIG="$work/starburn.ini" STARBURN_STATE_DIR="$work/state"
    STARBURN_REAL_DRIVES=1 "$program" burn "$image" --yes)
xorriso=(env LD_PRELOAD="$emulator" xorriso -as cdrecord dev=mmc:"$drive" -multi -eject)

declare -A best peak all
measure() { # name command...
    local name=$1 start end seconds kb
    shift
    fresh
    sync
    start=$(date +%s.%N)
    /usr/bin/time -f %M -o "$work/rss" "$@" >"$work/out" 2>&1 || {
        echo "$name failed:" >&2
        tail -5 "$work/out" >&2
        exit 1
    }
    end=$(date +%s.%N)
    cmp -n "$bytes" "$image" "$drive.disc" || {
        echo "$name: the disc differs from the image" >&2
        exit 1
    }
    seconds=$(echo "$end - $start" | bc -l)
    kb=$(tail -1 "$work/rss")
    all[$name]="${all[$name]:-}$(printf ' %.2f' "$seconds")"
    if [ -z "${best[$name]:-}" ] || (($(echo "$seconds < ${best[$name]}" | bc -l))); then
        best[$name]=$seconds
    fi
    if [ -z "${peak[$name]:-}" ] || ((kb > ${peak[$name]})); then
        peak[$name]=$kb
    fi
}

names=("tavrin-burn" "xorriso default fifo" "xorriso fs=32m")
for ((round = 1; round <= rounds; ++round)); do
    measure "tavrin-burn" "${ours[@]}"
    measure "xorriso default fifo" "${xorriso[@]}" "$image"
    measure "xorriso fs=32m" "${xorriso[@]}" fs=32m "$image"
done

# What each sent to the drive: libburn's SCSI log, one command a block of lines (its name, its
# bytes, what came back, "N us [ T ]", T from libburn's start). Summed: commands, writes, blocks
# a write, the time spent inside commands as libburn measured it, and when the writes began and
# ended.
summary() { # log
    awk '
        function hex(t) { return index("0123456789abcdef", substr(t, 1, 1)) * 16 + index("0123456789abcdef", substr(t, 2, 1)) - 17 }
        /^[A-Z][A-Z0-9 ()\/]+$/ { name = $0; cdb = 1; next }
        cdb == 1 && /^[0-9a-f][0-9a-f]( |$)/ {
            cdb = 0
            if (name == "WRITE(10)") { writes++; blocks += hex($8) * 256 + hex($9) }
            next
        }
        /^ +[0-9]+ us +\[/ {
            commands++; us += $1; cdb = 0; at = $4 / 1e6
            if (name == "WRITE(10)") { if (!first) first = at; last = at }
        }
        END {
            printf "%9d %8d %13.1f %14.3f %9.2f %9.2f %9.2f\n", commands, writes,
                writes ? blocks / writes : 0, us / 1e6, first, last - first, at - last
        }' "$1"
}
fresh
STARBURN_SCSI_LOG=stderr "${ours[@]}" >/dev/null 2>"$work/ours.log"
fresh
env LD_PRELOAD="$emulator" xorriso -scsi_log on -as cdrecord dev=mmc:"$drive" -multi -eject \
    "$image" >"$work/xorriso.log" 2>&1

echo "image: $size_mb MiB ($bytes bytes) onto an emulated blank DVD+R, best of $rounds"
printf '%-22s %9s %10s %12s   %s\n' run seconds MB/s "peak MiB" "every round, s"
for name in "${names[@]}"; do
    printf '%-22s %9.2f %10.1f %12.1f  %s\n' "$name" "${best[$name]}" \
        "$(echo "$bytes / 1048576 / ${best[$name]}" | bc -l)" \
        "$(echo "${peak[$name]} / 1024" | bc -l)" "${all[$name]}"
done
printf '\n%-22s %9s %8s %13s %14s %9s %9s %9s\n' "SCSI log (one run)" commands writes \
    "blocks/write" "in commands s" "to 1st s" "writes s" "after s"
printf '%-22s %s\n' "tavrin-burn" "$(summary "$work/ours.log")"
printf '%-22s %s\n' "xorriso default fifo" "$(summary "$work/xorriso.log")"

ours_best=${best["tavrin-burn"]}
xorriso_best=${best["xorriso default fifo"]}
if (($(echo "${best["xorriso fs=32m"]} < $xorriso_best" | bc -l))); then
    xorriso_best=${best["xorriso fs=32m"]}
fi
ratio=$(echo "$xorriso_best / $ours_best" | bc -l)
peak_mb=$(echo "${peak["tavrin-burn"]} * 1024 / 1000000" | bc -l)
printf '\nthroughput tavrin-burn / better xorriso: %.2f (target >= 1.0: %s)\n' "$ratio" \
    "$( (($(echo "$ratio >= 1.0" | bc -l))) && echo met || echo missed)"
printf 'peak memory tavrin-burn: %.1f MB (target <= 64 MB: %s)\n' "$peak_mb" \
    "$( (($(echo "$peak_mb <= 64" | bc -l))) && echo met || echo missed)"
