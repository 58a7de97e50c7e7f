// A text that cannot be copied fails the call: a create function gives
// null, a setter 0 with the old value kept. Never a record whose text is
// null where a value was given, which a save would then write as absent.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "allocation_loop.h"
#include "owned_records.h"

namespace kestrum_test {
namespace {

std::string Text(const char *text) { return text ? text : "(null)"; }

// Runs `make` with each of its allocations failing in turn; `whole` says
// what is missing from a result that came back ("" when nothing).
template <typename T, typename Destroy>
void CheckCreate(const std::string &name, const std::function<T *()> &make,
                 const std::function<std::string(const T *)> &whole, Destroy destroy) {
  RunAllocationLoop(name, false, [&](AllocationFault &fault) {
    fault.Arm();
    T *record = make();
    fault.Disarm();
    if (!record) return Verdict::Reported();
    std::string problem = whole(record);
    destroy(record);
    return Verdict::Succeeded(problem);
  });
}

class TextCopy : public testing::Test {
 protected:
  void SetUp() override {
    if (!AllocationFaultsAvailable()) GTEST_SKIP() << "toolkit built without fault injection";
  }
};

TEST_F(TextCopy, CreateFailsRatherThanDropAText) {
  CheckCreate<pm_Process>(
      "pm_ProcessCreate", [] { return pm_ProcessCreate("p", "title", "a.par", "a.lab", ".out", 1); },
      [](const pm_Process *p) {
        return Text(p->node.name) + Text(p->title) + Text(p->params) + Text(p->labels) + Text(p->suffix) ==
                       "ptitlea.para.lab.out"
                   ? ""
                   : "a text is missing";
      },
      pm_ProcessDestroy);
  CheckCreate<pm_File>(
      "pm_FileCreate", [] { return pm_FileCreate("type", "/d", 1.0, "yes", "note"); },
      [](const pm_File *f) {
        return Text(f->node.name) + Text(f->descriptor) + Text(f->verified) + Text(f->comment) == "type/dyesnote"
                   ? ""
                   : "a text is missing";
      },
      pm_FileDestroy);
  CheckCreate<pm_Argument>(
      "pm_ArgumentCreate", [] { return pm_ArgumentCreate("in", "image", 0, 0, 0); },
      [](const pm_Argument *a) { return Text(a->node.name) + Text(a->value) == "inimage" ? "" : "a text is missing"; },
      pm_ArgumentDestroy);
  CheckCreate<pm_Tile>(
      "pm_TileCreate", [] { return pm_TileCreate("t"); },
      [](const pm_Tile *t) { return Text(t->node.name) == "t" ? "" : "the name is missing"; }, pm_TileDestroy);
  CheckCreate<pm_Sample>(
      "pm_SampleCreate", [] { return pm_SampleCreate("s"); },
      [](const pm_Sample *s) { return Text(s->node.name) == "s" ? "" : "the name is missing"; }, pm_SampleDestroy);
  CheckCreate<pm_PFAFile>(
      "pm_PFAFileCreate", [] { return pm_PFAFileCreate("image", 0); },
      [](const pm_PFAFile *p) { return Text(p->node.name) == "image" ? "" : "the name is missing"; },
      pm_PFAFileDestroy);
}

TEST_F(TextCopy, SetterThatCannotCopyKeepsTheOldValue) {
  ProcessPtr process(pm_ProcessCreate("p", "old", nullptr, nullptr, nullptr, 1));
  ASSERT_TRUE(process);
  RunAllocationLoop("pm_ProcessSetTitle", false, [&](AllocationFault &fault) {
    pm_ProcessSetTitle(process.get(), "old");
    process->node.state->changed = 0;
    fault.Arm();
    const int set = pm_ProcessSetTitle(process.get(), "new");
    fault.Disarm();
    const std::string title = Text(process->title);
    if (set == 0) {
      if (title != "old") return Verdict::Reported("the title is now " + title);
      return Verdict::Reported(process->node.state->changed ? "marked changed" : "");
    }
    return Verdict::Succeeded(title == "new" ? "" : "the title is " + title);
  });
}

}  // namespace
}  // namespace kestrum_test
