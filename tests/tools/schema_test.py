#!/usr/bin/env python3
"""The JSON schemas in schema/ describe what the tool writes and reads.

- What the tool writes validates: the demo's export and the documents of
  show, ready and check --json (all of them, and for one node).
- The project schema and the importer agree on what is a project document:
  every hand-written JSON input of the tool's tests (the raw string literals
  of tests/tools/*.cc that name "kestrum_project"), every JSON seed of the
  import fuzz corpus, and a few hundred documents made by changing one value
  or key of the demo's export are either accepted by both or refused by
  both. The few refusals no JSON schema can express (a name given twice in
  one list, a key given twice in one object, nesting deeper than 32 levels)
  are told apart by the importer's message.

- Every schema of schema/ is installed complete in itself: it checks as a
  draft 2020-12 schema, its $id is absolute, and every $ref in it resolves
  with the network shut off. The documents above are validated the plain way
  a user would, jsonschema.validate(document, schema), with the installed
  (bundled) files.

The importer's verdicts come from import_verdicts, which reads documents the
way `kestrum import` does, all in one run.

Usage: schema_test.py KESTRUM_TOOL IMPORT_VERDICTS SOURCE_DIR BUNDLE_DIR WORK_DIR
"""
import copy
import json
import os
import random
import re
import shutil
import subprocess
import sys
import urllib.parse
import urllib.request
import warnings

try:
    import jsonschema
except ImportError:
    sys.exit("python3-jsonschema is not installed (scripts/setup.sh installs it)")

TOOL, VERDICTS, SOURCE, BUNDLES, WORK = (os.path.abspath(arg) for arg in sys.argv[1:6])
SCHEMAS = os.path.join(SOURCE, "schema")
ID_BASE = "https://kestrum.invalid/schema/"
shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)

# Refusals of the importer that lie beyond what a schema can say: a name
# given twice in one list. (A key given twice is no strict JSON, and nesting
# beyond 32 levels takes keys the schema does not know.)
BEYOND_SCHEMA = re.compile(r"already in use")


def no_network(*args, **kwargs):
    raise AssertionError(f"a schema reference reached for the network: {args[:1]}")


# A reference that the bundle does not hold must fail here, not be fetched:
# no requests (jsonschema imports it when it resolves a remote reference),
# no urlopen.
sys.modules["requests"] = None
urllib.request.urlopen = no_network
for module_name in ("jsonschema.validators", "jsonschema._utils"):
    module = sys.modules.get(module_name)
    if module is not None and hasattr(module, "urlopen"):
        module.urlopen = no_network
    if module is not None and hasattr(module, "requests"):
        module.requests = None


def refs(value, base):
    """Every $ref in a schema with the base URI it is resolved against."""
    if isinstance(value, dict):
        base = urllib.parse.urljoin(base, value.get("$id", ""))
        if isinstance(value.get("$ref"), str):
            yield urllib.parse.urljoin(base, value["$ref"])
        for item in value.values():
            yield from refs(item, base)
    elif isinstance(value, list):
        for item in value:
            yield from refs(item, base)


def load_schemas():
    """A plain validator (no registry, no resolver) for each installed schema."""
    sources = sorted(name for name in os.listdir(SCHEMAS) if name.endswith(".schema.json"))
    bundles = sorted(name for name in os.listdir(BUNDLES) if name.endswith(".schema.json"))
    if sources != bundles:
        fail(f"schema/ holds {sources}, the installed schemas are {bundles}")
    validators = {}
    for name in bundles:
        with open(os.path.join(BUNDLES, name), encoding="utf-8") as f:
            schema = json.load(f)
        jsonschema.Draft202012Validator.check_schema(schema)
        if schema.get("$id") != ID_BASE + name:
            fail(f"{name}: $id {schema.get('$id')!r} is not {ID_BASE + name!r}")
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            resolver = jsonschema.RefResolver.from_schema(schema)
            for ref in sorted(set(refs(schema, ""))):
                try:
                    resolver.resolve(ref)
                except Exception as error:  # any failure to resolve is the finding
                    fail(f"{name}: $ref {ref} does not resolve within the file: {error}")
        validators[name.split(".")[0]] = (schema, jsonschema.Draft202012Validator(schema))
    return validators


failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


VALIDATORS = load_schemas()


def run(args, stdin=b""):
    return subprocess.run([TOOL] + args, input=stdin, capture_output=True, cwd=WORK, timeout=60)


def no_twins(pairs):
    keys = [key for key, _ in pairs]
    if len(keys) != len(set(keys)):
        raise ValueError("a key given twice")
    return dict(pairs)


def refuse_constant(name):
    raise ValueError("not JSON: " + name)


def strict_parse(data):
    """The document in `data` as strict JSON reads it, or None: UTF-8, no
    key twice, no NaN or Infinity literals, no lone surrogates."""
    try:
        value = json.loads(data.decode("utf-8"), object_pairs_hook=no_twins, parse_constant=refuse_constant)
    except (UnicodeDecodeError, ValueError, RecursionError):
        return None
    try:
        _check_surrogates(value)
    except ValueError:
        return None
    return value


def _check_surrogates(value):
    if isinstance(value, str):
        value.encode("utf-8")  # raises on a lone surrogate
    elif isinstance(value, dict):
        for key, item in value.items():
            _check_surrogates(key)
            _check_surrogates(item)
    elif isinstance(value, list):
        for item in value:
            _check_surrogates(item)


def schema_errors(kind, value):
    return [e.message for e in VALIDATORS[kind][1].iter_errors(value)][:3]


def check_written(kind, what, text):
    try:
        value = json.loads(text)
    except ValueError as error:
        fail(f"{what} is not JSON: {error}")
        return None
    try:
        jsonschema.validate(value, VALIDATORS[kind][0])
    except jsonschema.ValidationError as error:
        fail(f"{what} does not follow {kind}.schema.json: {error.message}")
    return value


counts = {"accepted": 0, "refused": 0, "beyond": 0}


pending = []


def check_agreement(what, data):
    pending.append((what, data))


def judge_pending():
    """The schema and the importer give the same verdict on every pending document."""
    batch = b"".join(str(len(data)).encode() + b"\n" + data for _, data in pending)
    result = subprocess.run([VERDICTS], input=batch, capture_output=True, timeout=120)
    verdicts = result.stdout.decode("utf-8", errors="replace").splitlines()
    if result.returncode != 0 or len(verdicts) != len(pending):
        fail(f"import_verdicts exited {result.returncode} with {len(verdicts)} of {len(pending)} verdicts: "
             f"{result.stderr.decode(errors='replace')}")
        return
    for (what, data), verdict in zip(pending, verdicts):
        agree(what, data, verdict)


def agree(what, data, verdict):
    imported = verdict == "accepted"
    value = strict_parse(data)
    valid = value is not None and not schema_errors("kestrum-project", value)
    if imported == valid:
        counts["accepted" if valid else "refused"] += 1
        return
    message = verdict
    if not imported and BEYOND_SCHEMA.search(message):
        counts["beyond"] += 1
        return
    if imported:
        why = "not strict JSON" if value is None else schema_errors("kestrum-project", value)
        fail(f"{what}: import accepts it, the schema refuses it ({why}): {data[:300]!r}")
    else:
        fail(f"{what}: the schema accepts it, import refuses it ({message.strip()}): {data[:300]!r}")


# ---- What the tool writes ------------------------------------------------------
demo = run(["demo", "demo"])
if demo.returncode != 0:
    sys.exit("kestrum demo failed: " + demo.stderr.decode(errors="replace"))
project = os.path.join("demo", "survey.kpf")
export = run(["export", project])
document = check_written("kestrum-project", "the demo's export", export.stdout)
show = check_written("kestrum-show", "show --json", run(["show", "--json", project]).stdout)
if show is not None and document is not None and show["project"] != document:
    fail("show --json holds a project other than the export")
