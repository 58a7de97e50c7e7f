// The project as JSON: `kestrum export` and `kestrum import`.
//
// The document holds everything the project file holds, in a fixed key order
// and in list order, so that the same project always gives the same bytes.
// Paths beneath the project directory are written "$PROJECT/..." so that a
// document can be imported next to another project file.
//
// The document's layout, every key always present on export:
//   { "kestrum_project": 1,
//     "settings": { "type", "dot_grid", "poly_tool" },
//     "files":  [ data file ],
//     "tiles":  [ { "name", "selection", "files": [...], "samples": [
//                   { "name", "selection", "files": [...] } ] } ],
//     "levels": [ three times { "pfa_files": [ { "name", "type" } ],
//                 "processes": [ { "name", "title", "parameter_file",
//                   "label_file", "suffix", "output", "arguments": [
//                   { "name", "value", "type", "mode", "hide" } ] } ] } ] }
//   data file: { "type", "descriptor", "time", "verified", "comment" }
// Absent texts are null. A text that is not UTF-8 (JSON strings can only
// hold UTF-8) is written as {"hex": "..."}: its bytes as lower-case hex
// digits, two per byte; every other text is a plain string. Enumerations
// are written by name, or as a number when the value has no name. Import
// accepts the same document; keys other than these are refused (a misspelt
// key must not pass silently), and so are keys given twice; keys left out
// take the value of a newly created object.
//
// Writing is json_write.cc, reading json_read.cc.
#ifndef KESTRUM_TOOLS_JSON_H
#define KESTRUM_TOOLS_JSON_H

#include <nlohmann/json.hpp>

#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "cli.h"

namespace kcli {

using Json = nlohmann::ordered_json;

// The format number a document carries as "kestrum_project".
constexpr int kJsonFormat = 1;

// A text as every JSON document of the tool writes it: a string when it is
// UTF-8, else {"hex": "..."} with its bytes as lower-case hex digits.
Json text_json(const std::string &text);

// What the walk of a project hands its document to, value by value in
// document order: the text of `kestrum export`, or values built as they come
// (the Python package builds its dicts and lists this way, which is much
// faster than writing the text and parsing it again).
class Writer {
 public:
  virtual ~Writer() = default;
  virtual void begin_object() = 0;
  virtual void end_object() = 0;
  virtual void begin_array() = 0;
  virtual void end_array() = 0;
  // Starts the next member of the open object; its value follows.
  virtual void key(std::string_view name) = 0;
  // Starts the next element of the open array; its value follows.
  virtual void element() = 0;
  virtual void null() = 0;
  virtual void number(long long value) = 0;
  virtual void number(double value) = 0;
  // Always valid UTF-8: texts that are not travel as {"hex": "..."}.
  virtual void string(std::string_view text) = 0;
};

// Walks the project into `out`, the one place that decides what the
// document holds and in which order.
void write_json(pm_Project *project, Writer &out);
// Writes the document for a project to `out` as it walks the project:
// two-space indent and a final newline, the layout nlohmann's dump(2) gives.
// Only a small chunk of text is held at a time.
void write_json(pm_Project *project, std::ostream &out);
// The same document as one text.
std::string export_text(pm_Project *project);
// The same document as a value, for documents that embed it (show --json);
// it holds the whole document, so export itself streams instead.
Json project_to_json(pm_Project *project);

// Builds a project from a document as it is parsed, reading `in` a piece at
// a time: each element of the top-level lists is built into the project as
// soon as the parser has it, so neither the text nor a value of the whole
// document is ever held. "$PROJECT" names are expanded against `directory`.
// Reading is linear in the length of the text.
// A syntax error throws Failure with the line and column ("bad JSON in
// SOURCE: parse error at line 3, column 12: ..."); nesting deeper than 32
// levels, a key given twice in one object and a number beyond a double's
// range throw Failure naming the place ("bad project JSON at /tiles: the
// key \"tiles\" is given twice"), and so does every fault of the document
// as a project ("bad project JSON at /tiles/0/name: ..."). A syntax error
// anywhere outranks a fault of the project; of those, the one reported is
// the first in reading order (the top level's keys, "kestrum_project",
// "settings", "files", "tiles", "levels"), wherever the keys stand.
ProjectPtr import_json(std::istream &in, const std::string &source, const std::string &directory);
ProjectPtr import_json(const std::string &text, const std::string &source, const std::string &directory);

// What builds the project from a document held in memory (the Python
// package's dicts and lists): the same events a parse of the text gives,
// handed over in document order by whoever walks the values, so that such a
// document is read by exactly the code that reads the text and refused for
// the same faults at the same places. Each event returns false once the
// document is refused; the walk then stops.
class DocumentReader : public nlohmann::json_sax<Json> {
 public:
  // Refuses the value that would come next (or, where a key would come
  // next, its object) as no value a document can hold: "bad project JSON
  // at /tiles/0: <what>". Returns false.
  virtual bool refuse(const std::string &what) = 0;
};
// Builds a project from the events `walk` hands the reader; "$PROJECT" names
// are expanded against `directory`. Faults throw as import_json's do.
ProjectPtr import_document(const std::function<bool(DocumentReader &)> &walk, const std::string &directory);

}  // namespace kcli

#endif
