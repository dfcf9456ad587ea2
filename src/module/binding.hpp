// Argument binding and conversion for the module's functions.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "host/py.hpp"

namespace ovra::module {

// Binds fast-call arguments to the parameter names: positional first, then
// keywords by name. Every parameter is required. Raises the interpreter's
// usual TypeErrors for missing, surplus, unknown or repeated arguments.
void bind_arguments(const char* function, const char* const* names, std::size_t count,
                    PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out);

template <std::size_t N>
std::array<PyObject*, N> bind(const char* function, const std::array<const char*, N>& names,
                              PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  std::array<PyObject*, N> out{};
  bind_arguments(function, names.data(), N, args, nargs, kwnames, out.data());
  return out;
}

// Conversions; each failure raises TypeError "argument 'NAME': ...".
std::string_view to_str(PyObject* value, const char* name);
std::optional<std::string_view> to_optional_str(PyObject* value, const char* name);
std::map<std::string, std::string> to_headers(PyObject* value, const char* name);

}  // namespace ovra::module
