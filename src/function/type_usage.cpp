#include <algorithm>
#include <cstdint>
#include <optional>

#include "function/summaries.hpp"

namespace ovra::function {

namespace {

// An int read back from a record: only an integer that fits in 32 bits.
std::optional<long long> read_int(py::Handle value) {
  if (!value || !PyLong_Check(value.get()) || PyBool_Check(value.get())) return std::nullopt;
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(value.get(), &overflow);
  if (overflow != 0 || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return v;
}

struct TypeUsage {
  bool generic = false;
  bool union_ = false;
  bool literal = false;
  bool protocol = false;
  bool callable = false;
  long long depth = 0;
  long long type_parameters = 0;
  long long mismatches = 0;
  long long mutables = 0;
};

// The five predicates of a TypeAnalysis or a parameter entry; once true, a
// flag stays true.
void add_flags(TypeUsage& usage, const py::Dict& d) {
  usage.generic = usage.generic || py::is_true_bool(d.find<"is_generic">());
  usage.union_ = usage.union_ || py::is_true_bool(d.find<"is_union">());
  usage.literal = usage.literal || py::is_true_bool(d.find<"is_literal">());
  usage.protocol = usage.protocol || py::is_true_bool(d.find<"is_protocol">());
  usage.callable = usage.callable || py::is_true_bool(d.find<"is_callable">());
}

}  // namespace

py::Dict type_usage_summary(const py::Dict& record) {
  TypeUsage usage;

  if (py::Handle analysis = record.find<"return_type_analysis">(); analysis && py::is_dict(analysis)) {
    py::Dict d = py::Dict::borrow_dict(analysis);
    add_flags(usage, d);
    if (auto depth = read_int(d.find<"nesting_depth">()); depth && *depth >= 1) usage.depth = *depth;
    if (auto count = read_int(d.find<"parameter_count">())) usage.type_parameters = *count;
  }

  if (py::Handle parameters = record.find<"parameters">(); parameters && py::is_dict(parameters)) {
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    Py_ssize_t pos = 0;
    while (PyDict_Next(parameters.get(), &pos, &key, &value)) {
      if (!PyDict_Check(value)) continue;
      py::Dict p = py::Dict::borrow_dict(value);
      add_flags(usage, p);
      if (auto depth = read_int(p.find<"type_nesting_depth">())) usage.depth = std::max(usage.depth, *depth);
      if (auto count = read_int(p.find<"type_parameter_count">())) usage.type_parameters += *count;
      if (py::is_false_bool(p.find<"default_type_compatible">())) ++usage.mismatches;
      if (py::is_true_bool(p.find<"default_is_mutable">())) ++usage.mutables;
    }
  }

  const long long sophistication = usage.depth + 2 * usage.generic + usage.union_ + usage.literal +
                                   3 * usage.protocol + 2 * usage.callable + usage.type_parameters / 2;
  const long long issues = usage.mutables + usage.mismatches;
  const long long quality = issues == 0 ? 100 : std::max(0LL, 100 - 10 * issues);

  py::Dict summary = py::Dict::make();
  summary.set_bool<"uses_generics">(usage.generic);
  summary.set_bool<"uses_unions">(usage.union_);
  summary.set_bool<"uses_literals">(usage.literal);
  summary.set_bool<"uses_protocols">(usage.protocol);
  summary.set_bool<"uses_callables">(usage.callable);
  summary.set_int<"max_type_nesting_depth">(usage.depth);
  summary.set_int<"total_type_parameters">(usage.type_parameters);
  summary.set_int<"type_mismatches">(usage.mismatches);
  summary.set_int<"mutable_defaults">(usage.mutables);
  summary.set_int<"type_sophistication_score">(sophistication);
  summary.set_int<"type_quality_score">(quality);
  summary.set_int<"type_quality_issues">(issues);
  return summary;
}

}  // namespace ovra::function
