// Machine information record.
#pragma once

#include "host/py.hpp"

namespace ovra::machine {

py::Dict get_machine_info();

}  // namespace ovra::machine
