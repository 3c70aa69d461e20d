#!/bin/sh
# The Windows installer under Wine, silently as an administrator's script would run it: both
# programs, README and licence land in Program Files with the uninstaller, the Start menu has its
# entry, ".evt" files open in koralux.exe as "Electone performance file"; the silent uninstall
# then leaves no file and no registry key behind that the installer made.
#
# Usage: windows_installer_test.sh SETUP_EXE WORK   (WORK holds a Wine prefix of its own)
set -eu
setup=$(realpath "$1")
mkdir -p "$2"
export WINEPREFIX="$(realpath "$2")/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init >/dev/null 2>&1
  wineserver -w
fi
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
drive="$WINEPREFIX/drive_c"
folder="$drive/Program Files/KORALUX"
# Every file of the prefix but the temporary ones and the registry, whose keys are checked apart.
files() {
  (cd "$drive" && find . -path ./windows/temp -prune -o -path './users/*/Temp' -prune -o -print |
    sort)
}
query() {
  wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'
}
files >"$2/before.txt"

wine "$setup" /S
wineserver -w
for file in koralux.exe koralux-cli.exe README.md LICENSE.txt uninstall.exe; do
  [ -f "$folder/$file" ] || fail "no $file in Program Files\\KORALUX"
done
[ -n "$(find "$drive" -name KORALUX.lnk -path '*Start Menu*')" ] || fail "no Start-menu entry"
[ "$(query 'HKLM\Software\Classes\.evt')" = KORALUX.Performance ] || fail ".evt not associated"
[ "$(query 'HKLM\Software\Classes\KORALUX.Performance')" = "Electone performance file" ] ||
  fail "no file type 'Electone performance file'"
[ "$(query 'HKLM\Software\Classes\KORALUX.Performance\shell\open\command')" = \
  '"C:\Program Files\KORALUX\koralux.exe" "%1"' ] || fail ".evt does not open in koralux.exe"

wine "$folder/uninstall.exe" /S
wineserver -w
files >"$2/after.txt"
diff "$2/before.txt" "$2/after.txt" || fail "the uninstaller left files behind (above)"
for key in 'HKLM\Software\Classes\.evt' 'HKLM\Software\Classes\KORALUX.Performance' \
  'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KORALUX'; do
  wine reg query "$key" >/dev/null 2>&1 && fail "the uninstaller left $key behind"
done
echo "installer: installed, associated .evt, uninstalled without leftovers"
