#!/usr/bin/env python3
"""Runs the README's examples as a reader would, and checks what they print.

Every fenced block whose language is sh, python or r is run, each in a
scratch folder of its own holding a copy of examples/ (so that
`examples/plots.csv` and the bundled data files are found), with the built
programs first on PATH, the built Python package on PYTHONPATH and the R
package in R_LIBS. A block is left out only when the line before its fence
is a comment `<!-- not run: why -->`. A block of any language after a
comment `<!-- file: PATH -->` must equal that file of the repository word for
word (the library's example program and its output, which the test command
builds and runs).

When a ```text block follows a run block with nothing but blank lines
between, it is that block's expected standard output, compared line for
line (trailing blanks ignored); a line of three dots `...` stands for any
number of lines. A block that fails (non-zero exit) fails the test.

Usage: run_readme.py README BUILD_DIR [--r-library DIR] [--only sh,python,r]
       [--keep]
"""
import argparse
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

FENCE = re.compile(r"^```(\S*)\s*$")
NOT_RUN = re.compile(r"^<!--\s*not run:\s*(.+?)\s*-->\s*$")
SAME_AS = re.compile(r"^<!--\s*file:\s*(\S+)\s*-->\s*$")
RUNNERS = {"sh": ["bash", "-euo", "pipefail"], "python": ["/usr/bin/python3"], "r": ["Rscript", "--vanilla"]}
SUFFIX = {"sh": ".sh", "python": ".py", "r": ".R"}


class Block:
    def __init__(self, language, line, text, skip, same_as=None):
        self.language, self.line, self.text, self.skip = language, line, text, skip
        self.same_as = same_as
        self.expected = None


def blocks_of(readme):
    """The fenced blocks of the file, with their expected outputs attached."""
    lines = readme.read_text(encoding="utf-8").split("\n")
    found = []
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        language, start = m.group(1).lower(), i
        j = i + 1
        while j < len(lines) and not lines[j].startswith("```"):
            j += 1
        if j >= len(lines):
            raise SystemExit(f"{readme}:{start + 1}: a fence that is never closed")
        previous = start - 1
        while previous >= 0 and not lines[previous].strip():
            previous -= 1
        skip = same_as = None
        if previous >= 0 and NOT_RUN.match(lines[previous]):
            skip = NOT_RUN.match(lines[previous]).group(1)
        if previous >= 0 and SAME_AS.match(lines[previous]):
            same_as = SAME_AS.match(lines[previous]).group(1)
        block = Block(language, start + 1, "\n".join(lines[start + 1:j]) + "\n", skip, same_as)
        # An output block: the next fence after blank lines only.
        if same_as is None and found and language == "text" and found[-1].language in RUNNERS and found[-1].expected is None:
            gap = lines[found[-1].end + 1:start]
            if all(not g.strip() for g in gap):
                found[-1].expected = block.text
                i = j + 1
                continue
        block.end = j
        found.append(block)
        i = j + 1
    return found


REGISTRY = "<!-- the registry: tessora --list-coefficients -->"


def registry_table(readme):
    """The rows of the table after the registry comment, as lists of cells
    (the first seven columns, backticks taken off)."""
    lines = readme.read_text(encoding="utf-8").split("\n")
    if REGISTRY not in lines:
        return None
    rows = []
    for line in lines[lines.index(REGISTRY) + 3:]:
        if not line.startswith("|"):
            break
        cells = [c.strip().strip("`") for c in line.strip().strip("|").split(" | ")]
        rows.append(cells[:7])
    return rows


def matches(expected, actual):
    """Line by line, trailing blanks ignored; '...' takes any run of lines."""
    want = [l.rstrip() for l in expected.rstrip("\n").split("\n")]
    got = [l.rstrip() for l in actual.rstrip("\n").split("\n")]

    def walk(w, g):
        if w == len(want):
            return g == len(got)
        if want[w] == "...":
            return any(walk(w + 1, k) for k in range(g, len(got) + 1))
        return g < len(got) and want[w] == got[g] and walk(w + 1, g + 1)

    return walk(0, 0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("readme", type=pathlib.Path)
    parser.add_argument("build", type=pathlib.Path)
    parser.add_argument("--r-library")
    parser.add_argument("--only", default="sh,python,r")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    root = args.readme.resolve().parent
    build = args.build.resolve()
    wanted = set(args.only.split(","))

    env = dict(os.environ)
    env["PATH"] = f"{build / 'bin'}:{env.get('PATH', '')}"
    env["PYTHONPATH"] = f"{build / 'python'}" + (f":{env['PYTHONPATH']}" if env.get("PYTHONPATH") else "")
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    env["TESSORA_ROOT"] = str(root)
    if args.r_library:
        env["R_LIBS"] = args.r_library
    env.pop("DISPLAY", None)

    work = pathlib.Path(tempfile.mkdtemp(prefix="tessora-readme."))
    failures = ran = skipped = 0
    table = registry_table(args.readme)
    if table is not None:
        listed = subprocess.run([str(build / "bin" / "tessora"), "--list-coefficients"], stdout=subprocess.PIPE,
                                text=True, check=True).stdout.strip().split("\n")[1:]
        want = [row.split("\t") for row in listed]
        if table != want:
            print("FAIL README.md: the coefficients' table differs from tessora --list-coefficients")
            for a, b in zip(table, want):
                if a != b:
                    print(f"  README {a}\n  tessora {b}")
            failures += 1
        else:
            print(f"ok   README.md: the coefficients' table equals the registry ({len(want)} rows)")
    try:
        for n, block in enumerate(blocks_of(args.readme)):
            if block.same_as is not None:
                where = f"README.md:{block.line} (the copy of {block.same_as})"
                source = root / block.same_as
                if not source.is_file() or source.read_text(encoding="utf-8") != block.text:
                    print(f"FAIL {where}: differs from the file")
                    failures += 1
                else:
                    print(f"ok   {where}")
                continue
            if block.language not in RUNNERS:
                continue
            where = f"README.md:{block.line} ({block.language})"
            if block.skip or block.language not in wanted:
                skipped += 1
                continue
            folder = work / f"block{n:03d}"
            shutil.copytree(root / "examples", folder / "examples",
                            ignore=shutil.ignore_patterns("MATRIX.TXT", "build*"))
            script = folder / ("block" + SUFFIX[block.language])
            script.write_text(block.text)
            ran += 1
            try:
                done = subprocess.run(RUNNERS[block.language] + [script.name], cwd=folder, env=env,
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=900)
            except subprocess.TimeoutExpired:
                print(f"FAIL {where}: did not finish in 15 minutes")
                failures += 1
                continue
            if done.returncode != 0:
                print(f"FAIL {where}: exit status {done.returncode}\n--- block\n{block.text}--- stderr\n{done.stderr}"
                      f"--- stdout\n{done.stdout}")
                failures += 1
            elif block.expected is not None and not matches(block.expected, done.stdout):
                print(f"FAIL {where}: the output differs from the README\n--- README shows\n{block.expected}"
                      f"--- the block printed\n{done.stdout}")
                failures += 1
            else:
                print(f"ok   {where}" + (" (output compared)" if block.expected is not None else ""))
    finally:
        if args.keep:
            print(f"scratch folders kept in {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)
    print(f"README examples: {ran} run, {failures} failed, {skipped} not run")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
