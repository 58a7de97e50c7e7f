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

// A text as every JSON document of the tool writes it: a string when it is
// UTF-8, else {"hex": "..."} with its bytes as lower-case hex digits.
Json text_json(const std::string &text);

// The document for a project.
Json project_to_json(pm_Project *project);
// The document as text: two-space indent and a final newline.
std::string export_text(pm_Project *project);

// Builds a project from a document; "$PROJECT" names are expanded against
// `directory`. Throws Failure naming the JSON pointer of the first bad value
// ("bad project JSON at /tiles/0/name: ...").
ProjectPtr project_from_json(const Json &document, const std::string &directory);
// Parses text in time linear in its length. A syntax error throws Failure
// with the line and column ("bad JSON in SOURCE: parse error at line 3,
// column 12: ..."); nesting deeper than 32 levels, a key given twice in one
// object and a number beyond a double's range throw Failure naming the
// place ("bad project JSON at /tiles: the key \"tiles\" is given twice").
Json parse_json(const std::string &text, const std::string &source);

}  // namespace kcli

#endif
