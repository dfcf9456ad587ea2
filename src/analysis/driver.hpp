// Module analysis driver: source text or file to ModuleRecord.
#pragma once

#include <optional>
#include <string_view>

#include "host/py.hpp"

namespace ovra::analysis {

// `code` is a str. A missing path is recorded as "string".
py::Dict analyze_text(py::Handle code, std::optional<std::string_view> path);

// Reads the file as UTF-8; an unreadable file gives the read-failure dict.
py::Dict analyze_file(std::string_view path);

}  // namespace ovra::analysis
