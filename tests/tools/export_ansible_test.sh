#!/usr/bin/env bash
# vantrelctl export --format ansible checked with Debian's ansible: ansible-playbook accepts the
# playbook (--syntax-check), and every task's and handler's arguments are valid for its module
# by the argument definition ansible-doc gives, carrying each name exactly (backslash, quotes,
# code page 1250 letters and its unassigned bytes, template braces); each task notifies the
# restart its value needs and the handlers restart exactly those (check_playbook.py); a value
# dangerous from Windows 10 on is guarded by the version; --no-restart leaves handlers out.
# The playbook is not run, not even in check mode: its modules are PowerShell that runs only on
# a Windows host. Usage: export_ansible_test.sh VANTRELCTL
set -u
ctl=$1
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
export VANTREL_REGISTRY=$dir/registry ANSIBLE_LOCAL_TEMP=$dir/ansible-tmp HOME=$dir
mkdir "$VANTREL_REGISTRY"
fail() { echo "FAIL: $*"; exit 1; }
bounded() {
  timeout 120 "$@"
  local status=$?
  [ $status -eq 124 ] && fail "timed out after 120 s: $*"
  return $status
}
for tool in ansible-playbook ansible-doc /usr/bin/python3; do
  command -v "$tool" > /dev/null || fail "$tool is missing (make deps installs ansible)"
done

# key, value name, saved, disable, enable as 'vantrelctl xml write' reads them (\\ a backslash,
# \xHH a code page 1250 byte: \xe8 c caron, \x8a S caron); then what each task must carry.
tab=$'\t'
cat > items.txt <<ITEMS
SOFTWARE\\\\V\\\\Plain${tab}Plain${tab}N/A${tab}1${tab}0
SOFTWARE\\\\V\\\\Plain${tab}back\\\\slash${tab}N/A${tab}4294967295${tab}0
SOFTWARE\\\\V\\\\Plain${tab}it's "quoted"${tab}N/A${tab}-1${tab}0
SOFTWARE\\\\V\\\\Kl\\xe8${tab}\\x8a: #not a comment${tab}N/A${tab}N/A${tab}0
SOFTWARE\\\\V\\\\{{ key }}${tab}{% raw %}${tab}N/A${tab}7${tab}0
SOFTWARE\\\\V\\\\Plain${tab}C1 \\x81\\x83\\x88\\x90\\x98${tab}N/A${tab}2${tab}0
ITEMS
cat > expected.tsv <<'TSV'
HKLM:\SOFTWARE\V\Plain	Plain	present	1	reboot
HKLM:\SOFTWARE\V\Plain	back\slash	present	4294967295	reboot
HKLM:\SOFTWARE\V\Plain	it's "quoted"	present	4294967295	reboot
HKLM:\SOFTWARE\V\Klč	Š: #not a comment	absent		reboot
HKLM:\SOFTWARE\V\{{ key }}	{% raw %}	present	7	reboot
TSV
# The bytes code page 1250 leaves unassigned are the C1 controls of the same number, which YAML
# takes only escaped.
printf 'HKLM:\\SOFTWARE\\V\\Plain\tC1 \xc2\x81\xc2\x83\xc2\x88\xc2\x90\xc2\x98\tpresent\t2\treboot\n' >> expected.tsv
"$ctl" xml write Vantrel.xml < items.txt || fail "xml write of the table failed"

"$ctl" export --format ansible --group file_servers -o play.yml || fail "export failed"
printf '[file_servers]\nwin1.example.org\n' > inventory
bounded ansible-playbook --syntax-check -i inventory play.yml > syntax.txt 2>&1 ||
  fail "ansible-playbook --syntax-check refused the playbook: $(cat syntax.txt) $(cat play.yml)"
bounded ansible-doc --json ansible.windows.win_regedit ansible.windows.win_service \
  ansible.windows.win_service_info ansible.windows.win_reboot ansible.windows.setup > module.json ||
  fail "ansible-doc lacks a module of ansible.windows"
/usr/bin/python3 "$here/check_playbook.py" play.yml module.json expected.tsv file_servers ||
  fail "the tasks do not fit the module or the items: $(cat play.yml)"

