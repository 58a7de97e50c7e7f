// kestrum._kestrum: failures as Python exceptions (see errors.h).
#include "errors.h"

#include "values.h"

namespace kpy {

namespace {

// kestrum._errors, and its StaleHandleError; held for the life of the
// interpreter (never released, so nothing runs at exit).
PyObject *g_errors = nullptr;
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

// Sets the exception for the failure as the pending Python exception.
void raise_error(const ReportError &failure) {
  py::tuple chain(failure.chain.size());
  for (std::size_t i = 0; i < failure.chain.size(); ++i)
    chain[i] = py::make_tuple(decode_display(failure.chain[i].first), decode_display(failure.chain[i].second));
  py::object filename = failure.filename ? py::object(decode(*failure.filename)) : py::object(py::none());
  py::object instance = py::reinterpret_borrow<py::object>(g_errors)
                            .attr("report")(decode_display(failure.message), chain, filename, failure.writing);
  PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(instance.ptr())), instance.ptr());
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

void raise_if(const kcli::Report &report, const std::string &filename, bool writing) {
  if (!report) return;
  ReportError error = from_lines(report.lines());
  error.filename = filename;
  error.writing = writing;
  throw error;
}

void raise_not_found(const py::handle &key, const std::string &message) {
  py::object error = py::reinterpret_borrow<py::object>(g_errors).attr("not_found")(key, decode_display(message));
  PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(error.ptr())), error.ptr());
  throw py::error_already_set();
}

void throw_value_error(const std::string &text) {
  PyErr_SetObject(PyExc_ValueError, decode_display(text).ptr());
  throw py::error_already_set();
}

PyObject *python_error_from_current() noexcept {
  try {
    throw;
  } catch (py::error_already_set &error) {
    error.restore();
  } catch (...) {
    if (!py::detail::apply_exception_translators(py::detail::get_local_internals().registered_exception_translators) &&
        !py::detail::apply_exception_translators(py::detail::get_internals().registered_exception_translators))
      PyErr_SetString(PyExc_SystemError, "an exception of the kestrum package escaped its translation");
  }
  return nullptr;
}

void bind_errors(py::module_ &m) {
  py::module_ errors = py::module_::import("kestrum._errors");
  g_errors = errors.inc_ref().ptr();
  g_stale_type = py::object(errors.attr("StaleHandleError")).inc_ref().ptr();
  for (const char *name : {"Error", "FileError", "NotFoundError", "StaleHandleError"}) m.attr(name) = errors.attr(name);
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
