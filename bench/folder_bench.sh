#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# A folder burnt as a data disc, tavrin-burn against xorriso on one emulated MMC drive, in one run:
#   tavrin-burn burn FOLDER --yes                 Rock Ridge, Joliet, MD5s, built while written
#   xorriso -as mkisofs -r -J --md5 -o - FOLDER | xorriso -as cdrecord dev=mmc:DRIVE -multi -eject -
#                                                 the same disc from xorriso, through a pipe
# The drive is the MMC emulator (tests/mmcemu, preloaded below libburn, every command answered at
# once) with a blank DVD+R, a fresh one put in before every run. The folder holds SIZE_MB of
# random data in files of 4 KB to 8 MB in a few folders. The disk is synced before every run,
# outside its time. After the first run of each side xorriso checks the disc's recorded MD5s and
# compares its files with the folder (not timed). Each way runs ROUNDS times, alternating; its
# best time counts. Peak memory is the run's maximum resident set (both processes of the pipe).
#
#   bench/folder_bench.sh [SIZE_MB] [ROUNDS] [WORK_FOLDER]      (defaults: 400, 3, $TMPDIR or /tmp)
# Run from the repository root after building (build/ci: tavrin-burn and tests/libsbmmcemu.so),
# or through the build: cmake --build build/ci --target folder_bench.
set -euo pipefail

size_mb=${1:-400}
rounds=${2:-3}
base=${3:-${TMPDIR:-/tmp}}
root=$(cd "$(dirname "$0")/.." && pwd)
program=${TAVRIN_BURN:-$root/build/ci/bin/tavrin-burn}
emulator=${SBMMCEMU_LIBRARY:-$root/build/ci/tests/libsbmmcemu.so}
[ -x "$program" ] || { echo "build tavrin-burn first: $program" >&2; exit 2; }
[ -f "$emulator" ] || { echo "build the emulator first: $emulator" >&2; exit 2; }
command -v xorriso >/dev/null || { echo "xorriso is missing (scripts/install-deps.sh)" >&2; exit 2; }
((size_mb <= 4000)) || { echo "a DVD+R holds at most 4000 MiB of files here" >&2; exit 2; }

work=$(mktemp -d "$base/tavrin_folder_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
folder=$work/Bench_Folder
left=$((size_mb * 1048576))
n=0
while ((left > 0)); do
    size=$(((RANDOM * 32768 + RANDOM) % (8 * 1048576) + 4096))
    ((size > left)) && size=$left
    mkdir -p "$folder/d$((n % 7))/e$((n % 3))"
    head -c "$size" /dev/urandom >"$folder/d$((n % 7))/e$((n % 3))/file $n.bin"
    left=$((left - size))
    n=$((n + 1))
done
drive=$work/sr0

cat >"$work/emu.ini" <<EOF2
[Drive 0]
Path = $drive
Vendor = TAVRIN
Product = BENCH DVD WRITER
Media = dvdplusr
State = blank
EOF2
cat >"$work/starburn.ini" <<EOF2
[Virtual]
BuiltInRecorders = no
[Libburn]
Devices = $drive
EOF2
mkdir -p "$work/state"
export SBMMCEMU=$work/emu.ini
LD_PRELOAD=$emulator true # makes the device file and its disc description

fresh() {
    printf '[Disc]\nMedia=dvdplusr\nState=blank\nCapacity=0\nConfigured=dvdplusr blank 0\n' \
        >"$drive.medium.new"
    mv "$drive.medium.new" "$drive.medium"
}

ours() {
    env LD_PRELOAD="$emulator" STARBURN_CONFIG="$work/starburn.ini" STARBURN_STATE_DIR="$work/state" \
        STARBURN_REAL_DRIVES=1 "$program" burn "$folder" --yes
}
theirs() {
    xorriso -as mkisofs -quiet -r -J --md5 -V BENCH_FOLDER -o - "$folder" |
        env LD_PRELOAD="$emulator" xorriso -as cdrecord dev=mmc:"$drive" -multi -eject -
}
export -f ours theirs
export emulator work program folder drive

declare -A best peak all
measure() { # name function round
    local name=$1 start end seconds kb
    fresh
    sync
    start=$(date +%s.%N)
    /usr/bin/time -f %M -o "$work/rss" bash -c "$2" >"$work/out" 2>&1 || {
        echo "$name failed:" >&2
        tail -5 "$work/out" >&2
        exit 1
    }
    end=$(date +%s.%N)
    if (($3 == 1)); then
        xorriso -indev stdio:"$drive.disc" -check_md5_r sorry / -- -compare_r "$folder" / \
            >"$work/check" 2>&1 || {
            echo "$name: the disc does not hold the folder:" >&2
            tail -5 "$work/check" >&2
            exit 1
        }
    fi
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

names=("tavrin-burn" "xorriso mkisofs | cdrecord")
for ((round = 1; round <= rounds; ++round)); do
    measure "tavrin-burn" ours "$round"
    measure "xorriso mkisofs | cdrecord" theirs "$round"
done

echo "folder: $n files, $size_mb MiB, onto an emulated blank DVD+R, best of $rounds"
printf '%-28s %9s %10s %12s   %s\n' run seconds MB/s "peak MiB" "every round, s"
for name in "${names[@]}"; do
    printf '%-28s %9.2f %10.1f %12.1f  %s\n' "$name" "${best[$name]}" \
        "$(echo "$size_mb / ${best[$name]}" | bc -l)" \
        "$(echo "${peak[$name]} / 1024" | bc -l)" "${all[$name]}"
done
ratio=$(echo "${best["xorriso mkisofs | cdrecord"]} / ${best["tavrin-burn"]}" | bc -l)
printf '\nthroughput tavrin-burn / xorriso: %.2f (target >= 1.0: %s)\n' "$ratio" \
    "$( (($(echo "$ratio >= 1.0" | bc -l))) && echo met || echo missed)"
