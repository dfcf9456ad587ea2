// Function records.
#pragma once

#include "host/py.hpp"

namespace ovra::function {

// Builds the FunctionRecord of a FunctionDef/AsyncFunctionDef node and stores
// it in `functions` under the function's name.
void analyze_function(py::Handle node, py::Dict& functions);

}  // namespace ovra::function
