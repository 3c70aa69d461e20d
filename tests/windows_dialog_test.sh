#!/bin/sh
# koralux.exe under Wine on a virtual X display, driven as a user would: started with a
# performance file as its argument, it shows its window "KORALUX"; Alt+C converts, and the file
# it writes (a path of over 260 characters) has koralux-cli.exe's bytes, also after Options > "Include &XG Parts and
# Registrations" has been checked with its access keys; the window menu's last entry opens
# the About box, which Escape closes; Enter on the rhythm box (no push button) ends the dialog and
# the program. Started without arguments, Alt+C is refused in a message box captioned with the
# program's name; a file chosen in the Open dialog (File > Open Evt File) is converted, and one
# that does not exist fails with a message box, the dialog staying, and one cut short is written and
# then shown with its warnings in a message box. File > Convert Disk Image... converts every song
# of an image made here by mtools into the folder offered beside it, as koralux-cli.exe does, and
# one box (read back by PROBE_EXE) says how many. File > Play Converted File does nothing until a
# conversion has succeeded, and then says in a box why the file it wrote cannot be played once it
# is gone. Pictures of the windows go to SCREENSHOTS.
#
# Usage: windows_dialog_test.sh KORALUX_EXE KORALUX_CLI_EXE PROBE_EXE PERFORMANCE SCREENSHOTS WORK
# WORK holds the Wine prefix (made on first use) and the files converted.
set -eu
if [ "${1:-}" != --on-display ]; then
  # One virtual display for the whole run; Wine needs no window manager (see Managed below).
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --on-display "$@"
fi
shift
exe=$(realpath "$1") cli=$(realpath "$2") probe=$(realpath "$3")
performance=$(realpath "$4") screenshots=$5 work=$6
mkdir -p "$screenshots" "$work"
screenshots=$(realpath "$screenshots") work=$(realpath "$work")

export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine reads the command line in the locale's encoding: UTF-8, for the file name below.
export LC_ALL=C.UTF-8
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init >/dev/null 2>&1
  wineserver -w
  # Without a window manager Wine draws captions itself only for unmanaged windows.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
fi

fail() {
  printf 'FAIL: %s\n' "$*" >&2
  [ -z "${program:-}" ] || kill "$program" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  exit 1
}
# The first visible window whose title is exactly $1 (xdotool's own match ignores case),
# waited for at most 30 seconds.
window() {
  for _ in $(seq 150); do
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
      [ "$(xdotool getwindowname "$id")" = "$1" ] && echo "$id" && return
    done
    sleep 0.2
  done
}

# The Windows name of a Unix path: drive Z: is the root in a Wine prefix. (winepath -w cuts
# names at 260 characters.)
winpath() {
  printf 'Z:%s' "$1" | tr / '\\'
}

# A path longer than Windows' 260 characters, and a name in three scripts.
folder="$work/Organ Takes/$(printf 'Long folder name %.0s' $(seq 14))end"
rm -rf "$work/Organ Takes"
mkdir -p "$folder"
input="$folder/Übung é 練習曲.evt"
midi="$folder/Übung é 練習曲.mid"
cp "$performance" "$input"
for xg in "" --xg-parts; do
  wine "$cli" "$(winpath "$input")" -q $xg -o "$(winpath "$folder/cli$xg.mid")" ||
    fail "koralux-cli.exe $xg could not convert $performance"
done

wine "$exe" "$(winpath "$input")" &
program=$!
main=$(window KORALUX)
[ -n "$main" ] || fail "no window titled KORALUX"
xdotool windowfocus --sync "$main"
# Converts with Alt+C and compares the output with the CLI's file $1.
convert() {
  rm -f "$midi"
  xdotool key --window "$main" alt+c
  # The output appears whole: it is written beside and moved into place.
  for _ in $(seq 50); do
    [ -f "$midi" ] && break
    sleep 0.2
  done
  cmp "$folder/$1" "$midi" || fail "the dialog's output differs from $1"
}
convert cli.mid
# Options > Include XG Parts and Registrations, through the keyboard (the menu is a window of its
# own, which XTEST reaches).
xdotool key alt+o
sleep 0.5
xdotool key x
sleep 0.5
convert cli--xg-parts.mid
sleep 0.5  # the last paint of status line and bar
import -window "$main" "$screenshots/main-dialog.png"

# The window menu ends with our entry.
xdotool key --window "$main" alt+space
sleep 0.5
xdotool key Up Return
about=$(window "About KORALUX")
[ -n "$about" ] || fail "the window menu's entry opened no About box"
sleep 0.5
import -window "$about" "$screenshots/about-box.png"
xdotool key Escape
sleep 0.5
xdotool search --onlyvisible --name '^About KORALUX$' >/dev/null 2>&1 &&
  fail "Escape left the About box open"

# Waits for the program to end after the keys $@ (sent through XTEST: the window is gone before
# the last key is released).
ends_after() {
  xdotool windowfocus --sync "$main" key "$@"
  for _ in $(seq 50); do
    kill -0 "$program" 2>/dev/null || break
    sleep 0.2
  done
  kill -0 "$program" 2>/dev/null && fail "$* did not end the program"
  wait "$program" || true
}
# The focus is on "&Convert", pressed last; the rhythm box follows it in Tab order.
ends_after Tab Return

