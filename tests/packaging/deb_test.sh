#!/usr/bin/env bash
# The .deb made from this build: its control data and files, lintian without errors, the desktop
# entry and man pages checked by their own tools, and the programs run from the package unpacked
# into a temporary root. Usage: deb_test.sh BUILD VERSION
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
version=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

deb=$("$top/packaging/build-packages.sh" deb "$build" "$dir/out") || fail "building the .deb failed"
[ "$deb" = "$dir/out/vantrel_${version}_amd64.deb" ] || fail "unexpected name $deb"
[ "$(dpkg-deb -f "$deb" Package Version Architecture | tr '\n' ' ')" = \
  "Package: vantrel Version: $version Architecture: amd64 " ] || fail "control: $(dpkg-deb -f "$deb")"
dpkg-deb -f "$deb" Depends | grep -q 'libc6 (>=' || fail "no dependency on libc6: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Depends | grep -q 'libfltk' || fail "no dependency on FLTK: $(dpkg-deb -f "$deb" Depends)"

dpkg-deb -c "$deb" > "$dir/contents.txt" || fail "dpkg-deb -c failed"
for path in ./usr/bin/vantrel ./usr/bin/vantrelctl ./usr/libexec/vantrel/vantrel-window \
            ./usr/share/applications/vantrel.desktop ./usr/share/icons/hicolor/48x48/apps/vantrel.png \
            ./usr/share/man/man1/vantrel.1.gz ./usr/share/man/man1/vantrelctl.1.gz \
            ./usr/share/vantrel/Vantrel.xml ./usr/share/doc/vantrel/copyright \
            ./usr/share/doc/vantrel/changelog.gz ./usr/share/doc/vantrel/README.md.gz; do
  grep -q " $path\$" "$dir/contents.txt" || fail "$path is not in the package: $(cat "$dir/contents.txt")"
done
for file in "$top"/app/resources/*.xml; do
  grep -q " ./usr/share/vantrel/$(basename "$file")\$" "$dir/contents.txt" ||
    fail "settings file $(basename "$file") is not in the package"
done
grep -v ' root/root ' "$dir/contents.txt" && fail "files not owned by root"

root=$dir/root
dpkg-deb -x "$deb" "$root" || fail "unpacking failed"
export VANTREL_REGISTRY=$dir/registry
mkdir "$VANTREL_REGISTRY"
[ "$("$root/usr/bin/vantrelctl" --version)" = "vantrelctl $version" ] || fail "vantrelctl --version"
[ "$("$root/usr/bin/vantrel" --version)" = "vantrel $version" ] || fail "vantrel --version"
settings=$root/usr/share/vantrel/Vantrel.xml
rows=$("$root/usr/bin/vantrelctl" list --tsv --settings "$settings") || fail "list on the packaged settings file failed"
[ "$(echo "$rows" | wc -l)" -eq "$("$root/usr/bin/vantrelctl" xml load "$settings" | wc -l)" ] ||
  fail "list shows other rows than the settings file holds: $rows"
"$root/usr/bin/vantrelctl" disable --settings "$settings" > /dev/null || fail "disable failed"
"$root/usr/bin/vantrelctl" check --settings "$settings" || fail "check after disable should be 0"
(unset DISPLAY WAYLAND_DISPLAY; "$root/usr/bin/vantrel" > /dev/null 2>&1); [ $? -eq 2 ] ||
  fail "the window without a display must give 2"
sh -n "$root/usr/libexec/vantrel/vantrel-window" || fail "the desktop launcher is no valid shell script"

desktop-file-validate "$root/usr/share/applications/vantrel.desktop" > "$dir/desktop.txt" 2>&1 ||
  fail "desktop-file-validate: $(cat "$dir/desktop.txt")"
[ -s "$dir/desktop.txt" ] && fail "desktop-file-validate: $(cat "$dir/desktop.txt")"
for page in vantrel vantrelctl; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
               "$root/usr/share/man/man1/$page.1.gz" 2>&1 > "$dir/$page.txt") || fail "man $page failed"
  [ -z "$warnings" ] || fail "man page $page: $warnings"
  grep -q "$version" "$dir/$page.txt" || fail "man page $page does not give the version"
done

# The README the Info tab points to, with what a newcomer must know before the first change.
zcat "$root/usr/share/doc/vantrel/README.md.gz" | tr -d '`' | tr -s ' \n' '  ' > "$dir/readme.txt" ||
  fail "the packaged README cannot be read"
while IFS= read -r phrase; do
  grep -qF -- "$phrase" "$dir/readme.txt" || fail "the packaged README lacks: $phrase"
done < "$top/tests/packaging/readme_phrases.txt"

lintian --fail-on error --tag-display-limit 0 "$deb" > "$dir/lintian.txt" 2>&1
status=$?
cat "$dir/lintian.txt"
[ $status -eq 0 ] || fail "lintian reports errors"
grep -q '^E: ' "$dir/lintian.txt" && fail "lintian reports errors"
grep -i 'readme' "$dir/lintian.txt" && fail "lintian has something to say about the README"
echo ok
