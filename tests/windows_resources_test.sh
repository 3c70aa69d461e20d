#!/bin/sh
# koralux-cli.exe carries the program's icon (every picture of the icon file) and version
# information with the program's version, read back from the executable with the cross
# toolchain's windres.
#
# Usage: windows_resources_test.sh KORALUX_CLI_EXE ICON_FILE VERSION
set -eu
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
resources=$(x86_64-w64-mingw32-windres -i "$1" -O rc)
has() {
  printf '%s\n' "$resources" | grep -qxF -- "$1" || fail "no line '$1' in the resources"
}
pictures=$(od -An -tu2 -j4 -N2 "$2" | tr -d ' ')
[ "$(printf '%s\n' "$resources" | grep -c 'Element no')" -eq "$pictures" ] ||
  fail "no icon of the $pictures pictures of $2"
has " FILEVERSION $(echo "$3" | sed 's/\./, /g'), 0"
has "      VALUE \"FileVersion\", \"$3\""
has "      VALUE \"ProductVersion\", \"$3\""
has "      VALUE \"OriginalFilename\", \"koralux-cli.exe\""
echo "resources: koralux-cli.exe has the icon and version $3"
