#!/usr/bin/env bash
# vantrelctl export --format pol read back by Samba's Group Policy parser (check_pol.py): a table
# of awkward names (code page 1250 letters and an unassigned byte, blanks, backslashes and
# quotes, the longest key path and value name a settings file holds) as set and as deletion
# entries, each entry exactly the item's key, name, type and data; names Registry.pol cannot carry
# refused with exit 1 naming the item and nothing written; the SMB 2 guard; the restart notes on
# stderr (and in the .reg form's comments). Usage: export_pol_test.sh VANTRELCTL
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
/usr/bin/python3 -c 'import samba.gp_parse.gp_pol' ||
  fail "Samba's parser is missing (make deps installs python3-samba)"

# key, value name, saved, disable, enable as 'vantrelctl xml write' reads them (\\ a backslash,
# \xHH a code page 1250 byte: \xe8 c caron, \x9a s caron, \x9e z caron, \xf8 r caron, \x8a S caron,
# \x8d T caron, \x81 unassigned).
tab=$'\t'
long_key="SOFTWARE\\\\V\\\\$(printf 'k%.0s' $(seq 189))"   # 200 characters, the field's length
long_name=$(printf 'n%.0s' $(seq 100))                      # 100 characters, the field's length
cat > items.txt <<ITEMS
SOFTWARE\\\\V\\\\Plain${tab}Plain${tab}N/A${tab}1${tab}0
SOFTWARE\\\\V\\\\Plain${tab}with  blanks inside${tab}N/A${tab}4294967295${tab}0
SOFTWARE\\\\V\\\\Kl\\xe8\\x9a \\x9e${tab}\\x8a\\xe8\\xf8 value${tab}N/A${tab}N/A${tab}7
SOFTWARE\\\\V\\\\Plain${tab}back\\\\slash "q" #x=y*${tab}N/A${tab}-1${tab}N/A
${long_key}${tab}${long_name}${tab}N/A${tab}N/A${tab}3
SOFTWARE\\\\V\\\\Plain${tab}\\x8d \\x81${tab}N/A${tab}0x10${tab}0
ITEMS
bounded "$ctl" xml write Vantrel.xml < items.txt || fail "xml write of the table failed"

long_key_utf8="SOFTWARE\\V\\$(printf 'k%.0s' $(seq 189))"
cat > disable.tsv <<TSV
SOFTWARE\\V\\Plain	Plain	4	1
SOFTWARE\\V\\Plain	with  blanks inside	4	4294967295
SOFTWARE\\V\\Klčš ž	**del.Ščř value	1	 
SOFTWARE\\V\\Plain	back\\slash "q" #x=y*	4	4294967295
${long_key_utf8}	**del.${long_name}	1	 
TSV
printf 'SOFTWARE\\V\\Plain\t\xc5\xa4 \xc2\x81\t4\t16\n' >> disable.tsv
cat > enable.tsv <<TSV
SOFTWARE\\V\\Plain	Plain	4	0
SOFTWARE\\V\\Plain	with  blanks inside	4	0
SOFTWARE\\V\\Klčš ž	Ščř value	4	7
SOFTWARE\\V\\Plain	**del.back\\slash "q" #x=y*	1	 
${long_key_utf8}	${long_name}	4	3
TSV
printf 'SOFTWARE\\V\\Plain\t\xc5\xa4 \xc2\x81\t4\t0\n' >> enable.tsv

for values in disable enable; do
  bounded "$ctl" export --format pol --values $values -o $values.pol 2> notes.txt ||
    fail "export --format pol --values $values failed: $(cat notes.txt)"
  bounded /usr/bin/python3 "$here/check_pol.py" $values.pol $values.tsv ||
    fail "Samba does not read the $values values as the items"
  # Values the table of known values does not know need a reboot; Registry.pol has no comment.
  grep -qx "vantrelctl: note: once Group Policy applied the Registry.pol: Restart the computer for the change to take effect." notes.txt ||
    fail "no restart note on stderr: $(cat notes.txt)"
