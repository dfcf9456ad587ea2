#include "types/types.hpp"

namespace ovra::types {
// Not built yet.
std::string annotation_to_text(py::Handle) { py::raise(PyExc_NotImplementedError, "annotation rendering is not built yet"); }
std::string slice_to_text(py::Handle) { py::raise(PyExc_NotImplementedError, "annotation rendering is not built yet"); }
bool is_generic(std::string_view) { return false; }
bool is_union(std::string_view) { return false; }
bool is_optional(std::string_view) { return false; }
bool is_literal(std::string_view) { return false; }
bool is_protocol(std::string_view) { return false; }
bool is_callable(std::string_view) { return false; }
int nesting_depth(std::string_view) { return 0; }
int parameter_count(std::string_view) { return 0; }
std::vector<std::string> split_top_level(std::string_view) { return {}; }
std::vector<std::string> union_members(std::string_view t) { return {std::string(t)}; }
std::string unwrap_optional(std::string_view t) { return std::string(t); }
py::Dict analyze_type_text(std::string_view) { py::raise(PyExc_NotImplementedError, "type analysis is not built yet"); }
}  // namespace ovra::types
