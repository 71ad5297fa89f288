#!/usr/bin/env bash
# Runs a Windows program with Wine's null display driver: windows, messages, focus and painting
# all work, nothing reaches a screen, and no X server is needed. Run inside run_in_prefix.sh (the
# setting goes into the prefix, which must be fresh: a running desktop keeps the driver it has).
# Usage: null_desktop.sh WINE64 PROGRAM [ARGS...]
set -u
. "$(dirname "$0")/wine_test_env.sh"
wine=$1
shift
if ! bounded -q 60 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f; then
  echo "null_desktop: could not select the null display driver" >&2
  exit 1
fi
exec "$wine" "$@"
