#!/usr/bin/env python3
"""Checks a playbook from 'vantrelctl export --format ansible' against the module's own argument
definition (the JSON of 'ansible-doc --json ansible.windows.win_regedit') and against the values it
should carry. Loads it with Ansible's own YAML loader, so tags such as !unsafe read as Ansible
reads them.

usage: check_playbook.py PLAYBOOK SPEC_JSON EXPECTED_TSV GROUP
EXPECTED_TSV: one line per task, path<TAB>name<TAB>state<TAB>data (data empty when absent)."""
import json
import sys

from ansible.parsing.yaml.loader import AnsibleLoader
from ansible.utils.unsafe_proxy import AnsibleUnsafe

MODULE = "ansible.windows.win_regedit"
TYPES = {"str": str, "bool": bool, "int": int, "path": str, "list": list, "dict": dict}


def check_arguments(args, options, where):
    names = {}
    for option, option_def in options.items():
        names[option] = option
        for alias in option_def.get("aliases") or []:
            names[alias] = option
    problems = []
    for key, value in args.items():
        option = names.get(key)
        if option is None:
            problems.append(f"{where}: '{key}' is no argument of {MODULE}")
            continue
        option_def = options[option]
        wanted = TYPES.get(option_def.get("type", "str"))
        if wanted is not None and not isinstance(value, wanted):
            problems.append(f"{where}: '{key}' is {type(value).__name__}, the module wants {option_def.get('type')}")
        # Ansible would run such text through its templates and change it, unless marked unsafe.
        if isinstance(value, str) and "{" in value and not isinstance(value, AnsibleUnsafe):
            problems.append(f"{where}: '{key}' holds '{{' but is not marked !unsafe")
        if option_def.get("choices") and value not in option_def["choices"]:
            problems.append(f"{where}: '{key}' is {value!r}, not one of {option_def['choices']}")
    for option, option_def in options.items():
        if option_def.get("required") and option not in {names[k] for k in args if k in names}:
            problems.append(f"{where}: the required argument '{option}' is missing")
    return problems


def main():
    playbook, spec_json, expected_tsv, group = sys.argv[1:5]
    with open(playbook, encoding="utf-8") as f:
        plays = AnsibleLoader(f.read()).get_single_data()
    with open(spec_json, encoding="utf-8") as f:
        options = json.load(f)[MODULE]["doc"]["options"]
    with open(expected_tsv, encoding="utf-8") as f:
        expected = [line.rstrip("\n").split("\t") for line in f if line.strip()]

    problems = []
    if not isinstance(plays, list) or len(plays) != 1:
        sys.exit(f"expected one play, got {plays!r}")
    play = plays[0]
    if play.get("hosts") != group:
        problems.append(f"the play is for hosts {play.get('hosts')!r}, not the group {group!r}")
    tasks = play.get("tasks") or []
    if len(tasks) != len(expected):
        problems.append(f"{len(tasks)} tasks for {len(expected)} items")
    for number, (task, (path, name, state, data)) in enumerate(zip(tasks, expected), start=1):
        where = f"task {number}"
        modules = [k for k in task if k != "name"]
        if modules != [MODULE]:
            problems.append(f"{where}: runs {modules}, not {MODULE}")
            continue
        args = task[MODULE]
        problems += check_arguments(args, options, where)
        got = (str(args.get("path")), str(args.get("name")), args.get("state"),
               "" if "data" not in args else str(args["data"]))
        if got != (path, name, state, data):
            problems.append(f"{where}: carries {got!r}, expected {(path, name, state, data)!r}")
        if state == "present" and args.get("type") != "dword":
            problems.append(f"{where}: type is {args.get('type')!r}, not dword")
    for p in problems:
        print(p)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
