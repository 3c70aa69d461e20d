#!/bin/sh
# Writes the fuzz targets' seed corpus into FOLDER (emptied first): short performances made by
# koralux-gen (with and without the rhythm unit, every kind of event, each organ part, mono
# pedal, long system-exclusive messages, XG backings), the same cut off at awkward places, and a few endings
# made by hand. Both targets read the same files. The generator is deterministic, so the same
# koralux-gen always gives the same corpus.
#   fuzz/make-seeds.sh path/to/koralux-gen FOLDER
set -eu
if [ $# -ne 2 ]; then
  echo "usage: $0 path/to/koralux-gen FOLDER" >&2
  exit 2
fi
gen=$1
out=$2
rm -rf "$out"
mkdir -p "$out"

song() {
  name=$1
  shift
  "$gen" "$out/$name.evt" "$@" >/dev/null
}

# The conversion target takes its settings from the first header bytes: flags (1 rhythm unit
# absent, 2 legacy timing, 4 XG parts), numerator, denominator, sharps, minor. Octal, for printf.
settings() {
  printf "$2" | dd of="$out/$1.evt" bs=1 seek=0 conv=notrunc 2>/dev/null
}

cut_at() {
  head -c "$2" "$out/$1.evt" >"$out/$1-cut-$2.evt"
}
size_of() {
  wc -c <"$out/$1.evt" | tr -d ' '
}

song band --seed 1 --seconds 6
song fast --seed 2 --seconds 4 --tempo 300
song slow --seed 3 --seconds 8 --tempo 40
song free --seed 4 --seconds 6 --no-rhythm
song unaligned --seed 5 --seconds 6 --no-align
song pedal-mono --seed 6 --seconds 8 --pedal-mono --channels 3
song two-uppers --seed 7 --seconds 5 --channels 4,1
song sixteen --seed 8 --seconds 3 --channels 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16
song still --seed 9 --seconds 5 --no-expression
song kinds --seed 10 --seconds 16 --every-kind
song kinds-free --seed 11 --seconds 12 --every-kind --no-rhythm
song kinds-mono --seed 12 --seconds 12 --every-kind --pedal-mono
song kinds-long-exclusive --seed 16 --seconds 12 --every-kind
song xg --seed 17 --seconds 10 --xg
song xg-kinds --seed 18 --seconds 10 --xg --every-kind --channels 1,2,3,5,8,10,14,15,16

settings band '\000\004\004\000\000'
settings fast '\002\003\004\002\001'
settings slow '\000\006\010\371\000'
settings free '\001\004\004\000\000'
settings unaligned '\003\002\002\005\001'
settings pedal-mono '\000\004\004\000\000'
settings kinds '\000\004\004\000\000'
settings kinds-free '\001\004\004\000\000'
settings kinds-mono '\002\014\020\007\001'
settings kinds-long-exclusive '\000\004\004\000\000'
settings xg '\004\004\004\000\000'
settings xg-kinds '\006\003\004\001\000'

# Endings cut off in the middle of events: one and two bytes short, and at a third and a half.
for name in kinds kinds-free kinds-mono kinds-long-exclusive band xg-kinds; do
  size=$(size_of "$name")
  for at in $((size - 1)) $((size - 2)) $((size / 3)) $((size / 2)); do
    cut_at "$name" "$at"
  done
done
# Cut off inside the long system-exclusive messages that "kinds" (470 bytes from byte 286) and
# "kinds-long-exclusive" (447 bytes from byte 308) hold.
cut_at kinds 500
cut_at kinds-long-exclusive 600

# Made by hand: a header alone; a system-exclusive message of 600 bytes without its end byte
# (the reader stops after 512 and reads the rest as events); one of exactly 511 bytes and its
# F7; one cut off by the end of the file; a marker byte as the very last byte.
header() {
  head -c 256 /dev/zero
}
header >"$out/header-only.evt"
{ header; printf '\360'; head -c 600 /dev/zero | tr '\000' '\220'; } >"$out/exclusive-600.evt"
{ header; printf '\360'; head -c 510 /dev/zero | tr '\000' '\042'; printf '\367\220\074\144'; } \
  >"$out/exclusive-512.evt"
{ header; printf '\220\074\144\360'; head -c 300 /dev/zero | tr '\000' '\001'; } \
  >"$out/exclusive-cut.evt"
{ header; printf '\220\074\144\376\170\200\074\100\376'; } >"$out/marker-last.evt"
