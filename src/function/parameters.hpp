// Parameter analysis of a function node.
#pragma once

#include <string_view>

#include "host/py.hpp"

namespace ovra::function {

// The parameter map of a function node (kind-prefixed keys).
py::Dict analyze_parameters(py::Handle node);

// True for a list, dict or set display, or a call of the bare names
// list, dict or set.
bool is_mutable_default(py::Handle default_node);

// Adds `type_analysis`, `is_optional`, `base_type` (optional only), the five
// predicates, `type_nesting_depth` and `type_parameter_count` of an
// annotation text to a parameter entry.
}  // namespace ovra::function
