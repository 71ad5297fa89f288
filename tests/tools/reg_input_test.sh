#!/usr/bin/env bash
# vantrelctl reg refuses input that the registry layer would turn into something else: numbers
# that are no numbers, names that address another thing, paths that would be cut, deletions of
# whole branches. Each refusal exits 2, says what was wrong and leaves the registry as it was.
set -u
ctl=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export VANTREL_REGISTRY=$dir/registry
mkdir "$VANTREL_REGISTRY"  # a named store folder must exist
fail() { echo "FAIL: $*"; exit 1; }
key='HKLM\Software\VantrelTest\Keep'

# A key with a sub-key, a value and a default value, and the registry's text once it stands.
"$ctl" reg set "$key\\Sub" Inner 3 || fail "setup"
"$ctl" reg set "$key" Flag 7 --type REG_DWORD || fail "setup"
"$ctl" reg set "$key" Text keep || fail "setup"
"$ctl" reg set 'HKLM\Software\VantrelTest' Stay 1 || fail "setup"
# The store's files without the times it records.
snapshot() { cat "$VANTREL_REGISTRY"/*.reg | grep -v '^#time=' | sed 's/^\(\[.*\]\) [0-9]*$/\1/'; }
before=$(snapshot)
case $before in *'Keep\\Sub]'*Inner*) ;; *) fail "the snapshot does not show the key: $before" ;; esac

# refused COMMAND... : exit 2, a message on stderr naming $want, the registry unchanged.
refused() {
  local want=$1; shift
  "$ctl" "$@" > "$dir/out" 2> "$dir/err"
  local status=$?
  [ $status -eq 2 ] || fail "$* gave $status, not 2: $(cat "$dir/err")"
  grep -qF -- "$want" "$dir/err" || fail "$*: the message does not say '$want': $(cat "$dir/err")"
  [ "$(snapshot)" = "$before" ] || fail "$* changed the registry"
}

# Numbers the runtime would read as another number (abc and 1e3 as 0 and 1, 99999999999 as
# 2147483647, a hex text as 0).
while read -r type text; do
  refused "'$text' is not a decimal number" reg set "$key" Flag "$text" --type "$type"
  refused 'value "Flag"' reg set "$key" Flag "$text" --type "$type"
done <<'TABLE'
REG_DWORD abc
REG_DWORD 1e3
REG_DWORD 99999999999
REG_DWORD 4294967296
REG_DWORD -2147483649
REG_DWORD 0x100000000
REG_DWORD 12x
REG_DWORD_BIG_ENDIAN 0xZZ
REG_QWORD 18446744073709551616
REG_QWORD 1.5
TABLE
refused "within 32 bits" reg set "$key" Flag "" --type REG_DWORD

# Value names: blank or empty ones name the default value (and for a deletion the whole key), a
# zero byte ends the name early, Windows refuses longer than 16,383 characters.
long_name=$(head -c 16384 /dev/zero | tr '\0' v)
for name in ' ' '' '   ' 'a\x00b' '\x00'; do
  refused "value name" reg delete "$key" "$name"
  refused "value name" reg set "$key" "$name" x
  refused "value name" reg get "$key" "$name"
done
refused "at most 16383" reg set "$key" "$long_name" x

# A key path the runtime would cut at 255 characters writes into or deletes its parent.
long_key="$key\\$(head -c 240 /dev/zero | tr '\0' k)"
refused "at most 255" reg set "$long_key" V 1
refused "at most 255" reg delete "$long_key" --recursive
refused "at most 255" reg delete "$long_key" Flag

# Whole branches: roots, keys directly under a root, keys that hold anything without
# --recursive.
refused "a root is never deleted" reg delete 'HKLM'
refused "a root is never deleted" reg delete 'HKLM\'
refused "directly under a root" reg delete 'HKLM\SOFTWARE' --recursive
refused "directly under a root" reg delete 'HKEY_LOCAL_MACHINE\Software\\' --recursive
refused "add --recursive" reg delete "$key"
refused "add --recursive" reg delete "$key\\Sub"
refused "for deleting a key" reg delete "$key" Flag --recursive

# Blanks at either end of a name: the registry drops trailing blanks, so 'Flag ' would act on
# Flag and a path ending in '\ ' on its parent.
blank="begin or end with a blank"
refused "$blank" reg set "$key" 'Flag ' 2
refused "$blank" reg set "$key" ' Flag' 2
refused "$blank" reg delete "$key" 'Flag '
refused "$blank" reg get "$key" 'Flag '
refused "$blank" reg set 'HKLM\Software\VantrelTest\Keep ' x 1
refused "$blank" reg set 'HKLM\Software\VantrelTest\Keep \Sub' Inner 1
refused "$blank" reg delete 'HKLM\Software\VantrelTest\ ' --recursive

# Protected keys reached another way: a trailing blank or separator, doubled separators, another
# letter case, a user's hive under HKEY_USERS (which is that user's HKEY_CURRENT_USER) and
# Software\Classes (which is HKEY_CLASSES_ROOT).
while IFS='|' read -r want path; do
  refused "$want" reg delete "$path" --recursive
done <<'TABLE'
blank|HKLM\Software\ 
blank|HKCR\.txt\ 
directly|HKLM\\Software
directly|HKLM\Software\\\
directly|hkey_local_machine\SOFTWARE
directly|HKU\S-1-5-21-0-0-0-1000\Software
directly|HKU\.Default\Software
user's|HKU\.Default
user's|HKU\S-1-5-21-0-0-0-1000\\
directly|HKLM\Software\Classes\.txt
HKEY_CLASSES_ROOT|HKLM\Software\Classes
directly|hklm\software\CLASSES\\.TXT
directly|HKCU\Software\Classes\.txt
directly|HKU\S-1-5-21-0-0-0-1000\Software\Classes\.txt
TABLE

# What is accepted is written exactly.
while read -r type text stored; do
  "$ctl" reg set "$key" N "$text" --type "$type" || fail "$text as $type refused"
  [ "$("$ctl" reg get "$key" N)" = "$stored" ] || fail "$text as $type: $("$ctl" reg get "$key" N)"
done <<'TABLE'
REG_DWORD 0x10 16
REG_DWORD -1 4294967295
REG_DWORD +2147483648 2147483648
REG_DWORD_BIG_ENDIAN 0x12C 300
REG_QWORD -1 18446744073709551615
REG_QWORD 0xFFFFFFFFFFFFFFFF 18446744073709551615
TABLE

# A key's default value, as reg.exe's /ve: set, read and deleted by --default, the key and its
# other values left alone.
"$ctl" reg set "$key" --default 'the default' || fail "reg set --default"
[ "$("$ctl" reg get "$key")" = "the default" ] || fail "reg get KEY: $("$ctl" reg get "$key")"
[ "$("$ctl" reg get "$key" --default)" = "the default" ] || fail "reg get --default"
"$ctl" reg set "$key" --default 9 --type REG_DWORD || fail "reg set --default --type"
[ "$("$ctl" reg get "$key" --default --type)" = "4	9" ] || fail "default as REG_DWORD"
"$ctl" reg delete "$key" --default || fail "reg delete --default"
"$ctl" reg get "$key" --default 2>/dev/null; [ $? -eq 1 ] || fail "the default value is still there"
[ "$("$ctl" reg get "$key" Text)" = keep ] || fail "deleting the default value took the key"
"$ctl" reg set "$key" --default 2>/dev/null; [ $? -eq 2 ] || fail "--default without TEXT"
"$ctl" reg delete "$key" Text --default 2>/dev/null; [ $? -eq 2 ] || fail "a name and --default"

# Failures name the key and the value, in one line.
"$ctl" reg get "$key" Missing 2> "$dir/err"; [ $? -eq 1 ] || fail "reading a missing value"
[ "$(cat "$dir/err")" = "vantrelctl: $key value \"Missing\": cannot read: File Not Found (error 2)" ] ||
  fail "message: $(cat "$dir/err")"

# Letters typed in a UTF-8 terminal are the code page's letters: the key "Zařízení" set from a
# UTF-8 locale is the one a C-locale caller names with its code-page bytes (ř 0xF8, í 0xED), and
# its value text too. A letter the code page lacks, or bytes that are no UTF-8, never become
# other letters: refused, nothing written.
LC_ALL=C.UTF-8 "$ctl" reg set 'HKLM\Software\Zařízení' 'Název' 'hodnota ř' || fail "UTF-8 set"
cp_key=$(printf 'HKLM\\Software\\Za\370\355zen\355')
[ "$(LC_ALL=C "$ctl" reg get "$cp_key" 'N\xe1zev')" = 'hodnota \xf8' ] ||
  fail "the UTF-8 letters named another key: $(LC_ALL=C "$ctl" reg get "$cp_key" 'N\xe1zev' 2>&1)"
[ "$(LANG=cs_CZ.utf8 LC_ALL= "$ctl" reg get 'HKLM\Software\Zařízení' 'Název')" = 'hodnota \xf8' ] ||
  fail "reading back through the UTF-8 name"
before=$(snapshot)
LC_ALL=C.UTF-8 refused "has no form in code page" reg set 'HKLM\Software\Ключ' V 1
LC_ALL=C.UTF-8 refused "has no form in code page" reg set "$key" 'Имя' 1
LC_ALL=C.UTF-8 refused "has no form in code page" reg set "$key" V 'значение'
LC_ALL=C.UTF-8 refused "not valid UTF-8" reg set "$cp_key" V 1
LC_ALL=C.UTF-8 refused "not valid UTF-8" reg get "$cp_key" 'N\xe1zev'
# Another character set's bytes are other letters in the code page (Latin-2 "š" is 1250's "ą").
LC_ALL=cs_CZ.ISO-8859-2 refused "neither UTF-8 nor" reg set "$key" "$(printf '\271')" 1
LC_ALL= LANG=cs_CZ.CP1250 "$ctl" reg set "$key" "$(printf 'N\341zev')" 1 || fail "a code-page 1250 locale"
[ "$(LC_ALL=C "$ctl" reg get "$key" 'N\xe1zev')" = 1 ] || fail "the code-page 1250 name"

# Deleting a sub-key tree is asked for by name.
"$ctl" reg delete "$key\\Sub\\" Inner || fail "deleting the value Inner"
"$ctl" reg delete "$key\\Sub" || fail "an empty key needs no --recursive"
"$ctl" reg set "$key\\Sub\\Deeper" V 1 || fail "setup"
"$ctl" reg delete "$key" --recursive || fail "--recursive"
"$ctl" reg get "$key" Text 2>/dev/null; [ $? -eq 1 ] || fail "the key is still there"
[ "$("$ctl" reg get 'HKLM\Software\VantrelTest' Stay)" = 1 ] || fail "the parent went too"
echo ok
