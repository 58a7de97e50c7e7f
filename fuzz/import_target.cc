// Fuzz target: import a project from arbitrary JSON text, as `kestrum
// import` does. The text is either refused with a message that names the
// fault's place (or the syntax error's line) and quotes no more than a short
// excerpt of the input, or it gives a project whose export imports back to
// the same export; a project that the file can hold also saves and loads
// back to the same export.
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "json.h"

namespace {

std::string Export(pm_Project *project) {
  try {
    return kcli::export_text(project);
  } catch (const std::exception &error) {
    kestrum_fuzz::Fail(std::string("an imported project does not export: ") + error.what());
  }
}

kcli::ProjectPtr Import(const std::string &text, const std::string &directory, const char *what) {
  try {
    return kcli::import_json(text, "export", directory);
  } catch (const std::exception &error) {
    kestrum_fuzz::Fail(std::string(what) + " does not import: " + error.what());
  }
}

void CheckRefusal(const std::string &message) {
  if (message.rfind("bad JSON in input: ", 0) != 0 && message.rfind("bad project JSON at ", 0) != 0)
    kestrum_fuzz::Fail("a refusal of another kind: " + message.substr(0, 300));
  // The longest place (32 levels of shortened keys) and the longest
  // quoted excerpt stay well inside this.
  if (message.size() > 2500) kestrum_fuzz::Fail("a refusal repeats the input: " + message.substr(0, 300));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  const std::string directory = kestrum_fuzz::ScratchDir();
  kcli::ProjectPtr project;
  try {
    project = kcli::import_json(text, "input", directory);
  } catch (const kcli::Failure &failure) {
    CheckRefusal(failure.what());
    return 0;
  } catch (const std::exception &error) {
    kestrum_fuzz::Fail(std::string("an import threw something other than a refusal: ") + error.what());
  }

  const std::string first = Export(project.get());
  // The export is written as it walks the project; it must be exactly what
  // the JSON library writes for the same document.
  if (kcli::Json::parse(first).dump(2) + "\n" != first)
    kestrum_fuzz::Fail("an export is laid out unlike the library's");
  kcli::ProjectPtr again = Import(first, directory, "an export");
  if (Export(again.get()) != first) kestrum_fuzz::Fail("export, import and export again differ");

  // Bound to a file in the scratch directory, the export writes paths
  // beneath it as "$PROJECT/..."; what saves must load back to that.
  const std::string file = directory + "/import.kpr";
  std::remove(file.c_str());
  try {
    kcli::save_project(project.get(), file);
  } catch (const kcli::Failure &) {
    return 0;  // names the file cannot hold; the roundtrip target covers that refusal
  }
  const std::string saved = Export(project.get());
  pm_Project *loaded = kestrum_fuzz::CheckedLoad(file);
  if (loaded == nullptr) kestrum_fuzz::Fail("a saved import does not load");
  const std::string reloaded = Export(loaded);
  pm_ProjectDestroy(loaded);
  if (reloaded != saved) kestrum_fuzz::Fail("an import saved and loaded exports differently");
  return 0;
}
