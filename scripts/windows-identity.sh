#!/bin/sh
# koralux-cli.exe under Wine must write the same bytes as the Linux build: converts a set of
# generated performances (several shapes, both timing modes, the XG parts, names with spaces
# and letters beyond ASCII) with both, one by one and as a batch, and compares the MIDI files and the
# --info, --json and --dump listings byte for byte. Then as a Windows user types them: wildcards in
# cmd (tests/windows_wildcards.bat), -r over folders deeper than Windows' old limit of 260
# characters, and a folder that cannot be read, which must fail by name.
#   scripts/windows-identity.sh [LINUX_BUILD [WINDOWS_BUILD]]   (default build, build-windows)
set -eu
cd "$(dirname "$0")/.."
source=$PWD
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

# Wildcards in cmd, on upper-case names as a memory card has them; MDR_10.EVT is matched by
# *.EVT only.
for side in linux windows; do
  mkdir -p "$work/card-$side"
  for name in 00:song.evt 01:Übung\ é.evt 02:練習曲.evt 03:sub\ folder/unaligned.evt \
    10:song.evt; do
    cp "${name#*:}" "$work/card-$side/MDR_${name%%:*}.EVT"
  done
done
(cd "$work/card-linux" && "$linux/koralux-cli" --info *.EVT >info.txt &&
  "$linux/koralux-cli" --info MDR_1*.EVT >lower.txt &&
  "$linux/koralux-cli" MDR_0?.EVT --output-dir out -q)
(cd "$work/card-windows" &&
  wine cmd /c "$(winepath -w "$source/tests/windows_wildcards.bat")" "$(winepath -w "$exe")") ||
  echo "DIFFERENT: tests/windows_wildcards.bat failed" >>"$work/report"
grep -qxF "koralux-cli: NOTHING_*.EVT: no file matches" "$work/card-windows/unmatched.txt" ||
  echo "DIFFERENT: a pattern that matches nothing is not named" >>"$work/report"
for file in info.txt lower.txt out/MDR_00.EVT.mid out/MDR_01.EVT.mid out/MDR_02.EVT.mid \
  out/MDR_03.EVT.mid; do
  compare "wildcards: $file" "$work/card-linux/$file" "$work/card-windows/$file"
done
[ ! -e "$work/card-windows/out/MDR_10.EVT.mid" ] ||
  echo "DIFFERENT: MDR_0?.EVT matched MDR_10.EVT" >>"$work/report"

# -r over folders whose paths pass 300 characters, outputs beside the inputs and under
# --output-dir, and the deepest folder named directly.
level="$work/deep-windows"
for depth in 1 2 3 4 5 6; do
  level="$level/folder $depth of a tree deeper than Windows' old limit of 260 characters"
  mkdir -p "$level"
  cp song.evt "$level/song $depth.evt"
done
cp -r "$work/deep-windows" "$work/deep-linux"
"$linux/koralux-cli" -r "$work/deep-linux" -q
"$linux/koralux-cli" -r "$work/deep-linux" --output-dir "$work/deep-out-linux" -q
wine "$exe" -r "$work/deep-windows" -q
wine "$exe" -r "$work/deep-windows" --output-dir "$work/deep-out-windows" -q
# The path it prints keeps the "/" typed.
wine "$exe" -r "$level" --output-dir "$work/deep-direct" 2>/dev/null |
  tr -d '\r' >"$work/deep-direct.txt"
grep -qF " to $work/deep-direct/song 6.mid" "$work/deep-direct.txt" ||
  echo "DIFFERENT: deep folder named directly: $(cat "$work/deep-direct.txt")" >>"$work/report"
for depth in 1 2 3 4 5 6; do
  found=$(cd "$work/deep-linux" && find . -name "song $depth.mid")
  compare "deep: $found" "$work/deep-linux/$found" "$work/deep-windows/$found"
  compare "deep --output-dir: $found" "$work/deep-out-linux/$found" "$work/deep-out-windows/$found"
done
compare "deep folder named directly" "$work/deep-out-linux/$found" "$work/deep-direct/song 6.mid"

