#include "machine/text.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace ovra::machine {

bool valid_utf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const auto* end = p + s.size();
  while (p < end) {
    const unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int extra = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      if (c == 0xE0) lo = 0xA0;   // overlong
      if (c == 0xED) hi = 0x9F;   // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      if (c == 0xF0) lo = 0x90;   // overlong
      if (c == 0xF4) hi = 0x8F;   // past U+10FFFF
    } else {
      return false;
    }
    if (end - p <= extra) return false;
    if (p[1] < lo || p[1] > hi) return false;
    for (int i = 2; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
    }
    p += extra + 1;
  }
  return true;
}

std::optional<std::string> read_file_prefix(const char* path, std::size_t limit, std::string_view stop) {
  // Non-blocking: a FIFO in place of the file gives nothing instead of a hang.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  constexpr std::size_t kChunk = 4096;
  std::string data;
  while (data.size() < limit) {
    const std::size_t before = data.size();
    const std::size_t want = std::min(kChunk, limit - before);
    data.resize(before + want);
    const ssize_t n = ::read(fd, data.data() + before, want);
    if (n < 0) {
      data.resize(before);
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    data.resize(before + static_cast<std::size_t>(n));
    if (n == 0) break;
    // A stop text may straddle two reads: search from just before this one.
    if (!stop.empty()) {
      const std::size_t from = before >= stop.size() ? before - stop.size() + 1 : 0;
      if (data.find(stop, from) != std::string::npos) break;
    }
  }
  ::close(fd);
  return data;
}

std::string_view trim(std::string_view s) {
  constexpr std::string_view blanks = " \t\r\n";
  const auto first = s.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(blanks);
  return s.substr(first, last - first + 1);
}

}  // namespace ovra::machine
