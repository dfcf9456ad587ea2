// Parameter analysis of a function node.
#pragma once

#include "host/py.hpp"

namespace ovra::function {

// The parameter map of a function node (kind-prefixed keys).
py::Dict analyze_parameters(py::Handle node);

bool is_mutable_default(py::Handle default_node);

}  // namespace ovra::function
