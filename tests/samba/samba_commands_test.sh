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
# A hard-linked smb.conf is replaced like every file written: the other name keeps the previous
# text, and the command says so on its output.
printf '%s' "$original" >smb.conf
ln smb.conf other-name.conf
timeout 60 "$ctl" disable --settings "$settings" >out.txt 2>err.txt || fail "disable of a linked smb.conf: $(cat err.txt)"
grep -q "^vantrelctl: $dir/smb.conf: the file had 1 other hard link, which keeps the previous content" out.txt ||
  fail "disable does not say the other name keeps the old text: $(cat out.txt)"
[[ $(cat other-name.conf) == "$(printf '%s' "$original")" ]] || fail "the other name changed"
rm other-name.conf

# An include after a parameter overrides it, as Samba reads it: check sees Samba's value, and
# disable refuses the change the included file would undo, naming it.
printf '\toplocks = yes\n' >i.conf
printf '[global]\n\toplocks = no\n\tlevel2 oplocks = no\n\tsmb2 leases = no\n\tinclude = %s/i.conf\n' "$dir" >smb.conf
before=$(cat smb.conf)
timeout 60 "$ctl" check --settings "$settings" >/dev/null 2>&1
status=$?
[[ $status == 3 ]] || fail "check of an included override: exit status $status, expected 3"
timeout 60 "$ctl" disable --settings "$settings" >out.txt 2>err.txt
status=$?
[[ $status == 1 ]] || fail "disable against an included override: exit status $status, expected 1"
grep -q "$dir/i.conf" err.txt || fail "disable's error does not name the included file: $(cat err.txt)"
[[ $(cat smb.conf) == "$before" ]] || fail "disable changed smb.conf"

# Deleting a key that holds Samba's sections is refused naming the file, as a section's is.
timeout 60 "$ctl" reg set 'HKLM\Software\Samba\Other' kept 1 --type REG_DWORD >/dev/null 2>err.txt || fail "reg set: $(cat err.txt)"
for key in 'HKLM\Software\Samba' 'HKLM\Software\Samba\smbconf'; do
  timeout 60 "$ctl" reg delete "$key" --recursive >out.txt 2>err.txt
  status=$?
  [[ $status == 1 ]] || fail "reg delete $key --recursive: exit status $status, expected 1"
  grep -q "$dir/smb.conf" err.txt || fail "reg delete $key: $(cat err.txt)"
  [[ $(timeout 60 "$ctl" reg get 'HKLM\Software\Samba\Other' kept) == 1 ]] || fail "reg delete $key deleted the store's key"
done
[[ $(cat smb.conf) == "$before" ]] || fail "reg delete changed smb.conf"

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
