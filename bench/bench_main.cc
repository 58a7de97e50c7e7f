// kestrum_bench: times and peak heap of the whole-project operations at three
// project sizes (a quarter of the reference, the reference, four times it)
// and of a single long tile list, next to baselines that do the same I/O
// without the library; then the ratios that show the operations stay linear
// and close to the baselines.
//
//   kestrum_bench [--short] [--no-4x] [--dir DIR] [google-benchmark flags]
//
// The reference project: 2,000 tiles of 50 samples, three data files on
// every sample, two on every tile and on the project, five PFA files and five
// processes of six arguments on each level; every descriptor lies under the
// project directory and every other one exists on disk.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "baselines.h"
#include "generator.h"
#include "heap_meter.h"
#include "paired_runs.h"
#include "toolkit.h"

namespace {

using bench::HeapMeter;
using bench::Shape;
using Clock = std::chrono::steady_clock;

struct Measure {
  double seconds = 1e300;  // fastest iteration: the least disturbed by other load
  double cpu = 1e300;      // CPU time of this thread in the fastest-CPU iteration
  size_t peak = 0;         // largest heap growth during one iteration
  bool seen = false;
};

// The workloads of the reference size against their baselines, in
// alternating rounds (paired_runs.h); bodies dropped once run.
std::vector<bench::Pair> g_pairs;
std::vector<bench::PairTimes> g_pair_times;
int g_rounds = 5;

// results[size label][workload]
std::map<std::string, std::map<std::string, Measure>> g_results;
std::map<std::string, double> g_file_bytes;
std::map<std::string, bench::TextStats> g_text;
std::map<std::string, size_t> g_project_heap;


// CPU seconds of the calling thread: on a machine shared with other work
// this moves far less than the wall clock.
double thread_cpu() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Runs `body` once per benchmark iteration, timing only `body`; `before` and
// `after` prepare and tidy untimed.
void timed(benchmark::State &state, const std::string &size, const std::string &workload,
           const std::function<void()> &body, const std::function<void()> &before = nullptr,
           const std::function<void()> &after = nullptr) {
  Measure &m = g_results[size][workload];
  for (auto _ : state) {
    if (before) before();
    size_t start = HeapMeter::live();
    HeapMeter::reset_peak();
    double c0 = thread_cpu();
    auto t0 = Clock::now();
    body();
    double s = std::chrono::duration<double>(Clock::now() - t0).count();
    m.cpu = std::min(m.cpu, thread_cpu() - c0);
    size_t peak = HeapMeter::peak() - start;
    state.SetIterationTime(s);
    m.seconds = std::min(m.seconds, s);
    m.peak = std::max(m.peak, peak);
    m.seen = true;
    if (after) after();
  }
}

std::vector<std::string> tile_names_reversed(pm_Project *project) {
  std::vector<std::string> names;
  for (pm_Tile *t = project->tiles; t; t = reinterpret_cast<pm_Tile *>(t->node.next)) names.emplace_back(t->node.name);
  std::reverse(names.begin(), names.end());
  return names;
}

// The tile names in descending byte order: the worst case for a sort.
std::vector<std::string> tile_names_descending(pm_Project *project) {
  std::vector<std::string> names = tile_names_reversed(project);
  std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) { return b < a; });
  return names;
}

pm_Project *load(const std::string &path) {
  tk_ErrorReport *report = nullptr;
  pm_Project *p = pm_ProjectLoad(path.c_str(), 0, &report);
  bench::must(report, "load");
  return p;
}

// The state one size's workloads share; the project on disk and in memory.
struct SizeRun {
  std::string label, dir, file;
  Shape shape;
  int heavy = 3, light = 10;  // iterations; set per size below
  pm_Project *project = nullptr;
  pm_Project *scratch = nullptr;
  std::string bytes;
  std::vector<bench::Record> records;
  std::vector<std::string> probe;
};

