#!/usr/bin/env bash
# What vantrelctl tells an administrator, end to end on a fresh store: explain over both shipped
# settings files, the restart lines after a real change and none after a no-op, check's rows and
# its warning where SMB 2 would go off, the OS line of major version 10, and which store is used.
# Usage: known_commands_test.sh VANTRELCTL RESOURCES_FOLDER
set -u
ctl=$1
resources=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
fail() { echo "FAIL: $*"; exit 1; }
export VANTREL_REGISTRY=$dir/registry
mkdir "$VANTREL_REGISTRY"
# Each settings file in a folder of its own, as Vantrel.xml: the commands' default.
mkdir current legacy unknown client
cp "$resources/Vantrel.xml" current/Vantrel.xml
cp "$resources/Vantrel-legacy.xml" legacy/Vantrel.xml
at() { (cd "$1" && shift && "$ctl" "$@"); }
server='SYSTEM\CurrentControlSet\Services\LanmanServer\Parameters'
client='SYSTEM\CurrentControlSet\Services\LanmanWorkstation\Parameters'
nt='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
options='HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions'

# explain: every row of both shipped files has its meaning; the current one leases, never Smb2.
for file in current legacy; do
  at $file explain > explain.txt || fail "explain $file"
  rows=$(grep -c '<RegistryItem>' $file/Vantrel.xml)
  [ "$rows" -gt 5 ] || fail "$file has only $rows rows"
  [ "$(grep -c '^  Takes effect after ' explain.txt)" -eq "$rows" ] || fail "explain $file: $(cat explain.txt)"
  [ "$(grep -c "^  Windows' default: " explain.txt)" -eq "$rows" ] || fail "explain $file: defaults"
  grep -q "Not in Vantrel's table" explain.txt && fail "explain $file has an unknown row"
done
at current explain > explain.txt
# Registry text comes out escaped, a backslash as \\.
grep -qxF "$(printf '%s' "$server" | sed 's/\\/\\\\/g')\\\\DisableLeasing" explain.txt || fail "no DisableLeasing row"
grep -q 'Smb2' explain.txt && fail "the file for current Windows names Smb2"
grep -A5 'DisableLeasing$' explain.txt | grep -q 'Takes effect after a restart of the Server service' ||
  fail "DisableLeasing: $(grep -A5 DisableLeasing explain.txt)"
at legacy explain | grep -A5 'Smb2$' | grep -q 'restart of the computer' ||
  fail "Smb2 needs a reboot"
cat > unknown/Vantrel.xml <<XML
<?xml version="1.0"?>
<RegistryItems><RegistryItem><KeyName>$server</KeyName><ValueName>Mystery</ValueName><SavedValue>N/A</SavedValue><DisableValue>1</DisableValue><EnableValue>0</EnableValue></RegistryItem></RegistryItems>
XML
at unknown explain > explain.txt || fail "explain of an unknown row failed"
grep -q "^  Not in Vantrel's table of known values" explain.txt || fail "unknown row: $(cat explain.txt)"

# Restart lines: one per service after a real change, in order, none after a no-op.
at current enable --dry-run > plan.txt || fail "dry run"
grep -q '^restart	Restart the Server service' plan.txt || fail "dry run: $(cat plan.txt)"
grep -q '^restart	Restart the Workstation service' plan.txt || fail "dry run: $(cat plan.txt)"
at current disable > out.txt || fail "disable failed"
[ "$(grep '^Restart ' out.txt | cut -d' ' -f3)" = "Server
Workstation" ] || fail "restart lines: $(grep '^Restart' out.txt)"
at current disable > out.txt || fail "second disable failed"
grep -q '^Restart' out.txt && fail "a disable that changed nothing asks for a restart"
at current disable --dry-run | grep -q '^restart' && fail "dry run of a no-op"
cat > client/Vantrel.xml <<XML
<?xml version="1.0"?>
<RegistryItems><RegistryItem><KeyName>$client</KeyName><ValueName>FileInfoCacheLifetime</ValueName><SavedValue>N/A</SavedValue><DisableValue>0</DisableValue><EnableValue>N/A</EnableValue></RegistryItem></RegistryItems>
XML
at client enable > out.txt || fail "enable client"
[ "$(grep -c '^Restart' out.txt)" = 1 ] && grep -q '^Restart the Workstation service' out.txt ||
  fail "a client value needs the Workstation service only: $(cat out.txt)"
at current disable > /dev/null || fail "disable again"

# check prints the rows that differ; on Windows 10 the legacy disable set draws a warning.
"$ctl" reg set "$nt" CurrentMajorVersionNumber 10 --type REG_DWORD || fail "reg set"
"$ctl" reg set "$nt" CurrentMinorVersionNumber 0 --type REG_DWORD || fail "reg set"
"$ctl" reg set "$nt" CurrentBuildNumber 19045 || fail "reg set"
"$ctl" reg set "$options" ProductType WinNT || fail "reg set"
[ "$("$ctl" os)" = "Windows 10 Build 19045" ] || fail "os: $("$ctl" os)"
at current check > rows.txt 2> warn.txt; [ $? -eq 0 ] || fail "check after disable"
[ -s rows.txt ] && fail "check printed rows that hold their disable value: $(cat rows.txt)"
[ -s warn.txt ] && fail "the file for current Windows drew a warning: $(cat warn.txt)"
at legacy check > rows.txt 2> warn.txt; [ $? -eq 3 ] || fail "check legacy should say 3"
[ "$(cut -f3 rows.txt)" = "Smb2" ] || fail "rows that differ: $(cat rows.txt)"
grep -q 'Smb2 = 0 switches SMB 2 and 3 off.*(Windows 10 Build 19045)' warn.txt || fail "warning: $(cat warn.txt)"
at legacy disable --dry-run 2>&1 >/dev/null | grep -q 'switches SMB 2' ||
  fail "disable with the legacy file on Windows 10 gave no warning"
"$ctl" reg set "$options" ProductType ServerNT || fail "reg set"
"$ctl" reg set "$nt" CurrentBuildNumber 20348 || fail "reg set"
[ "$("$ctl" os)" = "Windows Server 2022 Build 20348" ] || fail "os: $("$ctl" os)"
# Windows 7 still has SMB 1: no warning there.
"$ctl" reg delete "$nt" CurrentMajorVersionNumber || fail "reg delete"
"$ctl" reg set "$nt" CurrentVersion 6.1 || fail "reg set"
"$ctl" reg set "$nt" CurrentBuildNumber 7601 || fail "reg set"
"$ctl" reg set "$options" ProductType WinNT || fail "reg set"
[ "$("$ctl" os)" = "Windows 7 Business/Ultimate Build 7601" ] || fail "os: $("$ctl" os)"
at legacy check > /dev/null 2> warn.txt
[ -s warn.txt ] && fail "warning on Windows 7: $(cat warn.txt)"

# Which store: the variable, ~/.wine, the default; a named folder that is missing is an error.
[ "$("$ctl" store)" = "$VANTREL_REGISTRY
from VANTREL_REGISTRY" ] || fail "store: $("$ctl" store)"
mkdir -p home/.wine
[ "$(env -u VANTREL_REGISTRY -u WINEPREFIX HOME="$dir/home" "$ctl" store | head -1)" = "$dir/home/.wine" ] ||
  fail "~/.wine is not used: $(env -u VANTREL_REGISTRY -u WINEPREFIX HOME="$dir/home" "$ctl" store)"
[ "$(env -u VANTREL_REGISTRY -u WINEPREFIX HOME="$dir/nohome" XDG_DATA_HOME="$dir/data" "$ctl" store | head -1)" = \
  "$dir/data/vantrel/registry" ] || fail "default store"
missing=$dir/no-such-prefix
for variable in VANTREL_REGISTRY WINEPREFIX; do
  run() { env -u VANTREL_REGISTRY -u WINEPREFIX "$variable=$missing" "$ctl" "$@"; }
  run store > /dev/null 2> err.txt; [ $? -eq 1 ] || fail "store with a missing $variable folder"
  grep -q "$missing named by $variable does not exist" err.txt || fail "store: $(cat err.txt)"
  (cd current && run disable) > /dev/null 2> err.txt; [ $? -eq 1 ] || fail "disable into a missing folder"
  [ "$(wc -l < err.txt)" -eq 1 ] || fail "disable into a missing folder: $(cat err.txt)"
  run reg set 'HKLM\Software\Vantrel' V 1 2> /dev/null; [ $? -eq 1 ] || fail "reg set into a missing folder"
  # Read from, it would pass for an empty registry: every value "N/A", saved as such.
  for command in list check save; do
    (cd current && run $command) > /dev/null 2> err.txt; [ $? -eq 1 ] || fail "$command on a missing folder"
    grep -q "^vantrelctl: $command: .*$missing named by $variable does not exist" err.txt || fail "$command: $(cat err.txt)"
  done
  cmp -s current/Vantrel.xml "$resources/Vantrel.xml" || fail "save from a missing folder rewrote the settings file"
  [ -e "$missing" ] && fail "a store was made in the missing $variable folder"
done
echo ok
