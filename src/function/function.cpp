#include "function/function.hpp"

namespace ovra::function {
// Not built yet: top-level functions are not recorded.
void analyze_function(py::Handle, py::Dict&) {}
}  // namespace ovra::function
