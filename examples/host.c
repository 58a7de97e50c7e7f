/* A small host of libkestrum in C99.
 *
 * It creates a project with two tiles, a sample, data files and one process
 * per level, saves it, loads it back, asks which processes are ready where,
 * shows a refused edit and a failed load with their report chains, and frees
 * everything it was given. Usage: host [DIRECTORY] (default: ./host-example).
 * Exits 0 when every step went as expected.
 *
 * Ownership in brief: the host owns the project (pm_ProjectDestroy) and
 * every string or report the library hands out (tk_HeapFree,
 * tk_ErrorReportDelete). An appended object belongs to its new owner; an
 * object whose append was refused still belongs to the host. */
#include <stdio.h>
#include <string.h>

#include "kestrum.h"

static int failures = 0;

static void expect(int condition, const char *what) {
  if (!condition) {
    fprintf(stderr, "host: unexpected: %s\n", what);
    ++failures;
  }
}

/* Prints a report chain, outermost report first, and frees it. */
static void print_report(const char *what, tk_ErrorReport **report) {
  char *chain = tk_ErrorReportFormatChain(*report);
  printf("%s:\n%s\n", what, chain ? chain : "(no text)");
  tk_HeapFree(chain);
  tk_ErrorReportDelete(report);
}

/* Stops on a report that should not be there. */
static int failed(const char *what, tk_ErrorReport **report) {
  if (*report == NULL) return 0;
  print_report(what, report);
  ++failures;
  return 1;
}

/* A file with some content, so that the data file naming it is present. */
static void write_file(const char *path) {
  FILE *file = fopen(path, "w");
  if (file == NULL) {
    fprintf(stderr, "host: cannot write %s\n", path);
    ++failures;
    return;
  }
  fputs("example data\n", file);
  fclose(file);
}

/* Joins directory and name with the library (creating the directory). */
static char *path_in(const char *directory, const char *name) {
  tk_ErrorReport *report = NULL;
  char *path = pm_DirectoryCat(directory, name, &report);
  if (failed("cannot join a path", &report)) {
    tk_HeapFree(path);
    return NULL;
  }
  return path;
}

/* Builds the project: T0 with a photo on disk and sample S1, T1 whose photo
 * is missing, and a "segment" process at the tile level that needs the
 * photo. Returns null after printing the report when a step fails. */
static pm_Project *build(const char *directory) {
  tk_ErrorReport *report = NULL;
  pm_Project *project = pm_ProjectCreate();
  pm_ProcFiles *pfa_root = pm_ProcFilesCreate();
  pm_ProcessLists *process_lists = pm_ProcessListsCreate();
  char *name;
  char *photo = path_in(directory, "t1-photo.img");
  char *missing = path_in(directory, "t2-photo.img");
  pm_Tile *t1;
  pm_Tile *t2;
  pm_Tile *twin;
  pm_Sample *sample;
  pm_Process *segment;

  pm_ProjectSetType(project, 0);
  write_file(photo);

  /* Tiles named by the library: the base and the smallest free number,
   * "T0", then "T1". */
  name = pm_ProjectGetNewTileName(project, "T", &report);
  t1 = pm_TileCreate(name);
  tk_HeapFree(name);
  pm_ProjectAppendTile(project, t1, &report);
  if (failed("cannot append T0", &report)) pm_TileDestroy(t1);
  name = pm_ProjectGetNewTileName(project, "T", &report);
  t2 = pm_TileCreate(name);
  tk_HeapFree(name);
  pm_ProjectAppendTile(project, t2, &report);
  if (failed("cannot append T1", &report)) pm_TileDestroy(t2);

  /* A second "T1" is refused: the report explains why, and the refused
   * tile is still ours to free. */
  twin = pm_TileCreate("T1");
  pm_ProjectAppendTile(project, twin, &report);
  expect(report != NULL, "a second tile named T1 was accepted");
  if (report != NULL) print_report("refused, as it should be", &report);
  pm_TileDestroy(twin);

  sample = pm_SampleCreate("S1");
  pm_TileAppendSample(t1, sample, &report);
  if (failed("cannot append S1", &report)) pm_SampleDestroy(sample);

  pm_TileAppendFile(t1, pm_FileCreate("photo", photo, 0.0, NULL, "taken in spring"), &report);
  failed("cannot attach the photo of T0", &report);
  pm_TileAppendFile(t2, pm_FileCreate("photo", missing, 0.0, NULL, NULL), &report);
  failed("cannot attach the photo of T1", &report);

  /* The processing model: "photo" is a tile-level (level 1) file kind, and
   * "segment" runs on tiles. */
  pfa_root->lists[1] = pm_PFAFileAppend(pfa_root->lists[1], pm_PFAFileCreate("photo", PM_RASTER), &report);
  failed("cannot add the photo association", &report);
  pfa_root->lists[1] = pm_PFAFileAppend(pfa_root->lists[1], pm_PFAFileCreate("segments", PM_VECTOR), &report);
  failed("cannot add the segments association", &report);
  segment = pm_ProcessCreate("segment", "Segment the photo", NULL, NULL, "_seg", 1);
  pm_ProcessAppendArgument(segment, pm_ArgumentCreate("in", "photo", PM_RASTER, PM_STRICT_INPUT, 0), &report);
  failed("cannot add argument in", &report);
  pm_ProcessAppendArgument(segment, pm_ArgumentCreate("out", "segments", PM_VECTOR, PM_STRICT_OUTPUT, 0),
                           &report);
  failed("cannot add argument out", &report);
  process_lists->lists[1] = pm_ProcessAppend(process_lists->lists[1], segment, &report);
  failed("cannot add process segment", &report);
  /* The project takes both containers over. */
  pm_ProjectTypesApply(project, pfa_root, process_lists);

  expect(pm_ProjectGetTotalNodes(project) == 4, "project + 2 tiles + 1 sample");
  expect(pm_ProjectDirty(project) != 0, "a new project needs saving");
  tk_HeapFree(photo);
  tk_HeapFree(missing);
  return project;
}

