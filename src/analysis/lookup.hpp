// The narrow file tools: method names, test counts, one method's record.
#pragma once

#include <string_view>

#include "host/py.hpp"

namespace ovra::analysis {

py::Ref get_method_names(std::string_view file_path);
py::Ref count_test_methods(std::string_view file_path);
py::Dict analyze_specific_method(std::string_view file_path, std::string_view method_name);

}  // namespace ovra::analysis
