#!/usr/bin/env bash
# What vantrelctl tells an administrator, end to end on a fresh store: explain over both shipped
# settings files, the restart lines after a real change and none after a no-op, check's rows, exit
# statuses and JSON, the guard where SMB 2 would go off or SMB 1 on (commands and exports), the
# system's name, and which store is used.
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

# A store that records no Windows version says so, naming the store, and effects are unknown.
[ "$("$ctl" os)" = "Windows version not recorded in the registry store $VANTREL_REGISTRY" ] ||
  fail "os without a version: $("$ctl" os)"
at current explain | grep -q '^  Disable value on Windows version not recorded.*: effect unknown\.' ||
  fail "explain without a version: $(at current explain | head -8)"

# check: one line when passing; the rows that differ with their effect otherwise; exit statuses
# 0 disable state, 3 drift, 4 dangerous here, 1 failed; --json the same per row.
"$ctl" reg set "$nt" CurrentMajorVersionNumber 10 --type REG_DWORD || fail "reg set"
"$ctl" reg set "$nt" CurrentMinorVersionNumber 0 --type REG_DWORD || fail "reg set"
"$ctl" reg set "$nt" CurrentBuildNumber 19045 || fail "reg set"
"$ctl" reg set "$options" ProductType WinNT || fail "reg set"
[ "$("$ctl" os)" = "Windows 10 Build 19045" ] || fail "os: $("$ctl" os)"
at current check > rows.txt 2> warn.txt; [ $? -eq 0 ] || fail "check after disable"
[ "$(cat rows.txt)" = "All 7 items hold their disable values." ] || fail "passing check: $(cat rows.txt)"
[ -s warn.txt ] && fail "the file for current Windows drew a warning: $(cat warn.txt)"
at current check --json > check.json || fail "check --json after disable"
python3 - check.json <<'PY' || fail "check --json: $(cat check.json)"
import json, sys
c = json.load(open(sys.argv[1]))
assert c["result"] == "disable state" and c["exitStatus"] == 0, c
assert c["system"] == "Windows 10 Build 19045", c
rows = {r["valueName"]: r for r in c["rows"]}
assert len(rows) == 7 and not any(r["differs"] for r in rows.values()), rows
assert rows["EnableOplocks"]["effect"]["kind"] == "no effect here", rows["EnableOplocks"]
assert "SMB 1" in rows["EnableOplocks"]["effect"]["why"]
assert rows["DisableLeasing"]["effect"]["kind"] == "takes effect", rows["DisableLeasing"]
assert "Server service" in rows["DisableLeasing"]["effect"]["why"]
assert rows["DisableLeasing"]["currentType"] == "REG_DWORD", rows["DisableLeasing"]
PY
# Drift: one value set back; a value of another type than REG_DWORD differs from every number.
"$ctl" reg set "HKLM\\$server" DisableLeasing 0 --type REG_DWORD || fail "reg set"
"$ctl" reg set "HKLM\\$server" EnableOplocks 0 || fail "reg set REG_SZ"
at current check > rows.txt; [ $? -eq 3 ] || fail "check with drift should say 3"
[ "$(cut -f1,3,4 rows.txt)" = "*	EnableOplocks	0 (REG_SZ)
*	DisableLeasing	0" ] || fail "drift rows: $(cat rows.txt)"
grep -q '	no effect here: Only SMB 1 reads it' rows.txt || fail "drift rows' effect: $(cat rows.txt)"
at current list --tsv | grep -q "^\*	.*	EnableOplocks	0 (REG_SZ)	" || fail "list: $(at current list --tsv)"
at current list --json | python3 -c '
import json, sys
rows = {r["valueName"]: r for r in json.load(sys.stdin)}
assert rows["EnableOplocks"]["currentType"] == "REG_SZ" and rows["EnableOplocks"]["differs"], rows
assert rows["OplocksDisabled"]["effect"]["kind"] == "no effect here", rows' || fail "list --json"
at current check --json | python3 -c '
import json, sys
c = json.load(sys.stdin)
assert c["result"] == "drift" and c["exitStatus"] == 3, c' || fail "check --json with drift"
at current disable > /dev/null || fail "disable over drift"
at current check > /dev/null || fail "check after the second disable"
# Failed: a settings file that cannot be read.
at current check --settings missing.xml > /dev/null 2>&1; [ $? -eq 1 ] || fail "check of a missing file"
at current check --json --settings missing.xml 2> /dev/null | python3 -c '
import json, sys
c = json.load(sys.stdin)
assert c["result"] == "failed" and c["exitStatus"] == 1, c' || fail "check --json of a missing file"

# The guard on Windows 10: disable, enable and restore refuse Smb2 = 0 and SMB1 = 1 with the
# reason, write the other rows, and exit 1; --force writes them. check says 4.
at legacy check > rows.txt 2> warn.txt; [ $? -eq 4 ] || fail "check legacy on Windows 10 should say 4"
grep -q "^!	.*	Smb2	N/A	N/A	0	1	dangerous here: Smb2 = 0 switches SMB 2 and 3 off" rows.txt ||
  fail "dangerous row: $(cat rows.txt)"
grep -q "	EnableOpLockForceClose	.*no effect here" rows.txt || fail "ForceClose on 10: $(cat rows.txt)"
at legacy disable --dry-run > plan.txt; [ $? -eq 1 ] || fail "a dry run that refuses a row should say 1"
grep -q "^refuse	.*	Smb2	Smb2 = 0 switches SMB 2 and 3 off" plan.txt || fail "dry run: $(cat plan.txt)"
at legacy disable > out.txt 2> err.txt; [ $? -eq 1 ] || fail "disable with Smb2 = 0 on Windows 10 should fail"
grep -q "^vantrelctl: Vantrel.xml: Error writing $(printf '%s' "$server" | sed 's/\\/\\\\/g') to registry, Smb2 = 0 switches SMB 2 and 3 off.*Microsoft-Windows-SMBClient/Connectivity" err.txt ||
  fail "refusal: $(cat err.txt)"
"$ctl" reg get "HKLM\\$server" Smb2 > /dev/null 2>&1 && fail "Smb2 was written on Windows 10"
[ "$("$ctl" reg get "HKLM\\$client" UseOpportunisticLocking)" = 0 ] || fail "the other rows were not written"
cat > smb1.xml <<XML
<?xml version="1.0"?>
<RegistryItems><RegistryItem><KeyName>$server</KeyName><ValueName>SMB1</ValueName><SavedValue>1</SavedValue><DisableValue>0</DisableValue><EnableValue>1</EnableValue></RegistryItem></RegistryItems>
XML
"$ctl" enable --settings smb1.xml > /dev/null 2> err.txt; [ $? -eq 1 ] || fail "enable with SMB1 = 1 on Windows 10"
grep -q 'SMB1 = 1 switches SMB 1 back on.*event 3000' err.txt || fail "SMB1 refusal: $(cat err.txt)"
"$ctl" restore --settings smb1.xml > /dev/null 2>&1; [ $? -eq 1 ] || fail "restore with SMB1 = 1 on Windows 10"
"$ctl" reg get "HKLM\\$server" SMB1 > /dev/null 2>&1 && fail "SMB1 was written"
at legacy disable --force > /dev/null || fail "disable --force"
[ "$("$ctl" reg get "HKLM\\$server" Smb2)" = 0 ] || fail "--force did not write Smb2"
"$ctl" reg delete "HKLM\\$server" Smb2 || fail "reg delete"
# Exports: the target is unknown, so the guard always holds (here on a store without a version
# too), and --force lets it through.
for format in "reg" "ansible --group servers"; do
  (cd legacy && "$ctl" export --format $format -o ../out.export) 2> err.txt; [ $? -eq 1 ] ||
    fail "export $format of Smb2 = 0 should fail"
  grep -q "^vantrelctl: export: item .*Smb2): Smb2 = 0 switches SMB 2 and 3 off" err.txt || fail "export: $(cat err.txt)"
  [ -e out.export ] && fail "a refused export wrote a file"
  (cd legacy && "$ctl" export --format $format --force -o ../out.export) || fail "export $format --force"
  rm -f out.export
done
"$ctl" reg set "$options" ProductType ServerNT || fail "reg set"
"$ctl" reg set "$nt" CurrentBuildNumber 20348 || fail "reg set"
[ "$("$ctl" os)" = "Windows Server 2022 Build 20348" ] || fail "os: $("$ctl" os)"
# Windows 7 still has SMB 1: no refusal there, and check says whether the state is reached.
"$ctl" reg delete "$nt" CurrentMajorVersionNumber || fail "reg delete"
"$ctl" reg set "$nt" CurrentVersion 6.1 || fail "reg set"
"$ctl" reg set "$nt" CurrentBuildNumber 7601 || fail "reg set"
"$ctl" reg set "$options" ProductType WinNT || fail "reg set"
[ "$("$ctl" os)" = "Windows 7 Business/Ultimate Build 7601" ] || fail "os: $("$ctl" os)"
at legacy check > /dev/null 2> warn.txt; [ $? -eq 3 ] || fail "check legacy on Windows 7 should say 3"
[ -s warn.txt ] && fail "warning on Windows 7: $(cat warn.txt)"
at legacy disable --dry-run | grep -q '^refuse' && fail "a refusal on Windows 7"
"$ctl" reg set "$nt" CurrentVersion 6.3 || fail "reg set"
"$ctl" reg set "$nt" CurrentBuildNumber 9600 || fail "reg set"
[ "$("$ctl" os)" = "Windows 8.1 Business/Ultimate Build 9600" ] || fail "os: $("$ctl" os)"

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
