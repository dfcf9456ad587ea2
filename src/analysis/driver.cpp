#include "analysis/driver.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "analysis/imports.hpp"
#include "analysis/source_file.hpp"
#include "classes/class_record.hpp"
#include "function/function.hpp"
#include "host/kinds.hpp"
#include "types/types.hpp"

namespace ovra::analysis {

namespace {

long long line_count(std::string_view text) {
  if (text.empty()) return 0;
  long long lines = std::count(text.begin(), text.end(), '\n');
  if (text.back() != '\n') ++lines;
  return lines;
}

py::Dict metadata(py::Handle code, std::string_view text, std::optional<std::string_view> path) {
  py::Dict m = py::Dict::make();
  m.set_str<"file_path">(path ? *path : std::string_view("string"));
  m.set_int<"code_length">(static_cast<long long>(text.size()));
  m.set_int<"line_count">(line_count(text));
  m.set<"original_code">(code);
  return m;
}

// "Parse error: " + qualified type name + ": " + str(exception).
std::string parse_error_text() {
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  py::Ref t = py::Ref::steal(type), v = py::Ref::steal(value), tb = py::Ref::steal(traceback);
  std::string text = "Parse error: ";
  py::Ref qualname = py::Ref::steal(PyType_GetQualName(reinterpret_cast<PyTypeObject*>(t.get())));
  if (qualname) {
    text += py::source_text(qualname);
  } else {
    PyErr_Clear();
    text += py::type_name(v ? v.get() : t.get());
  }
  text += ": ";
  PyObject* s = v ? PyObject_Str(v.get()) : nullptr;
  if (s != nullptr) {
    py::Ref owned = py::Ref::steal(s);
    text += py::source_text(owned);
  } else {
    PyErr_Clear();
    text += "<exception str() failed>";
  }
  return text;
}

void record_import(py::Handle stmt, py::Dict& imports) {
  py::Ref names = py::attr<"names">(stmt);
  if (!py::is_list(names)) return;
  for (py::Handle alias : py::items(names)) {
    py::Ref name = py::attr<"name">(alias);
    std::string_view module = py::utf8(name);
    py::Ref asname = py::attr<"asname">(alias);
    py::Dict entry = py::Dict::make();
    entry.set_str<"type">("import");
    entry.set<"module">(name);
    entry.set<"line_number">(py::attr<"lineno">(stmt));
    if (!asname.is_none()) entry.set<"as">(asname);
    classify_import(module, entry);
    imports.set(name, entry);
  }
}

void record_import_from(py::Handle stmt, py::Dict& imports) {
  py::Ref module = py::attr<"module">(stmt);
  py::Ref names = py::attr<"names">(stmt);
  if (!py::is_list(names)) return;
  for (py::Handle alias : py::items(names)) {
    py::Ref name = py::attr<"name">(alias);
    py::Ref asname = py::attr<"asname">(alias);
    py::Dict entry = py::Dict::make();
    entry.set_str<"type">("from_import");
    entry.set<"name">(name);
    entry.set<"line_number">(py::attr<"lineno">(stmt));
    if (!module.is_none()) entry.set<"module">(module);
    if (!asname.is_none()) entry.set<"as">(asname);
    std::string key;
    if (!module.is_none()) {
      key = py::utf8(module);
      key += '.';
    }
    key += py::utf8(name);
    classify_import(key, entry);
    imports.set(key, entry);
  }
}

// The five predicates shared by both constant forms, in record order.
void set_predicates(py::Dict& entry, std::string_view type) {
  entry.set_bool<"is_generic">(types::is_generic(type));
  entry.set_bool<"is_union">(types::is_union(type));
  entry.set_bool<"is_literal">(types::is_literal(type));
  entry.set_bool<"is_protocol">(types::is_protocol(type));
  entry.set_bool<"is_callable">(types::is_callable(type));
}

void record_assign(py::Handle stmt, py::Dict& constants) {
  py::Ref targets = py::attr<"targets">(stmt);
  py::Ref value = py::attr<"value">(stmt);
  if (!py::is_list(targets)) return;
  // Computed at the first named target and shared by the others, as `a = b = []`
  // binds one object to both names.
  py::Ref literal;
  std::string type;
  for (py::Handle target : py::items(targets)) {
    py::Ref id = py::opt_attr<"id">(target);
    if (!id) continue;  // tuples, attributes, subscripts
    py::Dict entry = py::Dict::make();
    entry.set<"name">(id);
    entry.set<"line_number">(py::attr<"lineno">(stmt));
    entry.set<"has_annotation">(Py_False);
    if (!literal) {
      literal = types::literal_value(value);
      type = types::infer_type(value);
    }
    entry.set<"value">(literal);
    entry.set_str<"type">(type);
    entry.set<"type_analysis">(types::analyze_type_text(type));
    set_predicates(entry, type);
    constants.set(id, entry);
  }
}

void record_ann_assign(py::Handle stmt, py::Dict& constants) {
  py::Ref target = py::attr<"target">(stmt);
  py::Ref annotation = py::attr<"annotation">(stmt);
  py::Ref value = py::attr<"value">(stmt);
  py::Ref id = py::opt_attr<"id">(target);
  if (!id) return;

  py::Dict entry = py::Dict::make();
  entry.set<"name">(id);
  entry.set<"line_number">(py::attr<"lineno">(stmt));
  entry.set<"has_annotation">(Py_True);
  const std::string text = types::annotation_to_text(annotation);
  entry.set_str<"annotation">(text);
  types::add_annotation_keys(entry, text);

  if (value.is_none()) {
    entry.set<"value">(Py_None);
    entry.set_str<"inferred_type">("None");
    const bool compatible = types::is_optional(text) || text == "None" || text == "Any";
    entry.set_bool<"none_compatible">(compatible);
    if (!compatible) entry.set_str<"type_mismatch_warning">("Annotation '" + text + "' does not allow None value");
  } else {
    entry.set<"value">(types::literal_value(value));
    const std::string inferred = types::infer_type(value);
    entry.set_str<"inferred_type">(inferred);
    const bool compatible = types::types_compatible(text, inferred);
    entry.set_bool<"type_compatible">(compatible);
    if (!compatible) {
      entry.set_str<"type_mismatch_warning">("Annotation '" + text + "' may not match inferred type '" + inferred +
                                              "'");
    }
    entry.set<"inferred_type_analysis">(types::analyze_type_text(inferred));
  }
  constants.set(id, entry);
}

int percentage(int part, int whole) {
  if (whole == 0) return 0;
  return static_cast<int>(static_cast<double>(part) / static_cast<double>(whole) * 100.0);
}

py::Dict module_summary(const py::Dict& imports, const py::Dict& constants) {
  int total_imports = 0, typing_imports = 0, stdlib_imports = 0, framework_imports = 0;
  std::vector<std::string> frameworks;
  PyObject *key = nullptr, *value = nullptr;
  Py_ssize_t pos = 0;
  while (PyDict_Next(imports.get(), &pos, &key, &value)) {
    if (!PyDict_Check(value)) continue;
    py::Dict entry = py::Dict::borrow_dict(value);
    ++total_imports;
    if (py::is_true_bool(entry.find<"is_typing">())) ++typing_imports;
    if (py::is_true_bool(entry.find<"is_stdlib">())) ++stdlib_imports;
    py::Handle framework = entry.find<"framework">();
    if (framework && py::is_str(framework) && PyUnicode_GET_LENGTH(framework.get()) > 0) {
      ++framework_imports;
      std::string name = py::source_text(framework);
      if (std::find(frameworks.begin(), frameworks.end(), name) == frameworks.end()) frameworks.push_back(name);
    }
  }

  int total_constants = 0, annotated = 0, mismatches = 0, generic = 0, unions = 0;
  pos = 0;
  while (PyDict_Next(constants.get(), &pos, &key, &value)) {
    if (!PyDict_Check(value)) continue;
    py::Dict entry = py::Dict::borrow_dict(value);
    ++total_constants;
    if (py::is_true_bool(entry.find<"has_annotation">())) ++annotated;
    if (py::is_false_bool(entry.find<"type_compatible">())) ++mismatches;
    if (py::is_true_bool(entry.find<"is_generic">())) ++generic;
    if (py::is_true_bool(entry.find<"is_union">())) ++unions;
  }

  const int frameworks_used = static_cast<int>(frameworks.size());
  const int typing_percentage = percentage(typing_imports, total_imports);
  const int annotation_percentage = percentage(annotated, total_constants);
  const int quality = annotation_percentage - 10 * mismatches;

  py::Dict s = py::Dict::make();
  s.set_int<"total_imports">(total_imports);
  s.set_int<"typing_imports">(typing_imports);
  s.set_int<"stdlib_imports">(stdlib_imports);
  s.set_int<"framework_imports">(framework_imports);
  s.set_int<"frameworks_used">(frameworks_used);
  py::List list = py::List::make();
  for (const std::string& f : frameworks) list.append_str(f);
  s.set<"framework_list">(list);
  s.set_int<"total_constants">(total_constants);
  s.set_int<"annotated_constants">(annotated);
  s.set_int<"type_mismatches">(mismatches);
  s.set_int<"generic_constants">(generic);
  s.set_int<"union_constants">(unions);
  s.set_int<"typing_import_percentage">(typing_percentage);
  s.set_int<"constant_annotation_percentage">(annotation_percentage);
  s.set_int<"module_sophistication_score">(unions + 2 * generic + 2 * typing_imports + 3 * annotated +
                                           frameworks_used);
  s.set_int<"module_type_quality_score">(quality < 1 ? 0 : quality);
  return s;
}

}  // namespace

py::Dict analyze_text(py::Handle code, std::optional<std::string_view> path) {
  py::GcPause pause;
  const std::string_view text = py::utf8(code);
  py::Dict record = py::Dict::make();
  record.set<"metadata">(metadata(code, text, path));

  py::Ref tree = parse_source(code);
  if (!tree) {
    record.set_str<"error">(parse_error_text());
    record.set<"success">(Py_False);
    return record;
  }

  py::Dict classes = py::Dict::make();
  py::Dict functions = py::Dict::make();
  py::Dict imports = py::Dict::make();
  py::Dict constants = py::Dict::make();

  py::Ref body = py::attr<"body">(tree);
  if (!py::is_list(body)) py::raise(PyExc_TypeError, "module body is not a list");
  for (py::Handle stmt : py::items(body)) {
    switch (kind_of(stmt)) {
      case Kind::ClassDef:
        classes::analyze_class(stmt, classes);
        break;
      case Kind::FunctionDef:
      case Kind::AsyncFunctionDef:
        function::analyze_function(stmt, functions);
        break;
      case Kind::Import:
        record_import(stmt, imports);
        break;
      case Kind::ImportFrom:
        record_import_from(stmt, imports);
        break;
      case Kind::Assign:
        record_assign(stmt, constants);
        break;
      case Kind::AnnAssign:
        record_ann_assign(stmt, constants);
        break;
      default:
        break;
    }
  }

  record.set<"classes">(classes);
  record.set<"functions">(functions);
  record.set<"imports">(imports);
  record.set<"constants">(constants);
  record.set<"module_summary">(module_summary(imports, constants));
  record.set<"success">(Py_True);
  return record;
}

py::Dict analyze_file(std::string_view path) {
  SourceFile file = read_source_file(path);
  if (!file.text) {
    py::Dict failure = py::Dict::make();
    failure.set_str<"error">("Failed to read file: " + file.error);
    failure.set<"success">(Py_False);
    return failure;
  }
  return analyze_text(file.text, path);
}

}  // namespace ovra::analysis
