#include "machine/system_facts.hpp"

#include <sys/sysinfo.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <optional>
#include <vector>

#include "machine/text.hpp"

namespace ovra::machine {

std::string host_name() {
  long max = ::sysconf(_SC_HOST_NAME_MAX);
  if (max <= 0) max = HOST_NAME_MAX;
  std::vector<char> buffer(static_cast<std::size_t>(max) + 1, '\0');
  if (::gethostname(buffer.data(), buffer.size()) != 0) return "unknown";
  std::string name(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
  if (!valid_utf8(name)) return "unknown";
  return name;
}

long cpu_count() {
  const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? n : 0;
}

std::string cpu_brand(const char* cpuinfo_path) {
  // The first processor's block ends at the first empty line; reading stops
  // there, so later processors are never formatted by the kernel.
  constexpr std::size_t kLimit = 64 * 1024;
  std::optional<std::string> text = read_file_prefix(cpuinfo_path, kLimit, "\n\n");
  if (!text) return "unknown";
  std::string_view rest = *text;
  while (!rest.empty()) {
    const std::size_t eol = rest.find('\n');
    const std::string_view line = rest.substr(0, eol);
    if (line.empty()) break;  // end of the first processor's block
    if (line.starts_with("model name")) {
      const std::size_t colon = line.find(':');
      if (colon == std::string_view::npos) break;
      const std::string_view brand = trim(line.substr(colon + 1));
      if (!valid_utf8(brand)) break;
      return std::string(brand);
    }
    if (eol == std::string_view::npos) break;
    rest.remove_prefix(eol + 1);
  }
  return "unknown";
}

std::uint64_t total_memory() {
  struct sysinfo info {};
  if (::sysinfo(&info) != 0) return 0;
  const std::uint64_t unit = info.mem_unit != 0 ? info.mem_unit : 1;
  return static_cast<std::uint64_t>(info.totalram) * unit;
}

std::string_view build_arch() {
#if defined(__x86_64__)
  return "x86_64";
#elif defined(__aarch64__)
  return "aarch64";
#elif defined(__i386__)
  return "x86";
#elif defined(__arm__)
  return "arm";
#elif defined(__riscv) && __riscv_xlen == 64
  return "riscv64";
#elif defined(__powerpc64__)
  return "powerpc64";
#elif defined(__s390x__)
  return "s390x";
#elif defined(__loongarch64)
  return "loongarch64";
#else
  return "unknown";
#endif
}

}  // namespace ovra::machine
