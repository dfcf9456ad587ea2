// Reading a source file whole as UTF-8 text.
#pragma once

#include <string>
#include <string_view>

#include "host/py.hpp"

namespace ovra::analysis {

struct SourceFile {
  py::Ref text;        // the file's text as a str, empty on failure
  std::string error;   // the reason when `text` is empty
};

SourceFile read_source_file(std::string_view path);

// Imports `ast` (a failure propagates) and calls `parse(text)`. When `parse`
// raises, the result is empty and its exception stays set for the caller to
// report or clear.
py::Ref parse_source(py::Handle text);

}  // namespace ovra::analysis
