#!/usr/bin/env python3
"""Checks a Registry.xml from 'vantrelctl export --format gpp' against the published definition of
Group Policy Preferences' registry items ([MS-GPPREF] 2.2.1.17, its Registry element and the
attributes common to every preference item) and against the items it should carry. Every rule
says which rule it is when it fails.

usage: check_gpp.py XMLFILE EXPECTED_TSV [UIDS_SEEN]
EXPECTED_TSV: one line per item, key<TAB>name<TAB>action<TAB>value<TAB>restart (UTF-8; value the
8 hexadecimal digits; restart a word the item's desc must hold, or empty when it has none).
UIDS_SEEN: a file of uids of other exports; none may come again (it is extended with these)."""
import re
import sys
import xml.etree.ElementTree as ET

SETTINGS_CLSID = "{A3CCFC41-DFDB-43a5-8D26-0FE8B954DA51}"
REGISTRY_CLSID = "{9CD4B2F4-923D-47f5-A062-E897DD1DAD50}"
GUID = re.compile(r"^\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\}$")
CHANGED = re.compile(r"^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}$")
DWORD = re.compile(r"^[0-9a-f]{8}$")
HIVES = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
         "HKEY_CURRENT_CONFIG"}


def main():
    path, expected_tsv = sys.argv[1:3]
    seen_file = sys.argv[3] if len(sys.argv) > 3 else None
    problems = []

    def rule(ok, name, detail):
        if not ok:
            problems.append(f"rule '{name}': {detail}")
        return ok

    with open(path, "rb") as f:
        raw = f.read()
    with open(expected_tsv, encoding="utf-8") as f:
        expected = [line.rstrip("\n").split("\t") for line in f if line.strip()]

    # The declaration names the encoding, and the bytes are in it (no byte order mark to contradict).
    declaration = re.match(rb'<\?xml version="1\.0" encoding="([^"]+)"\?>', raw)
    if rule(declaration is not None, "declaration with encoding", f"the file starts {raw[:60]!r}"):
        rule(declaration.group(1).lower() == b"utf-8", "declaration with encoding",
             f"encoding {declaration.group(1)!r}, not utf-8")
    try:
        raw.decode("utf-8")
    except UnicodeDecodeError as e:
        rule(False, "declared encoding matches the bytes", str(e))
    try:
        root = ET.fromstring(raw)
    except ET.ParseError as e:
        rule(False, "well-formed XML", str(e))
        for p in problems:
            print(p)
        sys.exit(1)

    rule(root.tag == "RegistrySettings", "root RegistrySettings", f"root is {root.tag}")
    rule(root.get("clsid") == SETTINGS_CLSID, "root clsid", f"clsid {root.get('clsid')!r}")
    items = list(root)
    rule(len(items) == len(expected), "one Registry item per value",
         f"{len(items)} items for {len(expected)} values")
    for number, (item, (key, name, action, value, restart)) in enumerate(zip(items, expected), 1):
        where = f"item {number}"
        rule(item.tag == "Registry", "items are Registry elements", f"{where} is {item.tag}")
        rule(item.get("clsid") == REGISTRY_CLSID, "Registry clsid", f"{where}: {item.get('clsid')!r}")
        rule(bool(item.get("name")), "Registry name required", f"{where} has no name")
        uid = item.get("uid") or ""
        rule(GUID.match(uid) is not None, "uid is a GUID in braces", f"{where}: uid {uid!r}")
        changed = item.get("changed")
        rule(changed is None or CHANGED.match(changed) is not None, "changed as YYYY-MM-DD hh:mm:ss",
             f"{where}: {changed!r}")
        image = item.get("image")
        rule(image is None or (image.isdigit() and int(image) < 256), "image an unsigned byte",
             f"{where}: {image!r}")
        props = list(item)
        if not rule(len(props) == 1 and props[0].tag == "Properties", "one Properties element",
                    f"{where} holds {[p.tag for p in props]}"):
            continue
        p = props[0]
        rule(p.get("action") in {"C", "R", "U", "D"}, "action C, R, U or D",
             f"{where}: {p.get('action')!r}")
        rule(p.get("action") == action, "action as the value", f"{where}: {p.get('action')!r}, expected {action}")
        rule(p.get("hive") in HIVES, "hive a root key name", f"{where}: {p.get('hive')!r}")
        rule(p.get("hive") == "HKEY_LOCAL_MACHINE", "hive HKEY_LOCAL_MACHINE", f"{where}: {p.get('hive')!r}")
        k = p.get("key") or ""
        rule(not k.startswith("\\") and not k.endswith("\\") and not k.upper().startswith("HKEY_"),
             "key without hive or leading or trailing backslash", f"{where}: {k!r}")
        rule(k == key, "key as the item's", f"{where}: {k!r}, expected {key!r}")
        rule(p.get("name") == name, "name as the item's", f"{where}: {p.get('name')!r}, expected {name!r}")
        rule(p.get("default") == ("1" if name == "" else "0"), "default=1 exactly for the default value",
             f"{where}: default {p.get('default')!r} for name {name!r}")
        rule(p.get("type") == "REG_DWORD", "type REG_DWORD", f"{where}: {p.get('type')!r}")
        v = p.get("value") or ""
        rule(DWORD.match(v) is not None, "value as 8 hexadecimal digits", f"{where}: {v!r}")
        rule(action == "D" or v == value, "value as the item's", f"{where}: {v!r}, expected {value}")
        desc = item.get("desc")
        if restart:
            rule(desc is not None and restart in desc, "desc says what must restart",
                 f"{where}: desc {desc!r} does not say {restart!r}")
        else:
            rule(desc is None, "no restart note with --no-restart", f"{where}: desc {desc!r}")
    uids = [(item.get("uid") or "").upper() for item in items]
    rule(len(set(uids)) == len(uids), "uids unique in the file", f"{uids}")
    if seen_file:
        try:
            with open(seen_file, encoding="utf-8") as f:
                seen = set(f.read().split())
        except FileNotFoundError:
            seen = set()
        rule(not seen & set(uids), "uids unique across exports", f"{sorted(seen & set(uids))}")
        with open(seen_file, "a", encoding="utf-8") as f:
            f.write("\n".join(uids) + "\n")
    for p in problems:
        print(p)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