void register_size(SizeRun &run, bool full) {
  const std::string L = run.label;
  auto reg = [&](const std::string &w, int iters, auto fn) {
    benchmark::RegisterBenchmark((L + "/" + w).c_str(), fn)
        ->UseManualTime()
        ->Iterations(iters)
        ->Unit(benchmark::kMillisecond);
  };
  SizeRun *r = &run;
  reg("build", r->heavy, [r](benchmark::State &st) {
    timed(st, r->label, "build", [r] { r->scratch = bench::build_project(r->shape, r->dir); },
          nullptr, [r] { pm_ProjectDestroy(r->scratch); r->scratch = nullptr; });
  });
  reg("save_as", r->heavy, [r](benchmark::State &st) {
    timed(st, r->label, "save_as", [r] {
      tk_ErrorReport *report = nullptr;
      pm_ProjectSaveAs(r->project, r->file.c_str(), 0, &report);
      bench::must(report, "save as");
    });
    r->bytes = bench::read_whole_file(r->file);
    g_file_bytes[r->label] = static_cast<double>(r->bytes.size());
  });
  if (full) {
    reg("dirty_clean", r->light, [r](benchmark::State &st) {
      int dirty = 1;
      timed(st, r->label, "dirty_clean", [&] { dirty = pm_ProjectDirty(r->project); });
      if (dirty) throw std::runtime_error("a saved project reports dirty");
    });
    reg("dirty_changed", r->light, [r](benchmark::State &st) {
      // The changed record is the last one the walk reaches: the project's
      // own last data file, after every tile and sample.
      pm_File *f = r->project->files;
      while (f && f->node.next) f = reinterpret_cast<pm_File *>(f->node.next);
      pm_FileSetComment(f, "changed");
      int dirty = 0;
      timed(st, r->label, "dirty_changed", [&] { dirty = pm_ProjectDirty(r->project); });
      if (!dirty) throw std::runtime_error("a changed project reports clean");
    });
  }
  reg("save", r->heavy, [r](benchmark::State &st) {
    timed(st, r->label, "save", [r] {
      tk_ErrorReport *report = nullptr;
      pm_ProjectSave(r->project, 0, &report);
      bench::must(report, "save");
    });
  });
  reg("load", r->heavy, [r](benchmark::State &st) {
    timed(st, r->label, "load", [r] { r->scratch = load(r->file); }, nullptr,
          [r] { pm_ProjectDestroy(r->scratch); r->scratch = nullptr; });
  });
  if (full) {
    reg("destroy", r->heavy, [r](benchmark::State &st) {
      timed(st, r->label, "destroy", [r] { pm_ProjectDestroy(r->scratch); r->scratch = nullptr; },
            [r] { r->scratch = load(r->file); });
    });
    reg("ready", r->light, [r](benchmark::State &st) {
      pm_Process *probe = pm_ProcessListGetByType(r->project, 0);
      timed(st, r->label, "ready", [&] {
        tk_ErrorReport *report = nullptr;
        pm_IsProcessReady(r->project, probe, r->project, &report);
        bench::must(report, "ready");
      });
    });
  }
  reg("set_tile_list", r->heavy, [r](benchmark::State &st) {
    // Names are gathered untimed; the timed call reverses every tile.
    std::vector<std::string> names;
    std::vector<const char *> ptrs;
    timed(st, r->label, "set_tile_list", [&] {
      tk_ErrorReport *report = nullptr;
      pm_ProjectSetTileList(r->project, static_cast<int>(ptrs.size()), ptrs.data(), &report);
      bench::must(report, "set tile list");
    }, [&] {
      names = tile_names_reversed(r->project);
      ptrs.clear();
      for (const std::string &n : names) ptrs.push_back(n.c_str());
    });
  });
  reg("sort_tiles", r->heavy, [r](benchmark::State &st) {
    // The list is put in descending order untimed; the timed call sorts it.
    std::vector<std::string> names;
    std::vector<const char *> ptrs;
    timed(st, r->label, "sort_tiles", [r] { pm_ProjectSortTiles(r->project); }, [&] {
      names = tile_names_descending(r->project);
      ptrs.clear();
      for (const std::string &n : names) ptrs.push_back(n.c_str());
      tk_ErrorReport *report = nullptr;
      pm_ProjectSetTileList(r->project, static_cast<int>(ptrs.size()), ptrs.data(), &report);
      bench::must(report, "set tile list");
    });
  });
  if (!full) return;
  // Baselines over the same bytes, files and records.
  reg("base_raw_write", r->heavy, [r](benchmark::State &st) {
    timed(st, r->label, "base_raw_write", [r] { bench::raw_write(r->file + ".raw", r->bytes); });
  });
  reg("base_raw_read", r->heavy, [r](benchmark::State &st) {
    timed(st, r->label, "base_raw_read", [r] { benchmark::DoNotOptimize(bench::raw_read(r->file + ".raw")); });
  });
  reg("base_stat_loop", r->light, [r](benchmark::State &st) {
    timed(st, r->label, "base_stat_loop", [r] { benchmark::DoNotOptimize(bench::stat_loop(r->probe)); });
  });
  reg("base_sqlite_write", r->heavy, [r](benchmark::State &st) {
    timed(st, r->label, "base_sqlite_write", [r] { bench::sqlite_write(r->file + ".sqlite", r->records); });
  });
  reg("base_sqlite_read", r->heavy, [r](benchmark::State &st) {
    std::vector<bench::Record> out;
    timed(st, r->label, "base_sqlite_read", [&] { bench::sqlite_read(r->file + ".sqlite", &out); }, nullptr,
          [&] { std::vector<bench::Record>().swap(out); });
  });
}

