#!/usr/bin/env bash
# vantrelctl save never leaves a settings file that the next start rejects or that lost items:
# a file that did not load completely stays byte for byte, an empty list is not saved, the
# previous file is kept as FILE.bak. Errors name the settings file; a read-only file can be
# listed. Real processes on a fresh store.
set -u
ctl=$1
shipped=$2  # the settings file the program ships
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
export VANTREL_REGISTRY=$dir/registry
mkdir "$VANTREL_REGISTRY"  # a named store folder must exist
fail() { echo "FAIL: $*"; exit 1; }

# run NAME COMMAND...: the status in $status, stdout and stderr in NAME.out and NAME.err.
run() {
  local name=$1; shift
  "$ctl" "$@" > "$name.out" 2> "$name.err"
  status=$?
}

# Files that did not load completely: cut in a tag (the parser complains), cut between two tags
# (it does not), not XML, empty.
third_end=$(grep -bo '</RegistryItem>' "$shipped" | sed -n 3p | cut -d: -f1)
[ -n "$third_end" ] || fail "the shipped file has fewer than three items"
head -c $((third_end + 4)) "$shipped" > cut-in-tag.xml
head -c "$third_end" "$shipped" > cut-between.xml
printf 'Flag=1\n' > not-xml.xml
: > empty.xml
for file in cut-in-tag.xml cut-between.xml not-xml.xml empty.xml; do
  cp "$file" before.xml
  run save save --settings "$dir/$file"
  [ $status -eq 1 ] || fail "save of $file gave $status"
  cmp -s "$file" before.xml || fail "save wrote over $file"
  grep -q "^vantrelctl: $dir/$file: Error saving Vantrel.xml file, The settings file did not load completely" save.err ||
    fail "$file: $(cat save.err)"
  grep -q "saved" save.out && fail "$file: a success was reported: $(cat save.out)"
  [ -e "$file.bak" ] && fail "$file: a refused save made a copy"
done

# No settings file: the list is empty and nothing is saved, not even an empty file.
mkdir none && cd none
run save save
[ $status -eq 1 ] || fail "an empty save gave $status"
[ -e Vantrel.xml ] && fail "an empty save left a file"
grep -q "^vantrelctl: Vantrel.xml: Error opening Vantrel.xml file, File not found\. Looked for Vantrel.xml in " save.err ||
  fail "the missing file: $(cat save.err)"
grep -q "The list is empty" save.err || fail "the empty save does not say why: $(cat save.err)"
grep -q "saved" save.out && fail "an empty save reported success"
cd ..

# A save keeps the previous file, with its comments, as FILE.bak; --settings may come first.
cp "$shipped" items.xml
run save --settings items.xml save
[ $status -eq 0 ] || fail "save of the shipped file gave $status: $(cat save.err)"
cmp -s items.xml.bak "$shipped" || fail "the .bak is not the previous file"
grep -q "Registry settings saved" save.out || fail "no success line: $(cat save.out)"
cp items.xml first-save.xml
run save save --settings items.xml
cmp -s items.xml.bak first-save.xml || fail "the second save did not keep the first one's file"

# A save that cannot keep the file's comments and layout (here: an item without a SavedValue
# element) still saves, and says on stderr what it did not keep and where the previous file is;
# a save that keeps them says nothing of the kind.
grep -v '<SavedValue>' "$shipped" > whole.xml
run save save --settings whole.xml
[ $status -eq 0 ] || fail "the whole-file save gave $status: $(cat save.err)"
grep -q "^vantrelctl: notice: whole.xml was written whole, so its comments and layout were not kept (an item has no SavedValue element); whole.xml.bak holds the previous file\.$" save.err ||
  fail "no notice of the whole-file save: $(cat save.err)"
grep -q '<SavedValue>' whole.xml || fail "the whole-file save wrote no saved values"
grep -q "notice" save.out && fail "the notice went to stdout"
run save save --settings whole.xml
[ $status -eq 0 ] && [ ! -s save.err ] || fail "an in-place save said: $status $(cat save.err)"

# A read-only settings file is listed; saving it is refused and leaves it alone. As root the
# commands run as an ordinary user, for whom the mode counts.
mkdir ro && cp "$shipped" ro/Vantrel.xml && chmod 444 ro/Vantrel.xml
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  command -v setpriv > /dev/null || { echo "ok (no setpriv: the read-only file is not tried)"; exit 0; }
  export VANTREL_REGISTRY=$dir/ro/registry
  mkdir "$VANTREL_REGISTRY"
  chown -R 65534:65534 ro && chmod 755 "$dir"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
cd ro
"${as_user[@]}" "$ctl" list --tsv > list.out 2> list.err || fail "listing a read-only file: $(cat list.err)"
[ "$(wc -l < list.out)" -eq "$(grep -c '<RegistryItem>' "$shipped")" ] ||
  fail "the read-only file did not list whole: $(cat list.out)"
"${as_user[@]}" "$ctl" save > save.out 2> save.err; status=$?
[ $status -eq 1 ] || fail "saving a read-only file gave $status"
grep -q "^vantrelctl: Vantrel.xml: Error writing Vantrel.xml file, Access Denied\.$" save.err ||
  fail "read-only save: $(cat save.err)"
cmp -s Vantrel.xml "$shipped" || fail "the read-only file was replaced"
echo ok
