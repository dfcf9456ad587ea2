#include "machine/os_release.hpp"

#include "machine/text.hpp"

namespace ovra::machine {

namespace {

// Release files are a few hundred bytes; anything past this is not one.
constexpr std::size_t kReleaseFileLimit = 64 * 1024;

std::string read_release_file(const char* path) {
  std::optional<std::string> text = read_file_prefix(path, kReleaseFileLimit);
  if (!text) return {};
  // Cut short at the limit: only whole lines count.
  if (text->size() == kReleaseFileLimit) text->resize(text->rfind('\n') + 1);
  if (!valid_utf8(*text)) return {};
  return std::move(*text);
}

}  // namespace

std::optional<std::string> release_value(std::string_view text, std::string_view prefix) {
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    if (line.ends_with('\r')) line.remove_suffix(1);  // CRLF line ends
    if (line.starts_with(prefix)) {
      std::string value;
      for (char c : line.substr(prefix.size())) {
        if (c != '"') value += c;
      }
      return value;
    }
    if (eol == std::string_view::npos) break;
    text.remove_prefix(eol + 1);
  }
  return std::nullopt;
}

OsRelease read_os_release(const char* os_release_path, const char* lsb_release_path) {
  OsRelease out;
  const std::string os_release = read_release_file(os_release_path);
  std::optional<std::string> name = release_value(os_release, "NAME=");
  std::optional<std::string> version = release_value(os_release, "VERSION_ID=");
  if (!name || !version) {
    const std::string lsb_release = read_release_file(lsb_release_path);
    if (!name) name = release_value(lsb_release, "DISTRIB_ID=");
    if (!version) version = release_value(lsb_release, "DISTRIB_RELEASE=");
  }
  if (name) out.name = std::move(*name);
  if (version) out.version = std::move(*version);
  return out;
}

}  // namespace ovra::machine
