// The public header compiles on its own as C++ (no other include first).
#include "kestrum.h"

static_assert(sizeof(pm_ChangeState) == 8, "two 32-bit flags");
static_assert(sizeof(pm_NodeKind) == 4 && sizeof(pm_PFAType) == 4, "enumerations are 32-bit");
static_assert(offsetof(pm_Tile, node) == 0 && offsetof(pm_Node, next) == 0, "node header first");
