#!/usr/bin/env bash
# Every text of a settings file means what it says, for every command that applies or exports
# it: a value text is "N/A" or a whole number that fits 32 bits (anything else fails that item,
# naming it, and nothing is written for it), and a Unicode settings file names the same keys and
# values as the program's own single-byte text (code page 1250 here).
set -u
ctl=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
export VANTREL_REGISTRY=$dir/registry
mkdir "$VANTREL_REGISTRY"
fail() { echo "FAIL: $*"; exit 1; }
key='SYSTEM\CurrentControlSet\Services\Test\Parameters'
item() {
  printf '<RegistryItem><KeyName>%s</KeyName><ValueName>%s</ValueName><SavedValue>N/A</SavedValue>' "$key" "$1"
  printf '<DisableValue>%s</DisableValue><EnableValue>0</EnableValue></RegistryItem>\n' "$2"
}

# Texts that are numbers are written as those numbers.
while read -r text stored; do
  [ "$text" = blank ] && text=  # a blank text writes 0, as it always has
  { echo '<RegistryItems>'; item Good "$text"; echo '</RegistryItems>'; } > Vantrel.xml
  "$ctl" disable > /dev/null 2> err || fail "disable with '$text': $(cat err)"
  [ "$("$ctl" reg get "HKLM\\$key" Good)" = "$stored" ] ||
    fail "'$text' stored as $("$ctl" reg get "HKLM\\$key" Good)"
  "$ctl" check > /dev/null || fail "'$text': check after disable says the value differs"
done <<'TABLE'
1 1
0x10 16
0XfF 255
4294967295 4294967295
-1 4294967295
blank 0
TABLE

# Texts that are not: that item fails naming itself and its text, in one line; nothing is written
# for it, the next item still is; a dry run says it would refuse it; the exports refuse the file.
while IFS='|' read -r text; do
  { echo '<RegistryItems>'; item Bad "$text"; item Good 1; echo '</RegistryItems>'; } > Vantrel.xml
  "$ctl" reg delete "HKLM\\$key" Good 2> /dev/null
  "$ctl" disable > /dev/null 2> err
  [ $? -eq 1 ] || fail "disable with '$text' did not fail"
  [ "$(wc -l < err)" -eq 1 ] || fail "'$text': not one line: $(cat err)"
  grep -qF "Item 1 (value name \"Bad\")" err || fail "'$text': the item is not named: $(cat err)"
  grep -qF "\"$text\"" err || fail "'$text': the text is not named: $(cat err)"
  "$ctl" reg get "HKLM\\$key" Bad 2> /dev/null && fail "'$text' was written"
  [ "$("$ctl" reg get "HKLM\\$key" Good)" = 1 ] || fail "'$text': the next item was not written"
  "$ctl" disable --dry-run > plan.txt 2> /dev/null; [ $? -eq 1 ] || fail "'$text': dry run should say 1"
  grep -q "^refuse	.*	Bad	" plan.txt || fail "'$text': dry run: $(cat plan.txt)"
  for format in reg 'ansible --group hosts'; do
    # shellcheck disable=SC2086
    "$ctl" export --format $format -o out.${format%% *} 2> err
    [ $? -eq 1 ] || fail "export $format with '$text' did not fail"
    grep -qF "item 1" err && grep -qF "\"$text\"" err || fail "export $format: $(cat err)"
    [ -e out.${format%% *} ] && fail "export $format with '$text' wrote a file"
  done
done <<'TABLE'
abc
l
1.9
99999999999
4294967296
-2147483649
0x
0x1FFFFFFFF
12x
 1
TABLE

# A settings file in UTF-8 (declared, or with a byte-order mark) or UTF-16 names the same key and
# value as its single-byte form: S, o, f, t, ... r with caron is byte 0xF8 of code page 1250.
utf8='<?xml version="1.0" encoding="UTF-8"?>
<RegistryItems><RegistryItem><KeyName>SOFTWARE\Zařízení</KeyName><ValueName>Hodnotač</ValueName>
<SavedValue>N/A</SavedValue><DisableValue>7</DisableValue><EnableValue>N/A</EnableValue></RegistryItem></RegistryItems>'
wanted_key=$(printf 'HKLM\\SOFTWARE\\Za\xf8\xedzen\xed')
for form in utf-8 utf-8-bom utf-16 utf-16le utf-16be; do
  case $form in
    utf-8) printf '%s' "$utf8" > Vantrel.xml ;;
    utf-8-bom) { printf '\xef\xbb\xbf'; printf '%s' "$utf8"; } > Vantrel.xml ;;
    *) printf '%s' "$utf8" | iconv -f UTF-8 -t "$(echo $form | tr a-z A-Z)" > Vantrel.xml ;;
  esac
  "$ctl" enable > /dev/null 2> err || fail "$form: enable: $(cat err)"
  "$ctl" disable > /dev/null 2> err || fail "$form: disable: $(cat err)"
  [ "$(LC_ALL=C "$ctl" reg get "$wanted_key" 'Hodnota\xe8')" = 7 ] || fail "$form: the value is not where it was named"
  "$ctl" list --json | grep -qF '"keyName": "SOFTWARE\\Za\u0159\u00edzen\u00ed", "valueName": "Hodnota\u010d"' ||
    fail "$form: json: $("$ctl" list --json)"
