; The Windows installer: tazo.exe, the help file and the read-me in Program Files, a Start-menu
; shortcut for every user that starts the program in the user's own folder %USERPROFILE%\tazo, an
; entry in the list of installed programs, and an uninstaller that removes all of that and leaves
; the users' folders (settings, log, part programs) alone.
;
; makensis /DVERSION=1.0.0 /DPROGRAM=<folder with tazo.exe, pomoc.txt, README.txt>
;          /DICON=<tazo's icon> /DOUTFILE=<setup.exe> tazo.nsi
; (scripts/release-windows.sh passes them from the build.)

; A 64-bit installer for a 64-bit program (it also runs where no 32-bit layer is installed).
Target amd64-unicode
; Active Setup compares versions written with commas.
!searchreplace ACTIVE_SETUP_VERSION "${VERSION}" "." ","
!macro TAZO_REQUIRE name
  !ifndef ${name}
    !error "${name} must be defined (see scripts/release-windows.sh)"
  !endif
!macroend
!insertmacro TAZO_REQUIRE VERSION
!insertmacro TAZO_REQUIRE PROGRAM
!insertmacro TAZO_REQUIRE ICON
!insertmacro TAZO_REQUIRE OUTFILE

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\tazo"
; Makes the user's folder at the first logon of every other user (Windows runs StubPath once per
; user and version); the user who installs gets it from the installer itself.
!define ACTIVE_SETUP_KEY "Software\Microsoft\Active Setup\Installed Components\tazo"
!define USER_FOLDER "%USERPROFILE%\tazo"

Name "tazo ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\tazo"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "tazo ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "tazo"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "tazo ${VERSION} setup"
VIAddVersionKey /LANG=0 "LegalCopyright" "tazo authors"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; Polish first: it is the language of the installer where the system's is neither.
!insertmacro MUI_LANGUAGE "Polish"
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "tazo"
  SetOutPath "$INSTDIR"
  File "${PROGRAM}\tazo.exe"
  File "${PROGRAM}\pomoc.txt"
  File "${PROGRAM}\README.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The installing user's own folder, with the help file unless there is one already.
  CreateDirectory "$PROFILE\tazo"
  ${IfNot} ${FileExists} "$PROFILE\tazo\pomoc.txt"
    CopyFiles /SILENT "$INSTDIR\pomoc.txt" "$PROFILE\tazo\pomoc.txt"
  ${EndIf}

  ; The shortcut's working folder is the folder of whoever starts it: Windows expands the variable.
  StrCpy $OUTDIR "${USER_FOLDER}"
  CreateShortCut "$SMPROGRAMS\tazo.lnk" "$INSTDIR\tazo.exe" "" "$INSTDIR\tazo.exe" 0
  SetOutPath "$INSTDIR"

  WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "" "tazo"
  WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "Version" "${ACTIVE_SETUP_VERSION}"
  WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "StubPath" \
    '"$SYSDIR\cmd.exe" /q /c if not exist "${USER_FOLDER}\pomoc.txt" (mkdir "${USER_FOLDER}" 2>nul & copy /y "$INSTDIR\pomoc.txt" "${USER_FOLDER}\pomoc.txt" >nul)'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "tazo ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tazo.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "tazo"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; Everything the installer put in place, and nothing of the users' folders.
Section "Uninstall"
  Delete "$SMPROGRAMS\tazo.lnk"
  DeleteRegKey HKLM "${ACTIVE_SETUP_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\tazo.exe"
  Delete "$INSTDIR\pomoc.txt"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Last, so that a folder gone means the uninstaller is done; left when it holds files of others.
  RMDir "$INSTDIR"
SectionEnd
