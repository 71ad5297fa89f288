#!/bin/bash
# vantrelctl's commands on Samba rows, without a server: what a dry run lists, what explain
# knows, what the real run writes, and a refused change reported as the failure it is.
# Usage: samba_commands_test.sh VANTRELCTL SETTINGS_FILE
set -u
ctl=$1
settings=$2
[[ -x /usr/bin/testparm ]] || { echo "FAIL: Samba's testparm is missing; run make deps" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export VANTREL_SMB_CONF=$dir/smb.conf VANTREL_REGISTRY=$dir/registry
mkdir "$VANTREL_REGISTRY"
cd "$dir" || exit 1
original=$'# a server\n[global]\n\tworkgroup = WG\n\tOplocks = Yes\n\n[data]\n\tpath = /srv/data\n'
printf '%s' "$original" >smb.conf

# A dry run lists the writes and what makes them live, and writes nothing.
timeout 60 "$ctl" disable --dry-run --settings "$settings" >out.txt 2>err.txt || fail "dry run: $(cat err.txt)"
grep -q $'^write\t.*\toplocks\t0$' out.txt || fail "dry run lists no oplocks write: $(cat out.txt)"
grep -q $'^restart\t.*smbcontrol smbd reload-config' out.txt || fail "dry run lists no reload: $(cat out.txt)"
grep -q $'^restart\t.*Restart smbd' out.txt || fail "dry run lists no smbd restart: $(cat out.txt)"
[[ $(cat smb.conf) == "$(printf '%s' "$original")" ]] || fail "the dry run changed smb.conf"

# explain knows the rows.
timeout 60 "$ctl" explain --settings "$settings" >out.txt 2>err.txt || fail "explain: $(cat err.txt)"
[[ $(grep -c "Samba's default: yes" out.txt) == 3 ]] || fail "explain does not know the Samba rows: $(cat out.txt)"

# The real run: each line changed in place or added after the section's last parameter.
timeout 60 "$ctl" disable --settings "$settings" >out.txt 2>err.txt || fail "disable: $(cat err.txt)"
expected=$'# a server\n[global]\n\tworkgroup = WG\n\tOplocks = 0\n\tlevel2 oplocks = 0\n\tsmb2 leases = 0\n\n[data]\n\tpath = /srv/data\n'
[[ $(cat smb.conf) == "$(printf '%s' "$expected")" ]] || fail "disable wrote: $(cat smb.conf)"
timeout 30 /usr/bin/testparm -s smb.conf >/dev/null 2>&1 || fail "testparm rejects what disable wrote"
grep -q 'smbcontrol smbd reload-config' out.txt || fail "disable does not say how to reload"
timeout 60 "$ctl" check --settings "$settings" >/dev/null 2>&1
[[ $? == 0 ]] || fail "check after disable is not in the disable state"

# A removal that cannot be checked (no testparm) is a failure, named with the file, and the file
# stays as it was.
before=$(cat smb.conf)
VANTREL_TESTPARM=$dir/no-testparm timeout 60 "$ctl" enable --settings "$settings" >out.txt 2>err.txt
status=$?
[[ $status == 1 ]] || fail "enable without testparm: exit status $status, expected 1"
grep -q "Error deleting value from Software.*$dir/smb.conf.*testparm" err.txt || fail "enable's error: $(cat err.txt)"
[[ $(cat smb.conf) == "$before" ]] || fail "enable without testparm changed smb.conf"
# The exports deploy Windows registry values: a Samba row is refused by each form, by name.
for format in reg pol gpp ansible; do
  group=(); [[ $format == ansible ]] && group=(--group servers)
  timeout 60 "$ctl" export --format "$format" "${group[@]}" --settings "$settings" -o "out.$format" >/dev/null 2>err.txt
  status=$?
  [[ $status == 1 ]] || fail "export --format $format of Samba rows: exit status $status, expected 1"
  grep -q "item 1 (Software.Samba.smbconf.global, oplocks).*smb.conf" err.txt || fail "export $format: $(cat err.txt)"
  [[ -e out.$format ]] && fail "export $format wrote a file"
done
echo ok
