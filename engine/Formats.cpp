// SPDX-License-Identifier: GPL-3.0-or-later
// The byte layouts of piece files and list files, and the naming rule of a set.
#include <limits>
#include <utility>

#include "Formats.h"
#include "Messages.h"
#include "Text.h"

namespace Module1 {
namespace {

template <typename T>
void Put(std::vector<std::uint8_t>& out, T value) {
    auto bits = static_cast<std::make_unsigned_t<T>>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    }
}

template <typename T>
T Get(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::make_unsigned_t<T> bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        bits |= static_cast<std::make_unsigned_t<T>>(bytes[offset + i]) << (8 * i);
    }
    return static_cast<T>(bits);
}

}  // namespace

std::u16string FormatPieceNumber(std::int32_t number) {
    // "00#": at least two digits; the units digit is left out only for zero.
    const std::int64_t value = number;
    const std::int64_t magnitude = value < 0 ? -value : value;
    std::string digits = magnitude == 0 ? "00" : std::to_string(magnitude);
    if (digits.size() < 3 && magnitude != 0) {
        digits.insert(0, 3 - digits.size(), '0');
    }
    std::u16string out = value < 0 ? u"-" : u"";
    out.append(digits.begin(), digits.end());
    return out;
}

std::u16string PieceName(const std::u16string& base, std::int32_t firstNumber, std::int32_t k) {
    const std::int64_t number = std::int64_t{firstNumber} + k - 1;
    if (number > std::numeric_limits<std::int32_t>::max() ||
        number < std::numeric_limits<std::int32_t>::min()) {
        Throw(Failure::PieceNumberOutOfRange);
    }
    return base + u"." + FormatPieceNumber(static_cast<std::int32_t>(number));
}

std::u16string ListFileName(const std::u16string& sourcePath) {
    return sourcePath + u".FLF";
}

std::u16string ChecksumListName(const std::u16string& listPath) {
    return listPath + u".sha256";
}

std::u16string PieceBase(const std::u16string& listPath) {
    if (listPath.size() < 4) {
        Throw(Failure::ListNameTooShort, text::ToUtf8(listPath));
    }
    return listPath.substr(0, listPath.size() - 4);
}

std::vector<std::uint8_t> EncodeDescriptor(std::uint32_t elementCount) {
    std::vector<std::uint8_t> out;
    out.reserve(kDescriptorSize);
    Put<std::int16_t>(out, 1);
    Put<std::uint32_t>(out, elementCount);
    Put<std::int32_t>(out, 1);
    return out;
}

std::vector<std::uint8_t> EncodeTrailer(std::int32_t length) {
    std::vector<std::uint8_t> out;
    Put<std::int32_t>(out, length);
    return out;
}

BufferDescriptor DecodeDescriptor(std::span<const std::uint8_t> bytes) {
    return {Get<std::int16_t>(bytes, 0), Get<std::uint32_t>(bytes, 2), Get<std::int32_t>(bytes, 6)};
}

std::vector<std::uint8_t> EncodePieceRecord(const PieceRecord& piece) {
    std::vector<std::uint8_t> out = EncodeDescriptor(static_cast<std::uint32_t>(piece.Data.size()));
    out.insert(out.end(), piece.Data.begin(), piece.Data.end());
    const std::vector<std::uint8_t> trailer = EncodeTrailer(piece.Length);
    out.insert(out.end(), trailer.begin(), trailer.end());
    return out;
}

std::uint32_t CheckPieceHeader(std::span<const std::uint8_t> header, std::int64_t fileSize,
                               const std::string& fileForErrors) {
    if (fileSize < kDescriptorSize || header.size() < static_cast<std::size_t>(kDescriptorSize)) {
        Throw(Failure::PastEndOfFile, fileForErrors);
    }
    const BufferDescriptor descriptor = DecodeDescriptor(header);
    if (descriptor.DimensionCount != 1 || descriptor.LowerBound != 1) {
        Throw(Failure::NotAPiece, fileForErrors);
    }
    if (fileSize < kDescriptorSize + descriptor.ElementCount + kTrailerSize) {
        Throw(Failure::PastEndOfFile, fileForErrors);
    }
    return descriptor.ElementCount;
}

