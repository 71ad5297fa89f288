#!/usr/bin/env bash
# Runs a command with WINEPREFIX set to a fresh prefix of its own, created first (the slow part,
# so once per test program), and stops that prefix's wineserver afterwards so nothing is left
# running. Usage: run_in_prefix.sh WINE64 COMMAND [ARGS...]; WINE64 is the loader to create it.
set -u
wine=$1
shift
prefix=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-wine.XXXXXX")
# No Mono, Gecko or desktop menu entries: the tests need none of them.
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
cleanup() {
  "$wineserver" -k >/dev/null 2>&1
  "$wineserver" -w >/dev/null 2>&1
  rm -rf "$prefix"
}
trap cleanup EXIT
if ! "$wine" wineboot -i >/dev/null 2>&1; then
  echo "run_in_prefix: could not create a wine prefix in $prefix" >&2
  exit 1
fi
"$wineserver" -w
"$@"
