// Text tests over vocabulary tables, one per match sense: equals, starts with,
// ends with, contains. Byte-wise and case-sensitive. Empty table slots
// (padding in fixed-width rows) never match.
#pragma once

#include <span>
#include <string_view>

namespace ovra::match {

constexpr bool contains(std::string_view text, std::string_view fragment) {
  return text.find(fragment) != std::string_view::npos;
}

constexpr bool equals_any(std::string_view text, std::span<const std::string_view> names) {
  for (std::string_view n : names) {
    if (!n.empty() && text == n) return true;
  }
  return false;
}

constexpr bool contains_any(std::string_view text, std::span<const std::string_view> fragments) {
  for (std::string_view f : fragments) {
    if (!f.empty() && contains(text, f)) return true;
  }
  return false;
}

constexpr bool starts_with_any(std::string_view text, std::span<const std::string_view> prefixes) {
  for (std::string_view p : prefixes) {
    if (!p.empty() && text.starts_with(p)) return true;
  }
  return false;
}

constexpr bool ends_with_any(std::string_view text, std::span<const std::string_view> suffixes) {
  for (std::string_view s : suffixes) {
    if (!s.empty() && text.ends_with(s)) return true;
  }
  return false;
}

}  // namespace ovra::match
