// The value names of the enumerations a project file stores, in the order
// of their stored indices. They belong to the file schema (persist/schema.h
// lays them out in the designs), but sit here, below every layer that names
// values: processing reads format names, and the tool and the Python
// package print and parse them all.
#ifndef KESTRUM_NODE_VALUE_NAMES_H
#define KESTRUM_NODE_VALUE_NAMES_H

#include <iterator>
#include <span>

#include "include/kestrum.h"

namespace pm {

// ---- Enumerations: value names in the order of their stored indices ------

using Names = std::span<const char *const>;

inline constexpr const char *kProjectTypeNames[] = {"Single_Sampling", "Double_Sampling"};
// Dot grid and poly tool analysis.
inline constexpr const char *kSwitchNames[] = {"Disabled", "Enabled"};
inline constexpr const char *kSelectionNames[] = {"Manual", "Automatic"};
// Indexed by pm_PFAType.
inline constexpr const char *kPFATypeNames[] = {"Raster", "Vector", "Text", "Annotation", "AOI"};
inline constexpr const char *kModeNames[] = {"Strict_Input", "Strict_Output", "Optional_Input", "Optional_Output",
                                             "Editable_Output"};
inline constexpr const char *kHideNames[] = {"Show", "Hide"};
inline constexpr const char *kOutputNames[] = {"Request", "Generate"};

static_assert(std::size(kPFATypeNames) == PM_AOI + 1, "a PFA type name for every pm_PFAType");
static_assert(std::size(kModeNames) == PM_EDITABLE_OUTPUT + 1, "a mode name for every PM_*_INPUT/OUTPUT mode");

}  // namespace pm

#endif
