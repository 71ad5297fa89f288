#!/usr/bin/env bash
# vantrelctl's application commands end to end: a settings file, a fresh store, real processes.
set -u
ctl=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
export VANTREL_REGISTRY=$dir/registry
mkdir "$VANTREL_REGISTRY"
fail() { echo "FAIL: $*"; exit 1; }
key='SYSTEM\CurrentControlSet\Services\Test\Parameters'
cat > Vantrel.xml <<XML
<?xml version="1.0"?>
<RegistryItems>
<RegistryItem><KeyName>$key</KeyName><ValueName>Flag</ValueName><SavedValue>N/A</SavedValue><DisableValue>1</DisableValue><EnableValue>0</EnableValue></RegistryItem>
<RegistryItem><KeyName>$key</KeyName><ValueName>Gone</ValueName><SavedValue>N/A</SavedValue><DisableValue>N/A</DisableValue><EnableValue>5</EnableValue></RegistryItem>
</RegistryItems>
XML

"$ctl" check; [ $? -eq 3 ] || fail "check before disable should say 3"
"$ctl" disable --dry-run > plan.txt || fail "dry run failed"
grep -q "^write	.*	Flag	1$" plan.txt || fail "dry run plan: $(cat plan.txt)"
grep -q "^delete	.*	Gone$" plan.txt || fail "dry run plan: $(cat plan.txt)"
"$ctl" reg get "HKLM\\$key" Flag 2>/dev/null && fail "dry run wrote to the registry"
"$ctl" disable > rows.txt || fail "disable failed"
"$ctl" check || fail "check after disable should be 0"
[ "$("$ctl" reg get "HKLM\\$key" Flag --type)" = "4	1" ] || fail "Flag is not DWORD 1"
"$ctl" enable > /dev/null || fail "enable failed"
[ "$("$ctl" reg get "HKLM\\$key" Gone)" = "5" ] || fail "enable did not write Gone"
"$ctl" list --tsv | grep -q "^\*	.*	Gone	5	N/A	N/A	5$" || fail "list: $("$ctl" list --tsv)"
# For people: the file, a header, key paths from their root with single backslashes (as regedit
# and reg query take them), the columns aligned; --tsv keeps the escaped rows for scripts.
"$ctl" list > table.txt || fail "list failed"
[ "$(sed -n 1p table.txt)" = "Vantrel.xml (* marks a current value that differs from the disable value)" ] ||
  fail "list's first line: $(cat table.txt)"
sed -n 2p table.txt | grep -qE '^  Key +Value name +Current +Saved +Disable +Enable$' || fail "list's header: $(cat table.txt)"
row=$(grep -F 'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Test\Parameters ' table.txt | grep -F Gone) ||
  fail "list's row: $(cat table.txt)"
[ "$(echo "$row" | tr -s ' ')" = '* HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Test\Parameters Gone 5 N/A N/A 5' ] ||
  fail "list's row: $row"
grep -qF '\\' table.txt && fail "list doubles backslashes: $(cat table.txt)"
[ "$(wc -l < table.txt)" -eq 4 ] || fail "list's lines: $(cat table.txt)"
[ "$(awk '{ print index($0, "Gone") }' table.txt | sed -n 4p)" = "$(awk '{ print index($0, "Value name") }' table.txt | sed -n 2p)" ] ||
  fail "list's columns are not aligned: $(cat table.txt)"
"$ctl" list --tsv | grep -qF "*	SYSTEM\\\\CurrentControlSet\\\\Services\\\\Test\\\\Parameters	Gone	5	" || fail "list --tsv: $("$ctl" list --tsv)"
"$ctl" save > /dev/null || fail "save failed"
grep -q "<SavedValue>5</SavedValue>" Vantrel.xml || fail "save did not record the current value"
"$ctl" list --json | grep -q '"valueName": "Gone", "current": "5", "saved": "5"' || fail "json: $("$ctl" list --json)"
mkdir other && mv Vantrel.xml other/Items.xml
"$ctl" list 2>missing.err; [ $? -eq 1 ] || fail "a missing settings file must fail with 1"
# It names the folder it looked in, where the shipped files are and how to name another.
grep -qF "File not found. Looked for Vantrel.xml in $(pwd -P). The settings files that ship with Vantrel are in /usr/share/vantrel/: copy one there as Vantrel.xml, or name another with --settings FILE." missing.err ||
  fail "the missing file's message: $(cat missing.err)"
