// Text tests over vocabulary tables: equals, starts with, ends with, contains.
// Byte-wise and case-sensitive. Empty table slots (padding) never match.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "host/py.hpp"

namespace ovra::frameworks {

inline bool contains(std::string_view text, std::string_view fragment) {
  return text.find(fragment) != std::string_view::npos;
}

inline bool equals_any(std::string_view text, std::span<const std::string_view> names) {
  for (std::string_view n : names) {
    if (!n.empty() && text == n) return true;
  }
  return false;
}

inline bool contains_any(std::string_view text, std::span<const std::string_view> fragments) {
  for (std::string_view f : fragments) {
    if (!f.empty() && contains(text, f)) return true;
  }
  return false;
}

inline bool starts_with_any(std::string_view text, std::span<const std::string_view> prefixes) {
  for (std::string_view p : prefixes) {
    if (!p.empty() && text.starts_with(p)) return true;
  }
  return false;
}

inline bool ends_with_any(std::string_view text, std::span<const std::string_view> suffixes) {
  for (std::string_view s : suffixes) {
    if (!s.empty() && text.ends_with(s)) return true;
  }
  return false;
}

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
