// Deep comparison and structural checks of whole projects (see the header).
//
// Records are walked through their public fields on purpose: the accessors
// return copies and would hide a broken link or a wrong parent, which is
// exactly what these checks are for.
#include "project_compare.h"

#include <cstring>
#include <sstream>
#include <vector>

namespace kestrum_test {
namespace {

std::string quoted(const char *text) {
  if (text == nullptr) return "(null)";
  return "\"" + std::string(text) + "\"";
}

// Collects the first problem found, prefixed with the place in the tree.
class Walker {
 public:
  explicit Walker(const CompareOptions &options) : options_(options) {}

  bool failed() const { return !problem_.empty(); }
  const std::string &problem() const { return problem_; }

  void fail(const std::string &what) {
    if (failed()) return;
    std::string place;
    for (const std::string &part : path_) place += part + " / ";
    problem_ = place + what;
  }

  // Runs `body` with one more level of place description.
  template <typename Body>
  void within(const std::string &part, Body body) {
    if (failed()) return;
    path_.push_back(part);
    body();
    path_.pop_back();
  }

  void text(const char *field, const char *a, const char *b) {
    bool same = (a == nullptr && b == nullptr) || (a != nullptr && b != nullptr && std::strcmp(a, b) == 0);
    if (!same) fail(std::string(field) + ": " + quoted(a) + " != " + quoted(b));
  }

  void number(const char *field, long long a, long long b) {
    if (a != b) fail(std::string(field) + ": " + std::to_string(a) + " != " + std::to_string(b));
  }

  // Times must survive bit for bit (fractions, negative zero, NaN payloads).
  void time(const char *field, double a, double b) {
    if (std::memcmp(&a, &b, sizeof a) != 0) {
      std::ostringstream out;
      out.precision(17);
      out << field << ": " << a << " != " << b;
      fail(out.str());
    }
  }

  void state(const pm_ChangeState *a, const pm_ChangeState *b) {
    if (a == nullptr || b == nullptr) {
      if (a != b) fail("change state present on one side only");
      return;
    }
    if (!options_.change_state) return;
    number("changed", a->changed, b->changed);
    number("saved", a->saved, b->saved);
  }

  // Compares two lists element by element with `each`, after their lengths.
  template <typename T, typename Each>
  void list(const char *what, const T *a, const T *b, Each each) {
    std::vector<const T *> left = elements(a), right = elements(b);
    if (left.size() != right.size()) {
      fail(std::string(what) + " count: " + std::to_string(left.size()) + " != " +
           std::to_string(right.size()) + names(left) + " vs" + names(right));
      return;
    }
    for (size_t i = 0; i < left.size() && !failed(); ++i) {
      within(std::string(what) + " " + quoted(left[i]->node.name), [&] {
        text("name", left[i]->node.name, right[i]->node.name);
        number("kind", left[i]->node.kind, right[i]->node.kind);
        state(left[i]->node.state, right[i]->node.state);
        each(left[i], right[i]);
      });
    }
  }

  template <typename T>
  static std::vector<const T *> elements(const T *first) {
    std::vector<const T *> out;
    // A cycle would hang the comparison; no real list is this long.
    for (const pm_Node *n = first ? &first->node : nullptr; n != nullptr && out.size() < 10000000;
         n = n->next)
      out.push_back(reinterpret_cast<const T *>(n));
    return out;
  }

 private:
  template <typename T>
  static std::string names(const std::vector<const T *> &list) {
    std::string out;
    for (size_t i = 0; i < list.size() && i < 8; ++i) out += " " + quoted(list[i]->node.name);
    if (list.size() > 8) out += " ...";
    return out;
  }

