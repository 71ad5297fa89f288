#!/usr/bin/env bash
# Runs a command with WINEPREFIX set to a fresh prefix of its own, made first by make_prefix.sh
# (the slow part, so once per test program), and stops that prefix's wineserver afterwards so
# nothing is left running. Usage: run_in_prefix.sh WINE64 COMMAND [ARGS...]; WINE64 is the
# loader to create it. The command has a time limit of its own (VANTREL_WINE_TEST_SECONDS, 480
# by default), below the test's, so that a hang says what hung.
set -u
here=$(dirname "$0")
. "$here/wine_test_env.sh"
wine=$1
shift
prefix=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-wine.XXXXXX")
export WINEPREFIX=$prefix
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
cleanup() {
  bounded -q 30 "$wineserver" -k
  bounded -q 30 "$wineserver" -w
  rm -rf "$prefix"
}
trap cleanup EXIT
"$here/make_prefix.sh" "$wine" "$prefix" || exit 1
bounded "${VANTREL_WINE_TEST_SECONDS:-480}" "$@"
