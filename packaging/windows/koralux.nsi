; The Windows installer of KORALUX: both programs into Program Files, a Start-menu entry, ".evt"
; files opening in the dialog, and an uninstaller that takes all of it away again.
;
; makensis -DVERSION=2.0.1 -DBIN=<folder of both .exe> -DSOURCE=<source root> -DOUTFILE=<setup.exe>
;   koralux.nsi
; A 64-bit installer: the programs are 64-bit, and it writes the 64-bit registry view. It uses no
; plugins, since Debian's NSIS carries them for 32-bit installers only.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

Name "KORALUX"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\KORALUX"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KORALUX"
!define FILE_TYPE "KORALUX.Performance"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "KORALUX"
  SetRegView 64
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${BIN}\koralux.exe"
  File "${BIN}\koralux-cli.exe"
  File "/oname=README.md" "${SOURCE}\README.md"
  File "/oname=LICENSE.txt" "${SOURCE}\LICENSE"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\KORALUX.lnk" "$INSTDIR\koralux.exe" "" "$INSTDIR\koralux.exe" 0

  ; Performance files open in the dialog, which takes a file named as its first argument.
  WriteRegStr HKLM "Software\Classes\.evt" "" "${FILE_TYPE}"
  WriteRegStr HKLM "Software\Classes\${FILE_TYPE}" "" "Electone performance file"
  WriteRegStr HKLM "Software\Classes\${FILE_TYPE}\DefaultIcon" "" "$INSTDIR\koralux.exe,0"
  WriteRegStr HKLM "Software\Classes\${FILE_TYPE}\shell\open\command" "" \
    '"$INSTDIR\koralux.exe" "%1"'

  ; Apps & features.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "KORALUX"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\koralux.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "$INSTDIR\koralux.exe"
  Delete "$INSTDIR\koralux-cli.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\KORALUX.lnk"

  ; ".evt" is left alone if another program has taken it since.
  ReadRegStr $0 HKLM "Software\Classes\.evt" ""
  StrCmp $0 "${FILE_TYPE}" 0 +2
    DeleteRegKey HKLM "Software\Classes\.evt"
  DeleteRegKey HKLM "Software\Classes\${FILE_TYPE}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