  const CompareOptions &options_;
  std::vector<std::string> path_;
  std::string problem_;
};

void compare_files(Walker &w, const pm_File *a, const pm_File *b) {
  w.list("file", a, b, [&](const pm_File *x, const pm_File *y) {
    w.text("descriptor", x->descriptor, y->descriptor);
    w.time("time", x->time, y->time);
    w.text("verified", x->verified, y->verified);
    w.text("comment", x->comment, y->comment);
  });
}

void compare_arguments(Walker &w, const pm_Argument *a, const pm_Argument *b) {
  w.list("argument", a, b, [&](const pm_Argument *p, const pm_Argument *q) {
    w.text("value", p->value, q->value);
    w.number("type", p->type, q->type);
    w.number("mode", p->mode, q->mode);
    w.number("hide", p->hide, q->hide);
  });
}

void compare_processes(Walker &w, const pm_Process *a, const pm_Process *b) {
  w.list("process", a, b, [&](const pm_Process *x, const pm_Process *y) {
    w.text("title", x->title, y->title);
    w.text("params", x->params, y->params);
    w.text("labels", x->labels, y->labels);
    w.text("suffix", x->suffix, y->suffix);
    w.number("output", x->output, y->output);
    compare_arguments(w, x->arguments, y->arguments);
  });
}

void compare_pfa_files(Walker &w, const pm_PFAFile *a, const pm_PFAFile *b) {
  w.list("PFA file", a, b, [&](const pm_PFAFile *x, const pm_PFAFile *y) { w.number("type", x->type, y->type); });
}

// Checks one list's links: starts at its first element, prev mirrors next,
// every element has the expected parent and kind and a change state.
template <typename T>
void check_links(Walker &w, const char *what, const T *first, const void *parent, bool check_parent,
                 pm_NodeKind kind) {
  if (first == nullptr) return;
  if (first->node.prev != nullptr) {
    w.fail(std::string(what) + " list does not start at its first element");
    return;
  }
  const pm_Node *previous = nullptr;
  for (const T *e : Walker::elements(first)) {
    const pm_Node &n = e->node;
    std::string place = std::string(what) + " " + quoted(n.name);
    if (n.prev != previous) return w.fail(place + ": prev does not point back");
    if (check_parent && n.parent != parent) return w.fail(place + ": wrong parent");
    if (n.kind != kind) return w.fail(place + ": kind " + std::to_string(n.kind));
    if (n.state == nullptr) return w.fail(place + ": no change state");
    previous = &n;
  }
}

void check_structure(Walker &w, const pm_Project *p) {
  if (p == nullptr) return;
  if (p->node.kind != PM_KIND_PROJECT) return w.fail("project kind " + std::to_string(p->node.kind));
  if (p->node.state == nullptr) return w.fail("project has no change state");
  if (p->pfa_root == nullptr || p->pfa_root->state == nullptr) return w.fail("project has no PFA root");
  if (p->process_lists == nullptr) return w.fail("project has no process lists");
  check_links(w, "tile", p->tiles, p, true, PM_KIND_TILE);
  check_links(w, "project file", p->files, p, true, PM_KIND_NONE);
  for (const pm_Tile *t : Walker::elements(p->tiles)) {
    w.within("tile " + quoted(t->node.name), [&] {
      check_links(w, "sample", t->samples, t, true, PM_KIND_SAMPLE);
      check_links(w, "tile file", t->files, t, true, PM_KIND_NONE);
      for (const pm_Sample *s : Walker::elements(t->samples))
        w.within("sample " + quoted(s->node.name),
                 [&] { check_links(w, "sample file", s->files, s, true, PM_KIND_NONE); });
    });
  }
  for (int level = 0; level < 3; ++level) {
    w.within("level " + std::to_string(level), [&] {
      check_links(w, "PFA file", p->pfa_root->lists[level], nullptr, false, PM_KIND_NONE);
      check_links(w, "process", p->process_lists->lists[level], nullptr, false, PM_KIND_NONE);
      for (const pm_Process *proc : Walker::elements(p->process_lists->lists[level]))
        w.within("process " + quoted(proc->node.name), [&] {
          check_links(w, "argument", proc->arguments, proc, true, PM_KIND_NONE);
        });
    });
  }
}

}  // namespace

std::string ProjectStructureProblem(const pm_Project *project) {
  CompareOptions options;
  Walker w(options);
  if (project == nullptr) return "no project";
  check_structure(w, project);
  return w.problem();
}

std::string ProjectDifference(const pm_Project *a, const pm_Project *b, const CompareOptions &options) {
  if (a == nullptr || b == nullptr) return a == b ? "" : "one project is null";
  for (const pm_Project *p : {a, b}) {
    std::string problem = ProjectStructureProblem(p);
    if (!problem.empty()) return std::string(p == a ? "first" : "second") + " project: " + problem;
  }
  Walker w(options);
  w.number("type", a->type, b->type);
  w.number("use_dot_grid", a->use_dot_grid, b->use_dot_grid);
  w.number("use_poly_tool", a->use_poly_tool, b->use_poly_tool);
  w.state(a->node.state, b->node.state);
  if (options.change_state) w.within("PFA root", [&] { w.state(a->pfa_root->state, b->pfa_root->state); });
  if (options.file_binding) {
    w.text("name", a->node.name, b->node.name);
    w.text("filename", a->filename, b->filename);
    w.text("dirname", a->dirname, b->dirname);
    w.text("basename", a->basename, b->basename);
  }
  w.list("tile", a->tiles, b->tiles, [&](const pm_Tile *x, const pm_Tile *y) {
    w.number("automatic", x->automatic, y->automatic);
    w.list("sample", x->samples, y->samples, [&](const pm_Sample *s, const pm_Sample *t) {
      w.number("automatic", s->automatic, t->automatic);
      compare_files(w, s->files, t->files);
    });
    compare_files(w, x->files, y->files);
  });
  w.within("project", [&] { compare_files(w, a->files, b->files); });
  for (int level = 0; level < 3; ++level) {
    w.within("level " + std::to_string(level), [&] {
      compare_pfa_files(w, a->pfa_root->lists[level], b->pfa_root->lists[level]);
      compare_processes(w, a->process_lists->lists[level], b->process_lists->lists[level]);
    });
  }
  return w.problem();
}

std::string ProcessListDifference(const pm_Process *a, const pm_Process *b, const CompareOptions &options) {
  Walker w(options);
  compare_processes(w, a, b);
  return w.problem();
}

std::string ArgumentListDifference(const pm_Argument *a, const pm_Argument *b, const CompareOptions &options) {
  Walker w(options);
  compare_arguments(w, a, b);
  return w.problem();
}

std::string PFAListDifference(const pm_PFAFile *a, const pm_PFAFile *b, const CompareOptions &options) {
  Walker w(options);
  compare_pfa_files(w, a, b);
  return w.problem();
}

}  // namespace kestrum_test
