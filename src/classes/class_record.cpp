#include "classes/class_record.hpp"

namespace ovra::classes {
// Not built yet: top-level classes are not recorded.
void analyze_class(py::Handle, py::Dict&) {}
void analyze_method(py::Handle, py::Dict&, py::Dict&, py::Dict&) {
  py::raise(PyExc_NotImplementedError, "method analysis is not built yet");
}
}  // namespace ovra::classes
