#!/usr/bin/env bash
# The installer under Wine, built from install/LumaroCtrlUpdate.nsi with a small stand-in folder as
# scripts/package-windows builds it from the release folder:
#  - installs into Program Files, makes Record\ and History\, remembers the folder;
#  - an upgrade runs the installed version's uninstaller first (a file the new version lacks is
#    gone) and keeps what users made in Record\ and History\;
#  - refuses a folder outside Program Files, and a folder whose program is running, changing nothing;
#  - installing into another folder removes the version installed elsewhere;
#  - the uninstaller removes the program and keeps Record\ and History\ with their files.
# Wine keeps no access lists for files: the permissions icacls gives are shown on Windows only.
# usage: installer_test.sh <nsi> <stand-in program .exe> <work folder>; Wine's prefix and server
# come from the environment (scripts/test-windows).
set -euo pipefail
nsi=$1 stand_in=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }

# make_setup VERSION FILE...: a setup program holding the stand-in folder's files.
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
    -DINSTALL_LIST="$work/install-$version.nsh" -DUNINSTALL_LIST="$work/uninstall-$version.nsh" "$nsi" >/dev/null
}
make_setup 1.0 LumaroCtrlUpdate.exe lumaro-update.exe Zerlin.dll Old.dat
make_setup 2.0 LumaroCtrlUpdate.exe lumaro-update.exe Zerlin.dll

# Windows paths of the prefix's Program Files, as Linux paths.
program_files=$(winepath -u 'C:\Program Files' 2>/dev/null)
installed="$program_files/Lumaro/Tessaray Controller Update"
rm -rf "$program_files/Lumaro"
run() { wine "$@" >/dev/null 2>&1 </dev/null; }
registry_location() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\LumaroCtrlUpdate' /v InstallLocation 2>/dev/null |
    tr -d '\r' | sed -n 's/.*REG_SZ *//p'
}

run "$work/setup-1.0.exe" /S || fail "the first install ended with $?"
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
# users' files staying where they are.
run_line "\"$setup_2\" /S /D=C:\Program Files\Lumaro\Other Place" || fail "the install into another folder ended with $?"
[ -e "$program_files/Lumaro/Other Place/lumaro-update.exe" ] || fail "the install into another folder did not happen"
[ ! -e "$installed/lumaro-update.exe" ] || fail "the version installed elsewhere was not removed"
[ "$(cat "$installed/History/UpdateHistory.csv")" = "a row" ] || fail "moving the install lost the history"
[ "$(registry_location)" = 'C:\Program Files\Lumaro\Other Place' ] || fail "the new folder is not remembered"
installed="$program_files/Lumaro/Other Place"
echo "a workbook" >"$installed/Record/log.xls"
echo "a row" >"$installed/History/UpdateHistory.csv"

# The uninstaller (run in place and waited for) keeps Record\ and History\ with their files.
installed_windows=$(winepath -w "$installed" 2>/dev/null)
run_line "\"$installed_windows\\Uninstall.exe\" /S _?=$installed_windows" || fail "the uninstall ended with $?"
[ ! -e "$installed/LumaroCtrlUpdate.exe" ] || fail "the uninstall left the program"
[ "$(cat "$installed/Record/log.xls")" = "a workbook" ] || fail "the uninstall lost a workbook"
[ "$(cat "$installed/History/UpdateHistory.csv")" = "a row" ] || fail "the uninstall lost the history"
[ -z "$(registry_location)" ] || fail "the uninstall left the registration"
rm -rf "$program_files/Lumaro" "$work"
echo "installer: installs, upgrades in place, refuses other folders and a running program, keeps Record\\ and History\\"
