#!/usr/bin/env bash
# vantrelctl.exe, the Windows build of the command line, against Wine's registry and Wine's own
# reg.exe: what the one writes the other reads, and the exit statuses are those of the Linux tool.
# run_in_prefix.sh gives it a fresh prefix (WINEPREFIX). Usage: vantrelctl_exe_test.sh WINE64 EXE
set -u
wine=$1
exe=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
fail() { echo "FAIL: $*"; exit 1; }

# Every call into Wine is bounded (`bounded`, which names a command that hung).
. "$(dirname "$0")/wine_test_env.sh"
run_wine() {
  bounded 120 "$wine" "$@"
  local status=$?
  [ $status -eq 124 ] && fail "wine64 $* did not finish within 120 s"
  return $status
}
ctl() { run_wine "$exe" "$@"; }

key='SYSTEM\CurrentControlSet\Services\VantrelExeTest\Parameters'
cat > Vantrel.xml <<XML
<?xml version="1.0"?>
<RegistryItems>
<RegistryItem><KeyName>$key</KeyName><ValueName>Flag</ValueName><SavedValue>N/A</SavedValue><DisableValue>1</DisableValue><EnableValue>0</EnableValue></RegistryItem>
<RegistryItem><KeyName>$key</KeyName><ValueName>Gone</ValueName><SavedValue>N/A</SavedValue><DisableValue>N/A</DisableValue><EnableValue>5</EnableValue></RegistryItem>
</RegistryItems>
XML

[ "$(ctl --version | tr -d '\r')" = "vantrelctl $VANTREL_VERSION" ] || fail "--version: $(ctl --version)"
ctl check >/dev/null; [ $? -eq 3 ] || fail "check before disable should say 3"
ctl enable >/dev/null || fail "enable failed"
ctl disable >rows.txt || fail "disable failed: $(cat rows.txt)"
ctl check >/dev/null || fail "check after disable should be 0"

run_wine reg query "HKLM\\$key" >query.txt || fail "reg query failed"
tr -d '\r' <query.txt | grep -q '^    Flag    REG_DWORD    0x1$' || fail "reg query does not see Flag=1: $(cat query.txt)"
grep -q Gone query.txt && fail "disable left Gone in place: $(cat query.txt)"

run_wine reg add "HKLM\\$key" /v Flag /t REG_DWORD /d 7 /f >/dev/null || fail "reg add failed"
ctl list --tsv >list.txt || fail "list failed"
tr -d '\r' <list.txt | grep -q "^\*	.*	Flag	7	N/A	1	0$" || fail "list does not show reg add's 7: $(cat list.txt)"
ctl check >/dev/null; [ $? -eq 3 ] || fail "check after reg add should say 3"

# The .reg export goes to standard output unchanged (no CR added before LF) and regedit takes it.
ctl export --format reg --values enable >enable.reg || fail "export failed"
[ "$(head -c 4 enable.reg | od -An -tx1 | tr -d ' ')" = "fffe5700" ] || fail "export does not start with the UTF-16LE mark"
od -An -v -tx1 enable.reg | tr -d ' \n' | grep -q '0d000d' && fail "standard output turned LF into CR LF"
run_wine regedit /s enable.reg || fail "regedit /s failed"
# The export is refused over its own settings file (Windows finds the file by its identity).
cp Vantrel.xml settings-before.xml
ctl export --format reg -o .\\Vantrel.xml >/dev/null 2>&1; [ $? -eq 2 ] || fail "export over the settings file must give 2"
cmp -s Vantrel.xml settings-before.xml || fail "export -o changed the settings file"
ctl export --format reg -o other.reg 2>export-err.txt || fail "export -o other.reg failed: $(cat export-err.txt)"
[ -s other.reg ] || fail "export -o wrote nothing"
tr -d '\r' <<<"$(ctl list --tsv)" | grep -q "^\*	.*	Gone	5	N/A	N/A	5$" || fail "after the import: $(ctl list --tsv)"

# HKEY_USERS\<user> is that user's HKEY_CURRENT_USER: its first level is as protected, under
# every name Windows resolves to it; a trailing blank would name the parent.
run_wine reg add 'HKU\.Default\Software\VantrelExeTest' /v V /d 1 /f >/dev/null || fail "reg add under HKU"
for path in 'HKU\.Default\Software' 'HKU\.DEFAULT\\Software\' 'HKU\.Default\Software\ ' \
            'HKLM\Software\Classes\.txt' 'HKU\S-1-5-21-0-0-0-1000\Software'; do
  ctl reg delete "$path" --recursive >/dev/null 2>refused.txt
  status=$?
  [ $status -eq 2 ] || fail "reg delete '$path' was not refused (status $status): $(cat refused.txt)"
