#!/usr/bin/env bash
# Every file vantrelctl writes or reads, tried as an attacker would: concurrent saves, links
# planted at the temporary and backup names, a full disk, mode and owner, hard links, names that
# do not fit or end in a blank, devices and FIFOs, files too large, leftovers of killed writers.
# Real processes on a fresh store; every command is bounded in time (a hang fails the test).
set -u
ctl=$1
shipped=$2  # the settings file the program ships
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
export VANTREL_REGISTRY=$dir/registry
mkdir "$VANTREL_REGISTRY"
fail() { echo "FAIL: $*"; exit 1; }

# run NAME COMMAND...: vantrelctl bounded in time; the status in $status, output in NAME.out/.err.
run() {
  local name=$1; shift
  timeout -k 5 30 "$ctl" "$@" > "$name.out" 2> "$name.err"
  status=$?
  [ $status -eq 124 ] || [ $status -eq 137 ] && fail "vantrelctl $* did not finish in 30 s"
  return 0
}
items=$(grep -c '<RegistryItem>' "$shipped")
# The temporaries a writer of FILE makes (FILE.vantrel-XXXXXX) and the fixed one of old (FILE.vtmp).
temporaries() { ls -A | grep -E '\.(vantrel-[A-Za-z0-9]{6}|vtmp)$'; }

# --- Concurrent saves: four loops of saves on one file; every save lands whole. -------------------
mkdir busy && cp "$shipped" busy/Vantrel.xml
for loop in 1 2 3 4; do
  (cd busy && for i in $(seq 12); do
     timeout -k 5 60 "$ctl" save > /dev/null 2>> "err.$loop" || echo "$loop.$i" >> failed
   done) &
done
wait
[ -e busy/failed ] && fail "concurrent saves failed: $(cat busy/failed) $(cat busy/err.*)"
cd busy
run list list --tsv
[ $status -eq 0 ] || fail "the file after concurrent saves: $(cat list.err)"
[ "$(wc -l < list.out)" -eq "$items" ] || fail "concurrent saves lost items"
temporaries && fail "concurrent saves left temporaries"
cd ..

# --- Links planted at the fixed temporary name of old and at the backup name: never followed. ----
mkdir links && cp "$shipped" links/Vantrel.xml && cd links
echo victim > victim2
ln -s ../victim Vantrel.xml.vtmp
ln -s victim2 Vantrel.xml.bak
run save save
[ $status -eq 0 ] || fail "save beside planted links: $(cat save.err)"
[ -e ../victim ] && fail "the save wrote through the link at the temporary name"
[ "$(cat victim2)" = victim ] || fail "the save wrote through the link at the backup name"
[ -L Vantrel.xml ] && fail "the settings file became a link"
[ -L Vantrel.xml.bak ] && fail "the link at the backup name is still there"
cmp -s Vantrel.xml.bak "$shipped" || fail "the backup is not the previous file"
cd ..

# --- A failed save leaves the file and its backup as they were. ---------------------------------
# The file size limit stands in for a full disk (it holds for root too): writes past it fail.
mkdir full && cp "$shipped" full/Vantrel.xml && cd full
echo "previous backup" > Vantrel.xml.bak
# The program does not die of the limit's signal (SIGXFSZ): the write fails and is reported.
(ulimit -f 2; exec timeout -k 5 30 "$ctl" save) > save.out 2> save.err; status=$?
[ $status -eq 1 ] || fail "a save on a full disk gave $status"
grep -q "File too large" save.err || fail "the full disk is not named: $(cat save.err)"
cmp -s Vantrel.xml "$shipped" || fail "a failed save changed the file"
[ "$(cat Vantrel.xml.bak)" = "previous backup" ] || fail "a failed save changed the backup"
temporaries && fail "a failed save left temporaries"
# A backup name that cannot take the copy (a folder): the save is refused before the file moves.
rm Vantrel.xml.bak && mkdir Vantrel.xml.bak
run save save
[ $status -eq 1 ] || fail "a save whose backup cannot be made gave $status"
grep -q "cannot keep the previous file as Vantrel.xml.bak" save.err || fail "backup: $(cat save.err)"
cmp -s Vantrel.xml "$shipped" || fail "a save without its backup changed the file"
temporaries && fail "a refused save left temporaries"
cd ..

