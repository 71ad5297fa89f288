#!/usr/bin/env bash
# vantrelctl export --format reg against Wine's regedit: a table of names that need escaping
# (backslash, quote, brackets, code page 1250 letters) is imported with "regedit /s" into the
# prefix and every value reads back as exported, every "N/A" value is gone; the current values
# of that prefix exported and imported into a second prefix give the same list.
# run_in_prefix.sh gives it a fresh prefix (WINEPREFIX). Usage: export_reg_test.sh WINE64 VANTRELCTL
set -u
wine=$1
ctl=$2
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
dir=$(mktemp -d)
second=$dir/second-prefix
cleanup() {
  [ -d "$second" ] && WINEPREFIX=$second bounded -q 60 "$wineserver" -k
  rm -rf "$dir"
}
trap cleanup EXIT
cd "$dir"
unset VANTREL_REGISTRY  # the prefix is the store
fail() { echo "FAIL: $*"; exit 1; }

# Every call into Wine is bounded (`bounded`, which names a command that hung).
. "$(dirname "$0")/wine_test_env.sh"
# The store reads Wine's files once the wineserver has saved them and ended.
settle() {
  bounded 120 "$wineserver" -w
  [ $? -ne 124 ] || fail "the wineserver of $WINEPREFIX did not end"
}
regedit_import() {
  bounded 120 "$wine" regedit /s "$1" || fail "regedit /s $1 failed in $WINEPREFIX"
  settle
}

# key, value name, saved, disable, enable: as 'vantrelctl xml write' reads them (\\ is a
# backslash, \xHH a code page 1250 byte: \xe8 c caron, \x8a S caron, \x9a s caron).
k='SOFTWARE\\VantrelExport'
tab=$'\t'
cat > items.txt <<ITEMS
$k\\Plain${tab}Plain${tab}N/A${tab}1${tab}0
$k\\Plain${tab}back\\\\slash${tab}N/A${tab}2${tab}0
$k\\Plain${tab}say "hi"${tab}N/A${tab}3${tab}0
$k\\Plain${tab}both \\\\ and "${tab}N/A${tab}4${tab}0
$k\\Plain${tab}\\\\${tab}N/A${tab}5${tab}0
$k\\Kl\\xe8\\x9a${tab}\\x8a\\xe8 value${tab}N/A${tab}4294967295${tab}0
$k\\a]b[c${tab}@${tab}N/A${tab}6${tab}0
$k\\quote"key${tab}a=b;c${tab}N/A${tab}7${tab}0
$k\\Plain${tab}{{ x }}${tab}N/A${tab}8${tab}0
$k\\Plain${tab}Gone${tab}N/A${tab}N/A${tab}9
$k\\Kl\\xe8\\x9a${tab}Also gone${tab}N/A${tab}N/A${tab}10
ITEMS
"$ctl" xml write Vantrel.xml < items.txt || fail "xml write of the table failed"
[ "$("$ctl" xml load Vantrel.xml | wc -l)" -eq 11 ] || fail "the table did not load whole: $("$ctl" xml load Vantrel.xml)"

# Every value present first, so that removing it is seen.
"$ctl" enable > /dev/null || fail "enable failed"
"$ctl" check > /dev/null; [ $? -eq 3 ] || fail "check after enable should say 3"

"$ctl" export --format reg -o disable.reg || fail "export of the disable values failed"
[ "$(head -c 2 disable.reg | od -An -tx1 | tr -d ' ')" = "fffe" ] || fail "no UTF-16LE byte order mark"
regedit_import disable.reg
"$ctl" list > imported.txt || fail "list after the import failed"
"$ctl" check > /dev/null || fail "after importing the disable values some differ: $(cat imported.txt)"
for name in Gone 'Also gone'; do
  key='HKLM\SOFTWARE\VantrelExport\Plain'
  [ "$name" = Gone ] || key='HKLM\SOFTWARE\VantrelExport\Kl\xe8\x9a'
  "$ctl" reg get "$key" "$name" > /dev/null 2>&1; [ $? -eq 1 ] || fail "'$name' (N/A) is still there"
done
# Wine's own reader sees the escaped names as they were meant.
bounded 120 "$wine" reg query 'HKLM\SOFTWARE\VantrelExport\Plain' > query.txt || fail "reg query failed"
settle
for line in '    back\slash    REG_DWORD    0x2' '    say "hi"    REG_DWORD    0x3' \
            '    both \ and "    REG_DWORD    0x4' '    \    REG_DWORD    0x5' \
            '    {{ x }}    REG_DWORD    0x8'; do
  tr -d '\r' < query.txt | grep -qxF -- "$line" || fail "reg query lacks '$line': $(cat query.txt)"
done

# Current values that no single column holds, exported and imported into a second prefix.
"$ctl" reg set 'HKLM\SOFTWARE\VantrelExport\Plain' Plain 42 --type REG_DWORD || fail "reg set failed"
"$ctl" reg delete 'HKLM\SOFTWARE\VantrelExport\Plain' 'say "hi"' || fail "reg delete failed"
"$ctl" list --tsv > first.txt || fail "list of the first prefix failed"
"$ctl" export --format reg --values current -o current.reg || fail "export of the current values failed"
export WINEPREFIX=$second
bounded 300 "$wine" wineboot -i > /dev/null 2>&1 || fail "could not create the second prefix"
settle
regedit_import current.reg
"$ctl" list --tsv > second.txt || fail "list of the second prefix failed"
diff first.txt second.txt || fail "the second prefix lists other values than the first"
grep -q "	Plain	42	" second.txt || fail "the second prefix lacks Plain=42"
grep -q "	say \"hi\"	N/A	" second.txt || fail "the second prefix has 'say \"hi\"'"
echo ok
