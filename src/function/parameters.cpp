#include "function/parameters.hpp"

namespace ovra::function {
// Not built yet.
py::Dict analyze_parameters(py::Handle) { py::raise(PyExc_NotImplementedError, "parameter analysis is not built yet"); }
bool is_mutable_default(py::Handle) { return false; }
}  // namespace ovra::function
