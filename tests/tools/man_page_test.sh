#!/usr/bin/env bash
# The manual page covers what --help offers: every command of vantrelctl --help, and every option
# that a command's own --help names, appears in packaging/vantrelctl.1; so do the notes a
# newcomer needs (which settings file, where the shipped ones are, the store's choice, the
# restart lines).
set -u
ctl=$1
page=$2
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# The page as its reader sees the words: roff's escaped hyphens and font changes undone.
sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\(ti/~/g' -e 's/\\~/~/g' "$page" > "$dir/page.txt"
grep -q . "$dir/page.txt" || fail "no manual page at $page"

timeout -k 5 30 "$ctl" --help > "$dir/help.txt"; [ $? -eq 0 ] || fail "vantrelctl --help failed"
# The commands: the entries of the command list, the first word of each (every name of
# "disable | enable | restore", and the sub-commands of reg and xml).
commands=$(sed -n '/^commands:$/,/^$/p' "$dir/help.txt" | grep -E '^  [a-z]' |
           sed -E 's/^  ([a-z]+( \| [a-z]+)*( (get|set|delete|dump|load|write)( \| [a-z]+)*)?).*/\1/' |
           tr -d '|' | tr -s ' ' '\n' | grep -E '^[a-z]+$' | sort -u)
[ "$(echo "$commands" | wc -l)" -ge 10 ] || fail "too few commands read from --help: $commands"
# Each has an entry of its own under COMMANDS: a bold line that names it.
sed -n '/^\.SH COMMANDS/,/^\.SH [^C]/p' "$dir/page.txt" | grep '^\.B ' > "$dir/entries.txt"
missing=""
for command in $commands; do
  grep -qw -- "$command" "$dir/entries.txt" || missing="$missing $command"
done
[ -z "$missing" ] || fail "commands of --help missing from the manual page:$missing"

# Every option a command's help names, with the command's name on the same page.
for command in $(sed -n '/^commands:$/,/^$/p' "$dir/help.txt" | grep -E '^  [a-z]' | awk '{ print $1 }' | sort -u); do
  timeout -k 5 30 "$ctl" "$command" --help > "$dir/$command.txt"
  [ $? -eq 0 ] || fail "vantrelctl $command --help failed"
  # The command's entries: the paragraph after the usage line.
  awk 'NR > 2 && /^$/ { exit } NR > 2' "$dir/$command.txt" | grep -oE '(^|[^a-z0-9-])--?[a-z][a-z-]*' |
    sed -E 's/^[^-]//' | sort -u > "$dir/$command.options"
  [ -s "$dir/$command.options" ] || [ "$command" = os ] || [ "$command" = store ] ||
    fail "$command --help names no option"
  while read -r option; do
    grep -qE -- "(^|[^a-z0-9-])$option([^a-z-]|$)" "$dir/page.txt" || missing="$missing $command:$option"
  done < "$dir/$command.options"
done
for option in --help --version; do
  grep -qE -- "$option\b" "$dir/page.txt" || missing="$missing $option"
done
[ -z "$missing" ] || fail "options of --help missing from the manual page:$missing"

# The notes a first hour needs.
for text in 'Vantrel.xml' '/usr/share/vantrel/' '~/.wine' 'VANTREL_REGISTRY' 'WINEPREFIX' \
            'Restart the Server service' 'Restart the Workstation service' 'FILE.bak' '--tsv'; do
  grep -qF -- "$text" "$dir/page.txt" || fail "the manual page does not mention $text"
done
echo ok
