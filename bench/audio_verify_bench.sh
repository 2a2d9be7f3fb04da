#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# An audio CD's read-back against `cmp`, in one run, on one emulated CD-R writer (tests/mmcemu,
# preloaded below libburn, every command answered at once): a WAVE file of SIZE_MB MiB of random
# samples in three tracks of a cue sheet is burnt Disc-At-Once once; then, ROUNDS times in turn,
#   tavrin-burn verify --device CdRom0 album.cue    READ CD of each track, compared with its file
#   cmp -i 44:0 -n BYTES album.wav sr0.disc         the samples against the drive's disc file
# (the tracks follow each other without pregaps, so the disc file holds the samples from byte 0).
# Both files are in the page cache before the first timed run; the best time of each side counts;
# peak memory from /usr/bin/time. TAVRIN_BURN_OTHER names a second tavrin-burn (an older build)
# timed the same way.
#
#   bench/audio_verify_bench.sh [SIZE_MB] [ROUNDS] [WORK_FOLDER]   (defaults: 600, 3, $TMPDIR or /tmp)
set -euo pipefail

size_mb=${1:-600}
rounds=${2:-3}
base=${3:-${TMPDIR:-/tmp}}
root=$(cd "$(dirname "$0")/.." && pwd)
program=${TAVRIN_BURN:-$root/build/ci/bin/tavrin-burn}
emulator=${SBMMCEMU_LIBRARY:-$root/build/ci/tests/libsbmmcemu.so}
[ -x "$program" ] || { echo "build tavrin-burn first: $program" >&2; exit 2; }
[ -f "$emulator" ] || { echo "build the emulator first: $emulator" >&2; exit 2; }
((size_mb <= 790)) || { echo "an 80-minute CD holds at most 790 MiB of samples" >&2; exit 2; }
# libburn pads a track to 4 seconds (300 sectors): shorter ones would leave gaps on the disc.
((size_mb >= 3)) || { echo "three tracks of 4 seconds take at least 3 MiB" >&2; exit 2; }

work=$(mktemp -d "$base/tavrin_audio_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
sectors=$((size_mb * 1048576 / 2352))
bytes=$((sectors * 2352))
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
{
    printf 'RIFF'; le32 $((36 + bytes)); printf 'WAVEfmt '; le32 16
    printf '\x01\x00\x02\x00'; le32 44100; le32 176400; printf '\x04\x00\x10\x00'
    printf 'data'; le32 "$bytes"
    head -c "$bytes" /dev/urandom
} >"$work/album.wav"
msf() { printf '%02d:%02d:%02d' $(($1 / 4500)) $(($1 / 75 % 60)) $(($1 % 75)); }
cat >"$work/album.cue" <<CUE
FILE "album.wav" WAVE
  TRACK 01 AUDIO
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    INDEX 01 $(msf $((sectors / 3)))
  TRACK 03 AUDIO
    INDEX 01 $(msf $((sectors * 2 / 3)))
CUE
drive=$work/sr0
printf '[Drive 0]\nPath = %s\nMedia = cdr\nState = blank\n' "$drive" >"$work/emu.ini"
printf '[Virtual]\nBuiltInRecorders = no\n[Libburn]\nDevices = %s\n' "$drive" >"$work/starburn.ini"
mkdir -p "$work/state"
export SBMMCEMU=$work/emu.ini LD_PRELOAD=$emulator STARBURN_CONFIG=$work/starburn.ini \
    STARBURN_STATE_DIR=$work/state STARBURN_REAL_DRIVES=1
"$program" burn "$work/album.cue" --device CdRom0 --no-eject --yes >"$work/out" 2>&1 || {
    tail -5 "$work/out" >&2
    exit 1
}
unset LD_PRELOAD
compare=(cmp -i 44:0 -n "$bytes" "$work/album.wav" "$drive.disc")
"${compare[@]}" # both files into the page cache

declare -A best peak all
measure() { # name command...
    local name=$1 start end seconds kb
    shift
    start=$(date +%s.%N)
    /usr/bin/time -f %M -o "$work/rss" "$@" >"$work/out" 2>&1 || {
        echo "$name failed:" >&2
        tail -5 "$work/out" >&2
        exit 1
    }
    end=$(date +%s.%N)
    seconds=$(echo "$end - $start" | bc -l)
    kb=$(tail -1 "$work/rss")
    all[$name]="${all[$name]:-}$(printf ' %.3f' "$seconds")"
    if [ -z "${best[$name]:-}" ] || (($(echo "$seconds < ${best[$name]}" | bc -l))); then
        best[$name]=$seconds
    fi
    if [ -z "${peak[$name]:-}" ] || ((kb > ${peak[$name]})); then
        peak[$name]=$kb
    fi
}

verify=(verify --device CdRom0 "$work/album.cue")
names=("tavrin-burn verify" "cmp")
[ -n "${TAVRIN_BURN_OTHER:-}" ] && names+=("other tavrin-burn verify")
for ((round = 1; round <= rounds; ++round)); do
    measure "tavrin-burn verify" env LD_PRELOAD="$emulator" "$program" "${verify[@]}"
    measure "cmp" "${compare[@]}"
    if [ -n "${TAVRIN_BURN_OTHER:-}" ]; then
        measure "other tavrin-burn verify" env LD_PRELOAD="$emulator" "$TAVRIN_BURN_OTHER" \
            "${verify[@]}"
    fi
done

echo "audio: $size_mb MiB ($sectors sectors, three tracks) on an emulated CD-R, best of $rounds"
printf '%-26s %9s %10s %12s   %s\n' run seconds MB/s "peak MiB" "every round, s"
for name in "${names[@]}"; do
    printf '%-26s %9.3f %10.1f %12.1f  %s\n' "$name" "${best[$name]}" \
        "$(echo "$bytes / 1048576 / ${best[$name]}" | bc -l)" \
        "$(echo "${peak[$name]} / 1024" | bc -l)" "${all[$name]}"
done
printf '\nverify throughput / cmp throughput: %.2f\n' \
    "$(echo "${best["cmp"]} / ${best["tavrin-burn verify"]}" | bc -l)"
