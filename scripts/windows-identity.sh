#!/bin/sh
# koralux-cli.exe under Wine must write the same bytes as the Linux build: converts a set of
# generated performances (several shapes, both timing modes, the XG parts, names with spaces
# and letters beyond ASCII) with both, one by one and as a batch, and compares the MIDI files and the
# --info, --json and --dump listings byte for byte.
#   scripts/windows-identity.sh [LINUX_BUILD [WINDOWS_BUILD]]   (default build, build-windows)
set -eu
cd "$(dirname "$0")/.."
linux=$(realpath "${1:-build}")/bin
windows=$(realpath "${2:-build-windows}")
export WINEDEBUG=-all WINEPREFIX="$windows/wineprefix"
exe="$windows/bin/koralux-cli.exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in/sub folder"

# name|generator options
while IFS='|' read -r name options; do
  # shellcheck disable=SC2086
  "$linux/koralux-gen" "$work/in/$name" $options >/dev/null
done <<'SHAPES'
song.evt|--seed 1
with spaces in the name.evt|--seed 2 --seconds 90 --tempo 72
Übung é.evt|--seed 3 --no-rhythm
練習曲.evt|--seed 4 --every-kind --loose-timing
sub folder/MDR_00.EVT|--seed 5 --pedal-mono --no-expression --channels 1,4,2,3,15
sub folder/unaligned.evt|--seed 6 --no-align --tempo 200
SHAPES

cp examples/xg-demo.evt "$work/in/sub folder/xg-demo.evt"
failures=0
compare() {  # what, linux file, windows file
  if ! cmp -s "$2" "$3"; then
    echo "DIFFERENT: $1" >&2
    failures=$((failures + 1))
  fi
}

cd "$work/in"
for timing in "" --legacy-timing --xg-parts; do
  find . -iname '*.evt' | sort | while read -r input; do
    "$linux/koralux-cli" "$input" -q $timing -o "$work/linux.mid"
    wine "$exe" "$input" -q $timing -o "$work/windows.mid"
    cmp -s "$work/linux.mid" "$work/windows.mid" || echo "DIFFERENT: $input $timing" >&2
  done 2>&1 | tee -a "$work/report"
done
for listing in --info "--info --json" --dump; do
  for input in song.evt "練習曲.evt"; do
    # shellcheck disable=SC2086
    "$linux/koralux-cli" $listing "$input" >"$work/linux.txt"
    # shellcheck disable=SC2086
    wine "$exe" $listing "$input" >"$work/windows.txt"
    compare "$listing $input" "$work/linux.txt" "$work/windows.txt"
  done
done
# The batch: every file at once, side by side, into an output folder.
"$linux/koralux-cli" -r . --output-dir "$work/linux" -j 2 -q
wine "$exe" -r . --output-dir "$work/windows" -j 2 -q
(cd "$work/linux" && find . -type f | sort) >"$work/linux.txt"
(cd "$work/windows" && find . -type f | sort) >"$work/windows.txt"
compare "the batch's files" "$work/linux.txt" "$work/windows.txt"
while read -r file; do compare "batch $file" "$work/linux/$file" "$work/windows/$file"; done \
  <"$work/linux.txt"
failures=$((failures + $(grep -c DIFFERENT "$work/report" || true)))
files=$(wc -l <"$work/linux.txt")
if [ "$failures" -ne 0 ]; then
  echo "windows-identity: $failures differences" >&2
  exit 1
fi
echo "windows-identity: $files performances, both timings and the XG parts, one by one and as a batch, and the listings: identical"