# A folder that cannot be read fails by name. Root reads every folder: Wine's server then runs
# without the capabilities that let it.
mkdir -p "$work/locked/folder"
cp song.evt "$work/locked/folder/song.evt"
chmod 000 "$work/locked/folder"
wineserver -k 2>/dev/null || true
status=0
setpriv --inh-caps=-all --bounding-set=-dac_override,-dac_read_search \
  wine "$exe" -r "$work/locked" -q 2>"$work/locked.txt" || status=$?
wineserver -k 2>/dev/null || true
chmod 755 "$work/locked/folder"
[ "$status" -eq 1 ] && grep -qF "folder: Access denied." "$work/locked.txt" ||
  echo "DIFFERENT: an unreadable folder: status $status, $(cat "$work/locked.txt")" >>"$work/report"

# Disk images made by mtools: 40 songs with their registration files and a stray XG song, on a
# 1.44 MB and a 720 KB disk, and damaged copies of the first: the boot sector zeroed, a sector
# of a song filled as imaging tools fill one they could not read, the image cut short. Every
# song, every listing and the summary of damage come out as on Linux.
mkdir -p "$work/disk"
for slot in $(seq 0 39); do
  name=$(printf 'MDR_%02d' "$slot")
  "$linux/koralux-gen" "$work/disk/$name.EVT" --seed "$((slot + 100))" --seconds 20 >/dev/null
  printf 'registration %s' "$slot" >"$work/disk/$name.B00"
done
printf 'MThd' >"$work/disk/SONG.MID"
mformat -C -i "$work/disk144.img" -f 1440 -v ORGAN ::
mformat -C -i "$work/disk720.img" -f 720 ::
for image in disk144 disk720; do mcopy -i "$work/$image.img" "$work"/disk/* ::; done
cp "$work/disk144.img" "$work/zeroed.img"
dd if=/dev/zero of="$work/zeroed.img" bs=512 count=1 conv=notrunc 2>/dev/null
cp "$work/disk144.img" "$work/filler.img"
# 1.44 MB: one sector a cluster, the data from sector 33 on.
cluster=$(mshowfat -i "$work/disk144.img" ::/MDR_05.EVT | sed 's/.*<\([0-9]*\).*/\1/')
head -c 512 /dev/zero | tr '\0' '\366' |
  dd of="$work/filler.img" bs=512 seek=$((33 + cluster - 2 + 1)) conv=notrunc 2>/dev/null
head -c 200000 "$work/disk144.img" >"$work/short.img"
mkdir -p "$work/disk-linux" "$work/disk-windows"
for image in disk144 disk720 zeroed filler short; do
  for listing in "" --info "--info --json"; do
    # shellcheck disable=SC2086
    (cd "$work/disk-linux" && "$linux/koralux-cli" $listing "../$image.img" --output-dir out -j 1 \
      >"$work/disk-linux.txt" 2>&1) || true
    # shellcheck disable=SC2086
    (cd "$work/disk-windows" && wine "$exe" $listing "../$image.img" --output-dir out -j 1 \
      >"$work/disk-windows.txt" 2>&1) || true
    # The folders the program adds to a path typed without a separator are joined with a backslash.
    [ -n "$listing" ] || sed -i 's|\\|/|g' "$work/disk-windows.txt"
    compare "disk $image: ${listing:-converted}" "$work/disk-linux.txt" "$work/disk-windows.txt"
  done
done
(cd "$work/disk-linux" && find . -type f | sort) >"$work/disk-files.txt"
[ "$(wc -l <"$work/disk-files.txt")" -ge 150 ] ||
  echo "DIFFERENT: only $(wc -l <"$work/disk-files.txt") songs from the images" >>"$work/report"
while read -r file; do
  compare "disk song $file" "$work/disk-linux/$file" "$work/disk-windows/$file"
done <"$work/disk-files.txt"

failures=$((failures + $(grep -c DIFFERENT "$work/report" || true)))
files=$(wc -l <"$work/linux.txt")
if [ "$failures" -ne 0 ]; then
  echo "windows-identity: $failures differences" >&2
  exit 1
fi
echo "windows-identity: $files performances, both timings and the XG parts, one by one and as a batch, and the listings: identical"
echo "windows-identity: wildcards in cmd, deep folders and an unreadable folder as on Windows"
echo "windows-identity: $(wc -l <"$work/disk-files.txt") songs from five disk images, good and damaged, and their listings: identical"
