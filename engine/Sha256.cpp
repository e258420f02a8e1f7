// SPDX-License-Identifier: GPL-3.0-or-later
// What the two twins of Sha256 share.
#include "Sha256.h"

namespace Module1 {

void Sha256::Update(std::span<const std::uint8_t> bytes) {
    Update(bytes.data(), bytes.size());
}

std::string ToHex(const Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * digest.size());
    for (const std::uint8_t byte : digest) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 0xF]);
    }
    return hex;
}

}  // namespace Module1
