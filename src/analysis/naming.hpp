// Naming helpers shared by the analyzers. Their fallbacks differ on purpose:
// "unknown", "Unknown", or the node kind in angle brackets.
#pragma once

#include <string>

#include "host/py.hpp"

namespace ovra::analysis {

// a.b.c for attribute chains; "unknown" for anything else.
std::string dotted_name(py::Handle node);
// Like dotted_name, but unnamed parts read "<Kind>".
std::string base_name(py::Handle node);
// The last component; calls are followed through `func`; else "<Kind>".
std::string decorator_name(py::Handle node);
// The last component; calls are followed through `func`; else "Unknown".
std::string callee_name(py::Handle node);

// decorator_name of each element of the node's `decorator_list`.
py::List decorator_names(py::Handle node);
// base_name of each element of a class's `bases` (empty for a non-list).
py::List base_names(py::Handle bases);

// The first statement's constant when the body starts with an expression
// statement holding a constant; None otherwise. Not converted.
py::Ref docstring_of(py::Handle node);

}  // namespace ovra::analysis