/* Prints, for every tile, whether "segment" may run there and its command
 * line. Returns the number of tiles where it is ready. */
static int report_readiness(pm_Project *project) {
  tk_ErrorReport *report = NULL;
  pm_Process *segment = pm_ProcessFind(pm_ProcessListGetByType(project, 1), "segment");
  char *line = pm_ProcessCommandLine(segment, &report);
  pm_Tile *tile;
  int ready_count = 0;

  failed("cannot build the command line", &report);
  for (tile = project->tiles; tile != NULL; tile = (pm_Tile *)tile->node.next) {
    char *name = pm_TileGetName(tile);
    int ready = pm_IsProcessReady(project, segment, tile, &report);
    if (!failed("cannot test readiness", &report)) {
      printf("segment at %s: %s  (segment %s)\n", name, ready ? "ready" : "not ready", line ? line : "");
      ready_count += ready;
    }
    tk_HeapFree(name);
  }
  tk_HeapFree(line);
  return ready_count;
}

int main(int argc, char **argv) {
  const char *directory = argc > 1 ? argv[1] : "host-example";
  tk_ErrorReport *report = NULL;
  pm_Project *project;
  pm_Project *loaded;
  char *file_name;
  char *missing_file;

  pm_DirectoryCreate(directory, &report);
  if (failed("cannot create the working directory", &report)) return 1;
  file_name = path_in(directory, "example.kpf");
  missing_file = path_in(directory, "no-such-project.kpf");
  if (file_name == NULL || missing_file == NULL) return 1;

  /* Build, bind to a file name and save. Saving into an existing file
   * rewrites it in place; this example starts from a new file instead. */
  remove(file_name);
  project = build(directory);
  pm_ProjectSetFilename(project, file_name, &report);
  if (!failed("cannot set the file name", &report)) {
    pm_ProjectSave(project, 0, &report);
    failed("cannot save", &report);
  }
  expect(pm_ProjectDirty(project) == 0, "a saved project needs no saving");
  pm_ProjectDestroy(project);

  /* Load it back and ask readiness: ready at T0 (its photo exists), not at
   * T1 (its photo is missing). */
  loaded = pm_ProjectLoad(file_name, 0, &report);
  if (!failed("cannot load", &report)) {
    char *name = pm_ProjectGetName(loaded);
    printf("loaded project %s with %d tiles\n", name, pm_TileGetNumber(loaded->tiles));
    tk_HeapFree(name);
    expect(report_readiness(loaded) == 1, "segment should be ready at T0 only");
    pm_ProjectDestroy(loaded);
  }

  /* A failed load returns null and explains itself in a chain. */
  loaded = pm_ProjectLoad(missing_file, 0, &report);
  expect(loaded == NULL && report != NULL, "loading a missing file should fail with a report");
  if (report != NULL) print_report("loading a missing file fails, as it should", &report);
  pm_ProjectDestroy(loaded); /* null is ignored */

  tk_HeapFree(file_name);
  tk_HeapFree(missing_file);
  printf("%s\n", failures ? "host example FAILED" : "host example done");
  return failures ? 1 : 0;
}
