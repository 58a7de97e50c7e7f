#!/usr/bin/env python3
"""Project files under git: with the textconv driver the tool guide shows,
`git diff` shows a change of a project file as a change of its JSON, both
between two commits and against the work tree; without it git sees only
binary files.

Usage: git_diff_test.py KESTRUM_TOOL WORK_DIR
"""
import os
import shlex
import shutil
import subprocess
import sys

TOOL, WORK = (os.path.abspath(arg) for arg in sys.argv[1:3])
shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)
REPO = os.path.join(WORK, "repo")
# Nothing from the user's or the system's git configuration takes part.
ENV = dict(os.environ, HOME=WORK, XDG_CONFIG_HOME=WORK, GIT_CONFIG_NOSYSTEM="1", GIT_PAGER="cat",
           GIT_AUTHOR_NAME="kestrum", GIT_AUTHOR_EMAIL="kestrum@localhost",
           GIT_COMMITTER_NAME="kestrum", GIT_COMMITTER_EMAIL="kestrum@localhost", TMPDIR=WORK)


def run(args, cwd=REPO, check=True):
    result = subprocess.run(args, cwd=cwd, env=ENV, capture_output=True, text=True, timeout=60)
    if check and result.returncode != 0:
        sys.exit(f"{' '.join(args)} failed ({result.returncode}): {result.stderr}")
    return result


def git(*args, check=True):
    return run(["git", *args], check=check)


def change_setting(old, new):
    """Rewrites the project through export and import with one setting changed."""
    exported = run([TOOL, "export", "demo/survey.kpf"]).stdout
    assert old in exported, f"{old!r} not in the export"
    with open(os.path.join(REPO, "changed.json"), "w", encoding="utf-8") as f:
        f.write(exported.replace(old, new, 1))
    run([TOOL, "import", "--force", "changed.json", "demo/survey.kpf"])
    os.remove(os.path.join(REPO, "changed.json"))


failures = []


def expect(condition, message, output):
    if not condition:
        failures.append(message)
        print(f"FAIL: {message}\n{output}")


os.makedirs(REPO)
git("init", "-q")
run([TOOL, "demo", "demo"])
with open(os.path.join(REPO, ".gitattributes"), "w", encoding="utf-8") as f:
    f.write("*.kpf diff=kestrum\n")
git("add", "-A")
git("commit", "-q", "-m", "survey")
change_setting('"dot_grid": "Enabled"', '"dot_grid": "Disabled"')
git("commit", "-q", "-am", "no dot grid")

plain = git("diff", "HEAD~1", "HEAD", "--", "demo/survey.kpf").stdout
expect("Binary files" in plain, "without the driver git should see binary files", plain)

git("config", "diff.kestrum.textconv", shlex.quote(TOOL) + " export")
committed = git("diff", "HEAD~1", "HEAD", "--", "demo/survey.kpf").stdout
expect('-    "dot_grid": "Enabled",' in committed and '+    "dot_grid": "Disabled",' in committed,
       "git diff between commits should show the JSON change", committed)
expect(committed.count("\n-") + committed.count("\n+") == 4, "only the changed line should differ", committed)

change_setting('"poly_tool": "Disabled"', '"poly_tool": "Enabled"')
worktree = git("diff", "--", "demo/survey.kpf").stdout
expect('+    "poly_tool": "Enabled"' in worktree, "git diff against the work tree should show the JSON change",
       worktree)

if failures:
    print(f"0 passed, {len(failures)} failed")
    sys.exit(1)
print("git diff shows project files as JSON")
