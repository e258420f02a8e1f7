// SPDX-License-Identifier: GPL-3.0-or-later
// SHA-256 through OpenSSL's libcrypto.
#include "Sha256.h"

#include <openssl/evp.h>

#include <new>

namespace Module1 {

struct Sha256::State {
    struct Free {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> context{EVP_MD_CTX_new()};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (!state_->context || EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) != 1) {
        throw std::bad_alloc();  // libcrypto fails here only for want of memory
    }
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(const void* bytes, std::size_t size) {
    EVP_DigestUpdate(state_->context.get(), bytes, size);
}

Digest Sha256::Finish() {
    Digest digest{};
    EVP_DigestFinal_ex(state_->context.get(), digest.data(), nullptr);
    EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr);
    return digest;
}

}  // namespace Module1
