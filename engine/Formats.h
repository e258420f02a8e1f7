// SPDX-License-Identifier: GPL-3.0-or-later
// The byte layouts of piece files and list files. The engine streams pieces and uses only the
// header checks; the whole-record codecs serve tests, fixtures and the fuzzers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Digests.h"
#include "Module1.h"
#include "Sha256.h"

namespace Module1 {

// The 10 bytes that stand in front of a piece's data.
struct BufferDescriptor {
    std::int16_t DimensionCount = 1;
    std::uint32_t ElementCount = 0;
    std::int32_t LowerBound = 1;
};

inline constexpr std::int64_t kDescriptorSize = 10;
inline constexpr std::int64_t kTrailerSize = 4;    // the trailing Length
inline constexpr std::size_t kListFixedSize = 12;  // the list record less its path bytes

std::vector<std::uint8_t> EncodeDescriptor(std::uint32_t elementCount);
std::vector<std::uint8_t> EncodeTrailer(std::int32_t length);  // the 4 bytes after the data
BufferDescriptor DecodeDescriptor(std::span<const std::uint8_t> bytes);  // needs 10 bytes

// Checks a piece file's first 10 bytes against the file's size and returns the data length.
// Throws EngineError naming the file when the descriptor is not one of a piece or claims more
// bytes than the file holds; the element count is never trusted beyond the file's size.
std::uint32_t CheckPieceHeader(std::span<const std::uint8_t> header, std::int64_t fileSize,
                               const std::string& fileForErrors);

// Whole piece records, for small pieces (tests, fixtures, fuzzing); the engine streams instead.
std::vector<std::uint8_t> EncodePieceRecord(const PieceRecord& piece);
PieceRecord DecodePieceRecord(std::span<const std::uint8_t> bytes,
                              const std::string& fileForErrors);

// Throws EngineError when the path needs more than 65535 bytes in code page 936.
std::vector<std::uint8_t> EncodeListRecord(const ListRecord& list);

// Reads a list record from the start of bytes; stale bytes after it are ignored. Throws
// EngineError when bytes end before the record does or when PieceCount is below 1.
ListRecord DecodeListRecord(std::span<const std::uint8_t> bytes, const std::string& fileForErrors);

// One line of a checksum list: the digest of a whole file and its name as stored (UTF-8).
struct ChecksumLine {
    Digest digest{};
    std::string name;
};

// The checksum list in GNU sha256sum's format, so "sha256sum -c" checks a set with no program
// of ours: "<64 hex digits>  <name>\n", and a name holding a backslash, line feed or carriage
// return escaped as sha256sum escapes it (the line then starts with a backslash).
std::string EncodeChecksumList(const std::vector<ChecksumLine>& lines);
// Reads what EncodeChecksumList writes, and what other tools write in that format: the
// binary-mode marker "*", the tagged form "SHA256 (name) = hex", Windows line ends, a UTF-8 byte
// order mark, blank lines and "#" comments. Empty when any other line is not of those forms, or
// longer than kLongestChecksumLine.
std::optional<std::vector<ChecksumLine>> DecodeChecksumList(std::string_view text);

// The longest line a checksum list may hold: the longest path escaped (twice PATH_MAX) and its
// digest, with room to spare. A list of any length is read; only its lines are capped.
inline constexpr std::size_t kLongestChecksumLine = 2 * 4096 + 128;

// One line of the engine's own checksum list, as DecodeChecksumList reads it; empty for any other.
std::optional<ChecksumLine> DecodeChecksumLine(std::string_view line);

// What another tool's checksum file says of one file: its digest and its name.
struct NamedDigest {
    std::vector<std::uint8_t> digest;
    std::string name;
};
// One line of a checksum file of another tool: md5sum's or sha256sum's forms, as
// DecodeChecksumList reads them; or, for CRC-32, an SFV line "<name> <8 hex digits>". Empty for
// a line of no such form.
std::optional<NamedDigest> DecodeDigestLine(std::string_view line, DigestKind kind);

// Reads a checksum file as it streams in, a line at a time, so that one of any length takes
// little memory: every line but a blank one or a "#" comment, without a byte order mark before
// it or a carriage return at its end, goes to takeLine, which says whether it read it.
class ChecksumFileReader {
  public:
    explicit ChecksumFileReader(std::function<bool(std::string_view line)> takeLine)
        : takeLine_(std::move(takeLine)) {}
    // False at the first line takeLine refuses, or one longer than kLongestChecksumLine; nothing
    // is read after it.
    bool Feed(std::string_view bytes);
    // Reads the last line, which needs no line feed; false as Feed.
    bool Finish();

  private:
    bool TakeLine(std::string_view line);

    std::function<bool(std::string_view)> takeLine_;
    std::string pending_;
    bool firstLine_ = true;
    bool failed_ = false;
};

}  // namespace Module1