// The wall-time targets, each workload against its baseline in alternating
// rounds; the files written by the benchmarks above are in place.
void run_reference_pairs(SizeRun &run) {
  SizeRun *r = &run;
  auto must_ok = [](tk_ErrorReport *report, const char *what) { bench::must(report, what); };
  std::vector<bench::Record> read_back;
  bench::Side loading{"load", [r] { r->scratch = load(r->file); }, [r] { pm_ProjectDestroy(r->scratch); r->scratch = nullptr; }};
  bench::Side save_as{"save-as", [r, must_ok] {
    tk_ErrorReport *report = nullptr;
    pm_ProjectSaveAs(r->project, r->file.c_str(), 0, &report);
    must_ok(report, "save as");
  }};
  bench::Side save{"save", [r, must_ok] {
    tk_ErrorReport *report = nullptr;
    pm_ProjectSave(r->project, 0, &report);
    must_ok(report, "save");
  }};
  pm_Process *probe = pm_ProcessListGetByType(r->project, 0);
  bench::Side ready{"ready", [r, probe, must_ok] {
    tk_ErrorReport *report = nullptr;
    pm_IsProcessReady(r->project, probe, r->project, &report);
    must_ok(report, "ready");
  }};
  bench::Side sqlite_read{"SQLite read", [r, &read_back] { bench::sqlite_read(r->file + ".sqlite", &read_back); },
                          [&read_back] { std::vector<bench::Record>().swap(read_back); }};
  bench::Side raw_write{"raw write", [r] { bench::raw_write(r->file + ".raw", r->bytes); }};
  bench::Side sqlite_write{"SQLite write", [r] { bench::sqlite_write(r->file + ".sqlite", r->records); }};
  bench::Side stat_loop{"stat loop", [r] { benchmark::DoNotOptimize(bench::stat_loop(r->probe)); }};
  g_pairs = {{"load / SQLite read", loading, sqlite_read, 0.5},
             {"save-as / raw write+fsync", save_as, raw_write, 4},
             {"save / raw write+fsync", save, raw_write, 5},
             {"save-as / SQLite write", save_as, sqlite_write, 0.4},
             {"ready / stat loop", ready, stat_loop, 1.2}};
  std::fprintf(stderr, "== %s: %d alternating rounds of each workload and its baseline\n", run.label.c_str(), g_rounds);
  g_pair_times = bench::run_pairs(g_pairs, g_rounds);
  for (bench::Pair &p : g_pairs) p.workload.body = p.baseline.body = p.workload.after = p.baseline.after = nullptr;
}

