#!/usr/bin/env python3
"""Writes tests/reliability/misuse_test.cc and include/kestrum.map from
include/kestrum.h, the one list of kestrum's exports.

The map is the linker's version script: exactly the pm_ functions the header
declares (the build checks the library's exports against it). The test calls
every exported function with the arguments a careless or hostile host might
pass: null handles, null strings, null name arrays, zero and negative numbers
(and the largest and smallest int), with a report slot and without one. Where
the function also takes live objects, it is called with live handles and null
strings, and with one live handle among null ones. Each call must return the
documented null, 0 or special value and must not crash or leak (the sanitizer
build checks the last two).

Run it after changing the public header and commit both outputs:
    python3 scripts/gen_misuse_test.py
With --check it writes nothing and fails when either output is not what the
header gives (ctest runs it so, as api.ExportListsFollowHeader).
"""

import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HEADER = os.path.join(ROOT, "include", "kestrum.h")
OUTPUT = os.path.join(ROOT, "tests", "reliability", "misuse_test.cc")
MAP = os.path.join(ROOT, "include", "kestrum.map")

# Parameter types that take an object, and which live object stands in.
HANDLES = {
    "pm_Project *": "project", "pm_Tile *": "tile", "pm_Sample *": "sample",
    "pm_File *": "file", "pm_PFAFile *": "pfa", "pm_Process *": "process",
    "pm_Argument *": "argument", "pm_ProcFiles *": "root",
    "pm_ProcessLists *": "lists", "void *": "node", "const void *": "node",
}
NULL_ONLY = {"const char *", "const char * const *", "tk_StringList *"}
INTEGERS = {"int", "int32_t", "pm_AnalysisSwitch", "pm_ArgumentHide", "pm_ArgumentMode",
            "pm_Level", "pm_PFAType", "pm_ProcessOutput", "pm_ProjectType", "pm_Selection"}

# Functions whose result with null and zero arguments is documented to be
# something other than null or 0.
NULL_RESULT = {
    "pm_ProjectCreate": "nonnull", "pm_ProcFilesCreate": "nonnull",
    "pm_ProcessListsCreate": "nonnull",
    # Creation copies the texts that are given; none given is no error.
    "pm_TileCreate": "nonnull", "pm_SampleCreate": "nonnull", "pm_FileCreate": "nonnull",
    "pm_PFAFileCreate": "nonnull", "pm_ProcessCreate": "nonnull",
    "pm_ArgumentCreate": "nonnull",
    # Without a directory no path is built; either outcome is documented.
    "pm_ProcessVaCreate": "any",
    "pm_PFAFileGetTypeString": "raster",  # a null PFA file counts as type 0
    "pm_PFATypeEvaluate": "4",
    "pm_PFAFileFindLevel": "-1",
    "pm_FileGetParentType": "-1",
    "pm_ParentAppendFile": "nonzero",  # nothing was appended: a failure
}
# Functions that must explain a null-argument failure with a report.
NULL_REPORT = {"pm_ProjectLoad", "pm_PFATypeEvaluate", "pm_FileGetParentType",
               "pm_IsProcessReady", "pm_ProcessCommandLine", "pm_PFAFileFindLevel"}
