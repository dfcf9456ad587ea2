// Summaries derived from a function record under construction.
#pragma once

#include "host/py.hpp"

namespace ovra::function {

// How well the record's docstring matches its parameters, returns and
// raises (the `docstring_parity` dict).
py::Dict docstring_parity(const py::Dict& record, const py::Dict& body);

// Flags, counts and scores of the record's return and parameter types
// (the `type_summary` dict).
py::Dict type_usage_summary(const py::Dict& record);

}  // namespace ovra::function
