#!/usr/bin/env bash
# Installs the Debian packages given as arguments that are not installed yet. Idempotent: when
# everything is present it installs nothing and needs no privileges.
set -euo pipefail

missing=()
for pkg in "$@"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  SUDO=(sudo -n)
else
  echo "error: these Debian packages are missing: ${missing[*]}" >&2
  echo "       install them as root (apt-get install ${missing[*]}) or run make as a user with sudo." >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
# A stale package list makes installs fail with 404s; refresh it once before installing.
"${SUDO[@]}" apt-get update -q >/dev/null || echo "warning: apt-get update failed; trying the cached lists" >&2
"${SUDO[@]}" apt-get install -y -q "${missing[@]}"