# With live objects and null strings, these must fail with a report.
LIVE_REPORT = {"pm_ProjectSave", "pm_ProjectSaveAs"}
# Owned results and how to release them.
OWNED = {
    "pm_ProjectCreate": "pm_ProjectDestroy", "pm_ProjectLoad": "pm_ProjectDestroy",
    "pm_TileCreate": "pm_TileDestroy", "pm_SampleCreate": "pm_SampleDestroy",
    "pm_FileCreate": "pm_FileDestroy", "pm_PFAFileCreate": "pm_PFAFileDestroy",
    "pm_ProcessCreate": "pm_ProcessDestroy", "pm_ProcessVaCreate": "pm_ProcessDestroy",
    "pm_ArgumentCreate": "pm_ArgumentDestroy", "pm_ArgumentCopy": "pm_ArgumentDestroy",
    "pm_ArgumentCopyList": "pm_ArgumentDestroyList", "pm_ProcessCopy": "pm_ProcessDestroy",
    "pm_ProcessCopyList": "pm_ProcessDestroyList", "pm_PFAListCopy": "pm_PFAFileDestroyList",
    "pm_ProcFilesCreate": "pm_ProcFilesDestroy", "pm_ProcessListsCreate": "pm_ProcessListsDestroy",
}
# Calls with live objects skip what would free or relink the fixture's own
# objects (a live node appended to a second list is misuse of another kind).
LIVE_SKIP = re.compile(r"Destroy|Remove|Clear|Initialize|Sort")
# For these only the first handle may be live: the rest are being appended.
APPENDS = re.compile(r"Append|TypesApply")


def parse(text):
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    functions = []
    for ret, name, params in re.findall(r"PM_API\s+([\w\s\*]+?)\s*\b(pm_\w+)\s*\((.*?)\)\s*;", text, re.S):
        kinds = []
        for p in params.split(","):
            p = " ".join(p.split())
            if p == "void":
                continue
            if p == "...":
                kinds.append(("varargs", "..."))
                continue
            m = re.match(r"(.*?)(\w+)$", p)
            ctype = " ".join(m.group(1).replace("*", " * ").split()).replace("* *", "**")
            kinds.append((classify(ctype, name), ctype))
        functions.append((" ".join(ret.replace("*", " * ").split()), name, kinds))
    return functions


def classify(ctype, name):
    if ctype == "tk_ErrorReport **":
        return "slot"
    if ctype in HANDLES:
        return "handle"
    if ctype in NULL_ONLY:
        return "null"
    if ctype in INTEGERS:
        return "int"
    if ctype == "double":
        return "double"
    sys.exit(f"{name}: unknown parameter type {ctype!r}")


def arguments(kinds, live=None, slot="slot.out()"):
    """`live`: None for all null, "all" for every handle live, or the index
    of the one live handle."""
    out = []
    for i, (kind, ctype) in enumerate(kinds):
        if kind == "handle":
            use = live == "all" or live == i
            out.append(f"live.{HANDLES[ctype]}" if use else "nullptr")
        elif kind == "null":
            out.append("nullptr")
        elif kind == "int":
            out.append("n")
        elif kind == "double":
            out.append("static_cast<double>(n)")
        elif kind == "slot":
            out.append(slot)
        elif kind == "varargs":
            out.append("static_cast<const char *>(nullptr)")
    return ", ".join(out)


def result_lines(ret, name, call, expect, loop=True):
    """Statements that make the call, check the result and release it.
    `loop`: whether the call runs inside the loop over the numbers n."""
    if ret == "void":
        return [f"{call};"]
    lines = [f"auto result = {call};"]
    at = " << \"n = \" << n" if loop else ""
    if expect == "zero":
        lines.append(f"EXPECT_EQ(result, decltype(result){{}}){at};" if ret != "double"
                     else f"EXPECT_EQ(result, 0.0){at};")
    elif expect == "nonnull":
        lines.append("EXPECT_NE(result, nullptr);")
    elif expect == "nonzero":
        lines.append("EXPECT_NE(result, 0);")
    elif expect == "raster":
        lines.append("ASSERT_NE(result, nullptr);")
        lines.append("EXPECT_EQ(ListText(result), \"RASTER\");")
    elif expect == "one":
        lines.append(f"EXPECT_EQ(result, 1){at};")
    elif expect == "null-for-bad-number":
        bad = "n <= 0 || n == INT_MAX" if "ByNumber" in name else "n < 0 || n > 2"
        lines.append(f"if ({bad}) {{ EXPECT_EQ(result, nullptr){at}; }}")
    elif expect not in ("any", None):
        lines.append(f"EXPECT_EQ(result, {expect}){at};")
    if ret == "char *":
        lines.append("tk_HeapFree(result);")
    elif ret == "tk_StringList *":
        lines.append("tk_StringListDelete(result, nullptr);")
    elif name in OWNED:
        lines.append(f"{OWNED[name]}(result);")
    else:
        lines.append("(void)result;")
    return lines


