#include "generator.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "toolkit.h"

namespace bench {
namespace {

std::string tile_name(int t) { return "tile " + std::to_string(t); }
std::string sample_name(int s) { return "sample " + std::to_string(s); }

// Descriptors spread over one directory per tile so no directory grows huge.
std::string descriptor(const std::string &dir, int t, int s, int k) {
  return dir + "/data/t" + std::to_string(t) + "/s" + std::to_string(s) + "-" + std::to_string(k) + ".img";
}

// Every other descriptor (by position in the whole tree) exists on disk.
bool exists_on_disk(int t, int s, int k) { return ((t + s + k) & 1) == 0; }

template <typename Owner>
void attach(Owner *owner, int level, int count, const std::string &dir, int t, int s) {
  for (int k = 0; k < count; ++k) {
    pm_File *file = pm_FileCreate(file_type(level, k).c_str(), descriptor(dir, t, s, k).c_str(),
                                  45000.0 + t + s * 0.01, "verified", "comment");
    tk_ErrorReport *report = nullptr;
    pm_ParentAppendFile(owner, file, &report);
    must(report, "append file");
  }
}

void touch(const std::string &path) {
  int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path);
  ::close(fd);
}

}  // namespace

void must(tk_ErrorReport *report, const char *what) {
  if (!report) return;
  char *text = tk_ErrorReportFormatChain(report);
  std::string message = std::string(what) + ": " + (text ? text : "?");
  tk_HeapFree(text);
  tk_ErrorReportDelete(&report);
  throw std::runtime_error(message);
}

std::string file_type(int level, int k) {
  static const char *const kinds[] = {"Raster", "Vector", "Text", "Annotation", "AOI"};
  static const char *const levels[] = {" root", " tile", " sample"};
  return std::string(kinds[k % 5]) + levels[level] + (k >= 5 ? std::to_string(k) : "");
}

void create_data_files(const Shape &shape, const std::string &dir) {
  if (!shape.create_files) return;
  ::mkdir(dir.c_str(), 0755);
  ::mkdir((dir + "/data").c_str(), 0755);
  for (int t = -1; t < shape.tiles; ++t) {
    ::mkdir((dir + "/data/t" + std::to_string(t)).c_str(), 0755);
    int files = t < 0 ? shape.project_files : shape.tile_files;
    for (int k = 0; k < files; ++k)
      if (exists_on_disk(t, -1, k)) touch(descriptor(dir, t, -1, k));
    for (int s = 0; t >= 0 && s < shape.samples; ++s)
      for (int k = 0; k < shape.sample_files; ++k)
        if (exists_on_disk(t, s, k)) touch(descriptor(dir, t, s, k));
  }
}

pm_Project *build_project(const Shape &shape, const std::string &dir) {
  pm_Project *project = pm_ProjectCreate();
  attach(project, 0, shape.project_files, dir, -1, -1);
  for (int t = 0; t < shape.tiles; ++t) {
    pm_Tile *tile = pm_TileCreate(tile_name(t).c_str());
    tk_ErrorReport *report = nullptr;
    pm_ProjectAppendTile(project, tile, &report);
    must(report, "append tile");
    attach(tile, 1, shape.tile_files, dir, t, -1);
    for (int s = 0; s < shape.samples; ++s) {
      pm_Sample *sample = pm_SampleCreate(sample_name(s).c_str());
      pm_TileAppendSample(tile, sample, &report);
      must(report, "append sample");
      attach(sample, 2, shape.sample_files, dir, t, s);
    }
  }
  pm_ProcFiles *root = project->pfa_root;
  pm_ProcessLists *lists = project->process_lists;
  for (int level = 0; level < 3; ++level) {
    for (int k = 0; k < shape.pfa_files; ++k) {
      tk_ErrorReport *report = nullptr;
      root->lists[level] =
          pm_PFAFileAppend(root->lists[level], pm_PFAFileCreate(file_type(level, k).c_str(), k % 5), &report);
      must(report, "append PFA file");
    }
    for (int p = 0; p < shape.processes; ++p) {
      bool probe = level == 0 && p == 0;
      std::string name = probe ? "ready probe" : "process " + std::to_string(level) + "-" + std::to_string(p);
      pm_Process *process = pm_ProcessCreate(name.c_str(), "title", (dir + "/params/" + name + ".par").c_str(),
                                             (dir + "/labels/" + name + ".lbl").c_str(), ".out", 0);
      for (int a = 0; a < shape.arguments; ++a) {
        // The probe's first argument is its only tested input; every other
        // argument is an output so readiness looks at one input only.
        int mode = probe && a == 0 ? PM_STRICT_INPUT : 1;
        std::string value = probe && a == 0 ? file_type(2, 0) : file_type(level, a % shape.pfa_files);
        tk_ErrorReport *report = nullptr;
        pm_ProcessAppendArgument(
            process, pm_ArgumentCreate(("arg" + std::to_string(a)).c_str(), value.c_str(), a % 5, mode, 0),
            &report);
        must(report, "append argument");
      }
      tk_ErrorReport *report = nullptr;
      lists->lists[level] = pm_ProcessAppend(lists->lists[level], process, &report);
      must(report, "append process");
    }
  }
  return project;
}

