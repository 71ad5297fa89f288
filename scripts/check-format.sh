#!/usr/bin/env bash
# Fails, naming each file, when a C++ source under ROOT differs from what clang-format makes of it
# with the project's .clang-format. In a git checkout the files git tracks or would add are
# checked; elsewhere every C++ source outside build folders.
# Usage: scripts/check-format.sh ROOT
set -uo pipefail

root=${1:?usage: check-format.sh ROOT}
cd "$root" || { echo "check-format: cannot enter $root" >&2; exit 2; }
[ -f .clang-format ] || { echo "check-format: no .clang-format in $root" >&2; exit 2; }

# Version 14 is the one Debian 12 ships and the one the tree is formatted with; another major
# version may lay out the same code differently.
formatter=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$formatter" ]; then
  echo "check-format: clang-format is not installed (apt-get install clang-format)" >&2
  exit 2
fi

# Tracked files and new ones git does not ignore (a file not yet added drifts as much), by name
# with NUL ends: names git would quote (non-ASCII, quotes, tabs) are checked as they are.
patterns=('*.h' '*.cpp' '*.hpp' '*.cc')
if git rev-parse --is-inside-work-tree >/dev/null 2>&1 && [ "$(git rev-parse --show-toplevel)" = "$(pwd -P)" ]; then
  mapfile -d '' -t files < <(git ls-files -z --cached --others --exclude-standard -- "${patterns[@]}" | sort -zu)
else
  mapfile -d '' -t files < <(find . \( -name 'build*' -o -name '.git' \) -prune -o -type f \
    \( -name '*.h' -o -name '*.cpp' -o -name '*.hpp' -o -name '*.cc' \) -printf '%P\0' | sort -z)
fi
if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no sources under $root" >&2
  exit 2
fi

present=()
for f in "${files[@]}"; do
  [ -f "$f" ] && present+=("$f")  # a file deleted in the work tree but not yet in git is gone
done
if [ ${#present[@]} -eq 0 ]; then
  echo "check-format: no sources under $root" >&2
  exit 2
fi
# One run over every file says whether any drifts; only then is each asked on its own, to name it.
if "$formatter" --style=file --dry-run --Werror "${present[@]}" >/dev/null 2>&1; then
  echo "check-format: ${#files[@]} files match .clang-format"
  exit 0
fi
drifted=0
for f in "${present[@]}"; do
  if ! "$formatter" --style=file "$f" | cmp -s - "$f"; then
    echo "$f: differs from clang-format's layout (fix: $(basename "$formatter") -i $f)"
    drifted=$((drifted + 1))
  fi
done
if [ "$drifted" -gt 0 ]; then
  echo "check-format: $drifted of ${#files[@]} files drift from .clang-format ($("$formatter" --version | head -1))"
  exit 1
fi
echo "check-format: ${#files[@]} files match .clang-format"