def block(lines, numbers, indent="  "):
    """Wraps statements in a loop over the number values when needed."""
    out = []
    if numbers:
        out.append(f"{indent}for (int n : {numbers}) {{")
        out += [f"{indent}  {l}" for l in lines]
        out.append(f"{indent}}}")
    else:
        out.append(f"{indent}{{")
        out += [f"{indent}  {l}" for l in lines]
        out.append(f"{indent}}}")
    return out


def live_expectation(ret, name, kinds):
    if "ByNumber" in name or name.endswith("ListGetByType"):
        return "null-for-bad-number"
    has_slot = any(k == "slot" for k, _ in kinds)
    if name == "pm_ProjectSetFilename":
        return "0"  # a null file name is refused
    if "Set" in name and ret == "int" and not has_slot and name != "pm_ParentAppendFile":
        return "one"
    return "any"


def test_for(ret, name, kinds):
    kinds_only = [k for k, _ in kinds]
    has_numbers = "int" in kinds_only or "double" in kinds_only
    has_slot = "slot" in kinds_only
    handles = [i for i, k in enumerate(kinds_only) if k == "handle"]
    signature = ", ".join(t for _, t in kinds) or "void"
    out = [f"// {ret} {name}({signature})", f"TEST(MisuseIsHarmless, {name[3:]}) {{"]
    expect = NULL_RESULT.get(name, "zero")
    numbers = "kNullNumbers" if has_numbers else None

    # Every handle and text null, numbers zero, negative and the extremes.
    lines = ["ReportSlot slot;"] if has_slot else []
    lines += result_lines(ret, name, f"{name}({arguments(kinds)})", expect, bool(numbers))
    if has_slot and name in NULL_REPORT:
        lines.append("EXPECT_FALSE(slot.empty()) << \"a null-argument failure must be reported\";")
    if has_slot:
        lines.append("CheckChain(slot);")
    out += block(lines, numbers)
    # The same without a report slot: the report is made and discarded.
    if has_slot:
        out += block(result_lines(ret, name, f"{name}({arguments(kinds, slot='nullptr')})", expect,
                                  bool(numbers)), numbers)

    live_ok = handles and not LIVE_SKIP.search(name)
    # Live objects, null texts, every number.
    if live_ok and not APPENDS.search(name) and (has_numbers or "null" in kinds_only):
        lines = ["Live live;"] + (["ReportSlot slot;"] if has_slot else [])
        lines += result_lines(ret, name, f"{name}({arguments(kinds, 'all')})",
                              live_expectation(ret, name, kinds), has_numbers)
        if has_slot and name in LIVE_REPORT:
            lines.append("EXPECT_FALSE(slot.empty());")
        if has_slot:
            lines.append("CheckChain(slot);")
        lines.append("EXPECT_EQ(live.Problem(), \"\");")
        out += block(lines, "kLiveNumbers" if has_numbers else None)
    # One live object among null ones.
    if live_ok and len(handles) >= 2:
        for i in handles[:1] if APPENDS.search(name) else handles:
            lines = ["Live live;"] + (["ReportSlot slot;"] if has_slot else [])
            lines += result_lines(ret, name, f"{name}({arguments(kinds, i)})", "any", False)
            if has_slot:
                lines.append("CheckChain(slot);")
            out += block(lines, "{0}" if has_numbers else None)
    out.append("}")
    return out


