#!/usr/bin/env bash
# The format check on a tree of two sources, one laid out and one not: it must exit 1 and name
# the second only; once the file is laid out, it must pass. In git, odd names and new files count.
set -euo pipefail
check=$1
style=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$style" "$dir/.clang-format"
mkdir -p "$dir/lib"
printf 'int Good() { return 1; }\n' >"$dir/lib/good.cpp"
printf 'int  Bad( ) {return 2;}\n' >"$dir/lib/bad.h"

status=0
out=$("$check" "$dir") || status=$?
echo "$out"
[ "$status" -eq 1 ] || { echo "FAIL: expected exit 1, got $status"; exit 1; }
grep -q '^lib/bad.h: differs' <<<"$out" || { echo "FAIL: bad.h not named"; exit 1; }
if grep -q 'good.cpp' <<<"$out"; then echo "FAIL: good.cpp named"; exit 1; fi

formatter=$(command -v clang-format-14 || command -v clang-format)
(cd "$dir" && "$formatter" --style=file -i lib/bad.h)
status=0
"$check" "$dir" || status=$?
[ "$status" -eq 0 ] || { echo "FAIL: expected exit 0 once laid out, got $status"; exit 1; }
# In a git checkout: a name git would quote, and a new file not yet added, are checked too.
git -C "$dir" init -q
printf 'int  Odd( ) {return 3;}\n' >"$dir/lib/naïve.h"
git -C "$dir" add -A
printf 'int  New( ) {return 4;}\n' >"$dir/lib/new.cc"
status=0
out=$("$check" "$dir") || status=$?
echo "$out"
[ "$status" -eq 1 ] || { echo "FAIL: expected exit 1 in git, got $status"; exit 1; }
for name in lib/naïve.h lib/new.cc; do
  grep -qF "$name: differs" <<<"$out" || { echo "FAIL: $name not named"; exit 1; }
done
echo "PASS"
