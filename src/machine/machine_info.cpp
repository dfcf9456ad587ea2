#include "machine/machine_info.hpp"

namespace ovra::machine {
// Not built yet.
py::Dict get_machine_info() { py::raise(PyExc_NotImplementedError, "get_machine_info is not built yet"); }
}  // namespace ovra::machine