PROLOGUE = r'''// Generated by scripts/gen_misuse_test.py from include/kestrum.h: do not
// edit by hand, run the script after changing the header.
//
// Every export is called with null handles, null texts, zero, negative and
// extreme numbers, with a report slot and without one, and (where it takes
// objects) with live objects and null texts, and with one live object among
// null ones. Nothing may crash or leak; results must be the documented null,
// 0 or special value; a report that is left must be a readable chain.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "project_builder.h"
#include "project_compare.h"
#include "report_slot.h"

namespace kestrum_test {
namespace {

const int kNullNumbers[] = {0, -1, INT_MIN};
const int kLiveNumbers[] = {0, 1, -1, 3, INT_MAX, INT_MIN};

// A small project in memory and an object of every kind inside it. Nothing
// is on disk: its descriptors point into a directory that does not exist.
struct Live {
  Live() {
    FullShape shape;
    shape.tiles = 2;
    shape.samples = 2;
    project = BuildUnboundFullProject("/nonexistent/kestrum-misuse", shape);
    if (project == nullptr) {
      ADD_FAILURE() << "cannot build the live project";
      return;
    }
    tile = project->tiles;
    sample = tile->samples;
    file = sample->files;
    root = project->pfa_root;
    lists = project->process_lists;
    pfa = root->lists[2];
    process = lists->lists[2];
    argument = process->arguments;
    node = sample;
  }
  ~Live() { pm_ProjectDestroy(project); }
  Live(const Live &) = delete;
  Live &operator=(const Live &) = delete;

  // The project must still be whole after the call.
  std::string Problem() const { return project ? ProjectStructureProblem(project) : ""; }

  pm_Project *project = nullptr;
  pm_Tile *tile = nullptr;
  pm_Sample *sample = nullptr;
  pm_File *file = nullptr;
  pm_PFAFile *pfa = nullptr;
  pm_Process *process = nullptr;
  pm_Argument *argument = nullptr;
  pm_ProcFiles *root = nullptr;
  pm_ProcessLists *lists = nullptr;
  void *node = nullptr;
};

// Every report of a chain names its function and has a message.
void CheckChain(const ReportSlot &slot) {
  for (const std::string &f : slot.functions()) EXPECT_FALSE(f.empty()) << slot.text();
  for (const std::string &m : slot.messages()) EXPECT_FALSE(m.empty()) << slot.text();
}

std::string ListText(const tk_StringList *list) {
  std::string out;
  for (int i = 0; list != nullptr && i < list->count; ++i)
    out += (i ? "," : "") + std::string(list->strings[i] ? list->strings[i] : "(null)");
  return out;
}

'''

EPILOGUE = '''
}  // namespace
}  // namespace kestrum_test
'''


def map_text(functions):
    names = "".join(f"    {name};\n" for name in sorted(name for _, name, _ in functions))
    return ("/* The exports of libkestrum: exactly these pm_ names, as include/kestrum.h\n"
            " * declares them (written by scripts/gen_misuse_test.py). */\n"
            "{\n  global:\n" + names + "  local: *;\n};\n")


def main():
    check = sys.argv[1:] == ["--check"]
    if sys.argv[1:] and not check:
        sys.exit("usage: gen_misuse_test.py [--check]")
    with open(HEADER) as f:
        functions = parse(f.read())
    body = []
    for ret, name, kinds in functions:
        body += test_for(ret, name, kinds)
        body.append("")
    outputs = {OUTPUT: PROLOGUE + "\n".join(body).rstrip() + "\n" + EPILOGUE, MAP: map_text(functions)}
    if check:
        stale = []
        for path, text in outputs.items():
            with open(path) as f:
                if f.read() != text:
                    stale.append(os.path.relpath(path, ROOT))
        if stale:
            print(f"{' and '.join(stale)} not in step with include/kestrum.h ({len(functions)} exports).\n"
                  "Declare exports only in include/kestrum.h (with PM_API and doxygen docs), then run\n"
                  "    python3 scripts/gen_misuse_test.py\n"
                  "and commit what it writes; do not edit those files by hand.")
            sys.exit(1)
        return
    for path, text in outputs.items():
        with open(path, "w") as f:
            f.write(text)
    print(f"{OUTPUT}, {MAP}: {len(functions)} exports")


if __name__ == "__main__":
    main()
