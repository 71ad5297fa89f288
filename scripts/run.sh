#!/usr/bin/env bash
# Starts the program's main job from the build folder given as the first argument.
set -euo pipefail
build=${1:-build}
if [ -x "$build/app/vantrel" ]; then
  exec "$build/app/vantrel"
fi
# The window arrives in a later step; until then the companion tool is the program's front door.
exec "$build/tools/vantrelctl" --help
