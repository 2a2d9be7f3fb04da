#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# One image to 1, 2 and 4 emulated MMC drives at once (tavrin-burn burn --device A --device B ...),
# each figure set against one drive alone in the same run:
#   alone        tavrin-burn burn IMAGE --device CdRom0            (the one-drive path)
#   N at once    tavrin-burn burn IMAGE --device CdRom0 ... CdRomN-1 (one reader feeds them all)
# Every drive is the MMC emulator (tests/mmcemu, preloaded below libburn) with a fresh blank DVD+R.
# The disk is synced before every run, outside its time; every disc is compared with the image
# after every run. Each run's time, its CPU time (user + system: what limits it when it is near
# 2 s a second on this 2-core machine), the disk's reads during it (the image is read once: its
# size, or nothing when it is in the page cache) and its peak resident memory.
# Then the throttled case: every drive slowed by the emulator's slow:MS fault to about a 16x
# DVD's pace, alone and 4 at once: each drive keeps its own pace.
#
#   bench/multi_bench.sh [SIZE_MB] [SLOW_MS] [WORK_FOLDER]      (defaults: 300, 1, $TMPDIR or /tmp)
# Run from the repository root after building (build/ci: tavrin-burn and tests/libsbmmcemu.so),
# or through the build: cmake --build build/ci --target multi_bench.
set -euo pipefail

size_mb=${1:-300}
slow_ms=${2:-1}
base=${3:-${TMPDIR:-/tmp}}
root=$(cd "$(dirname "$0")/.." && pwd)
program=${TAVRIN_BURN:-$root/build/ci/bin/tavrin-burn}
emulator=${SBMMCEMU_LIBRARY:-$root/build/ci/tests/libsbmmcemu.so}
[ -x "$program" ] || { echo "build tavrin-burn first: $program" >&2; exit 2; }
[ -f "$emulator" ] || { echo "build the emulator first: $emulator" >&2; exit 2; }

