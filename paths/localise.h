// Localising a file name for a caller that needs the text only briefly.
#ifndef KESTRUM_PATHS_LOCALISE_H
#define KESTRUM_PATHS_LOCALISE_H

#include <string>

namespace pm {

// pm_FilenameLocalise into `out`, whose room is reused from call to call,
// instead of a new string per name: what a save does for every data file.
// False when this way does not apply (no name, the marker's directory not
// yet checked in this load or save, no memory); pm_FilenameLocalise then
// gives the answer and any report.
// The rule: when it gives true, `out` holds exactly the text
// pm_FilenameLocalise would return for the same arguments at that moment.
// With slow_paths() it always gives false.
bool localise_into(const char *directory, const char *filename, std::string &out) noexcept;

}  // namespace pm

#endif
