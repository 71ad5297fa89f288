#!/usr/bin/env bash
# vantrelctl export --format gpp checked by check_gpp.py against the preference format's
# definition (each rule named) and against the items: names that need XML escaping, code page
# 1250 letters and an unassigned byte, a key's default value, set and delete items, uids unique
# in a file and across exports; the SMB 2 guard; --no-restart.
# Usage: export_gpp_test.sh VANTRELCTL
set -u
ctl=$1
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
export VANTREL_REGISTRY=$dir/registry
mkdir "$VANTREL_REGISTRY"
fail() { echo "FAIL: $*"; exit 1; }
bounded() {
  timeout 120 "$@"
  local status=$?
  [ $status -eq 124 ] && fail "timed out after 120 s: $*"
  return $status
}

tab=$'\t'
server='SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters'
cat > items.txt <<ITEMS
${server}${tab}EnableOplocks${tab}N/A${tab}0${tab}1
SOFTWARE\\\\V\\\\A&B <c>${tab}say "hi" & 'bye' <now>${tab}N/A${tab}4294967295${tab}0
SOFTWARE\\\\V\\\\Kl\\xe8\\x9a${tab}\\x8a\\xe8 {{ x }} \\x81${tab}N/A${tab}N/A${tab}10
SOFTWARE\\\\V\\\\Default${tab}${tab}N/A${tab}5${tab}6
ITEMS
bounded "$ctl" xml write Vantrel.xml < items.txt || fail "xml write of the table failed"
printf '%s\n' \
  "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters${tab}EnableOplocks${tab}U${tab}00000000${tab}Server service" \
  "SOFTWARE\\V\\A&B <c>${tab}say \"hi\" & 'bye' <now>${tab}U${tab}ffffffff${tab}Restart the computer" \
  "SOFTWARE\\V\\Klčš${tab}Šč {{ x }} $(printf '\xc2\x81')${tab}D${tab}00000000${tab}Restart the computer" \
  "SOFTWARE\\V\\Default${tab}${tab}U${tab}00000005${tab}Restart the computer" > disable.tsv

bounded "$ctl" export --format gpp -o Registry.xml || fail "export --format gpp failed"
bounded /usr/bin/python3 "$here/check_gpp.py" Registry.xml disable.tsv uids.txt ||
  fail "Registry.xml breaks the format or misses the items: $(cat Registry.xml)"
# A second export: new uids, the same items.
bounded "$ctl" export --format gpp > stdout.xml || fail "export to stdout failed"
bounded /usr/bin/python3 "$here/check_gpp.py" stdout.xml disable.tsv uids.txt ||
  fail "the second export breaks a rule: $(cat stdout.xml)"
# The file's comment says every restart; --no-restart leaves the notes out.
grep -q '<!-- .*Restart the Server service.*Restart the computer.* -->' Registry.xml ||
  fail "the file's comment does not say what must restart: $(head -2 Registry.xml)"
bounded "$ctl" export --format gpp --no-restart -o quiet.xml || fail "--no-restart failed"
cut -f1-4 disable.tsv | sed 's/$/\t/' > quiet.tsv
bounded /usr/bin/python3 "$here/check_gpp.py" quiet.xml quiet.tsv || fail "--no-restart: $(cat quiet.xml)"
grep -q 'Restart' quiet.xml && fail "--no-restart still notes restarts"

# The SMB 2 guard: refused with 1 naming the item, nothing written; --force writes it.
printf 'SYSTEM\\\\CurrentControlSet\\\\Services\\\\LanmanServer\\\\Parameters\tSmb2\tN/A\t0\t1\n' |
  bounded "$ctl" xml write Smb2.xml || fail "xml write of Smb2 failed"
bounded "$ctl" export --format gpp --settings Smb2.xml -o smb2.xml 2> error.txt
[ $? -eq 1 ] || fail "Smb2 = 0 must be refused with 1"
grep -q "item 1 (SYSTEM.*Smb2)" error.txt || fail "the SMB 2 refusal names no item: $(cat error.txt)"
[ -e smb2.xml ] && fail "a refused export left a file"
bounded "$ctl" export --format gpp --settings Smb2.xml --force -o smb2.xml || fail "--force failed"
printf 'SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters\tSmb2\tU\t00000000\tRestart the computer\n' > smb2.tsv
bounded /usr/bin/python3 "$here/check_gpp.py" smb2.xml smb2.tsv || fail "Smb2 with --force: $(cat smb2.xml)"
# A usage error for a --group without ansible.
bounded "$ctl" export --format gpp --group g > /dev/null 2>&1; [ $? -eq 2 ] || fail "--group with gpp must give 2"
echo ok