done
grep -q 'ZaY' "$VANTREL_REGISTRY/system.reg" && fail "a folded key was written"

# A character code page 1250 has no form for fails the load, naming it; nothing is written.
printf '%s' "${utf8/Hodnota/Hodnot$'\xc3\xa8'}" > Vantrel.xml
before=$(cat "$VANTREL_REGISTRY/system.reg")
"$ctl" disable > /dev/null 2> err; [ $? -eq 1 ] || fail "a character outside the code page was accepted"
grep -qF "U+00E8" err || fail "the character is not named: $(cat err)"
[ "$(cat "$VANTREL_REGISTRY/system.reg")" = "$before" ] || fail "something was written"

# A save writes the program's text and says which code page it is in: names whose code page 1250
# bytes also form UTF-8 ("ÓŁ" is the UTF-8 of U+04E3, "Ť" after "Ä" that of U+010D) read back
# as the same names, and the saved file loads again.
printf '<?xml version="1.0" encoding="UTF-8"?>\n<RegistryItems><RegistryItem><KeyName>SOFTWARE\\GÓŁKA</KeyName><ValueName>ÄŤ</ValueName><SavedValue>N/A</SavedValue><DisableValue>5</DisableValue><EnableValue>1</EnableValue></RegistryItem></RegistryItems>\n' > Vantrel.xml
"$ctl" list > before.txt 2> err || fail "list before the save: $(cat err)"
"$ctl" save > /dev/null 2> err || fail "save: $(cat err)"
"$ctl" list > after.txt 2> err || fail "list after the save: $(cat err)"
cmp -s before.txt after.txt || fail "the names changed with the save: $(cat before.txt) / $(cat after.txt)"
"$ctl" disable > /dev/null 2> err || fail "disable after the save: $(cat err)"
[ "$(LC_ALL=C "$ctl" reg get "$(printf 'HKLM\\SOFTWARE\\G\xd3\xa3KA')" "$(printf '\xc4\x8d')")" = 5 ] ||
  fail "the saved file named another value"

# A character reference means a Unicode character: "&#269;" and "&#x10D;" are c-caron, code page
# 1250's 0xE8, in either kind of file; "&#232;" (e-grave) has no form there, so its item names no
# key the file means: listed but failing, never written.
for decl in '' '<?xml version="1.0" encoding="UTF-8"?>'; do
  printf '%s<RegistryItems><RegistryItem><KeyName>SOFTWARE\\T&#269;&#x10D;</KeyName><ValueName>V</ValueName><SavedValue>N/A</SavedValue><DisableValue>3</DisableValue><EnableValue>0</EnableValue></RegistryItem></RegistryItems>\n' "$decl" > Vantrel.xml
  "$ctl" disable > /dev/null 2> err || fail "disable of a referenced letter ($decl): $(cat err)"
  [ "$(LC_ALL=C "$ctl" reg get "$(printf 'HKLM\\SOFTWARE\\T\xe8\xe8')" V)" = 3 ] ||
    fail "&#269; did not name c-caron ($decl)"
  LC_ALL=C "$ctl" reg delete "$(printf 'HKLM\\SOFTWARE\\T\xe8\xe8')" V > /dev/null || fail "reg delete"
  printf '%s<RegistryItems><RegistryItem><KeyName>SOFTWARE\\Caf&#232;</KeyName><ValueName>V</ValueName><SavedValue>N/A</SavedValue><DisableValue>3</DisableValue><EnableValue>0</EnableValue></RegistryItem></RegistryItems>\n' "$decl" > Vantrel.xml
  before=$(cat "$VANTREL_REGISTRY/system.reg")
  "$ctl" list > /dev/null 2> err; [ $? -eq 1 ] || fail "list of an unmappable reference did not fail ($decl)"
  "$ctl" disable > /dev/null 2>&1 && fail "disable applied an unmappable reference ($decl)"
  [ "$(cat "$VANTREL_REGISTRY/system.reg")" = "$before" ] || fail "an unmappable reference wrote ($decl)"
done

# Indented names keep their leading blanks, which would name another key or value: refused by
# the commands that write and by export, as reg set refuses them.
for names in '<KeyName>\n   SOFTWARE\\Ind\n</KeyName><ValueName>V</ValueName>' \
             '<KeyName>SOFTWARE\\Ind</KeyName><ValueName>  V</ValueName>'; do
  printf "<RegistryItems><RegistryItem>$names<SavedValue>N/A</SavedValue><DisableValue>3</DisableValue><EnableValue>0</EnableValue></RegistryItem></RegistryItems>\n" > Vantrel.xml
  before=$(cat "$VANTREL_REGISTRY/system.reg")
  "$ctl" disable > /dev/null 2> err; [ $? -eq 1 ] || fail "an indented name was applied: $names"
  grep -q "begins or ends with a blank" err || fail "indented name: $(cat err)"
  [ "$(cat "$VANTREL_REGISTRY/system.reg")" = "$before" ] || fail "an indented name wrote: $names"
  "$ctl" export --format reg -o ind.reg > /dev/null 2>&1 && fail "export took an indented name"
