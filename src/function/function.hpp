// Function records.
#pragma once

#include "host/py.hpp"

namespace ovra::function {

// Builds the FunctionRecord of a FunctionDef/AsyncFunctionDef node and stores
// it in `functions` under the function's name.
void analyze_function(py::Handle node, py::Dict& functions);

// Adds `return_type`, `return_type_analysis`, `return_is_optional`,
// `return_base_type` (optional only) and the five `return_is_*` predicates
// for a `returns` annotation; adds nothing when it is None.
void add_return_type_keys(py::Dict& record, py::Handle returns);

}  // namespace ovra::function
