#!/usr/bin/env bash
# Makes a Wine prefix for the tests in the folder PREFIX (replacing whatever is there) and waits
# until its wineserver has saved it and ended. Usage: make_prefix.sh WINE64 PREFIX
#
# The crash debugger is switched off in the prefix (AeDebug: no debugger, started without
# asking, so nothing waits for an answer). A first start of a prefix can fail when one of the
# programs it runs crashes, most often on a loaded machine: it is tried a second time before
# giving up.
set -u
. "$(dirname "$0")/wine_test_env.sh"
wine=$1
prefix=$2
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
aedebug='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'

make_once() {
  rm -rf "$prefix" && mkdir -p "$prefix" || return 1
  bounded -q 120 "$wine" wineboot -i || return 1
  bounded -q 30 "$wine" reg add "$aedebug" /v Debugger /d '' /f || return 1
  bounded -q 30 "$wine" reg add "$aedebug" /v Auto /d 1 /f || return 1
  bounded 60 "$wineserver" -w
}

export WINEPREFIX=$prefix
for attempt in 1 2; do
  make_once && exit 0
  echo "make_prefix: attempt $attempt to create a wine prefix in $prefix failed" >&2
  bounded -q 30 "$wineserver" -k
  bounded -q 30 "$wineserver" -w
done
echo "make_prefix: could not create a wine prefix in $prefix" >&2
exit 1