void run_size(SizeRun &run, bool full) {
  std::fprintf(stderr, "== %s: %d tiles x %d samples, preparing data files in %s\n", run.label.c_str(),
               run.shape.tiles, run.shape.samples, run.dir.c_str());
  std::string cmd = "rm -rf '" + run.dir + "'";
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot clear " + run.dir);
  std::string make = "mkdir -p '" + run.dir + "'";
  if (std::system(make.c_str()) != 0) throw std::runtime_error("cannot make " + run.dir);
  bench::create_data_files(run.shape, run.dir);
  size_t before = HeapMeter::live();
  run.project = bench::build_project(run.shape, run.dir);
  g_project_heap[run.label] = HeapMeter::live() - before;
  // Saving localises names against the project's own directory.
  tk_ErrorReport *report = nullptr;
  pm_ProjectSetFilename(run.project, run.file.c_str(), &report);
  bench::must(report, "set filename");
  run.records = bench::flatten(run.project);
  run.probe = bench::probe_descriptors(run.project);
  g_text[run.label] = bench::text_stats(run.project, run.dir);

  register_size(run, full);
  // A reporter of our own per run: the library's default one does not
  // survive a second run in the same process.
  benchmark::ConsoleReporter reporter(benchmark::ConsoleReporter::OO_None);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::ClearRegisteredBenchmarks();
  if (run.label == "reference") run_reference_pairs(run);

  pm_ProjectDestroy(run.project);
  run.project = nullptr;
  std::vector<bench::Record>().swap(run.records);
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot clear " + run.dir);
}

// ---- the summary ------------------------------------------------------------

int g_failures = 0;

bool g_cpu = false;  // ratios from CPU time instead of wall time

double sec(const std::string &size, const std::string &w) {
  auto s = g_results.find(size);
  if (s == g_results.end()) return -1;
  auto m = s->second.find(w);
  if (m == s->second.end() || !m->second.seen) return -1;
  return g_cpu ? m->second.cpu : m->second.seconds;
}

void verdict(const char *what, double value, double limit) {
  if (value < 0) {
    std::printf("  %-52s %9s   (limit %.2f)  skipped\n", what, "-", limit);
    return;
  }
  bool ok = value <= limit;
  g_failures += !ok;
  std::printf("  %-52s %9.2f   (limit %.2f)  %s\n", what, value, limit, ok ? "ok" : "OVER");
}

double ratio(double a, double b) { return a < 0 || b <= 0 ? -1 : a / b; }

