/* Uses both installed libraries: a project of libkestrum and a report chain
 * of the toolkit. The build hands it the version its package states
 * (KESTRUM_PACKAGE_VERSION), which must be the header's. */
#include <stdio.h>
#include <string.h>

#include <kestrum.h>

int main(void) {
  tk_ErrorReport *report = NULL;
  pm_Project *project = pm_ProjectCreate();
  pm_Tile *tile = pm_TileCreate("T1");
  pm_Tile *twin = pm_TileCreate("T1");
  char *name;
  char *chain;
  int ok;

  pm_ProjectAppendTile(project, tile, &report);
  ok = report == NULL;
  pm_ProjectAppendTile(project, twin, &report);
  chain = tk_ErrorReportFormatChain(report);
  ok = ok && chain != NULL && strstr(chain, "T1") != NULL;
  tk_HeapFree(chain);
  tk_ErrorReportDelete(&report);
  pm_TileDestroy(twin);
  name = pm_TileGetName(project->tiles);
  ok = ok && name != NULL && strcmp(name, "T1") == 0;
  tk_HeapFree(name);
  pm_ProjectDestroy(project);
  printf("package version %s\n", KESTRUM_PACKAGE_VERSION);
  ok = ok && strcmp(KESTRUM_PACKAGE_VERSION, KESTRUM_VERSION_STRING) == 0;
  printf("kestrum consumer: %s\n", ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
