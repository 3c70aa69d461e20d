#!/usr/bin/env bash
# Times one koralux-cli call that converts a whole archive of generated songs.
#
#   bench/batch.sh [FILES] [JOBS] [RUNS]   (default 2000 songs of about 50 KB, -j 2, 5 runs)
#
# The songs are spread over folders of 40 (as on the organ's floppy disks) and converted with
# `koralux-cli -r -q -j JOBS --output-dir OUT`, each timed run into a new folder OUT (so that no
# run pays for deleting the files of the one before), after one warm-up run. For scale, each
# run alternates with `cp -r` of the archive into a new folder: the cost of merely making as
# many files, which on a busy file system is most of the cost.
# Prints every run, the medians and the files per second. Uses koralux-cli and
# koralux-gen from build-bench/bin (brought up to date with the bench preset; KORALUX_BIN=DIR
# picks other ones) and bash's `time`.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${KORALUX_BIN:-$root/build-bench/bin}
files=${1:-2000}
jobs=${2:-2}
runs=${3:-5}

if [[ -z ${KORALUX_BIN:-} ]]; then
  # Brought up to date first (nothing happens when it is).
  [[ -f $root/build-bench/build.ninja ]] || (cd "$root" && cmake --preset bench >/dev/null)
  (cd "$root" && cmake --build --preset bench -j2 --target koralux-cli koralux-gen >/dev/null)
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/koralux-batch.XXXXXX")
trap 'rm -rf "$work"' EXIT
for ((i = 0; i < files; i++)); do
  disk=$(printf '%s/archive/disk%03d' "$work" $((i / 40)))
  mkdir -p "$disk"
  "$bin/koralux-gen" "$(printf '%s/MDR_%02d.EVT' "$disk" $((i % 40)))" --seed $((i + 1)) \
    --bytes 50000 >/dev/null
done
bytes=$(du -sb "$work/archive" | cut -f1)

TIMEFORMAT=%3R
convert=("$bin/koralux-cli" -r -q -j "$jobs" "$work/archive" --output-dir)
"${convert[@]}" "$work/out0" # warm-up
cp -r "$work/archive" "$work/copy0"
times=()
copies=()
for ((r = 1; r <= runs; r++)); do
  copies+=("$({ time cp -r "$work/archive" "$work/copy$r"; } 2>&1)")
  times+=("$({ time "${convert[@]}" "$work/out$r" >/dev/null 2>&1; } 2>&1)")
done
written=$(find "$work/out$runs" -name '*.mid' | wc -l)

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
convertMedian=$(printf '%s\n' "${times[@]}" | median)
copyMedian=$(printf '%s\n' "${copies[@]}" | median)

awk -v files="$files" -v jobs="$jobs" -v bytes="$bytes" -v written="$written" \
  -v conv="$convertMedian" -v cp="$copyMedian" -v convs="${times[*]}" -v cps="${copies[*]}" '
BEGIN {
  printf "%d songs, %.1f MB in all, %d outputs written\n", files, bytes / 1e6, written
  printf "%-40s %10s   runs (s)\n", "", "median (s)"
  printf "%-40s %10.3f   %s\n", "cp -r of the archive", cp, cps
  printf "%-40s %10.3f   %s\n", "koralux-cli -r -q -j " jobs " --output-dir", conv, convs
  printf "conversion: %.0f files/s; cp -r: %.0f files/s\n", files / conv, files / cp
}'
