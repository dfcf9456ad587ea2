#include <string>

#include "classes/class_parts.hpp"
#include "types/types.hpp"

namespace ovra::classes {

void AssignedValue::compute() {
  if (literal_) return;
  literal_ = types::literal_value(node_);
  type_ = types::infer_type(node_);
}

const py::Ref& AssignedValue::literal() {
  compute();
  return literal_;
}

const std::string& AssignedValue::type() {
  compute();
  return type_;
}

py::Dict attribute_entry(py::Handle name, AssignedValue& value, py::Handle line_number) {
  py::Dict entry = py::Dict::make();
  entry.set<"name">(name);
  entry.set<"value">(value.literal());
  const std::string& type = value.type();
  entry.set_str<"type">(type);
  entry.set<"type_analysis">(types::analyze_type_text(type));
  entry.set_bool<"is_generic">(types::is_generic(type));
  entry.set_bool<"is_union">(types::is_union(type));
  entry.set_bool<"is_literal">(types::is_literal(type));
  entry.set_bool<"is_protocol">(types::is_protocol(type));
  entry.set_bool<"is_callable">(types::is_callable(type));
  entry.set<"line_number">(line_number);
  return entry;
}

}  // namespace ovra::classes