PieceRecord DecodePieceRecord(std::span<const std::uint8_t> bytes,
                              const std::string& fileForErrors) {
    const std::uint32_t count =
        CheckPieceHeader(bytes, static_cast<std::int64_t>(bytes.size()), fileForErrors);
    const auto data = bytes.subspan(kDescriptorSize, count);
    return {std::vector<std::uint8_t>(data.begin(), data.end()),
            Get<std::int32_t>(bytes, kDescriptorSize + count)};
}

std::vector<std::uint8_t> EncodeListRecord(const ListRecord& list) {
    const std::string path = text::ToCodePage936(list.SourcePath);
    if (path.size() > std::numeric_limits<std::uint16_t>::max()) {
        Throw(Failure::SourcePathTooLong);
    }
    std::vector<std::uint8_t> out;
    out.reserve(kListFixedSize + path.size());
    Put<std::int32_t>(out, list.SourceLength);
    Put<std::uint16_t>(out, static_cast<std::uint16_t>(path.size()));
    out.insert(out.end(), path.begin(), path.end());
    Put<std::int16_t>(out, list.PieceCount);
    Put<std::int32_t>(out, list.FirstNumber);
    return out;
}

ListRecord DecodeListRecord(std::span<const std::uint8_t> bytes, const std::string& fileForErrors) {
    if (bytes.size() < kListFixedSize) {
        Throw(Failure::PastEndOfFile, fileForErrors);
    }
    const std::size_t pathSize = Get<std::uint16_t>(bytes, 4);
    if (bytes.size() < kListFixedSize + pathSize) {
        Throw(Failure::PastEndOfFile, fileForErrors);
    }
    ListRecord list;
    list.SourceLength = Get<std::int32_t>(bytes, 0);
    list.SourcePath = text::FromCodePage936(
        std::string(reinterpret_cast<const char*>(bytes.data()) + 6, pathSize));
    list.PieceCount = Get<std::int16_t>(bytes, 6 + pathSize);
    list.FirstNumber = Get<std::int32_t>(bytes, 8 + pathSize);
    if (list.PieceCount < 1) {
        Throw(Fault{Failure::ListPieceCountBroken,
                    {{Role::Named, fileForErrors, 0}},
                    {list.PieceCount},
                    0,
                    Failure::Unexpected});
    }
    return list;
}

std::string EncodeChecksumList(const std::vector<ChecksumLine>& lines) {
    std::string text;
    for (const ChecksumLine& line : lines) {
        std::string name;
        for (const char c : line.name) {
            switch (c) {
                case '\\': name += "\\\\"; break;
                case '\n': name += "\\n"; break;
                case '\r': name += "\\r"; break;
                default: name += c;
            }
        }
        if (name.size() != line.name.size()) {
            text += '\\';
        }
        text += ToHex(line.digest) + "  " + name + "\n";
    }
    return text;
}

namespace {

// Reads hex digits, of either case, into digest, whose size says how many.
bool DecodeDigest(std::string_view hex, std::span<std::uint8_t> digest) {
    if (hex.size() != 2 * digest.size()) {
        return false;
    }
    for (std::size_t i = 0; i < digest.size(); ++i) {
        unsigned value = 0;
        for (const char c : hex.substr(2 * i, 2)) {
            const auto digit = static_cast<unsigned>(
                std::string_view("0123456789abcdef")
                    .find(static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c)));
            if (digit >= 16) {
                return false;
            }
            value = value * 16 + digit;
        }
        digest[i] = static_cast<std::uint8_t>(value);
    }
    return true;
}

// Undoes sha256sum's escapes in a name whose line began with a backslash.
std::optional<std::string> Unescaped(std::string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '\\') {
            out += name[i];
            continue;
        }
        const char next = i + 1 < name.size() ? name[++i] : '\0';
        switch (next) {
            case '\\': out += '\\'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            default: return std::nullopt;
        }
    }
    return out;
}

