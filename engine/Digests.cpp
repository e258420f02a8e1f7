// SPDX-License-Identifier: GPL-3.0-or-later
#include "Digests.h"

#include <array>
#include <cstring>

#include "Sha256.h"

namespace Module1 {
namespace {

// CRC-32 as zlib and SFV files compute it (reflected polynomial 0xEDB88320).
class Crc32 {
  public:
    void Update(const std::uint8_t* bytes, std::size_t size) {
        static const std::array<std::uint32_t, 256> table = [] {
            std::array<std::uint32_t, 256> t{};
            for (std::uint32_t n = 0; n < 256; ++n) {
                std::uint32_t c = n;
                for (int k = 0; k < 8; ++k) {
                    c = (c & 1) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
                }
                t[n] = c;
            }
            return t;
        }();
        for (std::size_t i = 0; i < size; ++i) {
            crc_ = table[(crc_ ^ bytes[i]) & 0xFF] ^ (crc_ >> 8);
        }
    }
    std::vector<std::uint8_t> Finish() {
        const std::uint32_t value = crc_ ^ 0xFFFFFFFFU;
        crc_ = 0xFFFFFFFFU;
        return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    }

  private:
    std::uint32_t crc_ = 0xFFFFFFFFU;
};

// MD5 as RFC 1321 defines it.
class Md5 {
  public:
    void Update(const std::uint8_t* bytes, std::size_t size) {
        length_ += size;
        while (size > 0) {
            const std::size_t take = std::min(size, block_.size() - filled_);
            std::memcpy(block_.data() + filled_, bytes, take);
            filled_ += take;
            bytes += take;
            size -= take;
            if (filled_ == block_.size()) {
                Transform();
                filled_ = 0;
            }
        }
    }
    std::vector<std::uint8_t> Finish() {
        const std::uint64_t bits = length_ * 8;
        const std::uint8_t one = 0x80;
        Update(&one, 1);
        const std::uint8_t zero = 0;
        while (filled_ != 56) {
            Update(&zero, 1);
        }
        std::uint8_t tail[8];
        for (int i = 0; i < 8; ++i) {
            tail[i] = static_cast<std::uint8_t>(bits >> (8 * i));
        }
        Update(tail, 8);
        std::vector<std::uint8_t> digest;
        for (const std::uint32_t word : state_) {
            for (int i = 0; i < 4; ++i) {
                digest.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
            }
        }
        *this = Md5();
        return digest;
    }

  private:
    void Transform() {
        static constexpr std::uint32_t kSine[64] = {
            0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
            0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
            0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
            0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
            0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
            0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
            0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
            0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
            0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
            0xeb86d391};
        static constexpr int kShift[16] = {7, 12, 17, 22, 5, 9,  14, 20,
                                           4, 11, 16, 23, 6, 10, 15, 21};
        std::uint32_t m[16];
        for (int i = 0; i < 16; ++i) {
            m[i] = std::uint32_t{block_[4 * i]} | std::uint32_t{block_[4 * i + 1]} << 8 |
                   std::uint32_t{block_[4 * i + 2]} << 16 | std::uint32_t{block_[4 * i + 3]} << 24;
        }
        std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
        for (int i = 0; i < 64; ++i) {
            const int round = i / 16;
            std::uint32_t f = 0;
            int g = 0;
            switch (round) {
                case 0: f = (b & c) | (~b & d), g = i; break;
                case 1: f = (d & b) | (~d & c), g = (5 * i + 1) % 16; break;
                case 2: f = b ^ c ^ d, g = (3 * i + 5) % 16; break;
                default: f = c ^ (b | ~d), g = (7 * i) % 16; break;
            }
            const std::uint32_t sum = a + f + kSine[i] + m[g];
            const int shift = kShift[round * 4 + i % 4];
            a = d;
            d = c;
            c = b;
            b += (sum << shift) | (sum >> (32 - shift));
        }
        state_[0] += a;
        state_[1] += b;
        state_[2] += c;
        state_[3] += d;
    }

    std::array<std::uint32_t, 4> state_ = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::array<std::uint8_t, 64> block_{};
    std::size_t filled_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace

struct FileDigest::State {
    DigestKind kind;
    Sha256 sha256;
    Md5 md5;
    Crc32 crc32;
};

FileDigest::FileDigest(DigestKind kind) : state_(std::make_unique<State>()) {
    state_->kind = kind;
}

FileDigest::~FileDigest() = default;
FileDigest::FileDigest(FileDigest&&) noexcept = default;
FileDigest& FileDigest::operator=(FileDigest&&) noexcept = default;

void FileDigest::Update(const std::uint8_t* bytes, std::size_t size) {
    switch (state_->kind) {
        case DigestKind::Sha256: state_->sha256.Update(bytes, size); break;
        case DigestKind::Md5: state_->md5.Update(bytes, size); break;
        case DigestKind::Crc32: state_->crc32.Update(bytes, size); break;
    }
}

std::vector<std::uint8_t> FileDigest::Finish() {
    switch (state_->kind) {
        case DigestKind::Sha256: {
            const Digest digest = state_->sha256.Finish();
            return {digest.begin(), digest.end()};
        }
        case DigestKind::Md5: return state_->md5.Finish();
        case DigestKind::Crc32: return state_->crc32.Finish();
    }
    return {};
}

}  // namespace Module1
