#!/usr/bin/env python3
"""Mutation check: do the suites catch the faults listed in scripts/mutations.txt?

Each edit is applied in turn to a scratch copy of the working tree, the copy is built
incrementally with the `ci` preset, the suites run, and the edit is reverted. An edit is
"caught" when a test fails, "survived" when every test passes, and "invalid" when the edited
source does not build (fix the edit). Prints a line per edit and the total; --report writes every
edit's catching tests as JSON, which tells whether a test is the only one catching an edit.

    scripts/mutation-check.py                 # every edit
    scripts/mutation-check.py --only drop-    # the edits whose name contains "drop-"
    scripts/mutation-check.py --check         # only check that every edit applies
"""

import argparse
import filecmp
import json
import os
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_LIST = os.path.join(ROOT, "scripts", "mutations.txt")
# The Windows program under Wine is left out: it needs the Windows build and adds nothing here.
DEFAULT_EXCLUDE = "windows_under_wine"


class Edit:
    def __init__(self, name, why):
        self.name, self.why = name, why
        self.path = self.old = self.new = None


def parse(list_path):
    edits = []
    with open(list_path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            if line.startswith("== "):
                name, _, why = line[3:].partition(":")
                edits.append(Edit(name.strip(), why.strip()))
            elif not edits:
                sys.exit(f"{list_path}:{number}: an edit starts with '== name: why'")
            elif line.startswith("@ "):
                edits[-1].path = line[2:].strip()
            elif line.startswith("- "):
                edits[-1].old = line[2:]
            elif line.startswith("+ "):
                edits[-1].new = line[2:]
            else:
                sys.exit(f"{list_path}:{number}: unknown line")
    for e in edits:
        if None in (e.path, e.old, e.new):
            sys.exit(f"edit {e.name}: needs '@ file', '- old' and '+ new'")
    names = [e.name for e in edits]
    for name in set(names):
        if names.count(name) > 1:
            sys.exit(f"edit {name}: the name is used twice")
    return edits


def check_applies(edit, tree):
    with open(os.path.join(tree, edit.path), encoding="utf-8") as f:
        count = f.read().count(edit.old)
    if count != 1:
        return f"{edit.path}: the text occurs {count} times, not once"
    return None


def sync_copy(scratch):
    """Copies the tracked files of the working tree that differ from the copy. A copied file gets
    the current time, so the build sees it as changed; unchanged files keep theirs, so builds stay
    incremental."""
    files = subprocess.run(["git", "ls-files", "-z"], cwd=ROOT, check=True,
                           capture_output=True).stdout.decode().split("\0")
    for rel in filter(None, files):
        src, dst = os.path.join(ROOT, rel), os.path.join(scratch, rel)
        if not os.path.isfile(src):
            continue
        if os.path.exists(dst) and filecmp.cmp(src, dst, shallow=False):
            continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copyfile(src, dst)
        shutil.copymode(src, dst)


def run(cmd, cwd, log):
    with open(log, "w") as out:
        return subprocess.run(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT).returncode


def failed_tests(log):
    with open(log, encoding="utf-8", errors="replace") as f:
        text = f.read()
    tail = text.split("The following tests FAILED:")[-1] if "FAILED:" in text else ""
    return re.findall(r"^\s*\d+ - (\S+)", tail, re.M)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--list", default=DEFAULT_LIST)
    ap.add_argument("--only", help="run the edits whose name contains this text")
    ap.add_argument("--check", action="store_true", help="only check that every edit applies")
    ap.add_argument("--scratch", default=os.path.expanduser("~/.cache/quenlor/mutation"))
    ap.add_argument("--exclude", default=DEFAULT_EXCLUDE, help="ctest -E pattern")
    ap.add_argument("--jobs", default="2")
    ap.add_argument("--report", help="write each edit's outcome and catching tests as JSON")
    args = ap.parse_args()

    edits = parse(args.list)
    if args.only:
        edits = [e for e in edits if args.only in e.name]
    problems = [(e.name, p) for e in edits if (p := check_applies(e, ROOT))]
    for name, p in problems:
        print(f"edit {name}: {p}")
    if problems:
        return 2
    if args.check:
        print(f"{len(edits)} edits apply")
        return 0

    scratch = args.scratch
    os.makedirs(scratch, exist_ok=True)
    sync_copy(scratch)
    env_note = os.path.join(scratch, "build", "mutation.log")
    os.makedirs(os.path.dirname(env_note), exist_ok=True)
    if not os.path.isdir(os.path.join(scratch, "build", "ci")):
        if run(["cmake", "--preset", "ci"], scratch, env_note) != 0:
            sys.exit(f"configure failed, see {env_note}")
    build = ["cmake", "--build", "--preset", "ci", "-j", args.jobs]
    test = ["ctest", "--preset", "ci", "-j", args.jobs, "-E", args.exclude,
            "--timeout", "300"]
    os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
    os.environ.setdefault("LANG", "C.UTF-8")
    os.environ.setdefault("LC_ALL", "C.UTF-8")

    print("baseline: building and running the suites unchanged", flush=True)
    if run(build, scratch, env_note) != 0 or run(test, scratch, env_note) != 0:
        sys.exit(f"the unchanged tree does not pass, see {env_note}")

    results = []
    for i, e in enumerate(edits, 1):
        path = os.path.join(scratch, e.path)
        with open(path, encoding="utf-8") as f:
            original = f.read()
        start = time.time()
        log = os.path.join(scratch, "build", "mutation-edit.log")
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original.replace(e.old, e.new, 1))
            if run(build, scratch, log) != 0:
                outcome, catchers = "invalid", []
            else:
                rc = run(test, scratch, log)
                catchers = failed_tests(log) if rc != 0 else []
                outcome = "caught" if rc != 0 else "survived"
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
            # The restored file must count as changed for the next build.
            os.utime(path, None)
        results.append({"name": e.name, "why": e.why, "outcome": outcome, "by": catchers})
        if args.report:  # written as it goes, so a long run that is cut short still tells
            with open(args.report, "w", encoding="utf-8") as f:
                json.dump(results, f, ensure_ascii=False, indent=1)
        shown = f" by {len(catchers)}: {', '.join(catchers[:3])}" if catchers else ""
        print(f"[{i}/{len(edits)}] {outcome:8} {e.name} ({time.time() - start:.0f} s){shown}",
              flush=True)

    run(build, scratch, env_note)
    caught = sum(r["outcome"] == "caught" for r in results)
    survived = [r for r in results if r["outcome"] == "survived"]
    invalid = [r for r in results if r["outcome"] == "invalid"]
    print(f"\ncaught {caught} of {len(results)}; survived {len(survived)}; invalid {len(invalid)}")
    for r in survived:
        print(f"  survived: {r['name']}: {r['why']}")
    for r in invalid:
        print(f"  invalid (does not build): {r['name']}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