# Known values notify the service they need: the Server service for LanmanServer, the Workstation
# service for LanmanWorkstation and MRXSmb; Smb2 (only with --force) a reboot, and only before
# Windows 10, which SMB 2 switched off would cut off.
params='SYSTEM\\CurrentControlSet\\Services'
cat > known.txt <<ITEMS
$params\\MRXSmb\\Parameters${tab}OplocksDisabled${tab}N/A${tab}1${tab}0
$params\\LanmanServer\\Parameters${tab}EnableOplocks${tab}N/A${tab}0${tab}1
$params\\LanmanWorkstation\\Parameters${tab}DirectoryCacheLifetime${tab}N/A${tab}N/A${tab}10
$params\\LanmanServer\\Parameters${tab}Smb2${tab}N/A${tab}0${tab}1
ITEMS
"$ctl" xml write Known.xml < known.txt || fail "xml write of the known values failed"
p='HKLM:\SYSTEM\CurrentControlSet\Services'
printf '%s\n' "$p\MRXSmb\Parameters${tab}OplocksDisabled${tab}present${tab}1${tab}lanmanworkstation" \
  "$p\LanmanServer\Parameters${tab}EnableOplocks${tab}present${tab}0${tab}lanmanserver" \
  "$p\LanmanWorkstation\Parameters${tab}DirectoryCacheLifetime${tab}absent${tab}${tab}lanmanworkstation" \
  "$p\LanmanServer\Parameters${tab}Smb2${tab}present${tab}0${tab}reboot${tab}guard" > known.tsv
"$ctl" export --format ansible --group g --settings Known.xml -o refused.yml 2> error.txt
[ $? -eq 1 ] || fail "Smb2 = 0 must be refused without --force"
grep -q "item 4 (SYSTEM.*Smb2)" error.txt || fail "the refusal names no item: $(cat error.txt)"
for restart in "" --no-restart; do
  "$ctl" export --format ansible --group g --settings Known.xml --force $restart -o known.yml ||
    fail "export of the known values $restart failed"
  bounded ansible-playbook --syntax-check -i inventory known.yml > syntax.txt 2>&1 ||
    fail "ansible-playbook --syntax-check refused the playbook $restart: $(cat syntax.txt) $(cat known.yml)"
  /usr/bin/python3 "$here/check_playbook.py" known.yml module.json known.tsv g $restart ||
    fail "the known values' tasks or handlers are wrong $restart: $(cat known.yml)"
done
# Without the Smb2 value there is no reboot and no fact gathering.
head -n 3 known.txt | "$ctl" xml write Services.xml || fail "xml write failed"
head -n 3 known.tsv > services.tsv
"$ctl" export --format ansible --group g --settings Services.xml -o services.yml || fail "export failed"
/usr/bin/python3 "$here/check_playbook.py" services.yml module.json services.tsv g ||
  fail "the services' playbook is wrong: $(cat services.yml)"
grep -q 'win_reboot\|ansible.windows.setup' services.yml && fail "a reboot or facts nobody needs: $(cat services.yml)"

# The same to standard output; the enable values for another group.
"$ctl" export --format ansible --group file_servers > stdout.yml || fail "export to stdout failed"
cmp -s play.yml stdout.yml || fail "standard output differs from -o"
"$ctl" export --format ansible --group web --values enable | grep -q '^  hosts: web$' ||
  fail "--group web --values enable"

# Usage errors give 2; an item the module cannot carry gives 1, names it and writes no file.
"$ctl" export --format ansible > /dev/null 2>&1; [ $? -eq 2 ] || fail "a missing --group must give 2"
"$ctl" export --format ansible --group 'web servers' > /dev/null 2>&1
[ $? -eq 2 ] || fail "a group name with a blank must give 2"
"$ctl" export --format yaml --group g > /dev/null 2>&1; [ $? -eq 2 ] || fail "an unknown format must give 2"
printf 'SOFTWARE\\\\V\t\tN/A\t1\t0\n' | "$ctl" xml write Default.xml || fail "xml write failed"
"$ctl" export --format ansible --group g --settings Default.xml -o default.yml 2> error.txt
[ $? -eq 1 ] || fail "a default value as a dword must fail with 1"
grep -q "item 1 (SOFTWARE\\\\V, the default value)" error.txt || fail "the error names no item: $(cat error.txt)"
[ -e default.yml ] && fail "a failed export left a file behind"
VANTREL_REGISTRY=$dir/no-such-prefix "$ctl" export --format ansible --group g --values current \
  -o current.yml 2> error.txt
[ $? -eq 1 ] || fail "current values of a missing prefix must fail with 1"
grep -q "no-such-prefix" error.txt || fail "the error does not name the missing prefix: $(cat error.txt)"
[ -e current.yml ] && fail "an export from a missing prefix left a file behind"
echo ok
