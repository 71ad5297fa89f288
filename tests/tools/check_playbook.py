#!/usr/bin/env python3
"""Checks a playbook from 'vantrelctl export --format ansible' against the module's own argument
definition (the JSON of 'ansible-doc --json ansible.windows.win_regedit') and against the values it
should carry. Loads it with Ansible's own YAML loader, so tags such as !unsafe read as Ansible
reads them.

usage: check_playbook.py PLAYBOOK SPEC_JSON EXPECTED_TSV GROUP [--no-restart]
SPEC_JSON: 'ansible-doc --json' of every module the playbook uses (tasks and handlers).
EXPECTED_TSV: one line per task, path<TAB>name<TAB>state<TAB>data (data empty when absent), then
optionally <TAB>the restart it needs (lanmanserver, lanmanworkstation, reboot: the task carries
that tag and notifies "vantrel <restart>", whose handlers must be there) and <TAB>guard (only
before Windows 10). With --no-restart no task notifies and the play has no handlers."""
import json
import sys

from ansible.parsing.yaml.loader import AnsibleLoader
from ansible.utils.unsafe_proxy import AnsibleUnsafe

MODULE = "ansible.windows.win_regedit"
TYPES = {"str": str, "bool": bool, "int": int, "path": str, "list": list, "dict": dict}


def check_arguments(args, options, where, module=MODULE):
    names = {}
    for option, option_def in options.items():
        names[option] = option
        for alias in option_def.get("aliases") or []:
            names[alias] = option
    problems = []
    for key, value in args.items():
        option = names.get(key)
        if option is None:
            problems.append(f"{where}: '{key}' is no argument of {module}")
            continue
        option_def = options[option]
        wanted = TYPES.get(option_def.get("type", "str"))
        if wanted is not None and not isinstance(value, wanted):
            problems.append(f"{where}: '{key}' is {type(value).__name__}, the module wants {option_def.get('type')}")
        # Ansible would run such text through its templates and change it, unless marked unsafe
        # (the handlers' own templates excepted).
        if (module == MODULE and isinstance(value, str) and "{" in value
                and not isinstance(value, AnsibleUnsafe)):
            problems.append(f"{where}: '{key}' holds '{{' but is not marked !unsafe")
        if option_def.get("choices") and isinstance(value, str) and "{{" not in value and value not in option_def["choices"]:
            problems.append(f"{where}: '{key}' is {value!r}, not one of {option_def['choices']}")
    for option, option_def in options.items():
        if option_def.get("required") and option not in {names[k] for k in args if k in names}:
            problems.append(f"{where}: the required argument '{option}' is missing")
    return problems


KEYWORDS = {"name", "notify", "tags", "when", "register", "loop", "listen"}
SERVICES = {"lanmanserver": "LanmanServer", "lanmanworkstation": "LanmanWorkstation"}


def module_of(task, where, problems):
    modules = [k for k in task if k not in KEYWORDS]
    if len(modules) != 1:
        problems.append(f"{where}: runs {modules}, not one module")
        return None, {}
    args = task[modules[0]]
    return modules[0], (args if isinstance(args, dict) else {})


def check_handlers(handlers, notified, modules, problems):
    """Each notified topic has handlers: a service restarted with its dependents noted before and
    started again after, or a reboot; no handler listens to a topic no task notifies."""
    topics = {}
    for number, handler in enumerate(handlers, start=1):
        where = f"handler {number} ({handler.get('name')})"
        module, args = module_of(handler, where, problems)
        if module is None:
            continue
        if module not in modules:
            problems.append(f"{where}: {module} has no argument definition here")
        else:
            problems += check_arguments(args, modules[module], where, module)
        topic = handler.get("listen")
        if topic not in notified:
            problems.append(f"{where}: listens to {topic!r}, which no task notifies")
        topics.setdefault(topic, []).append((module, args, handler))
    for topic in notified:
        steps = topics.get(topic, [])
        tag = topic.split()[-1]
        if tag == "reboot":
            if [m for m, _, _ in steps] != ["ansible.windows.win_reboot"]:
                problems.append(f"{topic}: handlers {[m for m, _, _ in steps]}, not one win_reboot")
            continue
        service = SERVICES.get(tag)
        kinds = [m for m, _, _ in steps]
        if kinds != ["ansible.windows.win_service_info", "ansible.windows.win_service",
                     "ansible.windows.win_service"]:
            problems.append(f"{topic}: handlers {kinds}, not note, restart, start again")
            continue
        (_, _, note), (_, restart, _), (_, again, start) = steps
        if restart != {"name": service, "state": "restarted", "force_dependent_services": True}:
            problems.append(f"{topic}: the restart is {restart!r}, not {service} with its dependents")
        if again.get("state") != "started" or "item" not in str(again.get("name")):
            problems.append(f"{topic}: the last handler does not start the noted services: {again!r}")
        loop = str(start.get("loop"))
        if note.get("register") not in loop or service not in loop or "started" not in loop:
            problems.append(f"{topic}: the services started again are not those noted running: {loop}")


