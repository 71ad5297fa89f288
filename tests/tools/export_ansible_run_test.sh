#!/usr/bin/env bash
# The playbook of vantrelctl export --format ansible run by ansible-playbook against localhost,
# with stand-ins for the ansible.windows modules (fake_windows/: the real ones are PowerShell
# that needs a Windows host, also in check mode): handlers run only when a task changed a value
# and restart exactly the services those values need, starting again the dependents that were
# running; --tags selects one service's values and restart; a value dangerous from Windows 10 on
# is written only on older Windows, then the computer restarts. Usage: export_ansible_run_test.sh VANTRELCTL
set -u
ctl=$1
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
export VANTREL_REGISTRY=$dir/registry ANSIBLE_LOCAL_TEMP=$dir/ansible-tmp HOME=$dir
export ANSIBLE_COLLECTIONS_PATH=$here/fake_windows ANSIBLE_COLLECTIONS_SCAN_SYS_PATH=false
export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=false ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3
export FAKE_WINDOWS=$dir/windows FAKE_WINDOWS_MAJOR=10
mkdir "$VANTREL_REGISTRY" "$FAKE_WINDOWS"
fail() { echo "FAIL: $*"; exit 1; }
bounded() {
  timeout 120 "$@"
  local status=$?
  [ $status -eq 124 ] && fail "timed out after 120 s: $*"
  return $status
}
command -v ansible-playbook > /dev/null || fail "ansible-playbook is missing (make deps installs ansible)"
printf '[file_servers]\nlocalhost ansible_connection=local\n' > inventory
echo '{}' > "$FAKE_WINDOWS/registry.json"
# Browser depends on the Server service and runs; Dfs depends on it too but is stopped: only
# Browser is started again. Netlogon depends on the Workstation service.
cat > "$FAKE_WINDOWS/services.json" <<'JSON'
[{"name": "LanmanServer", "state": "started", "dependency_of": ["Browser", "Dfs"]},
 {"name": "LanmanWorkstation", "state": "started", "dependency_of": ["Netlogon"]},
 {"name": "Browser", "state": "started", "dependency_of": []},
 {"name": "Dfs", "state": "stopped", "dependency_of": []},
 {"name": "Netlogon", "state": "started", "dependency_of": []}]
JSON
run() {  # playbook, then ansible-playbook's own arguments; the actions the handlers took in actions.txt
  : > "$FAKE_WINDOWS/actions.log"
  bounded ansible-playbook -i inventory "$@" > play.txt 2>&1 || fail "ansible-playbook $* failed: $(cat play.txt)"
  sort "$FAKE_WINDOWS/actions.log" > actions.txt
}
expect() {  # the sorted actions, one argument a line
  printf '%s\n' "$@" | sed '/^$/d' | sort > expected.txt
  cmp -s actions.txt expected.txt || fail "$1...: the handlers did $(cat actions.txt), expected $(cat expected.txt); $(cat play.txt)"
}

tab=$'\t'
p='SYSTEM\\CurrentControlSet\\Services'
cat > items.txt <<ITEMS
$p\\\\LanmanServer\\\\Parameters${tab}EnableOplocks${tab}N/A${tab}0${tab}1
$p\\\\LanmanServer\\\\Parameters${tab}DisableLeasing${tab}N/A${tab}1${tab}0
$p\\\\MRXSmb\\\\Parameters${tab}OplocksDisabled${tab}N/A${tab}1${tab}0
ITEMS
bounded "$ctl" xml write Vantrel.xml < items.txt || fail "xml write failed"
bounded "$ctl" export --format ansible --group file_servers -o disable.yml || fail "export failed"
bounded "$ctl" export --format ansible --group file_servers --values enable -o enable.yml || fail "export failed"

# Everything changes: both services restart once each, their running dependents start again.
run disable.yml
expect "service LanmanServer restarted with dependents" "service Browser started" \
       "service LanmanWorkstation restarted with dependents" "service Netlogon started"
# Nothing changes: nothing restarts.
run disable.yml
expect ""
# Only the Server's values, by tag: only the Server service restarts.
run enable.yml --tags lanmanserver
expect "service LanmanServer restarted with dependents" "service Browser started"
/usr/bin/python3 - "$FAKE_WINDOWS/registry.json" <<'PY' || fail "--tags wrote other values: $(cat "$FAKE_WINDOWS/registry.json")"
import json, sys
r = json.load(open(sys.argv[1]))
base = "HKLM:\\SYSTEM\\CurrentControlSet\\Services\\"
assert r[base + "LanmanServer\\Parameters\\EnableOplocks"] == 1, r
assert r[base + "MRXSmb\\Parameters\\OplocksDisabled"] == 1, r
PY
# Check mode changes nothing in the registry.
cp "$FAKE_WINDOWS/registry.json" before.json
run disable.yml --check
cmp -s before.json "$FAKE_WINDOWS/registry.json" || fail "--check wrote values"

# SMB 2 off (--force): skipped on Windows 10, written on Windows 6 and then the computer restarts.
printf '%s\\\\LanmanServer\\\\Parameters\tSmb2\tN/A\t0\t1\n' "$p" | bounded "$ctl" xml write Smb2.xml ||
  fail "xml write failed"
bounded "$ctl" export --format ansible --group file_servers --settings Smb2.xml --force -o smb2.yml ||
  fail "export of Smb2 failed"
run smb2.yml
expect ""
grep -q 'Smb2' "$FAKE_WINDOWS/registry.json" && fail "Smb2 = 0 was written on Windows 10"
FAKE_WINDOWS_MAJOR=6 run smb2.yml
expect reboot
grep -q 'Smb2": 0' "$FAKE_WINDOWS/registry.json" || fail "Smb2 = 0 was not written on Windows 6"
echo ok
