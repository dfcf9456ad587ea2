#include <string>
#include <string_view>

#include "analysis/naming.hpp"
#include "body/body.hpp"
#include "classes/class_parts.hpp"
#include "classes/class_record.hpp"
#include "function/function.hpp"
#include "function/parameters.hpp"
#include "host/kinds.hpp"
#include "types/types.hpp"

namespace ovra::classes {

namespace {

// "staticmethod" / "classmethod" set the method type (the last one wins),
// "property" marks a property; names are compared whole.
void classify_decorators(const py::List& decorators, std::string_view& method_type, bool& is_property) {
  method_type = "instance";
  is_property = false;
  for (py::Handle d : py::items(decorators)) {
    const std::string_view name = py::utf8(d);
    if (name == "staticmethod") {
      method_type = "static";
    } else if (name == "classmethod") {
      method_type = "class";
    } else if (name == "property") {
      is_property = true;
    }
  }
}

py::Dict parameter_entry(py::Handle name, Py_ssize_t position, py::Handle annotation) {
  py::Dict entry = py::Dict::make();
  entry.set<"name">(name);
  entry.set_int<"position">(position);
  if (annotation.is_none()) return entry;
  const std::string text = types::annotation_to_text(annotation);
  entry.set_str<"type">(text);
  types::add_annotation_keys(entry, text);
  return entry;
}

// Regular positional parameters only; a leading `self` or `cls` is left out
// but still counts for the positions.
py::Dict method_parameters(py::Handle node) {
  py::Dict parameters = py::Dict::make();
  py::Ref arguments = py::attr<"args">(node);
  py::Ref args = py::attr<"args">(arguments);
  if (!py::is_list(args)) return parameters;
  Py_ssize_t index = 0;
  for (py::Handle arg : py::items(args)) {
    const Py_ssize_t position = index++;
    py::Ref name = py::require_str(py::attr<"arg">(arg), "parameter name");
    if (position == 0) {
      const std::string_view n = py::utf8(name);
      if (n == "self" || n == "cls") continue;
    }
    parameters.set(name, parameter_entry(name, position, py::attr<"annotation">(arg)));
  }
  return parameters;
}

// `self.x = value` statements directly in the body of `__init__`.
void record_instance_attributes(py::Handle node, py::Dict& instance_attributes) {
  py::Ref body = py::attr<"body">(node);
  if (!py::is_list(body)) return;
  for (py::Handle stmt : py::items(body)) {
    if (kind_of(stmt) != Kind::Assign) continue;
    py::Ref targets = py::attr<"targets">(stmt);
    py::Ref value_node = py::attr<"value">(stmt);
    if (!py::is_list(targets)) continue;
    AssignedValue value(value_node);
    py::Ref line_number;
    for (py::Handle target : py::items(targets)) {
      if (kind_of(target) != Kind::Attribute) continue;
      py::Ref owner = py::attr<"value">(target);
      if (kind_of(owner) != Kind::Name) continue;
      py::Ref id = py::attr<"id">(owner);
      if (!py::is_str(id) || py::utf8(id) != "self") continue;
      py::Ref attr = py::attr<"attr">(target);
      if (!line_number) line_number = py::attr<"lineno">(stmt);
      instance_attributes.set(attr, attribute_entry(attr, value, line_number));
    }
  }
}

}  // namespace

void analyze_method(py::Handle node, py::Dict& methods, py::Dict& constructor_params,
                    py::Dict& instance_attributes) {
  py::Ref name = py::require_str(py::attr<"name">(node), "method name");
  const std::string_view method_name = py::utf8(name);
  py::Dict record = py::Dict::make();
  record.set<"name">(name);
  record.set<"line_number">(py::attr<"lineno">(node));
  record.set<"docstring">(analysis::docstring_of(node));
  record.set_bool<"is_async">(kind_of(node) == Kind::AsyncFunctionDef);

  py::List decorators = analysis::decorator_names(node);
  record.set<"decorators">(decorators);
  std::string_view method_type;
  bool is_property = false;
  classify_decorators(decorators, method_type, is_property);
  record.set_str<"method_type">(method_type);
  record.set_bool<"is_property">(is_property);

  py::Dict parameters = method_parameters(node);
  record.set<"parameters">(parameters);

  py::Ref returns = py::attr<"returns">(node);
  function::add_return_type_keys(record, returns);

  if (method_name == "__init__") {
    constructor_params.set<"parameters">(parameters);
    record_instance_attributes(node, instance_attributes);
  }

  py::Dict body = body::analyze_body(node, method_name);
  record.copy_present<"exceptions", "control_flow", "comprehensions", "context_managers", "has_yield",
                      "returns", "async_info", "complexity", "pattern_matching", "loop_traits", "function_calls",
                      "walrus_count", "state_effects", "local_variables", "literals", "safety_smells",
                      "type_checks", "logging_calls", "has_recursion", "sloc">(body);

  methods.set(name, record);
}

}  // namespace ovra::classes
