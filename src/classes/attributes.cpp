#include <string>

#include "classes/class_parts.hpp"
#include "types/types.hpp"

namespace ovra::classes {

py::Dict attribute_entry(py::Handle name, py::Handle value, py::Handle line_number) {
  py::Dict entry = py::Dict::make();
  entry.set<"name">(name);
  entry.set<"value">(types::literal_value(value));
  const std::string type = types::infer_type(value);
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
