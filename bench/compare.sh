#!/usr/bin/env bash
# Compares the cost of converting a 64 MB performance file into a MIDI file with the cost of
# merely copying that file, side by side in one run, and measures the conversion's peak memory.
#
#   bench/compare.sh [RUNS]        (RUNS timed runs of each, default 9, after one warm-up)
#
# Uses koralux-cli and koralux-gen from build-bench/bin (brought up to date with the bench
# preset; KORALUX_BIN=DIR picks other ones), bash's `time`, cp and GNU time (/usr/bin/time,
# Debian package "time"). The runs of the two alternate, so that both see the same load.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${KORALUX_BIN:-$root/build-bench/bin}
runs=${1:-9}
size=$((64 * 1024 * 1024))

if [[ -z ${KORALUX_BIN:-} ]]; then
  # Brought up to date first (nothing happens when it is).
  [[ -f $root/build-bench/build.ninja ]] || (cd "$root" && cmake --preset bench >/dev/null)
  (cd "$root" && cmake --build --preset bench -j2 --target koralux-cli koralux-gen >/dev/null)
fi
if [[ ! -x /usr/bin/time ]]; then
  echo "compare.sh: /usr/bin/time is missing (apt-get install time)" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/koralux-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
input=$work/giant.evt
"$bin/koralux-gen" "$input" --seed 7 --bytes "$size" >/dev/null

TIMEFORMAT=%3R
# Wall time in seconds of one command, its own output discarded.
seconds() { { time "$@" >/dev/null 2>&1; } 2>&1; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

convert=("$bin/koralux-cli" -q "$input" -o "$work/giant.mid")
copy=(cp "$input" "$work/copy.evt")

# Warm-up: the input in the page cache, the programs loaded once.
"${copy[@]}"
"${convert[@]}"

convertTimes=()
copyTimes=()
for ((i = 1; i <= runs; i++)); do
  rm -f "$work/copy.evt" "$work/giant.mid"
  copyTimes+=("$(seconds "${copy[@]}")")
  convertTimes+=("$(seconds "${convert[@]}")")
done

copyMedian=$(printf '%s\n' "${copyTimes[@]}" | median)
convertMedian=$(printf '%s\n' "${convertTimes[@]}" | median)
inputBytes=$(stat -c %s "$input")
outputBytes=$(stat -c %s "$work/giant.mid")

rm -f "$work/giant.mid"
peakKiB=$(/usr/bin/time -v "${convert[@]}" 2>&1 >/dev/null |
  awk -F': ' '/Maximum resident set size/ { print $2 }')

awk -v runs="$runs" -v cp="$copyMedian" -v conv="$convertMedian" -v input="$inputBytes" \
  -v out="$outputBytes" -v peak="$peakKiB" -v cps="${copyTimes[*]}" -v convs="${convertTimes[*]}" '
BEGIN {
  mib = 1024 * 1024
  printf "input  %.1f MiB (%d bytes), output %.1f MiB (%d bytes)\n", input / mib, input, out / mib, out
  printf "%-30s %10s   runs (s)\n", "", "median (s)"
  printf "%-30s %10.3f   %s\n", "cp of the input", cp, cps
  printf "%-30s %10.3f   %s\n", "koralux-cli input -o output", conv, convs
  printf "ratio conversion / cp: %.2f (median of %d runs each, after a warm-up)\n", conv / cp, runs
  bound = (input + 2 * out) / mib + 20
  printf "peak memory of the conversion: %.1f MiB (bound input + 2 x output + 20 MiB = %.1f MiB)\n",
         peak / 1024, bound
}'