"$ctl" check --settings other/None.xml 2>missing.err; [ $? -eq 1 ] || fail "check of a missing file must fail with 1"
grep -qF "Looked for None.xml in $(pwd -P)/other." missing.err || fail "--settings' folder: $(cat missing.err)"
# A link to nothing, and a folder that is not there, are said as such.
ln -s "$(pwd -P)/gone/Target.xml" other/Dangling.xml
while IFS='|' read -r name said; do
  "$ctl" list --settings "$name" 2>missing.err; [ $? -eq 1 ] || fail "list of $name must fail with 1"
  grep -qF "$said" missing.err || fail "$name: $(cat missing.err)"
done <<TABLE
other/Dangling.xml|Looked for Dangling.xml in $(pwd -P)/other: Dangling.xml is a symbolic link to $(pwd -P)/gone/Target.xml, which is not there.
nofolder/Items.xml|Looked for Items.xml in $(pwd -P)/nofolder, a folder that is not there. The settings files that ship with Vantrel are in /usr/share/vantrel/: create the folder and copy one there as Items.xml
TABLE
rm other/Dangling.xml
"$ctl" list --settings other/Items.xml | grep -q Flag || fail "--settings"
# The success line names the file saved.
"$ctl" save --settings other/Items.xml > saved.out || fail "save --settings failed"
grep -qxF "Vantrel: Registry settings saved to other/Items.xml file." saved.out || fail "save's line: $(cat saved.out)"
[ -f other/Items.xml.bak ] || fail "save kept no other/Items.xml.bak"
"$ctl" list --frobnicate 2>/dev/null; [ $? -eq 2 ] || fail "usage error must give 2"

# An export never goes over the settings file it is made from, under any name that reaches it.
cp other/Items.xml items-before.xml
ln -s Items.xml other/link.xml
ln other/Items.xml hard-link.xml
for out in other/Items.xml ./other/../other/Items.xml other/link.xml hard-link.xml; do
  "$ctl" export --format reg --settings other/Items.xml -o "$out" 2>error.txt
  [ $? -eq 2 ] || fail "export -o $out over the settings file must give 2"
  grep -q "settings file" error.txt || fail "export -o $out: $(cat error.txt)"
  cmp -s other/Items.xml items-before.xml || fail "export -o $out changed the settings file"
done
"$ctl" export --format reg --settings other/Items.xml -o items.reg || fail "export to another file failed"
[ -s items.reg ] || fail "export wrote nothing"
# An option given twice names two things; the command would act on the last alone: refused.
for twice in "save --settings other/Items.xml --settings Vantrel.xml" \
             "list --settings other/Items.xml --settings Vantrel.xml" \
             "export --format reg --settings other/Items.xml --settings Vantrel.xml" \
             "export --format reg -o a.reg -o b.reg"; do
  cp other/Items.xml items-before.xml
  # shellcheck disable=SC2086
  "$ctl" $twice > /dev/null 2> error.txt; [ $? -eq 2 ] || fail "$twice: not refused"
  grep -q "given twice" error.txt || fail "$twice: $(cat error.txt)"
  cmp -s other/Items.xml items-before.xml || fail "$twice changed the settings file"
  [ -e a.reg ] || [ -e b.reg ] && fail "$twice wrote a file"
done
# A control character in a file name never reaches the terminal raw (an escape sequence would
# steer it): messages show it as \xHH.
"$ctl" list --settings "$(printf 'nope\033[2J.xml')" > out.txt 2> error.txt; [ $? -eq 1 ] || fail "list of a missing file"
if grep -q "$(printf '\033')" out.txt error.txt; then fail "an escape sequence reached the terminal"; fi
grep -qF 'nope\x1b[2J.xml' error.txt || fail "the name is not shown: $(cat error.txt)"
echo ok
