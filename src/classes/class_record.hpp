// Class records.
#pragma once

#include "host/py.hpp"

namespace ovra::classes {

// Builds the ClassRecord of a ClassDef node and stores it in `classes`.
void analyze_class(py::Handle node, py::Dict& classes);

// Builds the MethodRecord of a method node into `methods`; for `__init__`
// also fills the class's constructor parameters and instance attributes.
void analyze_method(py::Handle node, py::Dict& methods, py::Dict& constructor_params,
                    py::Dict& instance_attributes);

}  // namespace ovra::classes