wine "$exe" &
program=$!
main=$(window KORALUX)
[ -n "$main" ] || fail "no window titled KORALUX without arguments"
# File > Play Converted File (the fourth entry) does nothing before a conversion.
play() {
  xdotool windowfocus --sync "$main" key F10 Down Down Down Down Return
  sleep 1
}
play
wine "$probe" koralux >/dev/null && fail "Play Converted File was not greyed before a conversion"
xdotool windowfocus --sync "$main" key alt+c
refusal=$(window koralux)
[ -n "$refusal" ] || fail "Alt+C with empty fields showed no message box captioned koralux"
sleep 0.5
import -window "$refusal" "$screenshots/refusal.png"
xdotool key Return

# File > Open Evt File (F10, Down opens the first menu, Enter takes its first entry), a name
# typed without extension: the Open dialog adds ".evt" (the file need not exist), the output name
# follows, and Alt+C converts it.
short="$work/short"
rm -rf "$short"
mkdir -p "$short"
cp "$performance" "$short/take.evt"
open_and_convert() {
  xdotool windowfocus --sync "$main" key F10 Down Return
  open=$(window Open)
  [ -n "$open" ] || fail "File > Open Evt File showed no Open dialog"
  sleep 0.5
  import -window "$open" "$screenshots/open-dialog.png"
  xdotool type --delay 20 "$(winpath "$short/$1")"
  xdotool key Return
  sleep 0.5
  xdotool windowfocus --sync "$main" key alt+c
}
# A file that is not there: the run's message in a box, and the dialog stays.
open_and_convert missing
failure=$(window koralux)
[ -n "$failure" ] || fail "a failed conversion showed no message box"
import -window "$failure" "$screenshots/failure.png"
xdotool key Return
sleep 0.5
[ "$(window KORALUX)" = "$main" ] || fail "the dialog did not stay after a failed conversion"
open_and_convert take
for _ in $(seq 50); do
  [ -f "$short/take.mid" ] && break
  sleep 0.2
done
cmp "$folder/cli.mid" "$short/take.mid" || fail "no take.mid from the file chosen in the Open dialog"
[ "$(ls "$short")" = "$(printf 'take.evt\ntake.mid')" ] || fail "files left by the failed run"
# After one, it plays the file written; one that cannot be played (here gone) is said in a box.
rm "$short/take.mid"
play
case $(wine "$probe" koralux) in
  "$(winpath "$short/take.mid") could not be played: "?*) xdotool key Return ;;
  *) fail "Play Converted File after a conversion showed no box for a missing file" ;;
esac
# A file cut short inside an event: written, and then one box says why it is doubtful.
head -c 256 /dev/zero >"$short/cut.evt"
printf '\220\074\144\200\074' >>"$short/cut.evt"
open_and_convert cut
warning=$(window koralux)
[ -n "$warning" ] || fail "a file with findings showed no warning box"
import -window "$warning" "$screenshots/warning.png"
xdotool key Return
sleep 0.5
[ -f "$short/cut.mid" ] || fail "the file with findings was not written"

# File > Convert Disk Image... (its third entry) on an image of two songs and a registration file;
# the folder dialog offers the image's own folder, taken by naming it "." (Wine's dialog takes no
# empty name).
disk="$work/disk"
rm -rf "$disk"
mkdir -p "$disk"
head -c 1500 /dev/zero >"$disk/MDR_00.B00"
image="$disk/disk1.img"
mformat -C -i "$image" -f 1440 :: && mcopy -i "$image" "$performance" ::MDR_00.EVT &&
  mcopy -i "$image" "$performance" ::MDR_01.EVT && mcopy -i "$image" "$disk/MDR_00.B00" :: ||
  fail "mtools could not make the disk image"
xdotool windowfocus --sync "$main" key F10 Down Down Down Return
[ -n "$(window Open)" ] || fail "File > Convert Disk Image... showed no Open dialog"
sleep 0.5
xdotool type --delay 20 "$(winpath "$image")"
xdotool key Return
[ -n "$(window "Where the folder disk1 with the songs goes")" ] || fail "no question for the folder"
sleep 0.5
xdotool type . && xdotool key Return
report=$(window koralux)
[ -n "$report" ] || fail "the disk's conversion showed no message box"
import -window "$report" "$screenshots/disk-report.png"
text=$(wine "$probe" koralux)
[ "$text" = "2 songs converted into $(winpath "$disk/disk1")." ] || fail "the disk's box said: $text"
xdotool key Return
for song in MDR_00 MDR_01; do
  cmp "$folder/cli.mid" "$disk/disk1/$song.EVT.mid" || fail "$song of the disk differs from cli.mid"
done
ends_after Escape
wineserver -w
echo "koralux.exe: converts as koralux-cli.exe does, refuses empty fields, takes a file from" \
  "the Open dialog, About box from the window menu; screenshots in $screenshots"
