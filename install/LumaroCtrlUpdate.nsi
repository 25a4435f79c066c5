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
!include "StrFunc.nsh"
!include "FileFunc.nsh"
${StrStr}

!define PRODUCT "Lumaro Tessaray Controller Update Utility"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\LumaroCtrlUpdate"
!define SHORTCUT "$SMPROGRAMS\Lumaro\Lumaro Tessaray Controller Update.lnk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Lumaro\Tessaray Controller Update"
; An upgrade goes where the installed version is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Lumaro"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) Lumaro"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_DIRECTORYPAGE_TEXT_TOP "The program is installed into a folder of its own under $PROGRAMFILES64, \
  where only administrators may change it. Other folders are not offered: users could replace the program there."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Program Files lets only administrators change what is in it, and the folders made there inherit
; that. A folder elsewhere may let users replace the program that an administrator then starts, so
; only a folder of its own under Program Files is taken (also by a silent install's /D=).
Function IsInsideProgramFiles  ; path on the stack -> 1 or 0
  Exch $R0
  Push $R1
  Push $R2
  StrLen $R1 "$PROGRAMFILES64\"
  StrCpy $R2 $R0 $R1
  ${If} $R2 != "$PROGRAMFILES64\"
    StrCpy $R0 0
  ${Else}
    StrCpy $R2 $R0 "" $R1
    ${StrStr} $R1 "\$R2" "\.."
    ${If} $R2 == ""
    ${OrIf} $R1 != ""
      StrCpy $R0 0
    ${Else}
      StrCpy $R0 1
    ${EndIf}
  ${EndIf}
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd

Function .onVerifyInstDir
  Push $INSTDIR
  Call IsInsideProgramFiles
  Pop $0
  ${If} $0 != 1
    Abort
  ${EndIf}
FunctionEnd

; A program, or the library, of the folder that is running cannot be replaced or removed: the user
; closes it first, or the setup stops with nothing changed. A running program's file cannot be
; opened for writing.
!macro FIRST_IN_USE folder file  ; $R2: the first file found in use so far
  ${If} $R2 == ""
  ${AndIf} ${FileExists} "${folder}\${file}"
    ClearErrors
    FileOpen $R1 "${folder}\${file}" a
    ${If} ${Errors}
      StrCpy $R2 "${file}"
    ${Else}
      FileClose $R1
    ${EndIf}
  ${EndIf}
!macroend

!macro REFUSE_WHILE_RUNNING un
Function ${un}RefuseWhileRunning  ; folder on the stack
  Exch $R0
  Push $R1
  Push $R2
  again:
  StrCpy $R2 ""
  !insertmacro FIRST_IN_USE $R0 "LumaroCtrlUpdate.exe"
  !insertmacro FIRST_IN_USE $R0 "lumaro-update.exe"
  !insertmacro FIRST_IN_USE $R0 "zerlin-tool.exe"
  !insertmacro FIRST_IN_USE $R0 "Zerlin.dll"
  ${If} $R2 != ""
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$R2 in $R0 is in use: close the update utility, \
      lumaro-update and zerlin-tool started from there, then choose Retry." /SD IDCANCEL IDRETRY again
    SetErrorLevel 2
    Quit
  ${EndIf}
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd
!macroend
!insertmacro REFUSE_WHILE_RUNNING ""
!insertmacro REFUSE_WHILE_RUNNING "un."

Section "Install"
  Push $INSTDIR
  Call IsInsideProgramFiles
  Pop $0
  ${If} $0 != 1
    MessageBox MB_OK|MB_ICONSTOP "$INSTDIR is not a folder of its own under $PROGRAMFILES64." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  Push $INSTDIR
  Call RefuseWhileRunning

  ; An installed version is removed by its own uninstaller first, so that no file it had and this
  ; one has not stays behind; it keeps Record\ and History\ with what users made there. _?= runs it
  ; in place and waits for it, which leaves the uninstaller itself to remove.
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ; Keys\require-signatures: only signed firmware files are taken. Asked for by /REQUIRESIGNATURES
  ; (silent installs too), and kept from the installed version.
  ${GetParameters} $R8
  ClearErrors
  ${GetOptions} $R8 "/REQUIRESIGNATURES" $R9
  StrCpy $R9 0
  ${IfNot} ${Errors}
  ${OrIf} ${FileExists} "$1\Keys\require-signatures"
    StrCpy $R9 1
  ${EndIf}
  ${If} $1 != ""
  ${AndIf} ${FileExists} "$1\Uninstall.exe"
    Push $1
    Call RefuseWhileRunning
    DetailPrint "Removing the installed version in $1"
    ClearErrors
    ExecWait '"$1\Uninstall.exe" /S _?=$1' $0
    ${If} ${Errors}
    ${OrIf} $0 != 0
      MessageBox MB_OK|MB_ICONSTOP "The installed version in $1 could not be removed (uninstaller: $0); nothing was changed." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
    Delete "$1\Uninstall.exe"
    RMDir "$1"
  ${EndIf}

  !include "${INSTALL_LIST}"
  ${If} $R9 == 1
    FileOpen $0 "$INSTDIR\Keys\require-signatures" w
    FileClose $0
  ${EndIf}

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

  ; The update history that every user of the PC adds to: users may make, append to, rename and
  ; remove its files (Modify), administrators and the system have full control, and nothing else is
  ; inherited (Program Files' CREATOR OWNER would give the first writer of a file the right to shut
  ; the others out). OWNER RIGHTS: whoever made a file may not change its permissions either.
  CreateDirectory "$INSTDIR\History"
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR\History" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)(F) *S-1-5-32-544:(OI)(CI)(F) *S-1-5-32-545:(OI)(CI)(M) *S-1-3-4:(OI)(CI)(IO)(M)'
  Pop $0
  ${If} $0 != 0
    DetailPrint "Could not let users write into $INSTDIR\History (icacls: $0): updates by other users will not reach the history"
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

; Removes exactly what was installed. Workbooks in Record\ and the update history in History\ are
; the users': those folders stay until they are empty.
Section "Uninstall"
  Push $INSTDIR
  Call un.RefuseWhileRunning
  SetShellVarContext all
  Delete "${SHORTCUT}"
  RMDir "$SMPROGRAMS\Lumaro"

  Delete "$INSTDIR\Keys\require-signatures"
  !include "${UNINSTALL_LIST}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR\Record"
  RMDir "$INSTDIR\History"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\Lumaro"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
