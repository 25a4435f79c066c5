#!/usr/bin/env bash
# The installer under Wine, built from install/LumaroCtrlUpdate.nsi with a small stand-in folder as
# scripts/package-windows builds it from the release folder:
#  - installs into Program Files, makes Record\ and History\, remembers the folder;
#  - an upgrade runs the installed version's uninstaller first (a file the new version lacks is
#    gone) and keeps what users made in Record\ and History\;
#  - refuses a folder outside Program Files, and a folder whose program is running, changing nothing;
#  - installing into another folder removes the version installed elsewhere;
#  - the uninstaller removes the program and keeps Record\ and History\ with their files;
#  - an upgrade over an earlier version in a folder outside Program Files goes into the default
#    folder, removes that version and moves its plain files in Record\ and History\ along.
# Wine keeps no access lists: a stand-in icacls.exe writes down the ones the installer gives.
# usage: installer_test.sh <nsi> <earlier versions' nsi> <stand-in program .exe> <stand-in icacls.exe>
# <work folder>; Wine's prefix and server come from the environment (scripts/test-windows).
set -euo pipefail
nsi=$1 earlier_nsi=$2 stand_in=$3 stand_in_icacls=$4 work=$5
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }

# make_setup VERSION FILE...: a setup program holding the stand-in folder's files, from $script.
script=$nsi
make_setup() {
  local version=$1; shift
  local folder=$work/folder-$version
  mkdir -p "$folder/Record"
  for file in "$@"; do
    if [ "$file" = LumaroCtrlUpdate.exe ]; then cp "$stand_in" "$folder/$file"; else echo "$version" >"$folder/$file"; fi
  done
  {
    echo "SetOutPath \"\$INSTDIR\""
    for file in "$@"; do echo "File \"$folder/$file\""; done
    echo "SetOutPath \"\$INSTDIR\\Record\""
  } >"$work/install-$version.nsh"
  {
    for file in "$@"; do echo "Delete \"\$INSTDIR\\$file\""; done
    echo "RMDir \"\$INSTDIR\\Record\""
  } >"$work/uninstall-$version.nsh"
  makensis -V2 -DVERSION="$version" -DVERSION_QUAD="$version.0.0" -DOUTFILE="$work/setup-$version.exe" \
    -DICON=/usr/share/nsis/Contrib/Graphics/Icons/modern-install.ico -DSIZE_KB=1 \
    -DINSTALL_LIST="$work/install-$version.nsh" -DUNINSTALL_LIST="$work/uninstall-$version.nsh" "$script" >/dev/null
}
make_setup 1.0 LumaroCtrlUpdate.exe lumaro-update.exe Zerlin.dll Old.dat
make_setup 2.0 LumaroCtrlUpdate.exe lumaro-update.exe Zerlin.dll
script=$earlier_nsi make_setup 0.9 LumaroCtrlUpdate.exe lumaro-update.exe Old.dat

# Windows paths of the prefix's Program Files, as Linux paths.
program_files=$(winepath -u 'C:\Program Files' 2>/dev/null)
installed="$program_files/Lumaro/Tessaray Controller Update"
rm -rf "$program_files/Lumaro"
run() { wine "$@" >/dev/null 2>&1 </dev/null; }
# A run that failed may have left a version registered: the first install would go to its folder.
run reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\LumaroCtrlUpdate' /f || true
registry_location() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\LumaroCtrlUpdate' /v InstallLocation 2>/dev/null |
    tr -d '\r' | sed -n 's/.*REG_SZ *//p'
}

# The first install with the stand-in icacls (Wine loads its own unless told to load the file).
icacls=$(winepath -u 'C:\windows\system32\icacls.exe' 2>/dev/null)
cp "$icacls" "$work/icacls.exe"
cp "$stand_in_icacls" "$icacls"
status=0
LUMARO_ICACLS_LOG=$(winepath -w "$work/icacls.log" 2>/dev/null) WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};icacls.exe=n" \
  run "$work/setup-1.0.exe" /S || status=$?
