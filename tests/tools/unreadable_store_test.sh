#!/usr/bin/env bash
# A registry file that cannot be read is no empty registry: only a value that does not exist is
# "N/A". Whatever makes system.reg unreadable, every command says so once, in one line naming
# the file and the reason, exits 1, and writes nothing: no export that would remove every value,
# no save that would record N/A for values that exist, no write into the store.
set -u
ctl=$1
dir=$(mktemp -d)
trap 'chmod -R u+rwx "$dir"; rm -rf "$dir"' EXIT
cd "$dir"
export VANTREL_REGISTRY=$dir/registry
mkdir "$VANTREL_REGISTRY"
fail() { echo "FAIL: $*"; exit 1; }
key='SYSTEM\CurrentControlSet\Services\Test\Parameters'
{
  echo '<RegistryItems>'
  for name in Flag Other; do
    echo "<RegistryItem><KeyName>$key</KeyName><ValueName>$name</ValueName><SavedValue>N/A</SavedValue><DisableValue>1</DisableValue><EnableValue>0</EnableValue></RegistryItem>"
  done
  echo '</RegistryItems>'
} > Vantrel.xml
"$ctl" disable > /dev/null || fail "setup"
"$ctl" save > /dev/null || fail "setup"
rm -f Vantrel.xml.bak
cp Vantrel.xml settings.xml
system=$VANTREL_REGISTRY/system.reg
cp "$system" system-good.reg

# damage|what the message names
while IFS='|' read -r damage want; do
  rm -rf "$system"
  case $damage in
    mark) { printf '\xef\xbb\xbf'; cat system-good.reg; } > "$system" ;;
    header) sed '1s/.*/WINE REGISTRY Version 9/' system-good.reg > "$system" ;;
    folder) mkdir "$system" ;;
  esac
  state() { ls -la "$VANTREL_REGISTRY"; [ -f "$system" ] && cat "$system"; cat Vantrel.xml; }
  before=$(state)
  for command in os list check disable enable restore 'disable --dry-run' save \
                 'export --format reg --values current -o out.reg' \
                 'export --format ansible --group hosts --values current -o out.yml' \
                 'reg get HKLM\'"$key"' Flag' 'reg set HKLM\'"$key"' Flag 5' \
                 'reg delete HKLM\'"$key"' Flag'; do
    # shellcheck disable=SC2086
    "$ctl" $command > out.txt 2> err.txt
    status=$?
    [ $status -eq 1 ] || fail "$damage: $command gave $status: $(cat err.txt)"
    [ "$(wc -l < err.txt)" -eq 1 ] || fail "$damage: $command: not one line: $(cat err.txt)"
    grep -qF "$system" err.txt || fail "$damage: $command does not name the file: $(cat err.txt)"
    grep -qF "$want" err.txt || fail "$damage: $command does not say '$want': $(cat err.txt)"
    grep -q "Entry Not Found\|N/A" err.txt && fail "$damage: $command: $(cat err.txt)"
    grep -q "N/A\|=-" out.txt && fail "$damage: $command printed values nobody read: $(cat out.txt)"
    [ -e out.reg ] || [ -e out.yml ] && fail "$damage: $command wrote an export"
    [ "$(state)" = "$before" ] || fail "$damage: $command changed the store or the settings file"
    cmp -s Vantrel.xml settings.xml || fail "$damage: $command changed the settings file"
  done
done <<'TABLE'
mark|not a Wine registry file
header|not a Wine registry file
folder|cannot read
TABLE

# Restored, the same commands work again: nothing was left behind.
rm -rf "$system"
cp system-good.reg "$system"
"$ctl" check > /dev/null || fail "check on the restored store"
"$ctl" export --format reg --values current -o out.reg || fail "export on the restored store"

# Every failure is one line naming what it concerns: the settings file an export was made from.
"$ctl" export --format reg --settings Missing.xml > /dev/null 2> err.txt
[ $? -eq 1 ] || fail "an export from a missing settings file did not fail"
[ "$(wc -l < err.txt)" -eq 1 ] && grep -q '^vantrelctl: Missing.xml: .' err.txt || fail "export: $(cat err.txt)"
echo ok
