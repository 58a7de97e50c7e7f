// kestrum._kestrum: failures as Python exceptions (see errors.h).
#include "errors.h"

#include "values.h"

namespace kpy {

namespace {

// kestrum.Error and kestrum.StaleHandleError; one reference each is held for
// the life of the interpreter (never released, so nothing runs at exit).
PyObject *g_error_type = nullptr;
PyObject *g_stale_type = nullptr;

// The tool's failures (JSON import) carry a summary and chain lines.
ReportError from_failure(const kcli::Failure &failure) {
  std::vector<std::string> lines;
  const std::string &chain = failure.chain();
  for (std::size_t start = 0; start < chain.size();) {
    std::size_t end = chain.find('\n', start);
    if (end == std::string::npos) end = chain.size();
    lines.push_back(chain.substr(start, end - start));
    start = end + 1;
  }
  return from_lines(lines, failure.what());
}

// Sets kestrum.Error with its chain as the pending Python exception.
void raise_error(const ReportError &failure) {
  py::tuple chain(failure.chain.size());
  for (std::size_t i = 0; i < failure.chain.size(); ++i)
    chain[i] = py::make_tuple(decode_display(failure.chain[i].first), decode_display(failure.chain[i].second));
  py::object instance = py::reinterpret_borrow<py::object>(g_error_type)(decode_display(failure.message));
  instance.attr("chain") = chain;
  PyErr_SetObject(g_error_type, instance.ptr());
}

}  // namespace

ReportError from_lines(const std::vector<std::string> &lines, const std::string &summary) {
  ReportError error;
  for (const std::string &line : lines) {
    const std::size_t colon = line.find(": ");
    if (colon == std::string::npos)
      error.chain.emplace_back("", line);
    else
      error.chain.emplace_back(line.substr(0, colon), line.substr(colon + 2));
  }
  error.message = !summary.empty() ? summary : error.chain.empty() ? "" : error.chain.front().second;
  if (error.chain.empty()) error.chain.emplace_back("", error.message);
  return error;
}

void raise_if(const kcli::Report &report) {
  if (report) throw from_lines(report.lines());
}

void bind_errors(py::module_ &m) {
  g_error_type = PyErr_NewExceptionWithDoc(
      "kestrum.Error",
      "A failure the library reported. str(e) is the outermost message; e.chain is the whole\n"
      "report chain, outermost first, as (function, message) tuples.",
      PyExc_Exception, nullptr);
  if (!g_error_type) throw py::error_already_set();
  if (PyObject_SetAttrString(g_error_type, "chain", py::tuple().ptr()) != 0) throw py::error_already_set();
  m.attr("Error") = py::reinterpret_borrow<py::object>(g_error_type);
  g_stale_type = PyErr_NewExceptionWithDoc(
      "kestrum.StaleHandleError", "A handle was used after its node was removed or replaced by a list rebuild.",
      PyExc_ReferenceError, nullptr);
  if (!g_stale_type) throw py::error_already_set();
  m.attr("StaleHandleError") = py::reinterpret_borrow<py::object>(g_stale_type);
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const StaleHandle &stale) {
      PyErr_SetString(g_stale_type, stale.what());
    } catch (const ReportError &failure) {
      raise_error(failure);
    } catch (const kcli::Failure &failure) {
      raise_error(from_failure(failure));
    }
  });
}

}  // namespace kpy
