// SPDX-License-Identifier: GPL-3.0-or-later
// The digests a checksum file may hold: SHA-256 (the engine's own lists, sha256sum), MD5
// (md5sum) and CRC-32 (SFV files, as other splitters write beside their numbered pieces). MD5
// and CRC-32 are plain code, the same on every system; SHA-256 is the system's (Sha256.h).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace Module1 {

enum class DigestKind { Sha256, Md5, Crc32 };

class FileDigest {
  public:
    explicit FileDigest(DigestKind kind);
    ~FileDigest();
    FileDigest(FileDigest&&) noexcept;
    FileDigest& operator=(FileDigest&&) noexcept;

    void Update(const std::uint8_t* bytes, std::size_t size);
    // The digest of everything given so far, its bytes in the order a checksum file writes
    // them in hex (CRC-32 most significant byte first).
    std::vector<std::uint8_t> Finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace Module1
