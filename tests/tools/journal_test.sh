#!/usr/bin/env bash
# The journal of changes from the command line: hand-set values survive disable then restore
# through undo, undo --dry-run writes nothing, a damaged journal stops no command and is left as
# it is, history --export writes the values before a change as a .reg file.
set -u
ctl=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
export VANTREL_REGISTRY=$dir/registry
mkdir "$VANTREL_REGISTRY"
fail() { echo "FAIL: $*"; exit 1; }
run() { timeout 60 "$ctl" "$@"; }
key='SYSTEM\CurrentControlSet\Services\LanmanWorkstation\Parameters'
journal='HKLM\SOFTWARE\Vantrel\Journal'
item() {
  printf '<RegistryItem><KeyName>%s</KeyName><ValueName>%s</ValueName><SavedValue>N/A</SavedValue>' "$key" "$1"
  printf '<DisableValue>%s</DisableValue><EnableValue>N/A</EnableValue></RegistryItem>\n' "$2"
}
{ echo '<RegistryItems>'; item CachedOpenLimit 0; item AsText 1; item Absent 0; echo '</RegistryItems>'; } > Vantrel.xml
# Every value as `reg get --type` reads it ("missing" when it is not there).
values() {
  for name in CachedOpenLimit AsText Absent; do
    printf '%s=%s\n' "$name" "$(run reg get "HKLM\\$key" "$name" --type 2> /dev/null || echo missing)"
  done
}
change_of() {  # the number of the change whose command is "$1"
  run history --json | python3 -c 'import json,sys; print([c["number"] for c in json.load(sys.stdin)["changes"] if c["command"] == sys.argv[1]][-1])' "$1"
}

# Hand-set values, saved values N/A: disable, restore (which deletes them), undo of the disable.
run reg set "HKLM\\$key" CachedOpenLimit 5 --type REG_DWORD || fail "reg set"
run reg set "HKLM\\$key" AsText 'set by hand' || fail "reg set"
hand=$(values)
run disable > /dev/null 2> err || fail "disable: $(cat err)"
run restore > /dev/null 2> err || fail "restore: $(cat err)"
[ "$(run reg get "HKLM\\$key" CachedOpenLimit 2> /dev/null)" = "" ] || fail "restore did not delete the value"
run history > history.txt 2> err || fail "history: $(cat err)"
[ -s err ] && fail "history said: $(cat err)"
grep -qF "CachedOpenLimit	5 -> 0" history.txt || fail "history: $(cat history.txt)"
grep -qF "Absent	absent -> 0" history.txt || fail "history: $(cat history.txt)"
grep -qF "AsText	set by hand (REG_SZ) -> 1" history.txt || fail "history: $(cat history.txt)"
grep -q "^[0-9]*	.*	vantrelctl disable	$dir/Vantrel.xml\$" history.txt || fail "history: $(cat history.txt)"
disable=$(change_of "vantrelctl disable") || fail "no disable in the journal"

# The dry run writes nothing: not the values, not the journal.
cp "$VANTREL_REGISTRY/system.reg" system.before
run undo "$disable" --dry-run > plan.txt 2> err || fail "undo --dry-run: $(cat err)"
cmp -s system.before "$VANTREL_REGISTRY/system.reg" || fail "undo --dry-run wrote"
grep -q "^write	.*	CachedOpenLimit	5\$" plan.txt || fail "plan: $(cat plan.txt)"
grep -q "^unchanged	.*	Absent	absent\$" plan.txt || fail "plan: $(cat plan.txt)"
grep -q "^restart	" plan.txt || fail "plan without restart lines: $(cat plan.txt)"

run undo "$disable" > undo.txt 2> err || fail "undo: $(cat err)"
[ "$(values)" = "$hand" ] || fail "after undo: $(values), wanted $hand"
grep -q "^Restart " undo.txt || fail "undo without restart lines: $(cat undo.txt)"
# The undo is a change of its own: undoing it deletes the values again.
undo=$(change_of "vantrelctl undo $disable") || fail "the undo is not in the journal"
run undo > /dev/null 2> err || fail "undo of the undo: $(cat err)"
[ "$(run history --json | python3 -c 'import json,sys; print(json.load(sys.stdin)["changes"][-1]["command"])')" = "vantrelctl undo $undo" ] ||
  fail "undo without N did not take the last change"
run reg get "HKLM\\$key" CachedOpenLimit > /dev/null 2>&1 && fail "undo of the undo left the value"

