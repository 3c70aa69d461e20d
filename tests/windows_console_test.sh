#!/bin/sh
# What koralux-cli.exe shows in a console window (Wine's, on a virtual X display), read back from
# the console's screen: a file name of letters beyond ASCII, in the line of a conversion and in a
# failure, shows as the same characters, and the batch's progress line leaves nothing behind.
#
# Usage: windows_console_test.sh WINEPREFIX READBACK_EXE KORALUX_CLI_EXE PERFORMANCE WORK
set -eu
if [ "${1:-}" != --on-display ]; then
  exec xvfb-run -a "$0" --on-display "$@"
fi
shift
export WINEPREFIX="$1" WINEDEBUG=-all LC_ALL=C.UTF-8
readback=$(realpath "$2") cli=$(realpath "$3") work=$5
rm -rf "$work" && mkdir -p "$work"
name="Übung é 練習曲"
cp "$4" "$work/$name.evt"
cp "$4" "$work/$name 2.evt"
cd "$work"
fail() {
  echo "FAIL: $*" >&2
  cat console.txt >&2
  exit 1
}
expect() {  # the line the console must show
  grep -qxF -- "$1" console.txt || fail "the console does not show: $1"
}

wine "$readback" console.txt "$cli" -q "$name.evt" "$name 2.evt" --output-dir out ||
  fail "the batch failed"
[ "$(cat console.txt)" = "" ] || fail "-q shows something"
wine "$readback" console.txt "$cli" "$name.evt" || fail "the conversion failed"
expect "Wrote 5 tracks (703 of 703 notes) to $name.mid"
wine "$readback" console.txt "$cli" "$name 2.evt" "$name 3.evt" && fail "a missing file succeeded"
grep -q "^koralux-cli: $name 3.evt: ." console.txt || fail "no failure naming $name 3.evt"
expect "Wrote 5 tracks (703 of 703 notes) to $name 2.mid"
expect "Converted 1 of 2 files, 1 failed"
echo "console: every line shows its characters"