done

# JSON is Unicode: the euro sign of code page 1250 (0x80) goes out as U+20AC, not as U+0080.
printf '<RegistryItems><RegistryItem><KeyName>SOFTWARE\\E\x80</KeyName><ValueName>V\x81</ValueName><SavedValue>N/A</SavedValue><DisableValue>1</DisableValue><EnableValue>0</EnableValue></RegistryItem></RegistryItems>' > Vantrel.xml
"$ctl" list --json > json.txt || fail "list --json"
grep -qF '"keyName": "SOFTWARE\\E\u20ac", "valueName": "V\u0081"' json.txt || fail "json: $(cat json.txt)"
python3 -c 'import json,sys; json.load(open(sys.argv[1]))' json.txt || fail "not JSON: $(cat json.txt)"
# An item that names no key (empty, or only separators) would write HKEY_LOCAL_MACHINE's own
# default value: refused, naming the item; the other items are written.
for empty in '' '\\' '\\\\'; do
  { echo '<RegistryItems>'
    printf '<RegistryItem><KeyName>%s</KeyName><ValueName></ValueName><SavedValue>N/A</SavedValue><DisableValue>7</DisableValue><EnableValue>0</EnableValue></RegistryItem>\n' "$empty"
    item After 1; echo '</RegistryItems>'; } > Vantrel.xml
  "$ctl" disable > /dev/null 2> err; [ $? -eq 1 ] || fail "an item without a key ('$empty') was applied"
  [ -n "$empty" ] || grep -q "names no key" err || fail "no key: $(cat err)"
  "$ctl" reg get HKLM --default > /dev/null 2>&1 && fail "HKLM's default value was written ('$empty')"
  [ -n "$empty" ] && continue  # a path of separators only fails already when it is read
  [ "$("$ctl" reg get "HKLM\\$key" After)" = 1 ] || fail "the next item was not written"
  "$ctl" reg delete "HKLM\\$key" After || fail "reg delete"
done
# A key path longer than a row holds is cut on loading and then names another key: list and check
# show the row but fail, naming the file and the row, and list --json marks it; disable refuses it.
long_key="SOFTWARE\\$(printf 'L%.0s' $(seq 240))"
{ echo '<RegistryItems>'; item Short 1; printf '<RegistryItem><KeyName>%s</KeyName><ValueName>X</ValueName><SavedValue>N/A</SavedValue><DisableValue>1</DisableValue><EnableValue>0</EnableValue></RegistryItem>\n' "$long_key"; echo '</RegistryItems>'; } > Vantrel.xml
for command in list check "list --json"; do
  "$ctl" $command > out.txt 2> err; status=$?
  [ $status -eq 1 ] || fail "$command with a cut key exited $status"
  grep -q "Vantrel.xml: row 2's key path, value name or a value is longer than the list holds and was cut" err ||
    fail "$command: $(cat err)"
  [ "$(wc -l < err)" -eq 1 ] || fail "$command named more than the cut row: $(cat err)"
done
[ "$(grep -c '"textCut": true' out.txt)" -eq 1 ] || fail "list --json does not mark the one cut row"
"$ctl" disable > /dev/null 2>&1 && fail "disable applied a cut key"
# A value text longer than its 20 characters is cut into another number: refused the same way,
# and the file is not saved over.
{ echo '<RegistryItems>'; item Long 000000000000000000001; echo '</RegistryItems>'; } > Vantrel.xml
cp Vantrel.xml before.xml
"$ctl" check > /dev/null 2> err; [ $? -eq 1 ] || fail "check with a cut value did not fail"
"$ctl" disable > /dev/null 2> err && fail "disable wrote a cut value"
"$ctl" reg get "HKLM\\$key" Long > /dev/null 2>&1 && fail "a cut value was written"
"$ctl" export --format reg -o cut.reg > /dev/null 2>&1 && fail "export took a cut value"
"$ctl" save > /dev/null 2>&1 && fail "save wrote over a file whose value was cut"
cmp -s Vantrel.xml before.xml || fail "the file with a cut value was changed"
# A current value longer than the list's 20 characters (a string) is shown cut; saved so, it would
# restore another value: the save is refused, naming the item, and the file stays as it was.
{ echo '<RegistryItems>'; item Text 1; echo '</RegistryItems>'; } > Vantrel.xml
cp Vantrel.xml before.xml
"$ctl" reg set "HKLM\\$key" Text 123456789012345678901234 --type REG_SZ > /dev/null 2> err ||
  fail "reg set: $(cat err)"
"$ctl" save > /dev/null 2> err && fail "save recorded a cut current value"
grep -q "longer than the 20 characters a saved value holds" err || fail "cut current value: $(cat err)"
cmp -s Vantrel.xml before.xml || fail "the save of a cut current value changed the file"
"$ctl" reg delete "HKLM\\$key" Text > /dev/null || fail "reg delete"
echo ok
