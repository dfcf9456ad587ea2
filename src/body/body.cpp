#include "body/body.hpp"

namespace ovra::body {
// Not built yet.
py::Dict analyze_body(py::Handle, std::string_view) { py::raise(PyExc_NotImplementedError, "body analysis is not built yet"); }
}  // namespace ovra::body
