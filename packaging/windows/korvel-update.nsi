; SPDX-License-Identifier: GPL-2.0-or-later
; The Windows installer of korvel-update.exe: the program, its command line (korvel-update.com),
; its licence and read-me into Program Files, a Start-menu shortcut for all users, an entry
; under "Add or Remove Programs" and an uninstaller that removes exactly these again. /S
; installs and uninstalls silently.
;
; Made by the Windows build (packaging/windows/CMakeLists.txt, target korvel_installer), which
; defines KORVEL_VERSION, KORVEL_PRODUCT, KORVEL_PUBLISHER, KORVEL_HOMEPAGE, KORVEL_ICON,
; KORVEL_OUTFILE, KORVEL_RELEASE (the folder holding korvel-update.exe, korvel-update.com,
; LICENSE.txt and README.txt), and KORVEL_AMD64 for a 64-bit installer of a 64-bit program.

Unicode true
!ifdef KORVEL_AMD64
  Target amd64-unicode
!endif
SetCompressor /SOLID lzma

!include MUI2.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\korvel-update"
!define SHORTCUT "$SMPROGRAMS\${KORVEL_PRODUCT}.lnk"

Name "${KORVEL_PRODUCT}"
; The line above the buttons names what is installed, not the installer's maker.
BrandingText "${KORVEL_PRODUCT} ${KORVEL_VERSION}"
OutFile "${KORVEL_OUTFILE}"
; The program itself asks for administrator rights; installing into Program Files and for
; all users needs them too.
RequestExecutionLevel admin
!ifdef KORVEL_AMD64
  InstallDir "$PROGRAMFILES64\${KORVEL_PRODUCT}"
!else
  ; On 64-bit Windows the 32-bit Program Files, where a 32-bit program belongs.
  InstallDir "$PROGRAMFILES\${KORVEL_PRODUCT}"
!endif
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${KORVEL_VERSION}"
VIFileVersion "${KORVEL_VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "${KORVEL_PRODUCT}"
VIAddVersionKey /LANG=0 "ProductVersion" "${KORVEL_VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${KORVEL_VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${KORVEL_PRODUCT} installer"
VIAddVersionKey /LANG=0 "CompanyName" "${KORVEL_PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "GNU GPL, version 2 or later"

!define MUI_ICON "${KORVEL_ICON}"
!define MUI_UNICON "${KORVEL_ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${KORVEL_RELEASE}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!macro KORVEL_INIT
  SetShellVarContext all
  !ifdef KORVEL_AMD64
    SetRegView 64
  !endif
!macroend

Function .onInit
  !insertmacro KORVEL_INIT
FunctionEnd

Function un.onInit
  !insertmacro KORVEL_INIT
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "${KORVEL_RELEASE}/korvel-update.exe"
  File "${KORVEL_RELEASE}/korvel-update.com"
  File "${KORVEL_RELEASE}/LICENSE.txt"
  File "${KORVEL_RELEASE}/README.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\korvel-update.exe" "" "$INSTDIR\korvel-update.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${KORVEL_PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${KORVEL_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${KORVEL_PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${KORVEL_HOMEPAGE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\korvel-update.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer put there: a folder the user chose for it is removed only when
; nothing else is left in it.
Section "Uninstall"
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\korvel-update.exe"
  Delete "$INSTDIR\korvel-update.com"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
