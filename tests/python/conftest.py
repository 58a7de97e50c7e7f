"""Shared fixtures of the Python package's tests: the tool, and projects made
by it (the demo) or through the package."""
import ctypes
import gc
import json
import os
import re
import subprocess
import sys
import tempfile

import pytest

import kestrum


@pytest.fixture(scope="session")
def tool():
    path = os.environ.get("KESTRUM_TOOL")
    if not path:
        pytest.skip("KESTRUM_TOOL is not set (ctest sets it)")
    return path


def run_tool(tool, *args):
    """Runs the kestrum tool; returns (status, stdout)."""
    # The tool runs as it was built: not with what the sanitizer build
    # preloads into python3.
    env = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "PYTHONMALLOC")}
    done = subprocess.run([tool, *args], capture_output=True, text=True, env=env)
    assert done.returncode in (0, 1), done.stderr
    return done.returncode, done.stdout


@pytest.fixture(scope="session")
def demo(tool, tmp_path_factory):
    """The tool's example project, saved: data files at every level, some
    missing on disk, PFA files and processes on all three levels."""
    directory = tmp_path_factory.mktemp("demo")
    run_tool(tool, "demo", str(directory))
    return directory / "survey.kpf"


def tool_json(tool, *args):
    return json.loads(run_tool(tool, *args)[1])


# A stack frame in kestrum's code: its libraries or a source of the build.
KESTRUM_FRAME = r"_kestrum\.|libkestrum|/(node|tree|process|paths|persist|toolkit|tools|python/src)/[a-z_]+\.(cc|h)"


def pytest_sessionfinish(session, exitstatus):
    """In the sanitizer build, a leak check once every test has run. The
    check at exit would report the interpreter's own blocks, which it never
    frees, so it is off there (leak_check_at_exit=0) and this one runs while
    the interpreter still reaches what it holds (PYTHONMALLOC=malloc puts
    its objects where the check looks). A block lost by the package or the
    library has them on its stack; the interpreter's own stray blocks do not
    and are let be."""
    try:
        check = ctypes.CDLL(None).__lsan_do_recoverable_leak_check
    except AttributeError:
        return
    gc.collect()
    with tempfile.TemporaryFile() as report:
        sys.stderr.flush()
        saved = os.dup(2)
        os.dup2(report.fileno(), 2)
        try:
            found = check()
        finally:
            os.dup2(saved, 2)
            os.close(saved)
        report.seek(0)
        text = report.read().decode(errors="replace")
    ours = [block for block in text.split("\n\n") if re.search(KESTRUM_FRAME, block)]
    if found and ours:
        sys.stderr.write("\n\n".join(ours) + "\n")
        session.exitstatus = pytest.ExitCode.TESTS_FAILED
