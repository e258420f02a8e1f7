// SPDX-License-Identifier: GPL-3.0-or-later
#include "Sha256.h"

#include <new>

namespace Module1 {

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) {
        throw std::bad_alloc();  // libcrypto fails here only for want of memory
    }
}

void Sha256::Update(std::span<const std::uint8_t> bytes) {
    Update(bytes.data(), bytes.size());
}

void Sha256::Update(const void* bytes, std::size_t size) {
    EVP_DigestUpdate(context_.get(), bytes, size);
}

Digest Sha256::Finish() {
    Digest digest{};
    EVP_DigestFinal_ex(context_.get(), digest.data(), nullptr);
    EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr);
    return digest;
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
