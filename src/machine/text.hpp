// Small text helpers for reading the system's own files.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ovra::machine {

// True when `s` is well-formed UTF-8 (no overlong forms, surrogates or code
// points past U+10FFFF), i.e. text the interpreter decodes strictly.
bool valid_utf8(std::string_view s);

// The start of a file: read until its end, until `limit` bytes, or until the
// text read holds `stop` (when given). Nothing when it cannot be opened or read.
std::optional<std::string> read_file_prefix(const char* path, std::size_t limit, std::string_view stop = {});

// `s` without leading and trailing blanks (spaces, tabs, CR, LF).
std::string_view trim(std::string_view s);

}  // namespace ovra::machine
