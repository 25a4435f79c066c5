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
!define HISTORY_KEEPER "$INSTDIR\History\About this folder.txt"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
!define DEFAULT_FOLDER "$PROGRAMFILES64\Lumaro\Tessaray Controller Update"
InstallDir "${DEFAULT_FOLDER}"

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Lumaro"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) Lumaro"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
; $FolderNote: why the folder offered is not the one the installed version is in.
Var FolderNote
!define MUI_DIRECTORYPAGE_TEXT_TOP "The program is installed into a folder of its own under $PROGRAMFILES64, \
  where only administrators may change it. Other folders are not offered: users could replace the program there.$FolderNote"
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

; An upgrade goes where the installed version is, when that is a folder of our own under Program
; Files. Earlier versions took any folder (/D=): the records of such a version move from there and
; the new one goes into the default folder, silently too, so that an upgrade by software distribution goes
; through. A folder given with /D= is taken as given (and refused if it is not one of our own).
Function .onInit
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $INSTDIR == "${DEFAULT_FOLDER}"
    Push $0
    Call IsInsideProgramFiles
    Pop $1
    ${If} $1 == 1
      StrCpy $INSTDIR $0
    ${Else}
      StrCpy $FolderNote "$\r$\n$\r$\nThe records and update history of the installed version in $0 are moved here; \
        its program files stay there for you to delete."
    ${EndIf}
  ${EndIf}
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

; Moves the files of an earlier install's Record\ or History\ into the same folder here, where they
; take this folder's rights. Only plain files: a folder or a link there stays behind (a folder
; outside Program Files may have let users put a link there, to have the setup copy what only an
; administrator may read into a folder they can read). A file of the same name here is kept, and so
; is the earlier one. The copy of a link swapped in meanwhile is a link (COPY_FILE_COPY_SYMLINK),
; which gives nobody more than the target already does.
!define COPY_FILE_FAIL_IF_EXISTS 0x1
!define COPY_FILE_COPY_SYMLINK 0x800
!define FILE_ATTRIBUTE_DIRECTORY_OR_LINK 0x410
Function CarryFolderOver  ; from, to on the stack (to pushed last)
  Exch $R0  ; to
  Exch
  Exch $R1  ; from
  Push $R2
  Push $R3
  Push $R4
  ClearErrors
  FindFirst $R2 $R3 "$R1\*"
  ${DoUntil} ${Errors}
    ${If} $R3 != "."
    ${AndIf} $R3 != ".."
      System::Call 'kernel32::GetFileAttributesW(w "$R1\$R3") i .R4'
      IntOp $R4 $R4 & ${FILE_ATTRIBUTE_DIRECTORY_OR_LINK}
      ${If} $R4 != 0
        DetailPrint "Left in $R1: $R3 (a folder or a link)"
      ${Else}
        System::Call 'kernel32::CopyFileExW(w "$R1\$R3", w "$R0\$R3", p 0, p 0, p 0, \
          i ${COPY_FILE_FAIL_IF_EXISTS}|${COPY_FILE_COPY_SYMLINK}) i .R4'
        ${If} $R4 != 0
          Delete "$R1\$R3"
        ${Else}
          DetailPrint "Left in $R1: $R3 (not copied to $R0, or a file of that name is there)"
        ${EndIf}
      ${EndIf}
    ${EndIf}
    ClearErrors
    FindNext $R2 $R3
  ${Loop}
  FindClose $R2
  RMDir "$R1"
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd

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
  ; A folder outside Program Files may be one that users can write to (a folder made at C:\ is):
  ; its Uninstall.exe may be anybody's, and is never run with this setup's rights. Its program files
  ; stay there for the user to delete; its records and history move as below.
  StrCpy $R7 0
  ${If} $1 != ""
    Push $1
    Call IsInsideProgramFiles
    Pop $R7
    ${If} $R7 != 1
      DetailPrint "The earlier version's program files stay in $1, outside Program Files: delete that folder by hand"
    ${EndIf}
  ${EndIf}
  ${If} $R7 == 1
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
  ; remove its files and folders (Modify, inherit-only), but on the folder itself only list it and
  ; add to it, so that none can remove it, or empty it and put a link in its place (the program would
  ; then keep the history in Record\, where users cannot add to each other's rows). Administrators
  ; and the system have full control, and nothing else is inherited (Program Files' CREATOR OWNER
  ; would give the first writer of a file the right to shut the others out). OWNER RIGHTS: whoever
  ; made a file may not change its permissions either. The users' two entries differ in their
  ; inheritance, so the second is added (/grant) after /grant:r has replaced what earlier versions gave.
  CreateDirectory "$INSTDIR\History"
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR\History" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)(F) *S-1-5-32-544:(OI)(CI)(F) *S-1-5-32-545:(RX,WD,AD) *S-1-3-4:(OI)(CI)(IO)(M)'
  Pop $0
  ${If} $0 == 0
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR\History" /grant *S-1-5-32-545:(OI)(CI)(IO)(M)'
    Pop $0
  ${EndIf}
  ${If} $0 != 0
    DetailPrint "Could not let users write into $INSTDIR\History (icacls: $0): updates by other users will not reach the history"
  ${EndIf}
  ; The right to add files to a folder is also the right to make an empty one a link (a mount
  ; point): a file there that users may read but not remove keeps History\ from ever being empty.
  ; Made anew, so that a link a user put under its name is not written through.
  Delete "${HISTORY_KEEPER}"
  RMDir "${HISTORY_KEEPER}"
  ClearErrors
  FileOpen $2 "${HISTORY_KEEPER}" w
  FileWrite $2 "The update history of every user of this PC. This file keeps the folder in place.$\r$\n"
  FileClose $2
  ${If} ${Errors}
    DetailPrint "Could not write ${HISTORY_KEEPER}: users may be able to replace $INSTDIR\History"
  ${Else}
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "${HISTORY_KEEPER}" /inheritance:r /grant:r *S-1-5-18:(F) *S-1-5-32-544:(F) *S-1-5-32-545:(R)'
    Pop $0
    ${If} $0 != 0
      DetailPrint "Could not keep users from removing ${HISTORY_KEEPER} (icacls: $0)"
    ${EndIf}
  ${EndIf}

  ; The records and the update history of a version installed elsewhere go on here.
  ${If} $1 != ""
  ${AndIf} $1 != $INSTDIR
    DetailPrint "Moving the records and the update history from $1"
    Push "$1\Record"
    Push "$INSTDIR\Record"
    Call CarryFolderOver
    Push "$1\History"
    Push "$INSTDIR\History"
    Call CarryFolderOver
    RMDir "$1"
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
  Delete "${HISTORY_KEEPER}"
  RMDir "$INSTDIR\History"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\Lumaro"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
