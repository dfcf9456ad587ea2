// Distribution name and version from the release files.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ovra::machine {

inline constexpr const char* kOsReleasePath = "/etc/os-release";
inline constexpr const char* kLsbReleasePath = "/etc/lsb-release";

// The rest of the first line of `text` that starts with `prefix` (for example
// "NAME="), with every double quote removed; nothing when no line matches.
// Lines end at "\n" or "\r\n".
std::optional<std::string> release_value(std::string_view text, std::string_view prefix);

struct OsRelease {
  std::string name = "unknown";
  std::string version = "unknown";
};

// NAME= and VERSION_ID= from the os-release file, each falling back to
// DISTRIB_ID= and DISTRIB_RELEASE= from the lsb-release file. A file that is
// missing, unreadable or not UTF-8 counts as holding no such line.
OsRelease read_os_release(const char* os_release_path = kOsReleasePath,
                          const char* lsb_release_path = kLsbReleasePath);

}  // namespace ovra::machine
