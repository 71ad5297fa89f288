#!/usr/bin/env bash
# The scripts that give the Wine tests their prefixes, run with a stand-in for Wine: a prefix
# start that fails is tried once more, a second failure gives up and says so, and a call into
# Wine that hangs is stopped at its limit with a message naming it.
set -u
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-prefix-scripts.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
check() {  # check DESCRIPTION COMMAND...: the command must succeed
  local what=$1
  shift
  if ! "$@"; then
    echo "FAILED: $what" >&2
    failed=1
  fi
}

# The stand-in loader records its calls in $FAKE_LOG; its first $FAKE_FAILED_STARTS prefix
# starts fail (as when a program of the start crashes), later ones make the prefix's registry.
mkdir "$work/wine"
cat >"$work/wine/wine64" <<'FAKE'
#!/usr/bin/env bash
echo "$*" >>"$FAKE_LOG"
if [ "$1" = wineboot ]; then
  [ "$(grep -c '^wineboot' "$FAKE_LOG")" -le "$FAKE_FAILED_STARTS" ] && exit 1
  touch "$WINEPREFIX/system.reg"
fi
exit 0
FAKE
printf '#!/bin/sh\nexit 0\n' >"$work/wine/wineserver"
chmod +x "$work/wine/wine64" "$work/wine/wineserver"

starts() { grep -c '^wineboot' "$FAKE_LOG"; }

# One failed start: the second attempt makes the prefix, and the crash debugger is switched off
# in it.
export FAKE_LOG=$work/once.log FAKE_FAILED_STARTS=1
"$here/make_prefix.sh" "$work/wine/wine64" "$work/once" 2>"$work/once.err"
status=$?
check "a prefix is made after one failed start (status $status)" test "$status" -eq 0
check "the start is tried twice ($(starts))" test "$(starts)" -eq 2
check "the prefix has its registry" test -e "$work/once/system.reg"
check "the failed attempt is reported" grep -q "attempt 1 to create a wine prefix" "$work/once.err"
check "no crash debugger in the prefix" grep -q 'AeDebug /v Debugger /d  /f' "$FAKE_LOG"

# Two failed starts: it gives up after the second, with a message.
export FAKE_LOG=$work/twice.log FAKE_FAILED_STARTS=2
"$here/make_prefix.sh" "$work/wine/wine64" "$work/twice" 2>"$work/twice.err"
status=$?
check "two failed starts fail (status $status)" test "$status" -eq 1
check "no third start ($(starts))" test "$(starts)" -eq 2
check "the failure names the prefix" grep -q "could not create a wine prefix in $work/twice" "$work/twice.err"

# A call that hangs is stopped at its limit and named.
. "$here/wine_test_env.sh"
started=$SECONDS
bounded 1 bash -c 'sleep 60 & wait' 2>"$work/hang.err"
status=$?
check "a hung call ends with 124 (status $status)" test "$status" -eq 124
check "a hung call is stopped soon ($((SECONDS - started)) s)" test $((SECONDS - started)) -lt 10
check "the hung call is named" grep -q "'bash -c sleep 60 & wait' did not finish within 1 s" "$work/hang.err"

exit "$failed"
