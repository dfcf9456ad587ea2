#include "module/binding.hpp"

#include <string>
#include <vector>

namespace ovra::module {

namespace {

std::string quoted_list(const std::vector<const char*>& names) {
  // 'a', 'b' and 'c'
  std::string s;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) s += (i + 1 == names.size()) ? (names.size() > 2 ? ", and " : " and ") : ", ";
    s += '\'';
    s += names[i];
    s += '\'';
  }
  return s;
}

}  // namespace

void bind_arguments(const char* function, const char* const* names, std::size_t count,
                    PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) {
  if (static_cast<std::size_t>(nargs) > count) {
    py::raise_format(PyExc_TypeError, "%s() takes %zu positional argument%s but %zd %s given", function,
                     count, count == 1 ? "" : "s", nargs, nargs == 1 ? "was" : "were");
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
  Py_ssize_t nkw = kwnames != nullptr ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    std::size_t slot = count;
    for (std::size_t i = 0; i < count; ++i) {
      // Compares without encoding, so any keyword name binds or is refused.
      if (PyUnicode_CompareWithASCIIString(key, names[i]) == 0) {
        slot = i;
        break;
      }
    }
    if (slot == count) {
      py::raise_format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function, key);
    }
    if (out[slot] != nullptr) {
      py::raise_format(PyExc_TypeError, "%s() got multiple values for argument '%s'", function, names[slot]);
    }
    out[slot] = args[nargs + k];
  }
  std::vector<const char*> missing;
  for (std::size_t i = 0; i < count; ++i) {
    if (out[i] == nullptr) missing.push_back(names[i]);
  }
  if (!missing.empty()) {
    std::string list = quoted_list(missing);
    py::raise_format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s", function,
                     missing.size(), missing.size() == 1 ? "" : "s", list.c_str());
  }
}

std::string_view to_str(PyObject* value, const char* name) {
  if (!PyUnicode_Check(value)) {
    py::raise_format(PyExc_TypeError, "argument '%s': expected str, got %.200s", name, Py_TYPE(value)->tp_name);
  }
  return py::utf8(value);
}

std::optional<std::string_view> to_optional_str(PyObject* value, const char* name) {
  if (value == Py_None) return std::nullopt;
  if (!PyUnicode_Check(value)) {
    py::raise_format(PyExc_TypeError, "argument '%s': expected str or None, got %.200s", name,
                     Py_TYPE(value)->tp_name);
  }
  return py::utf8(value);
}

std::map<std::string, std::string> to_headers(PyObject* value, const char* name) {
  std::map<std::string, std::string> headers;
  if (value == Py_None) return headers;
  if (!PyDict_Check(value)) {
    py::raise_format(PyExc_TypeError, "argument '%s': expected dict or None, got %.200s", name,
                     Py_TYPE(value)->tp_name);
  }
  PyObject* key = nullptr;
  PyObject* item = nullptr;
  Py_ssize_t pos = 0;
  while (PyDict_Next(value, &pos, &key, &item)) {
    if (!PyUnicode_Check(key) || !PyUnicode_Check(item)) {
      PyObject* bad = PyUnicode_Check(key) ? item : key;
      py::raise_format(PyExc_TypeError, "argument '%s': expected a dict of str to str, found %.200s", name,
                       Py_TYPE(bad)->tp_name);
    }
    // Keep both alive across the UTF-8 conversions.
    py::Ref k = py::Ref::borrow(key);
    py::Ref v = py::Ref::borrow(item);
    headers[std::string(py::utf8(k))] = std::string(py::utf8(v));
  }
  return headers;
}

}  // namespace ovra::module
