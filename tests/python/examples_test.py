"""The package's own page (python/README.md) and the Python guide: their
examples type-check with mypy --strict against the package's stubs, and the
page's example prints what the page says it prints."""
import os
import re
import subprocess
import sys

import pytest

import kestrum

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PAGES = [os.path.join(SOURCE, "python", "README.md"), os.path.join(SOURCE, "docs", "python.md")]


def blocks(page, language):
    with open(page, encoding="utf-8") as text:
        return re.findall(r"```%s\n(.*?)```" % language, text.read(), re.S)


def test_examples_type_check_against_the_stubs(tmp_path):
    pytest.importorskip("mypy")
    scripts = []
    for page in PAGES:
        for index, code in enumerate(blocks(page, "python")):
            script = tmp_path / ("%s_%d.py" % (os.path.basename(page).replace(".", "_"), index))
            script.write_text(code, encoding="utf-8")
            scripts.append(str(script))
    assert scripts
    package = os.path.dirname(os.path.dirname(kestrum.__file__))
    env = dict(os.environ, MYPYPATH=package)
    done = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-error-summary",
                           "--cache-dir", str(tmp_path / "cache"), *scripts], capture_output=True, text=True, env=env)
    assert done.returncode == 0, done.stdout + done.stderr


def test_the_pages_example_prints_what_the_page_says(tmp_path):
    page = PAGES[0]
    [code] = blocks(page, "python")
    expected = re.search(r"```python\n.*?```\n\nprints\n\n```\n(.*?)```", open(page, encoding="utf-8").read(), re.S)
    (tmp_path / "example.py").write_text(code, encoding="utf-8")
    env = {k: v for k, v in os.environ.items()}
    env["PYTHONPATH"] = os.path.dirname(os.path.dirname(kestrum.__file__))
    done = subprocess.run([sys.executable, "example.py"], cwd=tmp_path, capture_output=True, text=True, env=env)
    assert done.returncode == 0, done.stderr
    assert done.stdout == expected.group(1)
