#!/usr/bin/env python3
"""Checks that regenerated golden files only gained lines.

For every golden file that differs from its committed version (or from the
revision given with --base), the committed lines must appear in the new file
in the same order, with new lines only in between. Prints each file that
loses or reorders a line, with the first line it misses, and exits 1 then.

    scripts/golden_lines_kept.py [--base REV] [PATH...]

PATH defaults to the folders that hold golden trees.
"""
import argparse
import subprocess
import sys

DEFAULT_PATHS = ["tests/data"]


def changed_files(base, paths):
    out = subprocess.run(["git", "diff", "--name-only", base, "--", *paths],
                         check=True, capture_output=True, text=True).stdout
    return [line for line in out.splitlines() if line]


def old_text(base, path):
    shown = subprocess.run(["git", "show", f"{base}:{path}"], capture_output=True)
    return shown.stdout.decode("utf-8", "surrogateescape") if shown.returncode == 0 else None


def first_missing(old_lines, new_lines):
    """The first old line that the new lines, read in order, do not hold."""
    k = 0
    for line in old_lines:
        while k < len(new_lines) and new_lines[k] != line:
            k += 1
        if k == len(new_lines):
            return line
        k += 1
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--base", default="HEAD")
    parser.add_argument("paths", nargs="*", default=DEFAULT_PATHS)
    args = parser.parse_args()
    failed = 0
    files = changed_files(args.base, args.paths)
    for path in files:
        old = old_text(args.base, path)
        if old is None:
            continue
        try:
            with open(path, encoding="utf-8", errors="surrogateescape") as f:
                new = f.read()
        except FileNotFoundError:
            print(f"{path}: removed")
            failed += 1
            continue
        missing = first_missing(old.splitlines(), new.splitlines())
        if missing is not None:
            print(f"{path}: loses or moves the line {missing!r}")
            failed += 1
    print(f"{len(files)} changed golden files, {failed} lose lines")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
