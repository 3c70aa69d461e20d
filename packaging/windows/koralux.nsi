; The Windows installer of KORALUX: both programs into Program Files, a Start-menu entry, ".evt"
; files opening in the dialog, an entry in "Apps & features" (publisher, version, size), and on
; request the folder on PATH so that cmd finds koralux-cli (off unless chosen: on the
; components page, or /PATH=all or /PATH=user on the command line of a silent install); and an
; uninstaller that takes all of it away again.
;
; makensis -DVERSION=2.0.1 -DBIN=<folder of both .exe> -DSOURCE=<source root> -DOUTFILE=<setup.exe>
;   koralux.nsi
; A 64-bit installer: the programs are 64-bit, and it writes the 64-bit registry view. It uses no
; plugins, since Debian's NSIS carries them for 32-bit installers only (the headers below are
; macros).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh
!include WinMessages.nsh
!include WordFunc.nsh

Name "KORALUX"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\KORALUX"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
Icon "${SOURCE}\ui\resources\koralux.ico"
UninstallIcon "${SOURCE}\ui\resources\koralux.ico"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KORALUX"
!define FILE_TYPE "KORALUX.Performance"
!define PUBLISHER "KORALUX"
!define SYSTEM_ENVIRONMENT "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define USER_ENVIRONMENT "Environment"
; The longest PATH the installer changes: its strings hold NSIS_MAX_STRLEN characters, and a
; longer PATH read into one would be cut. A PATH near the limit is left alone, with a message.
!define /math PATH_LIMIT ${NSIS_MAX_STRLEN} - 300

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "KORALUX" SectionPrograms
  SectionIn RO
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
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "https://koralux.org/"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Adds the installation folder to the PATH in the registry key ROOT\KEY, once.
!macro AddToPath ROOT KEY
  ReadRegStr $0 ${ROOT} "${KEY}" "Path"
  StrLen $1 $0
  ${If} $1 > ${PATH_LIMIT}
    DetailPrint "PATH is too long to be changed here: add $INSTDIR to it yourself"
  ${Else}
    ${WordAdd} "$0" ";" "+$INSTDIR" $1
    WriteRegExpandStr ${ROOT} "${KEY}" "Path" "$1"
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
!macroend

; Takes the installation folder out of the PATH in ROOT\KEY, where it is.
!macro RemoveFromPath ROOT KEY
  ReadRegStr $0 ${ROOT} "${KEY}" "Path"
  StrLen $1 $0
  ${If} $1 <= ${PATH_LIMIT}
    ${WordAdd} "$0" ";" "-$INSTDIR" $1
    ${If} "$1" != "$0"
      WriteRegExpandStr ${ROOT} "${KEY}" "Path" "$1"
      SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${EndIf}
  ${EndIf}
!macroend

SectionGroup /e "Add koralux-cli to PATH"
  Section /o "for all users" SectionPathAll
    !insertmacro AddToPath HKLM "${SYSTEM_ENVIRONMENT}"
  SectionEnd
  Section /o "for the current user" SectionPathUser
    !insertmacro AddToPath HKCU "${USER_ENVIRONMENT}"
  SectionEnd
SectionGroupEnd

Function .onInit
  SetRegView 64
  ; A silent install chooses with /PATH=all or /PATH=user.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PATH=" $1
  ${IfNot} ${Errors}
    ${If} $1 == "all"
      !insertmacro SelectSection ${SectionPathAll}
    ${ElseIf} $1 == "user"
      !insertmacro SelectSection ${SectionPathUser}
    ${EndIf}
  ${EndIf}
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
  !insertmacro RemoveFromPath HKLM "${SYSTEM_ENVIRONMENT}"
  !insertmacro RemoveFromPath HKCU "${USER_ENVIRONMENT}"
SectionEnd