void summary(const std::vector<std::string> &sizes, const std::string &flat_small, const std::string &flat_big) {
  static const char *const workloads[] = {"build", "save_as", "save", "load", "destroy", "dirty_clean",
                                          "dirty_changed", "ready", "set_tile_list", "sort_tiles", "base_raw_write",
                                          "base_raw_read", "base_stat_loop", "base_sqlite_write",
                                          "base_sqlite_read"};
  // Wall time is what a user waits for; CPU time shows the work itself
  // when other programs share the machine. Both tables, both sets of ratios.
  for (bool cpu : {false, true}) {
    g_cpu = cpu;
    const char *clock = cpu ? "CPU" : "wall";
    std::printf("\n== %s time (ms, fastest iteration) / peak heap growth (MiB) ==\n%-18s", clock, "workload");
    std::vector<std::string> cols = sizes;
    cols.push_back(flat_small);
    cols.push_back(flat_big);
    for (const std::string &s : cols) std::printf(" %22s", s.c_str());
    std::printf("\n");
    for (const char *w : workloads) {
      std::printf("%-18s", w);
      for (const std::string &s : cols) {
        double t = sec(s, w);
        if (t < 0) {
          std::printf(" %22s", "-");
        } else {
          char cell[64];
          std::snprintf(cell, sizeof cell, "%.2f / %.1f", t * 1e3, g_results[s][w].peak / 1048576.0);
          std::printf(" %22s", cell);
        }
      }
      std::printf("\n");
    }
    std::printf("%-18s", "file MiB");
    for (const std::string &s : cols) std::printf(" %22.2f", g_file_bytes[s] / 1048576.0);
    std::printf("\n%-18s", "project heap MiB");
    for (const std::string &s : cols) std::printf(" %22.1f", g_project_heap[s] / 1048576.0);
    std::printf("\n");

    const std::string &q = sizes[0], &ref = sizes[1];
    const std::string big = sizes.size() > 2 ? sizes[2] : "";
    std::printf("\n== ratios of %s time ==\n", clock);
    for (const char *w : {"load", "save", "save_as", "destroy", "dirty_clean", "sort_tiles"}) {
      std::string what = std::string("4x / 1x time, ") + w;
      verdict(what.c_str(), big.empty() ? -1 : ratio(sec(big, w), sec(ref, w)), 6);
    }
    // Not the sort: the quarter's few tiles sort in microseconds, within
    // the processor's caches, so that ratio says little.
    for (const char *w : {"load", "save", "save_as", "destroy", "dirty_clean"}) {
      std::string what = std::string("1x / quarter time, ") + w;
      verdict(what.c_str(), ratio(sec(ref, w), sec(q, w)), 6);
    }
    for (const char *w : {"load", "save", "set_tile_list", "sort_tiles"}) {
      std::string what = "single list 4x / 1x time, " + std::string(w);
      verdict(what.c_str(), ratio(sec(flat_big, w), sec(flat_small, w)), 6);
    }
    double sort_big = sec(flat_big, "sort_tiles");
    verdict(("ms to sort " + flat_big + " in descending order").c_str(), sort_big < 0 ? -1 : sort_big * 1e3, 500);
    std::printf("  (for reference: load / raw read %.1f)\n", ratio(sec(ref, "load"), sec(ref, "base_raw_read")));
  }
  // Against the baselines: medians of alternating rounds, not the fastest
  // iteration, so that a quiet moment of one side cannot decide a ratio.
  std::printf("\n== reference size against its baselines: wall-time medians of %d alternating rounds ==\n", g_rounds);
  g_failures += bench::print_pairs(g_pairs, g_pair_times);
  g_cpu = false;
  std::printf("\n== memory and file size ==\n");
  if (HeapMeter::available()) {
    for (const std::string &s : sizes) {
      double file = g_file_bytes[s], proj = static_cast<double>(g_project_heap[s]);
      // Saving keeps the project and may add at most twice the file; loading
      // builds the project and may add at most twice the file on top.
      std::string what = s + ": save peak / (2 x file)";
      verdict(what.c_str(), ratio(static_cast<double>(g_results[s]["save"].peak), 2 * file), 1);
      what = s + ": save_as peak / (2 x file)";
      verdict(what.c_str(), ratio(static_cast<double>(g_results[s]["save_as"].peak), 2 * file), 1);
      what = s + ": load peak / (project + 2 x file)";
      verdict(what.c_str(), ratio(static_cast<double>(g_results[s]["load"].peak), proj + 2 * file), 1);
    }
  } else {
    std::printf("  (heap meter unavailable in this build: peak memory not measured)\n");
  }
  for (const std::string &s : sizes) {
    const bench::TextStats &t = g_text[s];
    std::string what = s + ": file / (1.5 x text + 16 B per node)";
    verdict(what.c_str(), ratio(g_file_bytes[s], 1.5 * t.text_bytes + 16.0 * t.nodes), 1);
  }
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  std::printf("\nprocess peak RSS: %.1f MiB; %d ratio(s) over their limit\n", ru.ru_maxrss / 1024.0, g_failures);
  // What the figures were taken with: fault injection adds a counted,
  // locked step to every file call, so figures meant for comparison come
  // from a build without it.
  std::printf("build: %s, fault injection %s\n", BENCH_BUILD_TYPE,
              tk_FaultInject(0, 0, 0) >= 0 ? "compiled in (every file call takes its lock)" : "off");
}

