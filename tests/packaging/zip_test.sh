#!/usr/bin/env bash
# The Windows zip made from the cross build: exactly the programs, the settings files, README.txt
# with Windows line ends and the licence. Usage: zip_test.sh WINDOWS_BUILD VERSION
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
version=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

zip=$("$top/packaging/build-packages.sh" zip "$build" "$dir/out") || fail "building the zip failed"
[ "$zip" = "$dir/out/vantrel-$version-windows-x64.zip" ] || fail "unexpected name $zip"
unzip -Z1 "$zip" | LC_ALL=C sort > "$dir/listed.txt" || fail "unzip cannot list $zip"
{
  printf '%s\n' LICENSE.txt README.txt vantrel.exe vantrelctl.exe
  for f in "$top"/app/resources/*.xml; do basename "$f"; done
} | LC_ALL=C sort > "$dir/expected.txt"
diff "$dir/expected.txt" "$dir/listed.txt" || fail "the zip holds other files than expected"

unzip -q "$zip" -d "$dir/x" || fail "unzip failed"
for f in README.txt LICENSE.txt; do
  [ "$(grep -c $'\r$' "$dir/x/$f")" -eq "$(wc -l < "$dir/x/$f")" ] || fail "$f has lines without CR LF"
done
grep -q "^Vantrel $version for Windows" "$dir/x/README.txt" || fail "README.txt does not give the version"
# What the Linux README says before the first change, the Windows reader gets too.
tr -d '\r' < "$dir/x/README.txt" | tr -s ' \n' '  ' > "$dir/readme.txt"
while IFS= read -r phrase; do
  grep -qF -- "$phrase" "$dir/readme.txt" || fail "README.txt lacks: $phrase"
done < "$top/tests/packaging/readme_phrases.txt"
grep -q "MIT License" "$dir/x/LICENSE.txt" || fail "LICENSE.txt is not the licence"
for f in vantrel.exe vantrelctl.exe; do
  [ "$(head -c 2 "$dir/x/$f")" = MZ ] || fail "$f is no Windows program"
done
for f in "$top"/app/resources/*.xml; do
  cmp -s "$f" "$dir/x/$(basename "$f")" || fail "$(basename "$f") differs from the source"
done
echo ok
