#!/bin/bash
# A private smbd for a test: its own configuration, port and state folders under one temporary
# folder, listening on 127.0.0.1 only, stopped when the test ends. Never a system service.
#
# Source it, then: smbd_setup FOLDER (writes FOLDER/smb.conf and a user), smbd_start, smbd_stop.
# Every program runs under `timeout`.

SMBD_BIN=${SMBD_BIN:-/usr/sbin/smbd}
SMBD_USER=root
SMBD_PASSWORD=vantrel-test-1

need_samba() {
  local missing=
  for p in "$SMBD_BIN" /usr/bin/testparm /usr/bin/smbcontrol /usr/bin/smbpasswd /usr/bin/smbtorture; do
    [[ -x $p ]] || missing+=" $p"
  done
  if [[ -n $missing ]]; then
    echo "FAIL: Samba is not installed (missing:$missing); run make deps (packages samba, smbclient, samba-testsuite)" >&2
    exit 1
  fi
  if [[ $(id -u) != 0 ]]; then
    echo "FAIL: smbd needs root to serve files as their owner; run this test as root (CI does)" >&2
    exit 1
  fi
}

free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

smbd_setup() {
  SMBD_DIR=$1
  SMBD_PORT=$(free_port)
  SMBD_CONF=$SMBD_DIR/smb.conf
  mkdir -p "$SMBD_DIR"/{share,lock,state,cache,private,pid,ncalrpc,log}
  chmod 700 "$SMBD_DIR/private"
  cat >"$SMBD_CONF" <<CONF
# A test server: loopback only, its own port and folders.
[global]
   workgroup = VANTRELTEST
   netbios name = VANTRELTEST
   server role = standalone server
   interfaces = 127.0.0.1
   bind interfaces only = yes
   smb ports = $SMBD_PORT
   disable netbios = yes
   lock directory = $SMBD_DIR/lock
   state directory = $SMBD_DIR/state
   cache directory = $SMBD_DIR/cache
   private dir = $SMBD_DIR/private
   pid directory = $SMBD_DIR/pid
   ncalrpc dir = $SMBD_DIR/ncalrpc
   binddns dir = $SMBD_DIR/private
   passdb backend = tdbsam:$SMBD_DIR/private/passdb.tdb
   log file = $SMBD_DIR/log/log.%m
   load printers = no
   printcap name = /dev/null
   disable spoolss = yes
   server min protocol = SMB2_02
   kernel oplocks = no

; the database's folder
[data]
   path = $SMBD_DIR/share
   read only = no
CONF
  printf '%s\n%s\n' "$SMBD_PASSWORD" "$SMBD_PASSWORD" |
    timeout 30 /usr/bin/smbpasswd -c "$SMBD_CONF" -s -a "$SMBD_USER" >/dev/null
}

smbd_start() {
  timeout 120 "$SMBD_BIN" --foreground --no-process-group --configfile="$SMBD_CONF" \
    --debug-stdout -d1 >"$SMBD_DIR/log/smbd.out" 2>&1 &
  SMBD_PID=$!
  local i
  for i in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$SMBD_PORT") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "FAIL: smbd did not listen on 127.0.0.1:$SMBD_PORT" >&2
  cat "$SMBD_DIR/log/smbd.out" >&2
  return 1
}

smbd_stop() {
  if [[ -n ${SMBD_PID:-} ]]; then
    kill "$SMBD_PID" 2>/dev/null
    wait "$SMBD_PID" 2>/dev/null
    SMBD_PID=
  fi
}

smbd_reload() {
  timeout 30 /usr/bin/smbcontrol --configfile="$SMBD_CONF" smbd reload-config
}

# Runs one smbtorture test against the share; prints its result line and returns its status.
torture() {
  timeout 60 /usr/bin/smbtorture "//127.0.0.1/data" --smb-ports="$SMBD_PORT" \
    -U"$SMBD_USER%$SMBD_PASSWORD" --option=torture:share=data "$@" 2>&1
}
