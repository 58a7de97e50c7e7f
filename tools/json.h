// The project as JSON: `kestrum export` and `kestrum import`.
//
// The document holds everything the project file holds, in a fixed key order
// and in list order, so that the same project always gives the same bytes.
// Paths beneath the project directory are written "$PROJECT/..." so that a
// document can be imported next to another project file.
#ifndef KESTRUM_TOOLS_JSON_H
#define KESTRUM_TOOLS_JSON_H

#include <nlohmann/json.hpp>

#include "cli.h"

namespace kcli {

using Json = nlohmann::ordered_json;

// The document for a project.
Json project_to_json(pm_Project *project);
// The document as text: two-space indent and a final newline.
std::string export_text(pm_Project *project);

// Builds a project from a document; "$PROJECT" names are expanded against
// `directory`. Throws Failure naming the JSON pointer of the first bad value
// ("bad project JSON at /tiles/0/name: ...").
ProjectPtr project_from_json(const Json &document, const std::string &directory);
// Parses text; a syntax error throws Failure with the line and column.
Json parse_json(const std::string &text, const std::string &source);

}  // namespace kcli

#endif
