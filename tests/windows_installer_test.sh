#!/bin/sh
# The Windows installer under Wine, silently as an administrator's script would run it: both
# programs, README and licence land in Program Files with the uninstaller, the Start menu has its
# entry, ".evt" files open in koralux.exe as "Electone performance file", "Apps & features" shows
# publisher, version and size; PATH is left alone unless asked (/PATH=all), and then cmd finds
# koralux-cli; the silent uninstall then leaves no file, no registry key and no PATH entry behind
# that the installer made.
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
query() {  # KEY [VALUE]: the value (the key's default without VALUE)
  if [ $# -eq 2 ]; then set -- "$1" /v "$2"; else set -- "$1" /ve; fi
  wine reg query "$@" 2>/dev/null | tr -d '\r' |
    sed -n 's/.*REG_[A-Z_]*SZ *//p; s/.*REG_DWORD *//p'
}
environment='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KORALUX'
files >"$2/before.txt"
path_before=$(query "$environment" Path)

wine "$setup" /S
wineserver -w
[ "$(query "$environment" Path)" = "$path_before" ] || fail "PATH changed without /PATH"
wine "$setup" /S /PATH=all
wineserver -w
case "$(query "$environment" Path)" in
  "$path_before;C:\Program Files\KORALUX") ;;
  *) fail "/PATH=all did not add the folder to PATH once: $(query "$environment" Path)" ;;
esac
version=$(wine cmd /c koralux-cli --version | tr -d '\r')
[ "${version#koralux-cli }" != "$version" ] || fail "cmd does not find koralux-cli"
[ "$(query "$uninstall" DisplayVersion)" = "${version#koralux-cli }" ] ||
  fail "the version shown is not the program's"
[ "$(query "$uninstall" Publisher)" = KORALUX ] || fail "no publisher"
[ $(($(query "$uninstall" EstimatedSize))) -gt 1000 ] || fail "no size (in KB)"
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
[ "$(query "$environment" Path)" = "$path_before" ] || fail "the uninstaller left PATH changed"
for key in 'HKLM\Software\Classes\.evt' 'HKLM\Software\Classes\KORALUX.Performance' \
  'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KORALUX'; do
  wine reg query "$key" >/dev/null 2>&1 && fail "the uninstaller left $key behind"
done
echo "installer: installed, associated .evt, PATH on request, uninstalled without leftovers"