# The values before a change as a .reg file.
run history --export before.reg --format reg "$disable" 2> err || fail "export: $(cat err)"
iconv -f UTF-16 -t UTF-8 before.reg | tr -d '\r' > before.txt || fail "not UTF-16"
grep -qxF '"CachedOpenLimit"=dword:00000005' before.txt || fail "export: $(cat before.txt)"
grep -qxF '"AsText"="set by hand"' before.txt || fail "export: $(cat before.txt)"
grep -qxF '"Absent"=-' before.txt || fail "export: $(cat before.txt)"
grep -qxF "[HKEY_LOCAL_MACHINE\\$key]" before.txt || fail "export: $(cat before.txt)"

# Changes that are not there.
run undo 999 > /dev/null 2> err; [ $? -eq 1 ] || fail "undo of a missing change did not fail"
grep -qF "change 999 is not in the journal" err || fail "undo 999: $(cat err)"
run undo 0 > /dev/null 2>&1; [ $? -eq 2 ] || fail "undo 0 is no change number"

# A damaged journal: every command still works, one warning names the place, the value is kept.
while IFS='|' read -r slot type text; do
  run reg set "$journal" "$slot" "$text" --type "$type" || fail "reg set journal"
  kept=$(run reg get "$journal" "$slot" --type)
  run reg set "HKLM\\$key" CachedOpenLimit 9 --type REG_DWORD || fail "reg set"
  run disable > /dev/null 2> err || fail "disable with a damaged journal ($text): $(cat err)"
  [ "$(wc -l < err)" -eq 1 ] || fail "not one line: $(cat err)"
  grep -qF "warning: " err && grep -qF 'HKEY_LOCAL_MACHINE\SOFTWARE\Vantrel\Journal' err &&
    grep -qF "value \"$slot\"" err || fail "the warning does not name the value: $(cat err)"
  [ "$(run reg get "HKLM\\$key" CachedOpenLimit)" = 0 ] || fail "disable did not write"
  [ "$(run reg get "$journal" "$slot" --type)" = "$kept" ] || fail "the damaged value was changed"
  run history > /dev/null 2> err || fail "history with a damaged journal: $(cat err)"
  grep -qF "value \"$slot\"" err || fail "history does not name the damage: $(cat err)"
  run reg delete "$journal" "$slot" || fail "reg delete"
done <<'TABLE'
49|REG_SZ|garbage
48|REG_DWORD|7
47|REG_SZ|1	t	c	s
TABLE

# Commands at once each keep their entry: four writers, each with a value of its own, three
# changes each, twelve new entries.
count() { run history --json | python3 -c 'import json,sys; print(len(json.load(sys.stdin)["changes"]))'; }
before=$(count)
for w in 1 2 3 4; do
  { echo '<RegistryItems>'; item "Writer$w" 0; echo '</RegistryItems>'; } > "writer$w.xml"
  (for round in 1 2 3; do
     run reg set "HKLM\\$key" "Writer$w" "$round" --type REG_DWORD || exit 1
     run disable --settings "writer$w.xml" > /dev/null 2> "err.$w" || exit 1
     [ -s "err.$w" ] && exit 1
   done
   exit 0) &
done
for w in 1 2 3 4; do wait -n || fail "a writer at once failed: $(cat err.* 2> /dev/null)"; done
after=$(count)
[ "$after" -eq $((before + 12)) ] || fail "writers at once: $before entries, then $after, not $((before + 12))"

# A forged entry that names the journal itself is never written back by undo: the record stays.
run reg set "$journal" Keep evidence || fail "reg set"
forged=$(printf '900\t2026-12-11T08:00:00+00:00\tvantrelctl disable\t%s\nSOFTWARE\\\\Vantrel\\\\Journal\tKeep\t-\t1:evidence\n' "$dir/Vantrel.xml" |
  python3 -c 'import sys; print(sys.stdin.read().replace("\\", "\\\\").replace("\t", "\\x09").replace("\n", "\\x0a"), end="")')
run reg set "$journal" 50 "$forged" || fail "reg set forged"
run undo 900 > forged.txt 2> err; [ $? -eq 1 ] || fail "undo of a forged entry: $(cat forged.txt err)"
grep -q "journal of changes itself" forged.txt err || fail "forged: $(cat forged.txt err)"
[ "$(run reg get "$journal" Keep)" = evidence ] || fail "undo wrote into the journal"
run reg delete "$journal" 50 || fail "reg delete"

# Every new command answers --help.
for command in history undo; do
  run "$command" --help > help.txt || fail "$command --help"
  grep -q "^  $command " help.txt || fail "$command --help: $(cat help.txt)"
done
echo ok