cp "$work/icacls.exe" "$icacls"
[ "$status" = 0 ] || fail "the first install ended with $status"
# History\: users may list it and add to it, but change and remove only what is made inside it.
expected_history='"C:\windows\system32\icacls.exe" "C:\Program Files\Lumaro\Tessaray Controller Update\History" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)(F) *S-1-5-32-544:(OI)(CI)(F) *S-1-5-32-545:(RX,WD,AD) *S-1-3-4:(OI)(CI)(IO)(M)
"C:\windows\system32\icacls.exe" "C:\Program Files\Lumaro\Tessaray Controller Update\History" /grant *S-1-5-32-545:(OI)(CI)(IO)(M)
"C:\windows\system32\icacls.exe" "C:\Program Files\Lumaro\Tessaray Controller Update\History\About this folder.txt" /inheritance:r /grant:r *S-1-5-18:(F) *S-1-5-32-544:(F) *S-1-5-32-545:(R)'
[ "$(tr -d '\r' <"$work/icacls.log" | grep -F '\History')" = "$expected_history" ] ||
  fail "History\\ was given other rights: $(cat "$work/icacls.log")"
# A file users cannot remove keeps History\ from being emptied and made a link.
[ -s "$installed/History/About this folder.txt" ] || fail "History\\ holds no file of the installer's"
for entry in LumaroCtrlUpdate.exe Old.dat Uninstall.exe Record History; do
  [ -e "$installed/$entry" ] || fail "the install made no $entry"
done
[ "$(registry_location)" = 'C:\Program Files\Lumaro\Tessaray Controller Update' ] ||
  fail "the folder is not remembered: '$(registry_location)'"
echo "a workbook" >"$installed/Record/log.xls"
echo "a row" >"$installed/History/UpdateHistory.csv"

# Outside Program Files, or Program Files itself: refused, nothing changes. (A /D= through ".." NSIS
# itself does not take: it installs into the remembered folder.)
# /D= and _?= take the rest of the command line unquoted, as a batch file's line passes it on.
run_line() {
  printf '@%s\r\n@exit /b %%errorlevel%%\r\n' "$1" >"$work/line.bat"
  run cmd.exe /c "$(winepath -w "$work/line.bat" 2>/dev/null)"
}
setup_2=$(winepath -w "$work/setup-2.0.exe" 2>/dev/null)
for elsewhere in 'C:\Lumaro' 'C:\Program Files (x86)\Lumaro' 'C:\Program Files'; do
  status=0
  run_line "\"$setup_2\" /S /D=$elsewhere" || status=$?
  [ "$status" = 2 ] || fail "the install into $elsewhere was not refused (it ended with $status)"
done
[ ! -e "$(winepath -u 'C:\Lumaro' 2>/dev/null)" ] || fail "a refused install made its folder"
[ "$(cat "$installed/lumaro-update.exe")" = 1.0 ] || fail "a refused install changed the installed version"

# While the installed program runs: refused, nothing changes.
held=$work/hold
touch "$held"
wine "$installed/LumaroCtrlUpdate.exe" "$(winepath -w "$held" 2>/dev/null)" >/dev/null 2>&1 </dev/null &
program=$!
sleep 3
status=0
run "$work/setup-2.0.exe" /S || status=$?
rm "$held"
wait "$program" || true
[ "$status" = 2 ] || fail "the install went ahead while the program ran (it ended with $status)"
[ -e "$installed/Old.dat" ] && [ "$(cat "$installed/lumaro-update.exe")" = 1.0 ] || fail "a refused install changed files"

# The upgrade in place: the old uninstaller ran first, the users' files stayed.
run "$work/setup-2.0.exe" /S || fail "the upgrade ended with $?"
[ "$(cat "$installed/lumaro-update.exe")" = 2.0 ] || fail "the upgrade did not install the new version"
[ ! -e "$installed/Old.dat" ] || fail "a file only the old version had stayed behind"
[ "$(cat "$installed/Record/log.xls")" = "a workbook" ] || fail "the upgrade lost a workbook"
[ "$(cat "$installed/History/UpdateHistory.csv")" = "a row" ] || fail "the upgrade lost the history"
[ -e "$installed/Uninstall.exe" ] || fail "the upgrade left no uninstaller"

