// Pieces of the class record shared between its source files.
#pragma once

#include <string>

#include "host/py.hpp"

namespace ovra::classes {

// The value of one assignment statement: its literal value and inferred type
// are computed at the first named target and shared by the others, as
// `a = b = []` binds one object to both names.
class AssignedValue {
 public:
  explicit AssignedValue(py::Handle node) : node_(node) {}
  const py::Ref& literal();
  const std::string& type();

 private:
  void compute();
  py::Handle node_;
  py::Ref literal_;
  std::string type_;
};

// The AttributeEntry of an assignment of `value` to `name` at `line_number`.
py::Dict attribute_entry(py::Handle name, AssignedValue& value, py::Handle line_number);

// Typing summary of a class from its methods and attributes. `nested` is the
// nested-class dict filed under `__nested_classes__`, or empty.
py::Dict type_summary(const py::Dict& methods, const py::Dict& instance_attributes,
                      const py::Dict& class_attributes, py::Handle nested, py::Handle inheritance);

// Size and complexity of a class's methods with a quality score.
py::Dict quality_metrics(const py::Dict& methods);

// Design patterns suggested by the class name (a str) and its body.
py::Dict design_patterns(py::Handle name, py::Handle body);

// Structural smells judged from the methods directly in the body.
py::Dict anti_patterns(py::Handle body);

}  // namespace ovra::classes
