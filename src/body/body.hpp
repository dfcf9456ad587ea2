// Body analysis: one walk over a function or method body.
#pragma once

#include <string_view>

#include "host/py.hpp"

namespace ovra::body {

// The BodyAnalysis dict of a function or method definition node.
py::Dict analyze_body(py::Handle node, std::string_view function_name);

}  // namespace ovra::body
