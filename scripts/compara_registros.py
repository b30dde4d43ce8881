#!/usr/bin/env python3
"""Compares two records of the end-to-end suite, run by run, to show that a
change left every byte, line, file and exit status as it was.

    VORTCP_E2E_REGISTRO=/tmp/antes  ctest ...   (the build before the change)
    VORTCP_E2E_REGISTRO=/tmp/despues ctest ...  (the build after it)
    python3 scripts/compara_registros.py /tmp/antes /tmp/despues

Runs are matched by their test and their place among that test's runs. A run
of several sessions prints its result lines in the order its objects
complete, and progress lines carry times: outputs whose lines are the same
once sorted, and times, are reported apart ("same lines, another order"),
not as differences. The exit status is 1 when any run differs.
"""

import collections
import json
import os
import re
import sys

TIMES = [
    (re.compile(r"/tmp/[^\s)\]]+"), "/tmp/T"),
    (re.compile(r"\(\d+\)\.\n"), "(P).\n"),
    (re.compile(r"en \d+,\d+ s \(\d+ KB/s\)"), "en T s (K KB/s)"),
    (re.compile(r"\d+ KB/s"), "K KB/s"),
    (re.compile(r"Tiempo: [\d.,]+ ms"), "Tiempo: T ms"),
    (re.compile(r"127\.0\.0\.1:\d+"), "127.0.0.1:P"),
    (re.compile(r"puerto \d+"), "puerto P"),
]


def load(directory):
    runs = collections.defaultdict(list)
    for name in sorted(os.listdir(directory)):
        with open(os.path.join(directory, name)) as f:
            for line in f:
                record = json.loads(line)
                runs[record["test"]].append(record)
    return runs


def without_times(text):
    for pattern, replacement in TIMES:
        text = pattern.sub(replacement, text)
    return text


def index_lines(text):
    """An index's lines without the date and time of their update (the last
    14 of an entry's 120 characters)."""
    return "\n".join(l[:106] if len(l.rstrip("\r")) >= 120 and l.startswith("A") else l
                     for l in text.split("\n"))


def files_of(record):
    files = {}
    for name, content in record["files"].items():
        if name.endswith("xinfo"):
            content = index_lines(content)
        files[name] = without_times(content)
    return files


def compare(a, b):
    """The fields of two runs that differ: (field, kind)."""
    found = []
    for field in ("status", "args", "stdin"):
        if a[field] != b[field]:
            found.append((field, "differs"))
    fa, fb = files_of(a), files_of(b)
    if fa != fb:
        same_lines = set(fa) == set(fb) and all(sorted(fa[k].splitlines()) == sorted(fb[k].splitlines())
                                                for k in fa)
        found.append(("files", "same lines, another order" if same_lines else "differs"))
    for field in ("stdout", "stderr"):
        x, y = without_times(a[field]), without_times(b[field])
        if x == y:
            continue
        if sorted(x.splitlines()) == sorted(y.splitlines()):
            found.append((field, "same lines, another order"))
        else:
            found.append((field, "differs"))
    return found


def main():
    before, after = load(sys.argv[1]), load(sys.argv[2])
    differences = reordered = compared = 0
    for test in sorted(set(before) | set(after)):
        x, y = before.get(test, []), after.get(test, [])
        if len(x) != len(y):
            print("%s: %d runs before, %d after" % (test, len(x), len(y)))
            differences += 1
        for i, (a, b) in enumerate(zip(x, y)):
            compared += 1
            for field, kind in compare(a, b):
                if kind == "differs":
                    differences += 1
                    print("%s run %d %r: %s differs" % (test, i, a["args"], field))
                    if field in ("stdout", "stderr", "status"):
                        print("  before: %r\n  after:  %r" % (a[field][-400:] if isinstance(a[field], str)
                                                              else a[field],
                                                              b[field][-400:] if isinstance(b[field], str)
                                                              else b[field]))
                    elif field == "files":
                        fa, fb = files_of(a), files_of(b)
                        keys = set(fa) ^ set(fb)
                        keys |= {k for k in set(fa) & set(fb) if fa[k] != fb[k]}
                        print("  files: %s" % sorted(keys)[:10])
                else:
                    reordered += 1
    print("%d runs compared: %d differences, %d outputs in another order" % (compared, differences, reordered))
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
