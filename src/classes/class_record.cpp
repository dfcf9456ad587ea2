#include "classes/class_record.hpp"

#include <string_view>

#include "analysis/naming.hpp"
#include "classes/class_parts.hpp"
#include "frameworks/django.hpp"
#include "host/kinds.hpp"

namespace ovra::classes {

namespace {

py::Dict inheritance_analysis(py::Handle bases, const py::List& base_list) {
  py::Dict d = py::Dict::make();
  if (!py::is_list(bases)) {
    d.set_int<"base_count">(0);
    d.set_int<"inheritance_complexity_score">(0);
    d.set_str<"mro_complexity">("none");
    return d;
  }
  const Py_ssize_t count = base_list.size();
  bool protocol = false, abc = false;
  for (py::Handle base : py::items(base_list)) {
    const std::string_view name = py::utf8(base);
    protocol = protocol || name.find("Protocol") != std::string_view::npos;
    abc = abc || name.find("ABC") != std::string_view::npos || name.find("Abstract") != std::string_view::npos;
  }
  d.set_int<"base_count">(count);
  d.set_bool<"has_generic_bases">(false);
  d.set_bool<"has_protocol_bases">(protocol);
  d.set_bool<"has_abc_bases">(abc);
  d.set_int<"complex_bases">(0);
  d.set_int<"inheritance_complexity_score">(count + (protocol ? 3 : 0) + (abc ? 1 : 0));
  d.set_bool<"has_multiple_inheritance">(count >= 2);
  d.set_str<"mro_complexity">(count >= 2 ? "high" : count == 1 ? "simple" : "none");
  return d;
}

// Class-level `name = value` statements; tuples, attributes and subscripts
// have no `id` and are skipped.
void record_class_assign(py::Handle stmt, py::Dict& class_attributes) {
  py::Ref targets = py::attr<"targets">(stmt);
  py::Ref value_node = py::attr<"value">(stmt);
  if (!py::is_list(targets)) return;
  AssignedValue value(value_node);
  py::Ref line_number;
  for (py::Handle target : py::items(targets)) {
    py::Ref id = py::opt_attr<"id">(target);
    if (!id || !py::is_str(id)) continue;
    if (!line_number) line_number = py::attr<"lineno">(stmt);
    class_attributes.set(id, attribute_entry(id, value, line_number));
  }
}

py::Dict nested_class_entry(py::Handle node) {
  py::Ref name = py::require_str(py::attr<"name">(node), "class name");
  py::Dict entry = py::Dict::make();
  entry.set<"name">(name);
  entry.set<"line_number">(py::attr<"lineno">(node));
  entry.set<"docstring">(analysis::docstring_of(node));
  entry.set<"base_classes">(analysis::base_names(py::attr<"bases">(node)));
  entry.set<"decorators">(analysis::decorator_names(node));
  return entry;
}

}  // namespace

void analyze_class(py::Handle node, py::Dict& classes) {
  py::Ref name = py::require_str(py::attr<"name">(node), "class name");
  py::Dict record = py::Dict::make();
  record.set<"name">(name);
  record.set<"line_number">(py::attr<"lineno">(node));
  record.set<"docstring">(analysis::docstring_of(node));

  py::Ref bases = py::attr<"bases">(node);
  py::List base_list = analysis::base_names(bases);
  record.set<"base_classes">(base_list);
  py::Dict inheritance = inheritance_analysis(bases, base_list);
  record.set<"inheritance_analysis">(inheritance);
  record.set<"decorators">(analysis::decorator_names(node));

  // The class's own decorators take no part in the Django test.
  const bool is_django = frameworks::is_django_view(py::Handle(), node);
  if (is_django) record.set<"django_info">(frameworks::analyze_django_view(py::Handle(), node, node));
  record.set_bool<"is_django">(is_django);

  py::Dict methods = py::Dict::make();
  py::Dict constructor_params = py::Dict::make();
  py::Dict instance_attributes = py::Dict::make();
  py::Dict class_attributes = py::Dict::make();
  py::Dict nested = py::Dict::make();

  py::Ref body = py::attr<"body">(node);
  if (!py::is_list(body)) {
    py::raise_format(PyExc_TypeError, "class body must be a list, not %.200s", Py_TYPE(body.get())->tp_name);
  }
  for (py::Handle stmt : py::items(body)) {
    switch (kind_of(stmt)) {
      case Kind::FunctionDef:
      case Kind::AsyncFunctionDef:
        analyze_method(stmt, methods, constructor_params, instance_attributes);
        break;
      case Kind::Assign:
        record_class_assign(stmt, class_attributes);
        break;
      case Kind::ClassDef: {
        py::Dict entry = nested_class_entry(stmt);
        nested.set(entry.find<"name">(), entry);
        break;
      }
      default:
        break;
    }
  }
  if (nested.size() > 0) class_attributes.set<"__nested_classes__">(nested);

  record.set<"methods">(methods);
  record.set<"constructor_params">(constructor_params);
  record.set<"instance_attributes">(instance_attributes);
  record.set<"class_attributes">(class_attributes);

  py::Handle nested_handle = nested.size() > 0 ? py::Handle(nested) : py::Handle();
  record.set<"type_summary">(
      type_summary(methods, instance_attributes, class_attributes, nested_handle, inheritance));
  record.set<"design_patterns">(design_patterns(name, body));
  record.set<"quality_metrics">(quality_metrics(methods));
  record.set<"anti_patterns">(anti_patterns(body));

  classes.set(name, record);
}

}  // namespace ovra::classes
