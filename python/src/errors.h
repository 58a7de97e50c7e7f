// kestrum._kestrum: failures as Python exceptions.
//
// The library's reports reach Python as kestrum.Error with the whole chain;
// a handle used after its node went raises kestrum.StaleHandleError. Code
// of the package throws the C++ types below, and one translator registered
// with the module turns them into those exceptions. The exception classes
// themselves are Python's (kestrum/_errors.py), which also decides which
// failures are file-system errors.
#ifndef KESTRUM_PYTHON_ERRORS_H
#define KESTRUM_PYTHON_ERRORS_H

#include <pybind11/pybind11.h>

#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli.h"

namespace kpy {

namespace py = pybind11;

// (function, message) per report, outermost first.
using Chain = std::vector<std::pair<std::string, std::string>>;

// A failure the library reported; becomes kestrum.Error, or the FileError
// of its errno when the cause is the file system (see kestrum/_errors.py).
struct ReportError : std::exception {
  std::string message;
  Chain chain;
  // The file the failing call was about, and whether it was to be written.
  std::optional<std::string> filename;
  bool writing = false;
  ReportError() = default;
  explicit ReportError(const std::string &text) : message(text), chain{{"", text}} {}
  const char *what() const noexcept override { return message.c_str(); }
};

// A handle used after its node went; becomes kestrum.StaleHandleError.
struct StaleHandle : std::exception {
  std::string message;
  explicit StaleHandle(std::string text) : message(std::move(text)) {}
  const char *what() const noexcept override { return message.c_str(); }
};

// A chain as the tool's Report::lines or a Failure's chain give it, one
// "function: message" per report, outermost first.
ReportError from_lines(const std::vector<std::string> &lines, const std::string &summary = {});

// Throws the report held, if any, as kestrum.Error.
void raise_if(const kcli::Report &report);
// The same for a call about the file `filename` (load, save, save_as).
void raise_if(const kcli::Report &report, const std::string &filename, bool writing);

// Throws kestrum.NotFoundError (a KeyError) for `key` with `message`.
[[noreturn]] void raise_not_found(const py::handle &key, const std::string &message);
// Throws ValueError with `text`, whose bytes need not be UTF-8 (it may
// quote a name from a file).
[[noreturn]] void throw_value_error(const std::string &text);

// For a C-level slot of the module's own: sets the Python exception for the
// C++ exception being handled, as pybind11 would for a bound function, and
// returns null. Call only from a catch block.
PyObject *python_error_from_current() noexcept;

// Adds the exception classes to the module and registers the translator
// from the types above (and kcli::Failure).
void bind_errors(py::module_ &m);

}  // namespace kpy

#endif
