#include "types/types.hpp"

namespace ovra::types {
// Not built yet.
py::Ref literal_value(py::Handle) { py::raise(PyExc_NotImplementedError, "literal values are not built yet"); }
std::string infer_type(py::Handle) { py::raise(PyExc_NotImplementedError, "type inference is not built yet"); }
std::string python_type_name(std::string_view n) { return std::string(n); }
bool types_compatible(std::string_view a, std::string_view b) { return a == b; }
}  // namespace ovra::types