work=$(mktemp -d "$base/tavrin_multi_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
image=$work/image.iso
head -c $((size_mb * 1048576)) /dev/urandom >"$image"
bytes=$(stat -c %s "$image")
disk=$(df --output=source "$work" | tail -1)
disk=$(basename "$(readlink -f "$disk")")

emulated() { # faults
    : >"$work/emu.ini"
    local devices=""
    for n in 0 1 2 3; do
        printf '[Drive %d]\nPath = %s\nMedia = dvdplusr\nState = blank\nFaults = %s\n' \
            "$n" "$work/sr$n" "$1" >>"$work/emu.ini"
        devices="$devices${devices:+,}$work/sr$n"
    done
    printf '[Virtual]\nBuiltInRecorders = no\n[Libburn]\nDevices = %s\n' "$devices" \
        >"$work/starburn.ini"
    SBMMCEMU=$work/emu.ini LD_PRELOAD=$emulator true
}
fresh() { # drives
    for ((n = 0; n < $1; ++n)); do
        printf '[Disc]\nMedia=dvdplusr\nState=blank\nCapacity=0\nConfigured=dvdplusr blank 0\n' \
            >"$work/sr$n.medium.new"
        mv "$work/sr$n.medium.new" "$work/sr$n.medium"
    done
}
# A field of the disk's line in /proc/diskstats: 6 sectors read, 10 sectors written, 13 ms busy.
# The emulated drives keep their discs as files on this disk: what they write lands here.
diskstat() {
    awk -v d="$disk" -v f="$1" '$3 == d { print $f }' /proc/diskstats
}

declare -A seconds cpu peak readmb writemb diskbusy
measure() { # name drives [--all]
    local name=$1 count=$2 start end kb args=()
    for ((n = 0; n < count; ++n)); do
        args+=(--device "CdRom$n")
    done
    # --all with one fresh disc: the one drive through the reader of several.
    [ "${3:-}" = --all ] && args=(--all)
    fresh "$count"
    sync
    local before wbefore bbefore
    before=$(diskstat 6)
    wbefore=$(diskstat 10)
    bbefore=$(diskstat 13)
    start=$(date +%s.%N)
    env SBMMCEMU="$work/emu.ini" LD_PRELOAD="$emulator" STARBURN_CONFIG="$work/starburn.ini" \
        STARBURN_STATE_DIR="$work/state" STARBURN_REAL_DRIVES=1 \
        /usr/bin/time -f '%M %U %S' -o "$work/rss" "$program" burn "$image" "${args[@]}" --yes \
        >"$work/out" 2>&1 || {
        echo "$name failed:" >&2
        tail -8 "$work/out" >&2
        exit 1
    }
    end=$(date +%s.%N)
    for ((n = 0; n < count; ++n)); do
        cmp -n "$bytes" "$image" "$work/sr$n.disc" || {
            echo "$name: the disc of CdRom$n differs from the image" >&2
            exit 1
        }
    done
    read -r kb user system <"$work/rss"
    seconds[$name]=$(echo "$end - $start" | bc -l)
    cpu[$name]=$(echo "$user + $system" | bc -l)
    peak[$name]=$kb
    readmb[$name]=$(echo "($(diskstat 6) - $before) * 512 / 1048576" | bc -l)
    writemb[$name]=$(echo "($(diskstat 10) - $wbefore) * 512 / 1048576" | bc -l)
    diskbusy[$name]=$(echo "($(diskstat 13) - $bbefore) / 1000 / ${seconds[$name]}" | bc -l)
}

mkdir -p "$work/state"
emulated ""
# The page cache keeps the image after the first run; the first run of each kind is thrown away.
measure warm 1
measure "1 alone" 1
measure "1 alone again" 1
measure "2 at once" 2
measure "4 at once" 4
measure "1 via the reader" 1 --all

report() { # name drives alone
    local name=$1 count=$2 alone=$3 throughput ideal ratio
    throughput=$(echo "$count * $bytes / 1048576 / ${seconds[$name]}" | bc -l)
    ideal=$(echo "$count * $bytes / 1048576 / ${seconds[$alone]}" | bc -l)
    ratio=$(echo "$throughput / $ideal" | bc -l)
    printf '%-18s %8.2f %8.2f %10.1f %14.1f %7.2f %9.1f %10.1f\n' "$name" "${seconds[$name]}" \
        "${cpu[$name]}" "$throughput" "$ideal" "$ratio" "${readmb[$name]}" \
        "$(echo "${peak[$name]} / 1024" | bc -l)"
}

echo "image: $size_mb MiB ($bytes bytes), each drive an emulated blank DVD+R, disk $disk"
printf '%-18s %8s %8s %10s %14s %7s %9s %10s\n' run seconds "cpu s" "MB/s all" \
    "N x alone MB/s" ratio "read MB" "peak MiB"
report "1 alone" 1 "1 alone"
report "1 alone again" 1 "1 alone"
report "2 at once" 2 "1 alone"
report "4 at once" 4 "1 alone"
report "1 via the reader" 1 "1 alone"
ratio4=$(echo "4 * $bytes / ${seconds["4 at once"]} / (4 * $bytes / ${seconds["1 alone"]})" | bc -l)
cpu_share=$(echo "${cpu["4 at once"]} / ${seconds["4 at once"]}" | bc -l)
printf '\n4 at once / 4 x alone: %.2f (target >= 0.8: %s)\n' "$ratio4" \
    "$( (($(echo "$ratio4 >= 0.8" | bc -l))) && echo met || echo missed)"
printf 'CPU busy during 4 at once: %.2f of %d cores\n' "$cpu_share" "$(nproc)"
printf 'disk during 4 at once: %.0f MB read, %.0f MB written (the emulated discs), busy %.0f %% of the time\n' \
    "${readmb["4 at once"]}" "${writemb["4 at once"]}" "$(echo "${diskbusy["4 at once"]} * 100" | bc -l)"
# What holds 4 at once back: the processors when they are nearly all busy, the image's reads
# when they keep the disk busy, the path every drive of a multi-drive run takes (the reader, the
# library's stream call and its feed queue) when one drive through it is already slower than
# alone, else the drives (here the emulator writing its disc files, and libburn's pauses).
via=$(echo "${seconds["1 alone"]} / ${seconds["1 via the reader"]}" | bc -l)
if (($(echo "$cpu_share >= 0.8 * $(nproc)" | bc -l))); then
    limit="CPU"
elif (($(echo "${diskbusy["4 at once"]} >= 0.8 && ${readmb["4 at once"]} >= ${writemb["4 at once"]}" | bc -l))); then
    limit="disk read (the image)"
elif (($(echo "$via < 0.8" | bc -l))); then
    limit=$(printf 'the stream path of each drive: one drive through the reader reaches %.2f of one alone' "$via")
else
    limit="the drives (their disc files written to disk $disk, and libburn's pauses per drive)"
fi
printf 'what limits 4 at once: %s\n' "$limit"
peak4=$(echo "${peak["4 at once"]} * 1024 / 1000000" | bc -l)
printf 'peak memory, 4 at once: %.1f MB (target <= 64 MB: %s)\n' "$peak4" \
    "$( (($(echo "$peak4 <= 64" | bc -l))) && echo met || echo missed)"

# Throttled: each write command slow_ms longer, about a 16x DVD (22.2 MB/s) at 1 ms.
emulated "slow:$slow_ms"
measure "slow 1 alone" 1
measure "slow 4 at once" 4
echo
printf 'throttled (slow:%s): one drive alone %.1f MB/s, each of 4 at once %.1f MB/s (%.2f of its pace)\n' \
    "$slow_ms" "$(echo "$bytes / 1048576 / ${seconds["slow 1 alone"]}" | bc -l)" \
    "$(echo "$bytes / 1048576 / ${seconds["slow 4 at once"]}" | bc -l)" \
    "$(echo "${seconds["slow 1 alone"]} / ${seconds["slow 4 at once"]}" | bc -l)"
