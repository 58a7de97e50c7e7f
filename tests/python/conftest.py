"""Shared fixtures of the Python package's tests: the tool, and projects made
by it (the demo) or through the package."""
import ctypes
import gc
import json
import os
import subprocess

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
    done = subprocess.run([tool, *args], capture_output=True, text=True)
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


def pytest_sessionfinish(session, exitstatus):
    """In the sanitizer build, a leak check once every test has run. The
    check at exit would report the interpreter's own blocks, which it never
    frees, so it is off there (leak_check_at_exit=0) and this one runs while
    the interpreter still reaches what it holds: what is left unreachable
    was lost by the package or the library."""
    try:
        check = ctypes.CDLL(None).__lsan_do_recoverable_leak_check
    except AttributeError:
        return
    gc.collect()
    if check() != 0:
        session.exitstatus = pytest.ExitCode.TESTS_FAILED
