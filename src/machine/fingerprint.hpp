// The machine fingerprint: a 64-bit number derived from stable machine facts.
#pragma once

#include <cstdint>
#include <string_view>

namespace ovra::machine {

// The first eight bytes of the SHA-256 digest of `text`, big-endian.
std::uint64_t fingerprint(std::string_view text);

}  // namespace ovra::machine