# Into another folder under Program Files: the version installed elsewhere is removed first, its
# users' files moving along.
run_line "\"$setup_2\" /S /D=C:\Program Files\Lumaro\Other Place" || fail "the install into another folder ended with $?"
[ ! -e "$installed/lumaro-update.exe" ] || fail "the version installed elsewhere was not removed"
installed="$program_files/Lumaro/Other Place"
[ -e "$installed/lumaro-update.exe" ] || fail "the install into another folder did not happen"
[ "$(cat "$installed/History/UpdateHistory.csv")" = "a row" ] || fail "moving the install lost the history"
[ "$(cat "$installed/Record/log.xls")" = "a workbook" ] || fail "moving the install lost a workbook"
[ "$(registry_location)" = 'C:\Program Files\Lumaro\Other Place' ] || fail "the new folder is not remembered"

# The uninstaller (run in place and waited for) keeps Record\ and History\ with their files.
installed_windows=$(winepath -w "$installed" 2>/dev/null)
run_line "\"$installed_windows\\Uninstall.exe\" /S _?=$installed_windows" || fail "the uninstall ended with $?"
[ ! -e "$installed/LumaroCtrlUpdate.exe" ] || fail "the uninstall left the program"
[ "$(cat "$installed/Record/log.xls")" = "a workbook" ] || fail "the uninstall lost a workbook"
[ "$(cat "$installed/History/UpdateHistory.csv")" = "a row" ] || fail "the uninstall lost the history"
[ -z "$(registry_location)" ] || fail "the uninstall left the registration"

# An earlier version that an administrator put outside Program Files: a silent upgrade goes into the
# default folder and carries its records and history over. A folder, or a file of a name already
# taken here, stays where it is.
rm -rf "$program_files/Lumaro"
setup_earlier=$(winepath -w "$work/setup-0.9.exe" 2>/dev/null)
run_line "\"$setup_earlier\" /S /D=C:\Lumaro" || fail "the earlier version's install ended with $?"
earlier=$(winepath -u 'C:\Lumaro' 2>/dev/null)
[ "$(registry_location)" = 'C:\Lumaro' ] || fail "the earlier version is not in C:\\Lumaro: '$(registry_location)'"
mkdir -p "$earlier/History" "$earlier/Record/kept"
echo "a workbook" >"$earlier/Record/log.xls"
echo "the rows" >"$earlier/History/UpdateHistory.csv"
echo "a stranded update" >"$earlier/History/UpdateHistory.1.running"
installed="$program_files/Lumaro/Tessaray Controller Update"
mkdir -p "$installed/Record"
echo "already here" >"$installed/Record/taken.xls"
echo "the earlier one" >"$earlier/Record/taken.xls"
run "$work/setup-2.0.exe" /S || fail "the upgrade over C:\\Lumaro ended with $?"
[ "$(cat "$installed/lumaro-update.exe")" = 2.0 ] || fail "the upgrade over C:\\Lumaro did not install into the default folder"
[ "$(registry_location)" = 'C:\Program Files\Lumaro\Tessaray Controller Update' ] || fail "the default folder is not remembered"
# Its uninstaller, in a folder that users may write to, is not run with the setup's rights.
[ -e "$earlier/lumaro-update.exe" ] && [ -e "$earlier/Uninstall.exe" ] ||
  fail "the earlier version's files outside Program Files were touched (its uninstaller ran?)"
[ "$(cat "$installed/History/UpdateHistory.csv")" = "the rows" ] &&
  [ "$(cat "$installed/History/UpdateHistory.1.running")" = "a stranded update" ] &&
  [ "$(cat "$installed/Record/log.xls")" = "a workbook" ] || fail "the earlier version's records did not move along"
[ ! -e "$earlier/History" ] && [ ! -e "$earlier/Record/log.xls" ] || fail "the moved records stayed in C:\\Lumaro too"
[ "$(cat "$installed/Record/taken.xls")" = "already here" ] && [ "$(cat "$earlier/Record/taken.xls")" = "the earlier one" ] &&
  [ -d "$earlier/Record/kept" ] || fail "a file of a name already taken, or a folder, was not left in C:\\Lumaro"
rm -rf "$program_files/Lumaro" "$earlier" "$work"
echo "installer: installs, upgrades in place and from a folder outside Program Files (never running its uninstaller), refuses other folders and a running program, keeps Record\\ and History\\"
