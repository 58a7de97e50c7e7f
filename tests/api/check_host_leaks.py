"""A host debugging with kestrum in its process: memory checkers see the
library's blocks as the host's own.

  check_host_leaks.py valgrind HOST
      HOST (the C host) runs whole under memcheck with an error-free summary
      and no block lost; "HOST leak" has its tile and its name reported as
      definitely lost, and nothing else.
  check_host_leaks.py asan HOST [RUNTIME]
      "HOST leak" with KESTRUM_HEAP=malloc under AddressSanitizer (the host's
      own, or RUNTIME preloaded into an uninstrumented host) reports both
      leaks.
"""
import os
import re
import subprocess
import sys


# The frames of a copied name (pm_TileGetName may hand over to its helpers
# without a frame of its own).
NAME_COPY = re.compile(r"pm_TileGetName|name_copy|StrDuplicate|strdup")


def run(command, env=None):
    done = subprocess.run(command, capture_output=True, text=True, env=env, timeout=300)
    return done.returncode, done.stdout + done.stderr


def fail(text, output):
    sys.exit(f"{text}\n--- output\n{output}")


def leak_records(output, kind):
    """Each loss record of that kind as the text of its stack."""
    records = re.split(r"\n==\d+== \n", output)
    return [r for r in records if kind in r]


def check_valgrind(host):
    memcheck = ["valgrind", "--leak-check=full", "--show-leak-kinds=definite",
                "--errors-for-leak-kinds=none", "--error-exitcode=99"]
    status, output = run(memcheck + [host])
    if status != 0 or "ERROR SUMMARY: 0 errors" not in output:
        fail(f"the host under memcheck: exit {status}, errors", output)
    if "definitely lost: 0 bytes in 0 blocks" not in output and "All heap blocks were freed" not in output:
        fail("the host that frees everything lost blocks", output)
    status, output = run(memcheck + [host, "leak"])
    if status != 0 or "ERROR SUMMARY: 0 errors" not in output:
        fail(f"the leaking host under memcheck: exit {status}, errors", output)
    if not re.search(r"definitely lost: [\d,]+ bytes in 2 blocks", output):
        fail("the leaking host's tile and name are not the two blocks definitely lost", output)
    records = leak_records(output, "definitely lost in loss record")
    if not any("pm_TileCreate" in r for r in records):
        fail("no definitely lost record comes from pm_TileCreate", output)
    if not any(NAME_COPY.search(r) and "pm_TileCreate" not in r for r in records):
        fail("no definitely lost record comes from pm_TileGetName", output)


def check_asan(host, runtime):
    env = dict(os.environ, KESTRUM_HEAP="malloc",
               ASAN_OPTIONS="detect_leaks=1:verify_asan_link_order=0:fast_unwind_on_malloc=0")
    if runtime:
        env["LD_PRELOAD"] = runtime
    status, output = run([host, "leak"], env)
    if status == 0:
        fail("the leaking host passed under AddressSanitizer", output)
    direct = [r for r in output.split("\n\n") if r.startswith("Direct leak")]
    if len(direct) != 2:
        fail(f"{len(direct)} direct leaks reported, not the tile and the name", output)
    if not any("pm_TileCreate" in d for d in direct):
        fail("no direct leak comes from pm_TileCreate", output)
    if not any(NAME_COPY.search(d) and "pm_TileCreate" not in d for d in direct):
        fail("no direct leak comes from pm_TileGetName", output)


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "valgrind":
        check_valgrind(sys.argv[2])
    elif len(sys.argv) >= 3 and sys.argv[1] == "asan":
        check_asan(sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else "")
    else:
        sys.exit(__doc__)