std::vector<std::string> probe_descriptors(pm_Project *project) {
  std::vector<std::string> out;
  std::string type = file_type(2, 0);
  for (pm_Tile *t = project->tiles; t; t = reinterpret_cast<pm_Tile *>(t->node.next))
    for (pm_Sample *s = t->samples; s; s = reinterpret_cast<pm_Sample *>(s->node.next))
      for (pm_File *f = s->files; f; f = reinterpret_cast<pm_File *>(f->node.next))
        if (type == f->node.name) out.emplace_back(f->descriptor);
  return out;
}

namespace {
const char *str(const char *s) { return s ? s : ""; }

struct Flattener {
  std::vector<Record> out;
  long long add(long long parent, int kind, const char *name, const char *a, const char *b, double number) {
    long long id = static_cast<long long>(out.size()) + 1;
    out.push_back(Record{id, parent, kind, str(name), str(a), str(b), number});
    return id;
  }
  void files(long long parent, pm_File *f) {
    for (; f; f = reinterpret_cast<pm_File *>(f->node.next))
      add(parent, 3, f->node.name, f->descriptor, f->verified, f->time), out.back().text2 += str(f->comment);
  }
};
}  // namespace

std::vector<Record> flatten(pm_Project *project) {
  Flattener fl;
  long long root = fl.add(0, 0, "Project", project->filename, nullptr, project->type);
  for (pm_Tile *t = project->tiles; t; t = reinterpret_cast<pm_Tile *>(t->node.next)) {
    long long tid = fl.add(root, 1, t->node.name, nullptr, nullptr, t->automatic);
    for (pm_Sample *s = t->samples; s; s = reinterpret_cast<pm_Sample *>(s->node.next)) {
      long long sid = fl.add(tid, 2, s->node.name, nullptr, nullptr, s->automatic);
      fl.files(sid, s->files);
    }
    fl.files(tid, t->files);
  }
  fl.files(root, project->files);
  for (int level = 0; level < 3; ++level) {
    long long lid = fl.add(root, 4, "level", nullptr, nullptr, level);
    for (pm_PFAFile *p = project->pfa_root->lists[level]; p; p = reinterpret_cast<pm_PFAFile *>(p->node.next))
      fl.add(lid, 5, p->node.name, nullptr, nullptr, p->type);
    for (pm_Process *p = project->process_lists->lists[level]; p; p = reinterpret_cast<pm_Process *>(p->node.next)) {
      long long pid = fl.add(lid, 6, p->node.name, p->title, p->params, p->output);
      fl.out.back().text2 += str(p->labels);
      fl.out.back().text2 += str(p->suffix);
      for (pm_Argument *a = p->arguments; a; a = reinterpret_cast<pm_Argument *>(a->node.next))
        fl.add(pid, 7, a->node.name, a->value, nullptr, a->type * 100 + a->mode * 10 + a->hide);
    }
  }
  return fl.out;
}

TextStats text_stats(pm_Project *project, const std::string &dir) {
  TextStats st;
  // Descriptors under the project directory are stored as "$PROJECT/rest".
  auto localised = [&](const char *s) -> size_t {
    if (!s) return 0;
    size_t n = std::strlen(s);
    if (n > dir.size() && std::strncmp(s, dir.c_str(), dir.size()) == 0) return n - dir.size() + 8;
    return n;
  };
  for (const Record &r : flatten(project)) {
    ++st.nodes;
    st.text_bytes += r.name.size();
    st.text_bytes += r.kind == 3 ? localised(r.text1.c_str()) : r.text1.size();
    st.text_bytes += r.text2.size();
    // A process's parameter and label files lie under the project directory.
    if (r.kind == 6) st.text_bytes -= 2 * (dir.size() - 8);
  }
  return st;
}

}  // namespace bench
