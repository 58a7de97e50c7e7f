// The bundled example: a small field survey of three tiles and five samples.
//
// It is meant to show every part of the model at work: data files at all
// three levels, some of them on disk and some not; PFA files and processes on
// every level; a process that is ready everywhere, one that is ready nowhere,
// one that is ready at some nodes only, and a process whose optional inputs
// are enough when any one of them exists. Every output has a data file to
// write to, most of them not made yet, so that a workflow plans every job
// whose inputs are there.
#include <filesystem>
#include <new>

#include "cli.h"

namespace kcli {

namespace {

namespace fs = std::filesystem;

struct DemoFile {
  const char *type;
  const char *path;  // relative to the demo directory
  bool on_disk;
};

// Writes a placeholder file; a file already there is refused unless
// `replace` asks for it to be replaced (only a regular file ever is).
void write_placeholder(const fs::path &path, bool replace) {
  fs::create_directories(path.parent_path());
  const std::string text = "kestrum demo data: " + path.filename().string() + "\n";
  write_file(path.string(), replace, [&](std::ostream &out) { out << text; });
}

void add_files(const fs::path &root, bool replace, void *parent, std::initializer_list<DemoFile> files) {
  for (const DemoFile &file : files) {
    const fs::path path = root / file.path;
    if (file.on_disk) write_placeholder(path, replace);
    append_file(parent, pm_FileCreate(file.type, path.string().c_str(), 0.0, nullptr, nullptr));
  }
}

// A process with its arguments, its parameter and label files placed in the
// demo's params directory.
pm_Process *make_process(const fs::path &params, const char *name, const char *title,
                         pm_ProcessOutput output, std::initializer_list<pm_Argument *> arguments) {
  const std::string stem = name;
  Report report;
  pm_Process *process =
      pm_ProcessVaCreate(name, title, params.string().c_str(), (stem + ".par").c_str(), (stem + ".lab").c_str(),
                         ("_" + stem).c_str(), output, report.slot(), static_cast<const char *>(nullptr));
  if (report) {
    pm_ProcessDestroy(process);
    for (pm_Argument *argument : arguments) pm_ArgumentDestroy(argument);
    report.raise_if(std::string("cannot create process ") + name);
  }
  if (!process) throw std::bad_alloc();
  auto next = arguments.begin();
  try {
    for (; next != arguments.end(); ++next) append_argument(process, *next);
  } catch (...) {
    for (++next; next != arguments.end(); ++next) pm_ArgumentDestroy(*next);
    pm_ProcessDestroy(process);
    throw;
  }
  return process;
}

pm_Argument *argument(const char *name, const char *value, pm_PFAType type, pm_ArgumentMode mode,
                      pm_ArgumentHide hide = 0) {
  return pm_ArgumentCreate(name, value, type, mode, hide);
}

}  // namespace

ProjectPtr build_demo_project(const std::string &directory, bool replace) {
  const fs::path root = fs::absolute(directory);
  ProjectPtr project(pm_ProjectCreate());
  if (!project) throw std::bad_alloc();
  pm_Project *p = project.get();
  pm_ProjectSetType(p, 1);
  pm_ProjectSetUseDotGrid(p, 1);
  pm_ProjectSetUsePolyTool(p, 0);

  add_files(root, replace, p,
            {{"overview", "data/overview.img", true},
             {"boundary", "data/boundary.shp", true},
             {"report", "data/report.txt", false},
             {"mosaic", "data/mosaic.img", false}});

  struct DemoSample {
    const char *name;
    bool plot_on_disk;
    bool counted;
  };
  struct DemoTile {
    const char *name;
    bool photo_on_disk;
    pm_Selection selection;
    std::initializer_list<DemoSample> samples;
  };
  const std::initializer_list<DemoTile> tiles = {
      {"T1", true, 0, {{"S1", true, true}, {"S2", true, false}}},
      {"T2", true, 1, {{"S1", true, false}}},
      {"T3", false, 0, {{"S1", true, false}, {"S2", false, false}}},
  };
  Progress progress("building the demo", tiles.size());
  for (const DemoTile &tile_plan : tiles) {
    pm_Tile *tile = append_tile(p, pm_TileCreate(tile_plan.name));
    pm_TileSetAutomatic(tile, tile_plan.selection);
    const std::string tile_dir = std::string("tiles/") + tile_plan.name + "/";
    add_files(root, replace, tile,
              {{"photo", (tile_dir + "photo.img").c_str(), tile_plan.photo_on_disk},
               {"mask", (tile_dir + "mask.aoi").c_str(), true},
               {"segments", (tile_dir + "segments.shp").c_str(), false}});
    for (const DemoSample &sample_plan : tile_plan.samples) {
      pm_Sample *sample = append_sample(tile, pm_SampleCreate(sample_plan.name));
      const std::string sample_dir = tile_dir + sample_plan.name + "/";
      add_files(root, replace, sample,
                {{"plot", (sample_dir + "plot.img").c_str(), sample_plan.plot_on_disk},
                 {"counts", (sample_dir + "counts.txt").c_str(), sample_plan.counted}});
    }
    progress.step();
  }

  Processing processing;
  processing.add_pfa(0, pm_PFAFileCreate("overview", PM_RASTER));
  processing.add_pfa(0, pm_PFAFileCreate("boundary", PM_VECTOR));
  processing.add_pfa(0, pm_PFAFileCreate("report", PM_TEXT));
  processing.add_pfa(0, pm_PFAFileCreate("mosaic", PM_RASTER));
  processing.add_pfa(1, pm_PFAFileCreate("photo", PM_RASTER));
  processing.add_pfa(1, pm_PFAFileCreate("mask", PM_AOI));
  processing.add_pfa(1, pm_PFAFileCreate("segments", PM_VECTOR));
  processing.add_pfa(2, pm_PFAFileCreate("plot", PM_RASTER));
  processing.add_pfa(2, pm_PFAFileCreate("counts", PM_TEXT));

  const fs::path params = root / "params";
  processing.add_process(0, make_process(params, "mosaic", "Mosaic the overview", 1,
                                         {argument("in", "overview", PM_RASTER, PM_STRICT_INPUT),
                                          argument("bounds", "boundary", PM_VECTOR, PM_STRICT_INPUT),
                                          argument("out", "mosaic", PM_RASTER, PM_STRICT_OUTPUT)}));
  processing.add_process(0, make_process(params, "publish", "Publish the survey report", 0,
                                         {argument("table", "report", PM_TEXT, PM_STRICT_INPUT),
                                          argument("map", "mosaic", PM_RASTER, PM_OPTIONAL_INPUT)}));
  processing.add_process(0, make_process(params, "finanal", "Final analysis", 1,
                                         {argument("counts", "counts", PM_TEXT, PM_OPTIONAL_INPUT),
                                          argument("segments", "segments", PM_VECTOR, PM_OPTIONAL_INPUT)}));
  processing.add_process(1, make_process(params, "segment", "Segment the tile photo", 1,
                                         {argument("in", "photo", PM_RASTER, PM_STRICT_INPUT),
                                          argument("aoi", "mask", PM_AOI, PM_STRICT_INPUT),
                                          argument("out", "segments", PM_VECTOR, PM_STRICT_OUTPUT),
                                          argument("quiet", nullptr, PM_TEXT, PM_OPTIONAL_INPUT, 1)}));
  processing.add_process(2, make_process(params, "count", "Count the plot", 1,
                                         {argument("in", "plot", PM_RASTER, PM_STRICT_INPUT),
                                          argument("aoi", "mask", PM_AOI, PM_STRICT_INPUT),
                                          argument("out", "counts", PM_TEXT, PM_STRICT_OUTPUT)}));
  processing.apply(p);
  return project;
}

}  // namespace kcli