def main():
    playbook, spec_json, expected_tsv, group = sys.argv[1:5]
    restarts = len(sys.argv) <= 5 or sys.argv[5] != "--no-restart"
    with open(playbook, encoding="utf-8") as f:
        plays = AnsibleLoader(f.read()).get_single_data()
    with open(spec_json, encoding="utf-8") as f:
        modules = {name: doc["doc"]["options"] or {} for name, doc in json.load(f).items()}
    with open(expected_tsv, encoding="utf-8") as f:
        expected = [line.rstrip("\n").split("\t") for line in f if line.strip()]

    problems = []
    if not isinstance(plays, list) or len(plays) != 1:
        sys.exit(f"expected one play, got {plays!r}")
    play = plays[0]
    if play.get("hosts") != group:
        problems.append(f"the play is for hosts {play.get('hosts')!r}, not the group {group!r}")
    tasks = play.get("tasks") or []
    # A value dangerous from Windows 10 on needs the Windows version: facts read first, always.
    guarded = any(len(e) > 5 and e[5] == "guard" for e in expected)
    if guarded:
        first = tasks[0] if tasks else {}
        if "ansible.windows.setup" not in first or "always" not in (first.get("tags") or []):
            problems.append(f"guarded values but the first task reads no facts always: {first!r}")
        tasks = tasks[1:]
    if len(tasks) != len(expected):
        problems.append(f"{len(tasks)} tasks for {len(expected)} items")
    notified = set()
    for number, (task, line) in enumerate(zip(tasks, expected), start=1):
        path, name, state, data = line[:4]
        restart = line[4] if len(line) > 4 else ""
        guard = len(line) > 5 and line[5] == "guard"
        where = f"task {number}"
        module, args = module_of(task, where, problems)
        if module != MODULE:
            problems.append(f"{where}: runs {module}, not {MODULE}")
            continue
        problems += check_arguments(args, modules[MODULE], where, MODULE)
        got = (str(args.get("path")), str(args.get("name")), args.get("state"),
               "" if "data" not in args else str(args["data"]))
        if got != (path, name, state, data):
            problems.append(f"{where}: carries {got!r}, expected {(path, name, state, data)!r}")
        if state == "present" and args.get("type") != "dword":
            problems.append(f"{where}: type is {args.get('type')!r}, not dword")
        if restart:
            tags = task.get("tags") or []
            if "vantrel" not in tags or restart not in tags:
                problems.append(f"{where}: tags {tags!r}, not vantrel and {restart}")
            wanted = f"vantrel {restart}" if restarts else None
            if task.get("notify") != wanted:
                problems.append(f"{where}: notifies {task.get('notify')!r}, not {wanted!r}")
            if wanted:
                notified.add(wanted)
        when = str(task.get("when") or "")
        if guard != ("distribution_major_version" in when and "version('10', '<')" in when):
            problems.append(f"{where}: the Windows version guard is {when!r}, expected {'one' if guard else 'none'}")
    handlers = play.get("handlers") or []
    if not restarts and handlers:
        problems.append(f"--no-restart, yet {len(handlers)} handlers")
    check_handlers(handlers, notified, modules, problems)
    for p in problems:
        print(p)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
