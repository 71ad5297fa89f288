#!/usr/bin/env bash
# Makes one release artifact from a build folder:
#   build-packages.sh deb BUILD OUTDIR   vantrel_<version>_amd64.deb from a Linux build
#   build-packages.sh zip BUILD OUTDIR   vantrel-<version>-windows-x64.zip from a Windows build
# BUILD holds app/vantrel[.exe] and tools/vantrelctl[.exe]; the version is the one CMake took
# from the top CMakeLists. Prints the artifact's path.
set -euo pipefail
umask 022
kind=${1:?deb or zip}
build=$(cd "${2:?build folder}" && pwd)
mkdir -p "${3:?output folder}"
out=$(cd "$3" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
pkg=$top/packaging

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "build-packages: no project version in $build/CMakeCache.txt" >&2; exit 1; }
# Releases are reproducible: file times come from the last commit, else from now.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$top" log -1 --format=%ct 2>/dev/null || date +%s)}
settings_files=("$top"/app/resources/*.xml)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fill() { sed "s/@VERSION@/$version/g" "$1"; }
need() { [ -f "$1" ] || { echo "build-packages: $1 is missing (build it first)" >&2; exit 1; }; }

make_zip() {
  local name=vantrel-$version-windows-x64
  need "$build/app/vantrel.exe"
  need "$build/tools/vantrelctl.exe"
  local dir=$work/$name
  mkdir -p "$dir"
  cp "$build/app/vantrel.exe" "$build/tools/vantrelctl.exe" "${settings_files[@]}" "$dir/"
  # The programs carry their symbols from the build; a download does without them.
  x86_64-w64-mingw32-strip "$dir/vantrel.exe" "$dir/vantrelctl.exe"
  # Notepad and the rest of Windows want CR LF.
  fill "$pkg/README-windows.txt" | sed 's/$/\r/' >"$dir/README.txt"
  sed 's/$/\r/' "$top/LICENSE" >"$dir/LICENSE.txt"
  find "$dir" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  rm -f "$out/$name.zip"
  (cd "$dir" && LC_ALL=C zip -q -X -D "$out/$name.zip" $(LC_ALL=C ls))
  echo "$out/$name.zip"
}

make_deb() {
  local name=vantrel_${version}_amd64
  need "$build/app/vantrel"
  need "$build/tools/vantrelctl"
  local root=$work/root
  install -d "$root/DEBIAN" "$root/usr/bin" "$root/usr/libexec/vantrel" "$root/usr/share/vantrel" \
    "$root/usr/share/applications" "$root/usr/share/icons/hicolor/48x48/apps" \
    "$root/usr/share/man/man1" "$root/usr/share/doc/vantrel"
  install -m 0755 "$build/app/vantrel" "$build/tools/vantrelctl" "$root/usr/bin/"
  # As Debian's own packaging strips: no symbols, no compiler notes.
  strip --remove-section=.comment --remove-section=.note --strip-unneeded \
    "$root/usr/bin/vantrel" "$root/usr/bin/vantrelctl"
  install -m 0755 "$pkg/vantrel-window" "$root/usr/libexec/vantrel/"
  install -m 0644 "${settings_files[@]}" "$root/usr/share/vantrel/"
  install -m 0644 "$pkg/vantrel.desktop" "$root/usr/share/applications/"
  install -m 0644 "$top/app/resources/vantrel.png" "$root/usr/share/icons/hicolor/48x48/apps/"
  for page in vantrel.1 vantrelctl.1; do
    fill "$pkg/$page" | gzip -9n >"$root/usr/share/man/man1/$page.gz"
    chmod 0644 "$root/usr/share/man/man1/$page.gz"
  done
  install -m 0644 "$pkg/copyright" "$root/usr/share/doc/vantrel/"
  # The README the Info tab points to; documentation is compressed, as Debian's policy asks.
  gzip -9n <"$top/README.md" >"$root/usr/share/doc/vantrel/README.md.gz"
  chmod 0644 "$root/usr/share/doc/vantrel/README.md.gz"
  # A native package: its changelog is changelog.gz, one entry for this release.
  {
    echo "vantrel ($version) unstable; urgency=medium"
    echo
    echo "  * Release $version."
    echo
    echo " -- Vantrel developers <vantrel@example.org>  $(LC_ALL=C date -u -R -d "@$SOURCE_DATE_EPOCH")"
  } | gzip -9n >"$root/usr/share/doc/vantrel/changelog.gz"
  chmod 0644 "$root/usr/share/doc/vantrel/changelog.gz"

  # The libraries the programs link, as Debian's shlibs name them.
  mkdir -p "$work/src/debian"
  printf 'Source: vantrel\n\nPackage: vantrel\nArchitecture: any\n' >"$work/src/debian/control"
  local depends
  depends=$(cd "$work/src" && dpkg-shlibdeps -O -e"$root/usr/bin/vantrel" -e"$root/usr/bin/vantrelctl" \
              2>/dev/null | sed -n 's/^shlibs:Depends=//p')
  [ -n "$depends" ] || { echo "build-packages: dpkg-shlibdeps found no dependencies" >&2; exit 1; }
  local size
  size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
  fill "$pkg/control.in" | sed -e "s/@INSTALLED_SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
    >"$root/DEBIAN/control"
  (cd "$root" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum >DEBIAN/md5sums)
  chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
  find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  dpkg-deb --root-owner-group -Zxz --build "$root" "$out/$name.deb" >/dev/null
  echo "$out/$name.deb"
}

case $kind in
  deb) make_deb ;;
  zip) make_zip ;;
  *) echo "usage: build-packages.sh deb|zip BUILD OUTDIR" >&2; exit 2 ;;
esac
