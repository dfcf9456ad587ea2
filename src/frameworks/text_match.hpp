// The match-sense tests the detectors use, and the name of a decorator entry.
#pragma once

#include <optional>
#include <string_view>

#include "analysis/text_match.hpp"
#include "host/py.hpp"

namespace ovra::frameworks {

using match::contains;
using match::contains_any;
using match::ends_with_any;
using match::equals_any;
using match::starts_with_any;

// The `name` of a decorator entry (a DecoratorRecord dict); nothing for an
// entry that is not a dict or whose name is missing or not a str.
inline std::optional<std::string_view> decorator_entry_name(py::Handle entry) {
  if (!py::is_dict(entry)) return std::nullopt;
  py::Handle name = PyDict_GetItemWithError(entry.get(), py::interned<"name">());
  if (!name) {
    if (PyErr_Occurred()) py::raise();
    return std::nullopt;
  }
  if (!py::is_str(name)) return std::nullopt;
  return py::utf8(name);
}

}  // namespace ovra::frameworks
