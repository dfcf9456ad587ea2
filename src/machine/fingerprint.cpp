#include "machine/fingerprint.hpp"

#include <openssl/sha.h>

namespace ovra::machine {

std::uint64_t fingerprint(std::string_view text) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  ::SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
  std::uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value = (value << 8) | digest[i];
  return value;
}

}  // namespace ovra::machine
