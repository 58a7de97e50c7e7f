// Deep comparison of two projects, field by field and in list order, and a
// structural check of one project's links.
//
// Both return an empty string when all is well and otherwise a description of
// the first problem with its place in the tree, for example
//   tile "north" / sample "s2" / file "Raster": descriptor "/a" != "/b"
// so that a failing test says what differs. Neither uses GoogleTest, so the
// fuzz targets share them.
#ifndef KESTRUM_TEST_PROJECT_COMPARE_H
#define KESTRUM_TEST_PROJECT_COMPARE_H

#include <string>

#include "include/kestrum.h"

namespace kestrum_test {

struct CompareOptions {
  // Also compare every record's change state (changed, saved).
  bool change_state = false;
  // Also compare what the file name binds: name, filename, directory, base name.
  bool file_binding = false;
};

// First difference between the two projects' contents; "" when equal. The
// structure of both is checked too (see ProjectStructureProblem).
std::string ProjectDifference(const pm_Project *a, const pm_Project *b,
                              const CompareOptions &options = {});

// The same for two process lists (names, fields, arguments, change states
// with change_state) and two PFA file lists, each from its first element.
std::string ProcessListDifference(const pm_Process *a, const pm_Process *b,
                                  const CompareOptions &options = {});
std::string ArgumentListDifference(const pm_Argument *a, const pm_Argument *b,
                                   const CompareOptions &options = {});
std::string PFAListDifference(const pm_PFAFile *a, const pm_PFAFile *b, const CompareOptions &options = {});

// First broken link in the project: a prev that does not point back, a
// parent that is not the owner, a wrong kind, a missing change-state record,
// a list that does not start at its first element. "" when sound.
std::string ProjectStructureProblem(const pm_Project *project);

}  // namespace kestrum_test

#endif
