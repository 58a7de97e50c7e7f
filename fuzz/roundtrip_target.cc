// Fuzz target: whatever loads must save and load back equal. Load the input;
// save it under a new name and load that; save the copy into its own file
// again and load once more. All three projects must compare equal.
#include <cstdio>

#include "fuzz_support.h"
#include "project_compare.h"

namespace {

void ExpectEqual(const pm_Project *a, const pm_Project *b, const char *when) {
  std::string difference = kestrum_test::ProjectDifference(a, b);
  if (!difference.empty()) kestrum_fuzz::Fail(std::string(when) + ": " + difference);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string dir = kestrum_fuzz::ScratchDir();
  const std::string input = dir + "/input.kpr", copy = dir + "/copy.kpr";
  kestrum_fuzz::WriteFileOrDie(input, data, size);
  std::remove(copy.c_str());

  pm_Project *first = kestrum_fuzz::CheckedLoad(input);
  if (first == nullptr) return 0;

  tk_ErrorReport *report = nullptr;
  pm_ProjectSaveAs(first, copy.c_str(), 0, &report);
  if (report != nullptr) kestrum_fuzz::Fail("a loaded project cannot be saved as a new file", report);
  pm_Project *second = kestrum_fuzz::CheckedLoad(copy);
  if (second == nullptr) kestrum_fuzz::Fail("a saved copy does not load");
  ExpectEqual(first, second, "after save-as and load");

  pm_ProjectSave(second, 0, &report);
  if (report != nullptr) kestrum_fuzz::Fail("a loaded copy cannot be saved into its file", report);
  pm_Project *third = kestrum_fuzz::CheckedLoad(copy);
  if (third == nullptr) kestrum_fuzz::Fail("a file saved in place does not load");
  ExpectEqual(first, third, "after save in place and load");

  pm_ProjectDestroy(first);
  pm_ProjectDestroy(second);
  pm_ProjectDestroy(third);
  return 0;
}