void usage() {
  std::printf(
      "kestrum_bench [--short] [--no-4x] [--dir DIR] [google-benchmark flags]\n"
      "  --short   tiny sizes, a few seconds (the smoke test)\n"
      "  --no-4x   skip the size of four times the reference\n"
      "  --tiles N tiles of the reference size (default 2000; for profiling runs)\n"
      "  --dir     where projects and data files are made (default /tmp/kestrum-bench)\n");
}

}  // namespace

int main(int argc, char **argv) {
  bool short_run = false, skip_big = false;
  int tiles_override = 0;
  std::string dir = "/tmp/kestrum-bench";
  std::vector<char *> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--short")) {
      short_run = true;
    } else if (!std::strcmp(argv[i], "--no-4x")) {
      skip_big = true;
    } else if (!std::strcmp(argv[i], "--tiles") && i + 1 < argc) {
      tiles_override = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--dir") && i + 1 < argc) {
      dir = argv[++i];
    } else if (!std::strcmp(argv[i], "--help")) {
      usage();
      return 0;
    } else {
      rest.push_back(argv[i]);
    }
  }
  int bargc = static_cast<int>(rest.size());
  benchmark::Initialize(&bargc, rest.data());
  if (benchmark::ReportUnrecognizedArguments(bargc, rest.data())) return 2;

  try {
    int ref_tiles = tiles_override > 0 ? tiles_override : short_run ? 8 : 2000;
    int ref_samples = short_run ? 5 : 50;
    int flat_tiles = short_run ? 200 : 20000;
    std::vector<std::string> sizes;
    struct Plan {
      std::string label;
      int tiles, samples;
      bool full;
    };
    std::vector<Plan> plans = {{"quarter", ref_tiles / 4, ref_samples, true}, {"reference", ref_tiles, ref_samples, true}};
    if (!skip_big) plans.push_back({"4x", ref_tiles * 4, ref_samples, true});
    plans.push_back({"list-" + std::to_string(flat_tiles / 4), flat_tiles / 4, 0, false});
    plans.push_back({"list-" + std::to_string(flat_tiles), flat_tiles, 0, false});
    for (const Plan &p : plans) {
      SizeRun run;
      run.label = p.label;
      run.dir = dir + "/" + p.label;
      run.file = run.dir + "/project.qdx";
      run.shape.tiles = p.tiles;
      run.shape.samples = p.samples;
      if (!p.full) {
        // A single long list: tiles only, without data files.
        run.shape.tile_files = run.shape.project_files = 0;
        run.shape.create_files = false;
      }
      bool big = p.label == "4x";
      // The fastest iteration counts, so a few of them keep the figures
      // steady on a machine shared with other work.
      run.heavy = short_run ? 1 : big ? 3 : 5;
      g_rounds = short_run ? 2 : 5;
      run.light = short_run ? 2 : big ? 3 : 10;
      if (p.full) sizes.push_back(p.label);
      run_size(run, p.full);
    }
    summary(sizes, plans[plans.size() - 2].label, plans.back().label);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "kestrum_bench: %s\n", e.what());
    return 1;
  }
  benchmark::Shutdown();
  // Timings never fail the run: the smoke test checks only that it works.
  return 0;
}
