#!/usr/bin/env python3
"""The size of the tests against the code, in lines that are neither blank nor comments.

Everything tracked under tests/ counts as test code (fakes, fixtures, data files), everything
under src/ as code (the simulator included). The cases alone leave out tests/support and the
fixtures (files named *Fixture* and the end-to-end ProgramOnServer).
"""

import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def code_lines(path):
    """Lines left after dropping blanks, // and # comment lines and /* */ blocks."""
    count = 0
    in_block = False
    with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
        for raw in f:
            line = raw.strip()
            if in_block:
                if "*/" in line:
                    in_block = False
                    line = line.split("*/", 1)[1].strip()
                else:
                    continue
            if line.startswith("/*"):
                if "*/" not in line:
                    in_block = True
                continue
            if not line or line.startswith("//") or line.startswith("#!"):
                continue
            if line.startswith("#") and not line.startswith(("#include", "#if", "#else",
                                                              "#endif", "#define", "#pragma",
                                                              "#undef", "#elif", "#error")):
                continue  # a CMake or shell comment
            count += 1
    return count


def tracked(folder):
    out = subprocess.run(["git", "ls-files", "-z", folder], cwd=ROOT, check=True,
                         capture_output=True).stdout.decode().split("\0")
    return [p for p in out if p and os.path.isfile(os.path.join(ROOT, p))]


def is_fixture(path):
    name = os.path.basename(path)
    return (path.startswith("tests/support/") or "Fixture" in name
            or name.startswith("ProgramOnServer."))


def is_source(path):
    return path.endswith((".cpp", ".h"))


def main():
    code_files = tracked("src")
    code = sum(code_lines(p) for p in code_files)
    tests = tracked("tests")
    test_lines = sum(code_lines(p) for p in tests)
    case_lines = sum(code_lines(p) for p in tests if not is_fixture(p))
    # The same over C++ sources alone (no scenario data, no build files): the stricter figure.
    source_ratio = (sum(code_lines(p) for p in tests if is_source(p))
                    / sum(code_lines(p) for p in code_files if is_source(p)))
    print(f"test size: tests {test_lines} lines, code {code} lines: "
          f"{100 * test_lines / code:.0f}% (at most 40%); "
          f"cases alone {case_lines} lines: {100 * case_lines / code:.0f}% (at most 33%); "
          f"C++ sources alone {100 * source_ratio:.1f}% (at most 40%)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
