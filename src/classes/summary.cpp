#include <algorithm>
#include <optional>

#include "classes/class_parts.hpp"

namespace ovra::classes {

namespace {

// (part / whole) * 100, truncated; 0 for an empty whole.
long long percentage(long long part, long long whole) {
  if (whole == 0) return 0;
  return static_cast<long long>(static_cast<double>(part) / static_cast<double>(whole) * 100.0);
}

// An int read back from a record; bools and other values count as absent.
std::optional<long long> int_value(py::Handle v) {
  if (!v || !PyLong_Check(v.get()) || PyBool_Check(v.get())) return std::nullopt;
  int overflow = 0;
  const long long n = PyLong_AsLongLongAndOverflow(v.get(), &overflow);
  if (overflow != 0) return std::nullopt;
  if (n == -1 && PyErr_Occurred()) py::raise();
  return n;
}

template <py::Name K>
py::Handle get(py::Handle dict) {
  py::Handle v = PyDict_GetItemWithError(dict.get(), py::interned<K>());
  if (!v && PyErr_Occurred()) py::raise();
  return v;
}

template <py::Name K>
bool flag(py::Handle dict) {
  return py::is_true_bool(get<K>(dict));
}

struct AttributeCounts {
  long long typed = 0, generic = 0, unions = 0;
};

void count_attributes(const py::Dict& attributes, py::Handle nested, AttributeCounts& counts) {
  PyObject *key = nullptr, *value = nullptr;
  Py_ssize_t pos = 0;
  while (PyDict_Next(attributes.get(), &pos, &key, &value)) {
    if (!PyDict_Check(value) || value == nested.get()) continue;
    if (!get<"type">(value)) continue;
    ++counts.typed;
    if (flag<"is_generic">(value)) ++counts.generic;
    if (flag<"is_union">(value)) ++counts.unions;
  }
}

}  // namespace

py::Dict type_summary(const py::Dict& methods, const py::Dict& instance_attributes,
                      const py::Dict& class_attributes, py::Handle nested, py::Handle inheritance) {
  const long long total_methods = methods.size();
  long long typed_methods = 0, generic_methods = 0, union_methods = 0, protocol_methods = 0, callable_methods = 0;
  long long max_complexity = 0;
  PyObject *key = nullptr, *value = nullptr;
  Py_ssize_t pos = 0;
  while (PyDict_Next(methods.get(), &pos, &key, &value)) {
    if (!PyDict_Check(value) || !get<"return_type">(value)) continue;
    ++typed_methods;
    if (flag<"return_is_generic">(value)) ++generic_methods;
    if (flag<"return_is_union">(value)) ++union_methods;
    if (flag<"return_is_protocol">(value)) ++protocol_methods;
    if (flag<"return_is_callable">(value)) ++callable_methods;
    py::Handle analysis = get<"return_type_analysis">(value);
    if (analysis && py::is_dict(analysis)) {
      if (std::optional<long long> depth = int_value(get<"nesting_depth">(analysis))) {
        max_complexity = std::max(max_complexity, *depth);
      }
    }
  }

  const long long total_attributes = instance_attributes.size() + class_attributes.size();
  AttributeCounts attrs;
  count_attributes(instance_attributes, nested, attrs);
  count_attributes(class_attributes, nested, attrs);

  long long inheritance_complexity = 0;
  if (inheritance && py::is_dict(inheritance)) {
    inheritance_complexity = int_value(get<"inheritance_complexity_score">(inheritance)).value_or(0);
  }

  const long long method_coverage = percentage(typed_methods, total_methods);
  const long long attribute_coverage = percentage(attrs.typed, total_attributes);
  const long long sophistication = inheritance_complexity + 3 * generic_methods + max_complexity +
                                   4 * protocol_methods + 2 * typed_methods + 2 * callable_methods +
                                   2 * union_methods + attrs.typed;
  const long long quality =
      std::min<long long>(100, (method_coverage + attribute_coverage) / 2 + (sophistication > 20 ? 10 : 0));

  py::Dict s = py::Dict::make();
  s.set_int<"total_methods">(total_methods);
  s.set_int<"typed_methods">(typed_methods);
  s.set_int<"method_type_coverage">(method_coverage);
  s.set_int<"total_attributes">(total_attributes);
  s.set_int<"typed_attributes">(attrs.typed);
  s.set_int<"attribute_type_coverage">(attribute_coverage);
  s.set_bool<"uses_generics">(generic_methods >= 1 || attrs.generic >= 1);
  s.set_bool<"uses_unions">(union_methods >= 1 || attrs.unions >= 1);
  s.set_bool<"uses_protocols">(protocol_methods >= 1);
  s.set_bool<"uses_callables">(callable_methods >= 1);
  s.set_int<"generic_methods">(generic_methods);
  s.set_int<"union_methods">(union_methods);
  s.set_int<"protocol_methods">(protocol_methods);
  s.set_int<"callable_methods">(callable_methods);
  s.set_int<"generic_attributes">(attrs.generic);
  s.set_int<"union_attributes">(attrs.unions);
  s.set_int<"max_method_type_complexity">(max_complexity);
  s.set_int<"inheritance_complexity">(inheritance_complexity);
  s.set_int<"class_sophistication_score">(sophistication);
  s.set_int<"type_quality_score">(quality);
  return s;
}

py::Dict quality_metrics(const py::Dict& methods) {
  const long long total_methods = methods.size();
  long long god_methods = 0, complex_methods = 0, total_sloc = 0, max_complexity = 0;
  PyObject *key = nullptr, *value = nullptr;
  Py_ssize_t pos = 0;
  while (PyDict_Next(methods.get(), &pos, &key, &value)) {
    if (!PyDict_Check(value)) continue;
    if (std::optional<long long> sloc = int_value(get<"sloc">(value))) {
      total_sloc += *sloc;
      if (*sloc > 50) ++god_methods;
    }
    py::Handle complexity = get<"complexity">(value);
    if (complexity && py::is_dict(complexity)) {
      if (std::optional<long long> cyclomatic = int_value(get<"cyclomatic">(complexity))) {
        if (*cyclomatic > 10) ++complex_methods;
        max_complexity = std::max(max_complexity, *cyclomatic);
      }
    }
  }

  const long long avg_size = total_methods == 0 ? 0 : total_sloc / total_methods;
  const long long god_ratio = percentage(god_methods, total_methods);
  const long long complex_ratio = percentage(complex_methods, total_methods);
  const bool god_class = total_methods >= 21 || total_sloc >= 1001;
  long long score = god_class ? 70 : 100;
  if (god_ratio > 20) score -= 20;
  if (complex_ratio > 30) score -= 15;
  if (avg_size > 30) score -= 10;

  py::Dict m = py::Dict::make();
  m.set_int<"total_methods">(total_methods);
  m.set_int<"god_methods">(god_methods);
  m.set_int<"complex_methods">(complex_methods);
  m.set_int<"total_sloc">(total_sloc);
  m.set_int<"avg_method_size">(avg_size);
  m.set_int<"max_method_complexity">(max_complexity);
  m.set_int<"god_method_ratio">(god_ratio);
  m.set_int<"complex_method_ratio">(complex_ratio);
  m.set_bool<"is_god_class">(god_class);
  m.set_int<"class_quality_score">(score);
  return m;
}

}  // namespace ovra::classes
