// The switch that turns every fast path of the library off.
//
// Several operations have a fast path beside a plain one that gives the same
// answer: the fast one only saves work (an index, a cache, a read by number).
// Each pair says at its fast path what the fast one must give that the plain
// one gives. The pairs:
// - appends and takes through list indexes, and the relinking of loads and
//   rebuilds, against the walk of the list (node/list_append.h);
// - reads and writes of project-file nodes by number, and walks of a node's
//   children by number, against the same by path (persist/node_io.h);
// - localise_into against pm_FilenameLocalise (paths/localise.h);
// - the directories a load or save has already checked against a check per
//   join (paths/directory_checks.h).
// - destroying a whole list at once against element by element
//   (node/lifecycle.h).
// - a load whose reads check the records against checking them all when
//   the file is opened (persist/project_file.cc).
// With the switch on, every one of them takes its plain path, so that the
// whole suite can run both ways and any difference shows as a failure.
#ifndef KESTRUM_NODE_SLOW_PATHS_H
#define KESTRUM_NODE_SLOW_PATHS_H

namespace pm {

// True, in a build with the test hooks, when KESTRUM_SLOW_PATHS is set (and
// not "0") in the environment when the library first looks. An installed
// library reads no environment: there it is always false.
bool slow_paths() noexcept;

// Whether a value of that variable asks for the plain paths.
inline bool slow_paths_wanted(const char *value) noexcept {
  return value && *value && !(value[0] == '0' && value[1] == '\0');
}

}  // namespace pm

#endif
