// SHA-256 of a byte string, for the journal's record of the data each write carried; the same
// on every platform, with no toolkit or crypto library.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace korvel {

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest sha256(std::span<const std::uint8_t> bytes);

}  // namespace korvel
