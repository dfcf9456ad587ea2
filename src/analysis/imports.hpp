// Import classification: typing, framework, standard library, typing family.
#pragma once

#include <string_view>

#include "host/py.hpp"

namespace ovra::analysis {

// Adds `is_typing`, `framework` (when matched), `is_stdlib` and
// `typing_category` (when typing) to the import entry.
void classify_import(std::string_view name, py::Dict& entry);

}  // namespace ovra::analysis
