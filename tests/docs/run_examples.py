#!/usr/bin/env python3
"""Runs the examples of one document as a reader would, and fails when one
no longer compiles, fails, or prints other than the document shows.

Every fenced block of the document marked ```c, ```python or ```sh is an
example. The examples run one after the other, in the order of the
document, in one new directory, so a later example can use what an earlier
one made; the sources themselves are written elsewhere.

- ```c is compiled as C99 with warnings as errors against the installed
  library (pkg-config) and run.
- ```python runs under the given python3, which finds the installed package.
- ```sh runs under `bash -e -o pipefail`: a command whose failure is meant
  says so itself (`kestrum check FILE || echo "exit status $?"`). Each block
  starts in the examples' directory again.
- A ```text block right after an example (blank lines between at most) is
  what the example prints on standard output. A line "..." in it stands for
  any number of lines, and "[...]" within a line for any text (a path that
  depends on where the example runs); trailing blanks are ignored.
- `<!-- example not run: REASON -->` right before an example leaves it out,
  for the few that cannot run as they stand (they build kestrum, need a
  cluster, ...). A marker that is followed by anything but an example fails.

The examples see the installed kestrum under PREFIX: its tool on the PATH,
its pkg-config file, its libraries and its Python package; HOME is a
directory of their own.

Usage: run_examples.py --prefix PREFIX --work DIR --cc CC --python PYTHON DOCUMENT
"""
import argparse
import difflib
import glob
import os
import re
import shutil
import subprocess
import sys

RUNNABLE = ("c", "python", "sh")
FENCE = re.compile(r"^(?P<indent> *)(?P<fence>```+|~~~+)\s*(?P<lang>[\w+-]*)")
MARKER = re.compile(r"^\s*<!--\s*example not run:\s*(?P<reason>.*?)\s*-->\s*$")
TIMEOUT = 300


class Block:
    def __init__(self, lang, text, line, reason):
        self.lang, self.text, self.line, self.reason = lang, text, line, reason
        self.expected = None


def parse(path):
    """The document's fenced blocks, each example with its expected output."""
    lines = open(path, encoding="utf-8").read().split("\n")
    found, problems = [], []
    marker = None  # (reason, line) waiting for its example
    last_example = None  # the example a text block right after it belongs to
    i = 0
    while i < len(lines):
        line = lines[i]
        fence = FENCE.match(line)
        mark = MARKER.match(line)
        if mark:
            if marker:
                problems.append(f"line {marker[1]}: a marker with no example after it")
            marker = (mark.group("reason"), i + 1)
            last_example = None
            i += 1
            continue
        if not fence:
            if line.strip():
                if marker:
                    problems.append(f"line {marker[1]}: a marker with no example right after it")
                    marker = None
                last_example = None
            i += 1
            continue
        indent, close, lang = fence.group("indent"), fence.group("fence"), fence.group("lang")
        body, j = [], i + 1
        while j < len(lines) and not lines[j].strip().startswith(close):
            body.append(lines[j][len(indent):] if lines[j].startswith(indent) else lines[j].lstrip())
            j += 1
        text = "\n".join(body) + "\n"
        if lang in RUNNABLE:
            block = Block(lang, text, i + 1, marker[0] if marker else None)
            found.append(block)
            last_example = block if block.reason is None else None
        else:
            if marker:
                problems.append(f"line {marker[1]}: a marker before a ```{lang} block, which is never run")
            if lang == "text" and last_example is not None:
                last_example.expected = text
            last_example = None
        marker = None
        i = j + 1
    if marker:
        problems.append(f"line {marker[1]}: a marker with no example after it")
    return found, problems


def matches(expected, actual):
    """Whether the actual lines are the expected ones, "..." standing for any run of lines."""
    memo = {}

    def match(e, a):
        if (e, a) in memo:
            return memo[(e, a)]
        if e == len(expected):
            result = a == len(actual)
        elif expected[e].strip() == "...":
            result = any(match(e + 1, k) for k in range(a, len(actual) + 1))
        else:
            result = a < len(actual) and same_line(expected[e], actual[a]) and match(e + 1, a + 1)
        memo[(e, a)] = result
        return result

    return match(0, 0)


def same_line(expected, actual):
    if "[...]" not in expected:
        return expected == actual
    pattern = ".*".join(re.escape(part) for part in expected.split("[...]"))
    return re.fullmatch(pattern, actual) is not None


def lines_of(text):
    lines = [line.rstrip() for line in text.split("\n")]
    while lines and not lines[-1]:
        lines.pop()
    return lines


