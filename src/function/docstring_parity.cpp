#include <string>
#include <string_view>

#include "analysis/text_match.hpp"
#include "function/summaries.hpp"

namespace ovra::function {

namespace {

// Removes every occurrence of `part`, scanning left to right.
void remove_all(std::string& text, std::string_view part) {
  std::string::size_type at = text.find(part);
  if (at == std::string::npos) return;
  std::string out;
  out.reserve(text.size());
  std::string::size_type from = 0;
  for (; at != std::string::npos; at = text.find(part, from)) {
    out.append(text, from, at - from);
    from = at + part.size();
  }
  out.append(text, from, std::string::npos);
  text = std::move(out);
}

// The parameter name behind a parameter-map key, kind markers removed.
std::string parameter_name(std::string key) {
  remove_all(key, "pos_");
  remove_all(key, "kw_");
  remove_all(key, "*");
  remove_all(key, "**");
  return key;
}

// "name:", "name ", "param name" or "arg name" somewhere in the text.
bool is_documented(std::string_view text, std::string_view name, std::string& scratch) {
  scratch.assign(name);
  scratch += ':';
  if (match::contains(text, scratch)) return true;
  scratch.back() = ' ';
  if (match::contains(text, scratch)) return true;
  scratch.assign("param ");
  scratch += name;
  if (match::contains(text, scratch)) return true;
  scratch.assign("arg ");
  scratch += name;
  return match::contains(text, scratch);
}

// The docstring lowercased with full Unicode case mapping; empty for a
// docstring that is not a str.
std::string lowered_text(py::Handle docstring) {
  if (!py::is_str(docstring)) return {};
  py::Ref lowered = py::Ref::checked(PyObject_CallMethodNoArgs(docstring.get(), py::interned<"lower">()));
  return py::source_text(lowered);
}

bool has_explicit_return(const py::Dict& body) {
  py::Handle returns = body.find<"returns">();
  if (!returns || !py::is_dict(returns)) return false;
  return py::is_true_bool(py::Dict::borrow_dict(returns).find<"has_explicit_return">());
}

bool raises_something(const py::Dict& body) {
  py::Handle exceptions = body.find<"exceptions">();
  if (!exceptions || !py::is_dict(exceptions)) return false;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  Py_ssize_t pos = 0;
  while (PyDict_Next(exceptions.get(), &pos, &key, &value)) {
    if (PyUnicode_Check(key) && PyUnicode_Tailmatch(key, py::interned<"raises_">(), 0, PY_SSIZE_T_MAX, -1) == 1) {
      return true;
    }
  }
  return false;
}

}  // namespace

py::Dict docstring_parity(const py::Dict& record, const py::Dict& body) {
  py::Dict parity = py::Dict::make();
  py::Handle docstring = record.find<"docstring">();
  if (!docstring || docstring.is_none()) {
    parity.set_bool<"has_docstring">(false);
    return parity;
  }
  const std::string text = lowered_text(docstring);

  long long documented = 0;
  long long actual = 0;
  py::Handle parameters = record.find<"parameters">();
  if (parameters && py::is_dict(parameters)) {
    actual = PyDict_GET_SIZE(parameters.get());
    std::string scratch;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    Py_ssize_t pos = 0;
    while (PyDict_Next(parameters.get(), &pos, &key, &value)) {
      if (!PyUnicode_Check(key)) continue;
      if (is_documented(text, parameter_name(py::source_text(key)), scratch)) ++documented;
    }
  }

  const bool has_return_doc = match::contains(text, "return") || match::contains(text, "yields");
  const bool has_actual_return = has_explicit_return(body);
  const bool has_raises_doc = match::contains(text, "raise") || match::contains(text, "except");
  const bool has_actual_raises = raises_something(body);

  const bool param_parity = documented == actual;
  const bool return_parity = has_return_doc == has_actual_return;
  const bool raises_parity = has_raises_doc == has_actual_raises;

  parity.set_bool<"has_docstring">(true);
  parity.set_int<"documented_params">(documented);
  parity.set_int<"actual_params">(actual);
  parity.set_bool<"param_parity">(param_parity);
  parity.set_bool<"has_return_doc">(has_return_doc);
  parity.set_bool<"has_actual_return">(has_actual_return);
  parity.set_bool<"return_parity">(return_parity);
  parity.set_bool<"has_raises_doc">(has_raises_doc);
  parity.set_bool<"has_actual_raises">(has_actual_raises);
  parity.set_bool<"raises_parity">(raises_parity);

  const double ratio = actual == 0 ? 1.0 : static_cast<double>(documented) / static_cast<double>(actual);
  const double score = (ratio + (return_parity ? 1.0 : 0.0) + (raises_parity ? 1.0 : 0.0)) / 3.0;
  parity.set<"overall_parity_score">(py::floating(score));
  return parity;
}

}  // namespace ovra::function
