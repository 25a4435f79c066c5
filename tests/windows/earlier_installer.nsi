; The installer of the versions before the folder check (it took any folder, /D= too), kept to test
; upgrades from what it installed. Unchanged but for these lines.
; Installer of the Windows release folder. scripts/package-windows runs makensis with:
;   VERSION        the program's version, e.g. 1.0;  VERSION_QUAD  the same in four parts, e.g. 1.0.0.0
;   ICON           the program icon;  OUTFILE  the setup program to write
;   INSTALL_LIST, UNINSTALL_LIST  include files that install, and remove, each file of the folder
;   SIZE_KB        the folder's size, shown in Add/Remove Programs

; A 64-bit installer for a 64-bit program: it writes to the 64-bit registry and Program Files
; without redirection, and 32-bit Windows refuses it before it starts.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Lumaro Tessaray Controller Update Utility"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\LumaroCtrlUpdate"
!define SHORTCUT "$SMPROGRAMS\Lumaro\Lumaro Tessaray Controller Update.lnk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Lumaro\Tessaray Controller Update"

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Lumaro"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) Lumaro"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Install"
  !include "${INSTALL_LIST}"

  ; The recorder writes its workbooks into Record\ beside the program, and Program Files is
  ; read-only for users. The users (by their well-known SIDs, whatever the system's language) may
  ; read what is there and add files and folders to this one folder; what each adds is theirs alone
  ; to change or remove (CREATOR OWNER), so that no user can replace, remove or redirect another's
  ; workbooks. /grant:r first replaces the change rights that earlier versions gave.
  CreateDirectory "$INSTDIR\Record"
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR\Record" /grant:r *S-1-5-32-545:(OI)(CI)(RX)'
  Pop $0
  ${If} $0 == 0
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR\Record" /grant *S-1-5-32-545:(WD,AD) *S-1-3-0:(OI)(CI)(IO)(F)'
    Pop $0
  ${EndIf}
  ${If} $0 != 0
    DetailPrint "Could not let users write into $INSTDIR\Record (icacls: $0): the recorder will need an administrator"
  ${EndIf}

  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The program reads its data files from its working directory: the shortcut starts it in its
  ; folder (a shortcut's "Start in" is the output path at the time it is made).
  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\Lumaro"
  SetOutPath "$INSTDIR"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\LumaroCtrlUpdate.exe" "" "$INSTDIR\LumaroCtrlUpdate.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Lumaro"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\LumaroCtrlUpdate.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes exactly what was installed. Workbooks in Record\ are the user's: the folder stays
; until it is empty.
Section "Uninstall"
  SetShellVarContext all
  Delete "${SHORTCUT}"
  RMDir "$SMPROGRAMS\Lumaro"

  !include "${UNINSTALL_LIST}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR\Record"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\Lumaro"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