done
bounded "$ctl" export --format pol --values disable > stdout.pol 2> /dev/null || fail "export to stdout failed"
cmp -s stdout.pol disable.pol || fail "standard output differs from -o"
bounded "$ctl" export --format pol --no-restart -o quiet.pol 2> notes.txt || fail "--no-restart failed"
[ -s notes.txt ] && fail "--no-restart still notes restarts: $(cat notes.txt)"
cmp -s quiet.pol disable.pol || fail "--no-restart changed the file"

# The .reg form says the same in its own comments (and not with --no-restart).
reg_text() { /usr/bin/python3 -c 'import sys; print(open(sys.argv[1], "rb").read().decode("utf-16"))' "$1"; }
bounded "$ctl" export --format reg -o said.reg || fail "export --format reg failed"
reg_text said.reg | grep -q '^; Restart the computer for the change to take effect.' ||
  fail "the .reg file does not say what must restart: $(reg_text said.reg)"
bounded "$ctl" export --format reg --no-restart -o quiet.reg || fail "export --format reg --no-restart failed"
reg_text quiet.reg | grep -q '^;' && fail "--no-restart: the .reg file still has comments"

# Names Registry.pol cannot carry: exit 1, the item named, the old file kept.
cp disable.pol kept.pol
while IFS='|' read -r key name expected; do
  printf '%s\t%s\tN/A\t1\t0\n' "$key" "$name" | bounded "$ctl" xml write Bad.xml ||
    fail "xml write of '$key' '$name' failed"
  bounded "$ctl" export --format pol --settings Bad.xml -o kept.pol 2> error.txt
  [ $? -eq 1 ] || fail "'$key' '$name' must fail with 1"
  grep -qF "$expected" error.txt || fail "'$key' '$name': the error does not say '$expected': $(cat error.txt)"
  cmp -s kept.pol disable.pol || fail "'$key' '$name': the refused export changed the file"
done <<'CASES'
SOFTWARE\\V||item 1 (SOFTWARE\V, the default value): Registry.pol cannot set a key's default value
SOFTWARE\\V|**DelVals.|item 1 (SOFTWARE\V, **DelVals.): its value name begins with "**"
SOFTWARE\\V|**del.Plain|item 1 (SOFTWARE\V, **del.Plain): its value name begins with "**"
SOFTWARE\\V\\a]b|x|item 1 (SOFTWARE\V\a]b, x): its key path holds ']'
SOFTWARE\\V\\a[b|x|item 1 (SOFTWARE\V\a[b, x): its key path holds '['
SOFTWARE\\V|a;b|item 1 (SOFTWARE\V, a;b): its value name holds ';'
CASES

# The SMB 2 guard holds for Registry.pol too; --force writes it, and the note asks for a reboot.
printf 'SYSTEM\\\\CurrentControlSet\\\\Services\\\\LanmanServer\\\\Parameters\tSmb2\tN/A\t0\t1\n' |
  bounded "$ctl" xml write Smb2.xml || fail "xml write of Smb2 failed"
bounded "$ctl" export --format pol --settings Smb2.xml -o smb2.pol 2> error.txt
[ $? -eq 1 ] || fail "Smb2 = 0 must be refused with 1"
grep -q "item 1 (SYSTEM.*Smb2)" error.txt || fail "the SMB 2 refusal names no item: $(cat error.txt)"
[ -e smb2.pol ] && fail "a refused export left a file"
bounded "$ctl" export --format pol --settings Smb2.xml --force -o smb2.pol 2> notes.txt ||
  fail "--force export of Smb2 failed"
printf 'SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters\tSmb2\t4\t0\n' > smb2.tsv
bounded /usr/bin/python3 "$here/check_pol.py" smb2.pol smb2.tsv || fail "Samba does not read Smb2 = 0"
grep -q "Restart the computer" notes.txt || fail "no reboot note for Smb2: $(cat notes.txt)"
echo ok