# --- Mode, owner and hard links of the file replaced. --------------------------------------------
mkdir modes && cp "$shipped" modes/Vantrel.xml && cd modes
chmod 600 Vantrel.xml
[ "$(id -u)" -eq 0 ] && chown 65534:65534 Vantrel.xml
owner=$(stat -c %u:%g Vantrel.xml)
ln Vantrel.xml other-name.xml
run save save
[ $status -eq 0 ] || fail "save of a 0600 file: $(cat save.err)"
[ "$(stat -c %a Vantrel.xml)" = 600 ] || fail "the mode became $(stat -c %a Vantrel.xml)"
[ "$(stat -c %u:%g Vantrel.xml)" = "$owner" ] || fail "the owner became $(stat -c %u:%g Vantrel.xml)"
[ "$(stat -c %a Vantrel.xml.bak)" = 600 ] || fail "the backup's mode is $(stat -c %a Vantrel.xml.bak)"
grep -q "^vantrelctl: Vantrel.xml: the file had 1 other hard link, which keeps the previous content" save.out ||
  fail "the hard link is not said: $(cat save.out)"
cmp -s other-name.xml "$shipped" || fail "the other hard link does not hold the previous content"
cd ..

# --- Names that do not fit the library's 384 characters, or begin or end in a blank: refused. ----
long=$dir/$(printf 'd%.0s' $(seq 200))/$(printf 'e%.0s' $(seq 200))
mkdir -p "${long%/*}" && cp "$shipped" "$long"
printf 'K\tV\t1\t1\t0\n' > items.txt
cp "$shipped" 'Vantrel.xml ' && cp "$shipped" Vantrel.xml && cp "$shipped" ' Vantrel.xml'
before=$(ls -A)
before_long=$(ls -A "${long%/*}")
for name in "$long/Vantrel.xml" 'Vantrel.xml ' ' Vantrel.xml'; do
  while IFS='|' read -r label args; do
    eval "set -- $args"
    run cut "$@" < items.txt
    [ $status -eq 2 ] || fail "$label with '$name' gave $status: $(cat cut.err)"
    grep -qE "more than the 384|may not begin or end with a blank" cut.err || fail "$label: $(cat cut.err)"
  done <<'CASES'