// "<hex> <space or *><name>" as sha256sum and md5sum write it, or "<tag> (<name>) = <hex>" as
// their --tag form and BSD's tools write it; either may start with a backslash when the name is
// escaped. The digest's size says how many hex digits.
std::optional<std::string> DecodeSumLine(std::string_view line, std::string_view tag,
                                         std::span<std::uint8_t> digest) {
    const bool escaped = !line.empty() && line.front() == '\\';
    line.remove_prefix(escaped ? 1 : 0);
    std::string_view name;
    const std::string tagStart = std::string(tag) + " (";
    constexpr std::string_view kTagEnd = ") = ";
    const std::size_t hexSize = 2 * digest.size();
    if (line.starts_with(tagStart) &&
        line.size() >= tagStart.size() + 1 + kTagEnd.size() + hexSize &&
        line.substr(line.size() - hexSize - kTagEnd.size(), kTagEnd.size()) == kTagEnd) {
        if (!DecodeDigest(line.substr(line.size() - hexSize), digest)) {
            return std::nullopt;
        }
        name =
            line.substr(tagStart.size(), line.size() - hexSize - kTagEnd.size() - tagStart.size());
    } else {
        if (line.size() < hexSize + 3 || !DecodeDigest(line.substr(0, hexSize), digest) ||
            line[hexSize] != ' ' || (line[hexSize + 1] != ' ' && line[hexSize + 1] != '*')) {
            return std::nullopt;
        }
        name = line.substr(hexSize + 2);
    }
    return escaped ? Unescaped(name) : std::optional<std::string>(name);
}

bool IsBlankOrComment(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t");
    return first == std::string_view::npos || line[first] == '#';
}

}  // namespace

std::optional<ChecksumLine> DecodeChecksumLine(std::string_view line) {
    ChecksumLine decoded;
    std::optional<std::string> name = DecodeSumLine(line, "SHA256", decoded.digest);
    if (!name) {
        return std::nullopt;
    }
    decoded.name = std::move(*name);
    return decoded;
}

std::optional<NamedDigest> DecodeDigestLine(std::string_view line, DigestKind kind) {
    NamedDigest decoded;
    switch (kind) {
        case DigestKind::Sha256:
        case DigestKind::Md5: {
            decoded.digest.resize(kind == DigestKind::Sha256 ? 32 : 16);
            std::optional<std::string> name =
                DecodeSumLine(line, kind == DigestKind::Sha256 ? "SHA256" : "MD5", decoded.digest);
            if (!name) {
                return std::nullopt;
            }
            decoded.name = std::move(*name);
            return decoded;
        }
        case DigestKind::Crc32: {
            // "<name> <8 hex digits>", the name itself perhaps holding spaces.
            const std::size_t space = line.find_last_of(" \t");
            decoded.digest.resize(4);
            if (space == std::string_view::npos || space == 0 ||
                !DecodeDigest(line.substr(space + 1), decoded.digest)) {
                return std::nullopt;
            }
            const std::size_t nameEnd = line.find_last_not_of(" \t", space);
            decoded.name = line.substr(0, nameEnd + 1);
            return decoded;
        }
    }
    return std::nullopt;
}

bool ChecksumFileReader::TakeLine(std::string_view line) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (std::exchange(firstLine_, false) && line.starts_with(kByteOrderMark)) {
        line.remove_prefix(kByteOrderMark.size());
    }
    // A carriage return before the line feed is a Windows line end: sha256sum escapes any
    // carriage return that belongs to a name.
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    return IsBlankOrComment(line) || takeLine_(line);
}

bool ChecksumFileReader::Feed(std::string_view bytes) {
    while (!failed_ && !bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view part = bytes.substr(0, end);
        if (pending_.size() + part.size() > kLongestChecksumLine) {
            failed_ = true;
            break;
        }
        if (end == std::string_view::npos) {
            pending_.append(part);
            break;
        }
        bytes.remove_prefix(end + 1);
        if (pending_.empty()) {
            failed_ = !TakeLine(part);
        } else {
            pending_.append(part);
            failed_ = !TakeLine(pending_);
            pending_.clear();
        }
    }
    return !failed_;
}

bool ChecksumFileReader::Finish() {
    if (!failed_ && !pending_.empty()) {
        failed_ = !TakeLine(pending_);
        pending_.clear();
    }
    return !failed_;
}

std::optional<std::vector<ChecksumLine>> DecodeChecksumList(std::string_view text) {
    std::vector<ChecksumLine> lines;
    ChecksumFileReader reader([&](std::string_view line) {
        std::optional<ChecksumLine> decoded = DecodeChecksumLine(line);
        if (decoded) {
            lines.push_back(std::move(*decoded));
        }
        return decoded.has_value();
    });
    if (!reader.Feed(text) || !reader.Finish()) {
        return std::nullopt;
    }
    return lines;
}

}  // namespace Module1
