#!/usr/bin/env python3
"""Reads a Registry.pol from 'vantrelctl export --format pol' with Samba's own Group Policy parser
(samba.gp_parse.gp_pol.GPPolParser, Debian's python3-samba) and compares what it reports with the
items the file should carry, entry by entry: key, value name, type and data. Then Samba's writer
packs the parsed entries again: the bytes must be the file's, so every delimiter, terminator and
size stands where the format puts it (Samba's reader itself skips the delimiters unchecked).

usage: check_pol.py POLFILE EXPECTED_TSV
EXPECTED_TSV: one line per entry, key<TAB>value name<TAB>type<TAB>data (UTF-8; type 4 with the
number, or type 1 with the text)."""
import sys

from samba.gp_parse.gp_pol import GPPolParser
from samba.ndr import ndr_pack


def main():
    pol, expected_tsv = sys.argv[1:3]
    with open(pol, "rb") as f:
        contents = f.read()
    with open(expected_tsv, encoding="utf-8") as f:
        expected = [line.rstrip("\n").split("\t") for line in f if line.strip()]

    parser = GPPolParser()
    parser.parse(contents)
    problems = []
    header = parser.pol_file.header
    if (header.signature, header.version) != ("PReg", 1):
        problems.append(f"header {header.signature!r} version {header.version}, not PReg 1")
    entries = parser.pol_file.entries
    if len(entries) != len(expected):
        problems.append(f"{len(entries)} entries for {len(expected)} items")
    for number, (entry, (key, name, kind, data)) in enumerate(zip(entries, expected), start=1):
        got = (entry.keyname, entry.valuename, entry.type, entry.data)
        want = (key, name, int(kind), int(data) if kind == "4" else data)
        if got != want:
            problems.append(f"entry {number}: Samba reads {got!r}, expected {want!r}")
        expected_size = 4 if kind == "4" else 2 * (len(data) + 1)
        if entry.size != expected_size:
            problems.append(f"entry {number}: size {entry.size}, expected {expected_size}")
    if not problems and ndr_pack(parser.pol_file) != contents:
        problems.append("Samba's writer packs the parsed entries into other bytes than the file's")
    for p in problems:
        print(p)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
