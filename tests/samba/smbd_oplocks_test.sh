#!/bin/bash
# The end-to-end proof on a real Samba server: a private smbd on 127.0.0.1 grants an exclusive
# oplock, a batch oplock and a lease to smbtorture's SMB2 client; after `vantrelctl disable
# --settings Vantrel-samba.xml` and a reload it grants none of them; after `restore` and a reload
# it grants them again. testparm accepts every file vantrelctl wrote, and the file is the one it
# was before, byte for byte, once restored.
#
# Without Samba or without root this test fails loudly: it proves nothing when skipped.
# Usage: smbd_oplocks_test.sh VANTRELCTL SETTINGS_FILE
set -u
here=$(cd "$(dirname "$0")" && pwd)
vantrelctl=$1
settings=$2
source "$here/smbd_env.sh"
need_samba

work=$(mktemp -d)
trap 'smbd_stop; rm -rf "$work"' EXIT
faults=0
fail() {
  echo "FAIL: $*" >&2
  faults=$((faults + 1))
}

smbd_setup "$work/server" || { echo "FAIL: could not set up smbd" >&2; exit 1; }
smbd_start || exit 1
mkdir -p "$work/registry"
export VANTREL_SMB_CONF=$SMBD_CONF VANTREL_REGISTRY=$work/registry
cp "$SMBD_CONF" "$work/original.conf"

# What the client is granted: each smbtorture test passes only when the server grants what it
# asks for (exclusive1: an exclusive oplock, batch1: a batch oplock, lease.upgrade: an RWH lease).
grants() {
  local t out
  for t in smb2.oplock.exclusive1 smb2.oplock.batch1 smb2.lease.upgrade; do
    out=$(torture "$t")
    local line
    line=$(grep -E '^(success|failure|skip|error):' <<<"$out" | head -1)
    echo "  $t: ${line:-no result}" >&2
    # The reason smbtorture gives, so the log shows the client's view.
    local why
    why=$(grep -A1 -E '^(failure|skip|error):' <<<"$out" | sed -n 2p)
    [[ -n $why ]] && echo "      $why" >&2
    # Refused only where the client saw no oplock (no break arrived, no oplock level) or no
    # leasing: a failure to connect or to log on proves nothing.
    case $line in
      success:*) echo -n "granted " ;;
      failure:* | skip:*)
        if [[ $why == *oplock.c* || $why == *"leases are not supported"* || $why == *lease.c* ]]; then
          echo -n "refused "
        else
          echo -n "broken "
        fi
        ;;
      *) echo -n "broken " ;;
    esac
  done
}

testparm_ok() {
  if ! timeout 30 /usr/bin/testparm -s "$SMBD_CONF" >/dev/null 2>"$work/testparm.err"; then
    fail "testparm rejects the file vantrelctl wrote ($1): $(tail -1 "$work/testparm.err")"
  fi
}

echo "before:" >&2
before=$(grants)
[[ $before == "granted granted granted " ]] || fail "before disable the server should grant all three, got: $before"

timeout 60 "$vantrelctl" disable --settings "$settings" >"$work/disable.out" 2>&1 ||
  fail "vantrelctl disable failed: $(cat "$work/disable.out")"
grep -q 'smbcontrol smbd reload-config' "$work/disable.out" || fail "disable did not say how to reload: $(cat "$work/disable.out")"
grep -q 'restart smbd' "$work/disable.out" || fail "disable did not say smbd must restart for smb2 leases"
testparm_ok disable
[[ -f $SMBD_CONF.bak ]] || fail "no backup beside $SMBD_CONF"
smbd_reload || fail "smbcontrol reload-config failed"

echo "after disable and reload:" >&2
after=$(grants)
[[ $after == "refused refused refused " ]] || fail "after disable the server should grant nothing, got: $after"

timeout 60 "$vantrelctl" check --settings "$settings" >/dev/null 2>&1
status=$?
[[ $status == 0 ]] || fail "check after disable: exit status $status, expected 0 (disable state)"

timeout 60 "$vantrelctl" restore --settings "$settings" >"$work/restore.out" 2>&1 ||
  fail "vantrelctl restore failed: $(cat "$work/restore.out")"
testparm_ok restore
cmp -s "$SMBD_CONF" "$work/original.conf" || fail "restore did not give back the original file: $(diff "$work/original.conf" "$SMBD_CONF")"
smbd_reload || fail "smbcontrol reload-config failed"

echo "after restore and reload:" >&2
restored=$(grants)
[[ $restored == "granted granted granted " ]] || fail "after restore the server should grant all three again, got: $restored"

if ((faults)); then
  echo "smbd log:" >&2
  tail -20 "$SMBD_DIR/log/smbd.out" >&2
  exit 1
fi
echo "ok: granted before, refused after disable, granted after restore"