save|save --settings "$name"
list|list --settings "$name"
export --settings|export --format reg --settings "$name"
export -o|export --format reg -o "$name"
xml write|xml write "$name"
xml dump|xml dump "$name"
xml load --write|xml load Vantrel.xml --write "$name"
CASES
done
[ "$(ls -A | grep -v '^cut\.')" = "$before" ] || fail "a refused name left files: $(ls -A)"
[ "$(ls -A "${long%/*}")" = "$before_long" ] || fail "a long name wrote beside it"
for f in Vantrel.xml 'Vantrel.xml ' ' Vantrel.xml'; do cmp -s "$f" "$shipped" || fail "'$f' changed"; done

# --- Export targets: a failed export leaves the target; devices and FIFOs are never removed. -----
cp "$shipped" Vantrel.xml
echo "previous export" > out.reg
(ulimit -f 1; exec timeout -k 5 30 "$ctl" export --format reg -o out.reg) > x.out 2> x.err; status=$?
[ $status -eq 1 ] || fail "an export on a full disk gave $status"
[ "$(cat out.reg)" = "previous export" ] || fail "a failed export changed its target"
temporaries && fail "a failed export left temporaries"
mkfifo nobody-reads
run export export --format reg -o nobody-reads
[ $status -eq 1 ] || fail "an export to a FIFO nobody reads gave $status"
grep -q "a FIFO that no process reads" export.err || fail "FIFO: $(cat export.err)"
[ -p nobody-reads ] || fail "the FIFO was removed"
mkfifo piped
exec 3<> piped  # this shell reads it (and keeps it open)
run export export --format reg -o piped
[ $status -eq 0 ] || fail "an export to a FIFO with a reader: $(cat export.err)"
head -c 2 <&3 | od -An -tx1 | grep -q 'ff fe' || fail "the FIFO did not receive the export"
exec 3>&-
[ -p piped ] || fail "the FIFO with a reader was removed"
if mknod full-device c 1 7 2> /dev/null; then  # what /dev/full is, made here
  run export export --format reg -o full-device
  [ $status -eq 1 ] || fail "an export to a full device gave $status"
  [ -c full-device ] || fail "the device was removed by a failed export"
fi
run export export --format reg -o /dev/null
[ $status -eq 0 ] || fail "an export to /dev/null: $(cat export.err)"
# A link planted at the name, dangling or not, is never written through; /dev/stdout is the
# stream it names, a pipe included.
echo "victim" > victim.txt
ln -s victim.txt planted.reg
ln -s created-elsewhere.reg dangling.reg
for target in planted.reg dangling.reg; do
  run export export --format reg -o "$target"
  [ $status -eq 1 ] || fail "an export through the link $target gave $status"
  grep -q "symbolic link" export.err || fail "link $target: $(cat export.err)"
done
[ "$(cat victim.txt)" = victim ] || fail "an export wrote through a planted link"
[ -e created-elsewhere.reg ] && fail "an export created the file a dangling link names"
timeout -k 5 30 "$ctl" export --format reg -o /dev/stdout 2> export.err | cat > through-pipe.reg
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "an export to /dev/stdout on a pipe: $(cat export.err)"
head -c 2 through-pipe.reg | od -An -tx1 | grep -q 'ff fe' || fail "the pipe did not receive the export"
[ -c /dev/null ] || fail "/dev/null is gone"

# --- Settings files and documents: regular files of bounded size only, refused without a hang. ---
mkfifo fifo.xml
truncate -s 300M huge.xml
while IFS='|' read -r label expect args; do
  eval "set -- $args"
  run read "$@"
  [ $status -eq 1 ] || fail "$label gave $status: $(cat read.err)"
  grep -q "$expect" read.err || fail "$label: $(cat read.err)"
done <<'CASES'
list of a FIFO|fifo.xml: .*Not a regular file|list --settings fifo.xml
save of a FIFO|fifo.xml: .*Not a regular file|save --settings fifo.xml
check of /dev/zero|/dev/zero: .*Not a regular file|check --settings /dev/zero
export of a FIFO|fifo.xml: .*Not a regular file|export --format reg --settings fifo.xml
xml dump of /dev/urandom|/dev/urandom: Not a regular file|xml dump /dev/urandom
xml load of a FIFO|fifo.xml: Not a regular file|xml load fifo.xml
xml dump of 300 MB|huge.xml: File larger than the 256 MiB|xml dump huge.xml
list of 300 MB|huge.xml: .*File larger than the 256 MiB|list --settings huge.xml
CASES
[ -p fifo.xml ] || fail "the FIFO was replaced"
rm huge.xml

# --- Leftovers of killed writers: removed by the next writer unless a live writer holds them. ----
mkdir left && cp "$shipped" left/Vantrel.xml && cd left
echo half > Vantrel.xml.vtmp
echo half > Vantrel.xml.vantrel-Ab12Cd
echo half > Vantrel.xml.bak.vantrel-Bk34Ef  # a backup copy killed half-way
echo held > Vantrel.xml.vantrel-Held00
exec 4< Vantrel.xml.vantrel-Held00 && flock 4  # this shell is the live writer holding it
echo half > "$VANTREL_REGISTRY/user.reg.vantrel-Zz9Yy8"  # a store write killed on its first write
run save save
[ $status -eq 0 ] || fail "save beside leftovers: $(cat save.err)"
[ -e Vantrel.xml.vtmp ] && fail "the leftover of old stayed"
[ -e Vantrel.xml.vantrel-Ab12Cd ] && fail "the leftover stayed"
[ -e Vantrel.xml.bak.vantrel-Bk34Ef ] && fail "the backup's leftover stayed"
[ -e Vantrel.xml.vantrel-Held00 ] || fail "a temporary a live writer holds was removed"
exec 4<&-
run reg reg set 'HKLM\Software\VantrelTest' Flag 1 --type REG_DWORD
[ $status -eq 0 ] || fail "reg set: $(cat reg.err)"
[ -e "$VANTREL_REGISTRY/user.reg.vantrel-Zz9Yy8" ] && fail "the store's leftover stayed"
cd ..
echo ok
