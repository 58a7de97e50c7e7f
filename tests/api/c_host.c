/* A host written in C99: the public header compiles as C with warnings as
 * errors, the library links, and a small project is built, queried, given a
 * refused append whose report chain is read, and freed. With the argument
 * "heap" it checks instead that the host keeps its own malloc (host_heap.c);
 * with "leak" it leaks a tile and a name on purpose, for a memory checker to
 * find (check_host_leaks.py). */
#include <stdio.h>
#include <string.h>

#include "host_heap.h"
#include "kestrum.h"

static int expect(int condition, const char *what) {
  if (!condition) fprintf(stderr, "c_host: %s\n", what);
  return condition ? 0 : 1;
}

int main(int argc, char **argv) {
  if (argc > 1 && strcmp(argv[1], "heap") == 0) return host_heap_failures() ? 1 : 0;
  if (argc > 1 && strcmp(argv[1], "leak") == 0) return host_leaks();
  int failures = 0;
  tk_ErrorReport *report = NULL;
  pm_Project *project = pm_ProjectCreate();
  pm_Tile *tile = pm_TileCreate("T1");
  pm_Tile *twin = pm_TileCreate("T1");
  pm_File *file = pm_FileCreate("ortho", "/data/a.img", 1.5, NULL, NULL);
  char *name;
  char *chain;

  pm_ProjectAppendTile(project, tile, &report);
  failures += expect(report == NULL, "first append reported");
  pm_TileAppendFile(tile, file, &report);
  failures += expect(report == NULL, "file append reported");
  pm_ProjectAppendTile(project, twin, &report);
  failures += expect(report != NULL, "duplicate tile accepted");
  chain = tk_ErrorReportFormatChain(report);
  failures += expect(chain != NULL && strstr(chain, "already in use") != NULL, "chain lacks the cause");
  tk_HeapFree(chain);
  tk_ErrorReportDelete(&report);
  pm_TileDestroy(twin); /* refused, so still ours */

  name = pm_TileGetName(pm_TileFindByNumber(project->tiles, 1));
  failures += expect(name != NULL && strcmp(name, "T1") == 0, "tile name");
  tk_HeapFree(name);
  failures += expect(pm_ProjectGetTotalNodes(project) == 2, "total nodes");
  failures += expect(pm_FileGetDate(pm_FileFind(tile->files, "ortho")) == 1.5, "file time");
  failures += expect(pm_NodeGetType(file) == PM_KIND_NONE, "file kind");

  pm_ProjectDestroy(project);
  return failures ? 1 : 0;
}
