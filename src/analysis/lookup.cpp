#include "analysis/lookup.hpp"

#include <string>

#include "analysis/driver.hpp"
#include "analysis/source_file.hpp"
#include "host/kinds.hpp"

namespace ovra::analysis {

namespace {

// The parsed module of a readable, parsable file; empty otherwise. Importing
// `ast` itself must succeed: only reading and parsing failures are absorbed.
py::Ref parse_file(std::string_view file_path) {
  SourceFile source = read_source_file(file_path);
  if (!source.text) return {};
  py::GcPause pause;
  py::Ref tree = parse_source(source.text);
  if (!tree) PyErr_Clear();
  return tree;
}

py::Ref module_body(py::Handle tree) {
  py::Ref body = py::attr<"body">(tree);
  if (!py::is_list(body)) py::raise(PyExc_TypeError, "module body is not a list");
  return body;
}

bool is_function(Kind kind) { return kind == Kind::FunctionDef || kind == Kind::AsyncFunctionDef; }

bool has_test_name(py::Handle function) {
  py::Ref name = py::attr<"name">(function);
  if (!py::is_str(name)) return false;
  Py_ssize_t match = PyUnicode_Tailmatch(name.get(), py::interned<"test_">(), 0, PY_SSIZE_T_MAX, -1);
  if (match < 0) py::raise();
  return match == 1;
}

int count_tests(py::Handle node);

int count_tests_in(py::Handle statements) {
  int count = 0;
  for (py::Handle stmt : py::items(statements)) count += count_tests(stmt);
  return count;
}

// Functions count when named test_* and are not searched further; classes and
// every other node with a list `body` are searched through that body only.
int count_tests(py::Handle node) {
  py::DepthGuard guard;
  const Kind kind = kind_of(node);
  if (is_function(kind)) return has_test_name(node) ? 1 : 0;
  py::Ref body = kind == Kind::ClassDef ? py::attr<"body">(node) : py::opt_attr<"body">(node);
  if (!body || !py::is_list(body)) return 0;
  return count_tests_in(body);
}

// The record filed under `name` in `record[key]`, when that is a dict.
template <py::Name Key>
py::Handle entry_of(py::Handle record, py::Handle name) {
  py::Handle table = PyDict_GetItemWithError(record.get(), py::interned<Key>());
  if (!table) {
    if (PyErr_Occurred()) py::raise();
    return {};
  }
  if (!py::is_dict(table)) return {};
  py::Handle entry = PyDict_GetItemWithError(table.get(), name.get());
  if (!entry && PyErr_Occurred()) py::raise();
  return entry;
}

}  // namespace

py::Ref get_method_names(std::string_view file_path) {
  py::List names = py::List::make();
  py::Ref tree = parse_file(file_path);
  if (!tree) return names;
  py::Ref body = module_body(tree);
  for (py::Handle stmt : py::items(body)) {
    const Kind kind = kind_of(stmt);
    if (is_function(kind)) {
      names.append(py::attr<"name">(stmt));
    } else if (kind == Kind::ClassDef) {
      py::Ref class_body = py::attr<"body">(stmt);
      if (!py::is_list(class_body)) continue;
      for (py::Handle member : py::items(class_body)) {
        if (is_function(kind_of(member))) names.append(py::attr<"name">(member));
      }
    }
  }
  return names;
}

py::Ref count_test_methods(std::string_view file_path) {
  py::Ref tree = parse_file(file_path);
  if (!tree) return py::integer(0);
  return py::integer(count_tests_in(module_body(tree)));
}

py::Dict analyze_specific_method(std::string_view file_path, std::string_view method_name) {
  py::Dict analysis = analyze_file(file_path);
  py::Ref name = py::str(method_name);

  py::Dict match;
  if (py::Handle function = entry_of<"functions">(analysis, name)) {
    match = py::Dict::make();
    match.set_str<"type">("function");
    match.set<"data">(function);
  } else if (py::Handle classes = analysis.find<"classes">(); classes && py::is_dict(classes)) {
    PyObject *class_name = nullptr, *record = nullptr;
    Py_ssize_t pos = 0;
    while (PyDict_Next(classes.get(), &pos, &class_name, &record)) {
      if (!py::is_dict(record)) continue;
      py::Handle method = entry_of<"methods">(record, name);
      if (!method) continue;
      match = py::Dict::make();
      match.set_str<"type">("method");
      match.set<"class_name">(class_name);
      match.set<"data">(method);
      break;
    }
  }

  py::Dict result = py::Dict::make();
  if (!match) {
    std::string error = "Method '";
    error += method_name;
    error += "' not found in file";
    result.set_str<"error">(error);
    result.set<"success">(Py_False);
    return result;
  }
  py::Handle metadata = analysis.find<"metadata">();
  result.set<"metadata">(metadata ? metadata : py::Handle(Py_None));
  result.set<"method_metadata">(match);
  result.set<"success">(Py_True);
  return result;
}

}  // namespace ovra::analysis