done
run_wine reg query 'HKU\.Default\Software\VantrelExeTest' >/dev/null || fail "HKU\.Default\Software was deleted"
ctl reg set "HKLM\\$key" 'Flag ' 2 >/dev/null 2>&1; [ $? -eq 2 ] || fail "a value name with a trailing blank"
# A key's default value, as reg.exe's /ve.
ctl reg set "HKLM\\$key" --default 'def' || fail "reg set --default"
run_wine reg query "HKLM\\$key" /ve >query.txt || fail "reg query /ve"
tr -d '\r' <query.txt | grep -q 'REG_SZ    def$' || fail "reg query /ve: $(cat query.txt)"
ctl reg delete "HKLM\\$key" --default || fail "reg delete --default"
tr -d '\r' <<<"$(ctl reg get "HKLM\\$key" Flag)" | grep -q . || fail "deleting the default value took the key"

# Exit statuses: a missing settings file fails with 1, a usage error gives 2.
ctl list --settings Missing.xml >/dev/null 2>&1; [ $? -eq 1 ] || fail "a missing settings file must give 1"
ctl list --frobnicate >/dev/null 2>&1; [ $? -eq 2 ] || fail "an unknown option must give 2"
ctl frobnicate >/dev/null 2>&1; [ $? -eq 2 ] || fail "an unknown command must give 2"
ctl reg get "HKLM\\$key" Missing >/dev/null 2>&1; [ $? -eq 1 ] || fail "reading a missing value must give 1"

# Set to Windows 10, the system tells vantrelctl.exe its true version (its manifest lists
# Windows 10), so it names the system as the window does, and the guard holds: Smb2 = 0 is
# refused with the reason, the other row is written; --force writes it. (Without the manifest it
# was told 6.2, build 9200, and wrote Smb2 = 0 without a word.)
run_wine winecfg /v win10 || fail "winecfg /v win10 failed"
nt='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
build=$(run_wine reg query "$nt" /v CurrentBuildNumber | tr -d '\r' | awk '$1 == "CurrentBuildNumber" {print $3}')
[ -n "$build" ] || fail "no CurrentBuildNumber under $nt"
[ "$build" -lt 22000 ] && name=10 || name=11
[ "$(ctl os | tr -d '\r')" = "Windows $name Build $build" ] || fail "os under Windows 10: $(ctl os)"
server='SYSTEM\CurrentControlSet\Services\LanmanServer\Parameters'
mkdir legacy
cat > legacy/Vantrel.xml <<XML
<?xml version="1.0"?>
<RegistryItems>
<RegistryItem><KeyName>$server</KeyName><ValueName>Smb2</ValueName><SavedValue>N/A</SavedValue><DisableValue>0</DisableValue><EnableValue>1</EnableValue></RegistryItem>
<RegistryItem><KeyName>$key</KeyName><ValueName>Other</ValueName><SavedValue>N/A</SavedValue><DisableValue>1</DisableValue><EnableValue>0</EnableValue></RegistryItem>
</RegistryItems>
XML
ctl disable --settings legacy\\Vantrel.xml >out.txt 2>err.txt; [ $? -eq 1 ] || fail "disable with Smb2 = 0 on Windows 10 must give 1: $(cat out.txt err.txt)"
tr -d '\r' <err.txt | grep -q "to registry, Smb2 = 0 switches SMB 2 and 3 off" || fail "refusal: $(cat err.txt)"
run_wine reg query "HKLM\\$server" /v Smb2 >/dev/null 2>&1 && fail "Smb2 was written on Windows 10"
run_wine reg query "HKLM\\$key" /v Other | tr -d '\r' | grep -q 'Other    REG_DWORD    0x1$' || fail "the other row was not written"
ctl check --settings legacy\\Vantrel.xml >/dev/null; [ $? -eq 4 ] || fail "check with Smb2 = 0 on Windows 10 must give 4"
ctl export --format reg --settings legacy\\Vantrel.xml >/dev/null 2>&1; [ $? -eq 1 ] || fail "export of Smb2 = 0 must give 1"
ctl disable --force --settings legacy\\Vantrel.xml >/dev/null || fail "disable --force failed"
run_wine reg query "HKLM\\$server" /v Smb2 | tr -d '\r' | grep -q 'Smb2    REG_DWORD    0x0$' || fail "--force did not write Smb2"

# The journal of changes in Windows' registry: undo of the last change deletes the Smb2 that
# was absent before it, and a value reg.exe set by hand as text comes back as that text.
ctl undo >/dev/null || fail "undo of disable --force failed"
run_wine reg query "HKLM\\$server" /v Smb2 >/dev/null 2>&1 && fail "undo left Smb2 in place"
run_wine reg add "HKLM\\$key" /v Flag /t REG_SZ /d "by hand" /f >/dev/null || fail "reg add failed"
ctl disable >/dev/null || fail "disable failed"
ctl undo >/dev/null || fail "undo of disable failed"
run_wine reg query "HKLM\\$key" /v Flag | tr -d '\r' | grep -q 'Flag    REG_SZ    by hand$' || fail "undo did not bring back the text"
echo ok
