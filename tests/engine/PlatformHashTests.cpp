// SPDX-License-Identifier: GPL-3.0-or-later
// SHA-256 as both twins give it: libcrypto in the POSIX build, CNG in the Windows build.
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Sha256.h"

namespace {

std::string HexOf(const std::string& text) {
    Module1::Sha256 hash;
    hash.Update(text.data(), text.size());
    return Module1::ToHex(hash.Finish());
}

// The standard test vectors (FIPS 180-2's examples and the million 'a').
TEST(Sha256, gives_the_standard_digests_of_the_test_vectors) {
    EXPECT_EQ(HexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(HexOf(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, gives_the_same_digest_however_the_input_is_cut) {
    const std::string million(1000000, 'a');
    Module1::Sha256 hash;
    // Pieces of 0, 1, 63, 64, 65 ... bytes, crossing the 64-byte blocks every way.
    std::size_t done = 0;
    for (std::size_t piece = 0; done < million.size(); piece = (piece * 7 + 1) % 4099) {
        const std::size_t size = std::min(piece, million.size() - done);
        hash.Update(std::span(reinterpret_cast<const std::uint8_t*>(million.data()) + done, size));
        done += size;
    }
    EXPECT_EQ(Module1::ToHex(hash.Finish()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, starts_afresh_after_each_digest) {
    Module1::Sha256 hash;
    hash.Update("abc", 3);
    const Module1::Digest first = hash.Finish();
    hash.Update("abc", 3);
    EXPECT_EQ(hash.Finish(), first);
    EXPECT_EQ(Module1::ToHex(hash.Finish()),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    Module1::Sha256 moved = std::move(hash);
    moved.Update("abc", 3);
    EXPECT_EQ(moved.Finish(), first);
}

// A stream longer than 4 GiB, where a 32-bit length or counter would wrap: chunks of 1 MiB,
// each zero but for its number (64 bits, little-endian) in its first eight bytes, and the last
// one cut short after 3 bytes. Its digest was computed once with
//   python3 -c 'import sys
//   M = 1 << 20; n = (1 << 32) + M + 3; out = sys.stdout.buffer
//   for i in range(n // M + 1):
//       out.write((i.to_bytes(8, "little") + bytes(M - 8))[:min(M, n - i * M)])' | sha256sum
constexpr std::uint64_t kChunk = 1 << 20;
constexpr std::uint64_t kStreamSize = (std::uint64_t{1} << 32) + kChunk + 3;
constexpr const char* kStreamDigest =
    "88c4ecd969a3f709dde7a4507a63c2b43a7d0ce8e8c2799e3f604818b3087da6";

void StampChunkNumber(std::uint8_t* chunk, std::uint64_t number, std::uint64_t chunkSize) {
    for (std::uint64_t k = 0; k < std::min<std::uint64_t>(8, chunkSize); ++k) {
        chunk[k] = static_cast<std::uint8_t>(number >> (8 * k));
    }
}

TEST(Sha256Large, digests_a_stream_of_more_than_4_gib_given_in_chunks) {
    std::vector<std::uint8_t> chunk(kChunk);
    Module1::Sha256 hash;
    for (std::uint64_t number = 0; number * kChunk < kStreamSize; ++number) {
        const std::uint64_t size = std::min(kChunk, kStreamSize - number * kChunk);
        StampChunkNumber(chunk.data(), number, size);
        // In two pieces, so the blocks straddle the calls.
        hash.Update(chunk.data(), std::min<std::uint64_t>(13, size));
        if (size > 13) {
            hash.Update(chunk.data() + 13, size - 13);
        }
    }
    EXPECT_EQ(Module1::ToHex(hash.Finish()), kStreamDigest);
}

// Memory the system hands out zeroed and backs only where it is written, so a buffer of more
// than 4 GiB costs a few megabytes.
class ZeroedMemory {
  public:
    explicit ZeroedMemory(std::uint64_t size) : size_(size) {
#ifdef _WIN32
        data_ = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
        data_ = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (data_ == MAP_FAILED) {
            data_ = nullptr;
        }
#endif
    }
    ~ZeroedMemory() {
        if (data_ != nullptr) {
#ifdef _WIN32
            VirtualFree(data_, 0, MEM_RELEASE);
#else
            munmap(data_, size_);
#endif
        }
    }
    ZeroedMemory(const ZeroedMemory&) = delete;
    ZeroedMemory& operator=(const ZeroedMemory&) = delete;

    std::uint8_t* data() const {
        return static_cast<std::uint8_t*>(data_);
    }

  private:
    void* data_ = nullptr;
    std::uint64_t size_;
};

// CNG takes at most 4 GiB - 1 bytes a call; the Windows twin must cut a larger buffer in slices
// and move on through it.
TEST(Sha256Large, digests_a_buffer_of_more_than_4_gib_given_at_once) {
    const ZeroedMemory stream(kStreamSize);
    ASSERT_NE(stream.data(), nullptr) << "cannot map " << kStreamSize << " bytes";
    for (std::uint64_t number = 0; number * kChunk < kStreamSize; ++number) {
        StampChunkNumber(stream.data() + number * kChunk, number,
                         std::min(kChunk, kStreamSize - number * kChunk));
    }
    Module1::Sha256 hash;
    hash.Update(stream.data(), kStreamSize);
    EXPECT_EQ(Module1::ToHex(hash.Finish()), kStreamDigest);
}

}  // namespace
