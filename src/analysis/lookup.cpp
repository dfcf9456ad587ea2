#include "analysis/lookup.hpp"

namespace ovra::analysis {
// Not built yet.
py::Ref get_method_names(std::string_view) { py::raise(PyExc_NotImplementedError, "get_method_names is not built yet"); }
py::Ref count_test_methods(std::string_view) { py::raise(PyExc_NotImplementedError, "count_test_methods is not built yet"); }
py::Dict analyze_specific_method(std::string_view, std::string_view) {
  py::raise(PyExc_NotImplementedError, "analyze_specific_method is not built yet");
}
}  // namespace ovra::analysis
