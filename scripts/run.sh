#!/usr/bin/env bash
# Starts the program from the build folder given as the first argument, in the run folder (the
# settings file is opened from the current folder). The run folder gets a copy of the default
# settings file once; later runs keep the file the program saved.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
rundir=${VANTREL_RUN_DIR:-$top/run}
mkdir -p "$rundir"
[ -e "$rundir/Vantrel.xml" ] || cp "$top/app/resources/Vantrel.xml" "$rundir/Vantrel.xml"
cd "$rundir"

if [ -x "$build/app/vantrel" ] && [ -n "${DISPLAY:-}" ] && "$build/app/vantrel" --probe-display 2>/dev/null; then
  exec "$build/app/vantrel"
fi

echo "No display to show the window on (DISPLAY is ${DISPLAY:-not set}); the rows of $rundir/Vantrel.xml:"
echo
"$build/tools/vantrelctl" list || true
echo
echo "To see the window, run 'make run' from a desktop session, or on this machine:"
echo "  xvfb-run -s '-screen 0 1280x1024x24' make run   (and look at it with a VNC or screenshot tool)"
