// Host name, processors and memory as the kernel reports them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ovra::machine {

inline constexpr const char* kCpuInfoPath = "/proc/cpuinfo";

// The host name, "unknown" when it cannot be read or is not UTF-8.
std::string host_name();

// Logical processors online, 0 when unknown.
long cpu_count();

// The "model name" of the first processor listed in the cpuinfo file,
// "unknown" when there is none.
std::string cpu_brand(const char* cpuinfo_path = kCpuInfoPath);

// Total physical memory in bytes, 0 when unknown.
std::uint64_t total_memory();

// The processor architecture this module was built for.
std::string_view build_arch();

}  // namespace ovra::machine