for args in (["ready", "--json", project], ["ready", "--json", project, "--node", "T3/S2"]):
    ready = run(args)
    if ready.returncode != 1:
        fail(f"{' '.join(args)} exited {ready.returncode}, expected 1 (the demo has processes not ready)")
    check_written("kestrum-ready", " ".join(args), ready.stdout)
check_written("kestrum-check", "check --json", run(["check", "--json", project]).stdout)
for engine in ("make", "snakemake"):
    report = os.path.join(WORK, f"workflow-{engine}.json")
    planned = run(["workflow", project, "--engine", engine, "-o", os.path.join(WORK, f"plan-{engine}"),
                   "--report", report, "--force"])
    if planned.returncode not in (0, 1):
        fail(f"workflow --engine {engine} --report exited {planned.returncode}: {planned.stderr!r}")
    with open(report, encoding="utf-8") as f:
        check_written("kestrum-workflow", f"workflow --engine {engine} --report", f.read())

# ---- Hand-written inputs of the tests and the fuzz seeds ---------------------
RAW = re.compile(r'R"([^()\\\s]{0,16})\((.*?)\)\1"', re.S)
tests_dir = os.path.join(SOURCE, "tests", "tools")
literals = 0
for name in sorted(os.listdir(tests_dir)):
    if not name.endswith(".cc"):
        continue
    with open(os.path.join(tests_dir, name), encoding="utf-8") as f:
        source = f.read()
    for match in RAW.finditer(source):
        if "kestrum_project" in match.group(2):
            literals += 1
            check_agreement(f"{name} literal at offset {match.start()}", match.group(2).encode("utf-8"))
seeds_dir = os.path.join(SOURCE, "fuzz", "corpus", "import")
seeds = sorted(os.listdir(seeds_dir)) if os.path.isdir(seeds_dir) else []
for name in seeds:
    with open(os.path.join(seeds_dir, name), "rb") as f:
        check_agreement(f"fuzz seed {name}", f.read())
if literals < 10:
    fail(f"only {literals} hand-written documents found in tests/tools; has their form changed?")

# ---- One change at a time to the demo's export -------------------------------
REPLACEMENTS = [None, True, 0, 7, -1, 2**31 - 1, 2**31, -(2**31) - 1, 1.5, 1e308, "", "text", "nan",
                "Enabled", "Raster", {"hex": "41"}, {"hex": "4100"}, {"hex": "4"}, {"hex": "zz"},
                {"bytes": "41"}, [], [{}], {}, [{"name": "X"}]]


def places(value, path=()):
    yield path, value
    if isinstance(value, dict):
        for key, item in value.items():
            yield from places(item, path + (key,))
    elif isinstance(value, list):
        for index, item in enumerate(value):
            yield from places(item, path + (index,))


def changed(doc, path, how, rng):
    doc = copy.deepcopy(doc)
    parent = doc
    for step in path[:-1]:
        parent = parent[step]
    last = path[-1]
    if how == "delete" and isinstance(parent, dict):
        del parent[last]
    elif how == "rename" and isinstance(parent, dict):
        parent[last + "s"] = parent.pop(last)
    else:
        parent[last] = copy.deepcopy(rng.choice(REPLACEMENTS))
    return doc


if document is not None:
    rng = random.Random(20261208)
    spots = [path for path, _ in places(document) if path]
    for n in range(300):
        path = rng.choice(spots)
        how = rng.choice(["replace", "replace", "replace", "delete", "rename"])
        mutant = changed(document, path, how, rng)
        check_agreement(f"the export with {how} at /{'/'.join(map(str, path))}", json.dumps(mutant).encode("utf-8"))

judge_pending()
print(f"schema: the tool's documents validate; {literals} test literals, {len(seeds)} fuzz seeds and 300 changed "
      f"exports: {counts['accepted']} accepted by both, {counts['refused']} refused by both, "
      f"{counts['beyond']} refused beyond what a schema says")
if failures:
    print(f"{len(failures)} failed")
    sys.exit(1)