def environment(prefix, home):
    env = dict(os.environ)
    libdirs = [d for d in (os.path.join(prefix, "lib"), os.path.join(prefix, "lib64")) if os.path.isdir(d)]
    libdirs += glob.glob(os.path.join(prefix, "lib", "*-linux-gnu"))
    pc_dirs = [os.path.join(d, "pkgconfig") for d in libdirs if os.path.isdir(os.path.join(d, "pkgconfig"))]
    packages = [os.path.dirname(p) for p in glob.glob(os.path.join(prefix, "lib*", "python3*", "*-packages", "kestrum"))]
    env.update({
        "PATH": os.path.join(prefix, "bin") + os.pathsep + env.get("PATH", ""),
        "PKG_CONFIG_PATH": os.pathsep.join(pc_dirs),
        "LD_LIBRARY_PATH": os.pathsep.join(libdirs),
        "PYTHONPATH": os.pathsep.join(packages),
        "PYTHONDONTWRITEBYTECODE": "1",
        "HOME": home,
        "LC_ALL": "C.UTF-8",
    })
    for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LD_PRELOAD", "KESTRUM_SLOW_PATHS"):
        env.pop(name, None)
    return env, bool(packages)


class SetupError(Exception):
    pass


def pkg_config(what, env):
    result = subprocess.run(["pkg-config", *what, "kestrum"], env=env, capture_output=True, text=True)
    if result.returncode != 0:
        raise SetupError(f"pkg-config {' '.join(what)} kestrum failed: {result.stderr.strip()}")
    return result.stdout


def commands(block, source, args, env):
    """The commands that run one example: [(argv, is_the_run)]."""
    if block.lang == "c":
        program = source[:-2]
        flags = pkg_config(["--cflags", "--libs"], env).split()
        libdir = pkg_config(["--variable=libdir"], env).strip()
        compile_line = [args.cc, "-std=c99", "-Wall", "-Wextra", "-Werror", source, *flags,
                        "-Wl,-rpath," + libdir, "-o", program]
        return [(compile_line, False), ([program], True)]
    if block.lang == "python":
        return [([args.python, source], True)]
    return [(["bash", "-e", "-o", "pipefail", source], True)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--cc", default="cc")
    parser.add_argument("--python", default=sys.executable)
    parser.add_argument("document")
    args = parser.parse_args()
    document = os.path.abspath(args.document)
    name = os.path.basename(document)
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    run_dir, source_dir, home = (os.path.join(work, d) for d in ("run", "sources", "home"))
    for d in (run_dir, source_dir, home):
        os.makedirs(d)
    env, have_python = environment(os.path.abspath(args.prefix), home)

    blocks, problems = parse(document)
    failures = [f"{name} {p}" for p in problems]
    counts = {"ran": 0, "not run": 0}
    for block in blocks:
        where = f"{name}:{block.line} ({block.lang})"
        if block.reason is not None:
            counts["not run"] += 1
            print(f"{where}: not run: {block.reason}")
            continue
        if block.lang == "python" and not have_python:
            counts["not run"] += 1
            print(f"{where}: not run: the Python package is not installed in the prefix")
            continue
        source = os.path.join(source_dir, f"example-{block.line}.{ {'c': 'c', 'python': 'py', 'sh': 'sh'}[block.lang] }")
        with open(source, "w", encoding="utf-8") as f:
            f.write(block.text)
        counts["ran"] += 1
        try:
            steps = commands(block, source, args, env)
        except SetupError as error:
            failures.append(f"{where}: {error}")
            continue
        for argv, is_run in steps:
            try:
                result = subprocess.run(argv, cwd=run_dir, env=env, capture_output=True, timeout=TIMEOUT,
                                        stdin=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                failures.append(f"{where}: still running after {TIMEOUT} s: {' '.join(argv)}")
                break
            out = result.stdout.decode("utf-8", errors="replace")
            err = result.stderr.decode("utf-8", errors="replace")
            if result.returncode != 0:
                failures.append(f"{where}: {'the example' if is_run else 'compiling it'} exited "
                                f"{result.returncode}\n--- standard output\n{out}--- standard error\n{err}")
                break
            if is_run and block.expected is not None and not matches(lines_of(block.expected), lines_of(out)):
                diff = "\n".join(difflib.unified_diff(lines_of(block.expected), lines_of(out),
                                                      "as the document shows", "as printed", lineterm=""))
                failures.append(f"{where}: printed other than the document shows\n{diff}\n"
                                f"--- standard error\n{err}")
    for failure in failures:
        print("FAIL: " + failure)
    print(f"{name}: {counts['ran']} examples run, {counts['not run']} not run, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
