// SPDX-License-Identifier: GPL-3.0-or-later
// SHA-256 through Windows' CNG (bcrypt.dll).
#include "Sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>

namespace Module1 {
namespace {

// CNG fails only when the system is short of memory or broken; the caller reports it as an
// unexpected error naming the call.
void Check(NTSTATUS status, const char* call) {
    if (status < 0) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
        throw std::runtime_error("SHA-256: " + std::string(call) + " " + code);
    }
}

// Opening the algorithm provider is the costly step, so the process opens it once and keeps it;
// a provider handle may be shared by threads.
BCRYPT_ALG_HANDLE Provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        Check(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0),
              "BCryptOpenAlgorithmProvider");
        return handle;
    }();
    return provider;
}

BCRYPT_HASH_HANDLE CreateHash() {
    BCRYPT_HASH_HANDLE hash = nullptr;
    // With no buffer given, CNG allocates the hash object itself.
    Check(BCryptCreateHash(Provider(), &hash, nullptr, 0, nullptr, 0, 0), "BCryptCreateHash");
    return hash;
}

}  // namespace

struct Sha256::State {
    BCRYPT_HASH_HANDLE hash = CreateHash();

    ~State() {
        if (hash != nullptr) {
            BCryptDestroyHash(hash);
        }
    }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(const void* bytes, std::size_t size) {
    // BCryptHashData takes a ULONG (32-bit) length: larger buffers go in slices.
    auto* next = static_cast<PUCHAR>(const_cast<void*>(bytes));
    while (size > 0) {
        const ULONG slice =
            static_cast<ULONG>(std::min<std::size_t>(size, std::numeric_limits<ULONG>::max()));
        Check(BCryptHashData(state_->hash, next, slice, 0), "BCryptHashData");
        next += slice;
        size -= slice;
    }
}

Digest Sha256::Finish() {
    Digest digest{};
    Check(BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0),
          "BCryptFinishHash");
    // A finished CNG hash cannot take more data: the next one starts on a fresh object.
    BCryptDestroyHash(state_->hash);
    state_->hash = nullptr;
    state_->hash = CreateHash();
    return digest;
}

}  // namespace Module1
