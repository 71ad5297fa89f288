# Sourced by the scripts that run the Wine tests: the environment every call into Wine gets, and
# `bounded`, which gives one call its own time limit.
#
# No Mono, Gecko or desktop menu entries: the tests need none of them. No crash debugger: a Wine
# program that crashes would otherwise start winedbg, which waits for a user who never comes and
# holds the test until its time runs out (make_prefix.sh also switches it off in the prefix, for
# programs started without this environment).
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"

# bounded [-q] SECONDS COMMAND [ARGS...]: runs the command (and whatever it starts in its process
# group) for at most SECONDS, then kills it and says on standard error which command did not
# finish. -q discards what the command itself prints. Returns the command's status, 124 when it
# was stopped.
bounded() {
  local quiet=
  if [ "$1" = -q ]; then
    quiet=1
    shift
  fi
  local seconds=$1
  shift
  local status
  if [ -n "$quiet" ]; then
    timeout -k 5 "$seconds" "$@" >/dev/null 2>&1
  else
    timeout -k 5 "$seconds" "$@"
  fi
  status=$?
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "$(basename "$0"): '$*' did not finish within $seconds s" >&2
    return 124
  fi
  return "$status"
}
