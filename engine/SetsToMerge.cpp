// SPDX-License-Identifier: GPL-3.0-or-later
#include "SetsToMerge.h"

#include <algorithm>
#include <limits>
#include <map>
#include <span>

#include "FileChecks.h"
#include "Messages.h"
#include "Paths.h"
#include "Sha256.h"
#include "Text.h"

namespace Module1 {
namespace {

constexpr std::size_t kLargestListRecord = kListFixedSize + 0xFFFF;
constexpr std::int64_t kMostPieces = 32767;

// Whether bytes, the first of a file of size bytes, start a piece of ours: a buffer descriptor
// (dimension count 1, lower bound 1) whose data and trailing length fit the file.
bool StartsAPiece(std::span<const std::uint8_t> bytes, std::int64_t size) {
    if (bytes.size() < static_cast<std::size_t>(kDescriptorSize)) {
        return false;
    }
    const BufferDescriptor descriptor = DecodeDescriptor(bytes);
    return descriptor.DimensionCount == 1 && descriptor.LowerBound == 1 &&
           size >= kDescriptorSize + descriptor.ElementCount + kTrailerSize;
}

// The digits after a name's last dot, where that is all that follows it and something comes
// before it ("a.rar.001" gives "001"); empty otherwise.
std::string NumberOfName(const std::string& name) {
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size() ||
        name.find_first_not_of("0123456789", dot + 1) != std::string::npos) {
        return {};
    }
    return name.substr(dot + 1);
}

// The list file of a set whose piece this file at path is, judged by its name (ending in a piece
// number) and its first bytes; empty otherwise.
std::optional<std::string> ListFileOfPiece(const std::string& path,
                                           std::span<const std::uint8_t> bytes, std::int64_t size) {
    const std::size_t dot = path.find_last_of('.');
    const std::string number = dot == std::string::npos ? "" : path.substr(dot + 1);
    if (number.empty() || number.find_first_not_of("-0123456789") != std::string::npos ||
        io::NameOf(path).size() <= number.size() + 1 || !StartsAPiece(bytes, size)) {
        return std::nullopt;
    }
    return path.substr(0, dot) + ".FLF";
}

// What a split writes: a record a reader can take whole, at least one piece, a length that is
// not negative and a source path of text, which no path holds NUL in and which a split stores in
// code page 936 whole (a character it cannot hold becomes "?"). Stale bytes after the record
// prove nothing: a list file written over a longer one keeps them.
bool LooksLikeAListRecord(const ListRecord& list) {
    return list.PieceCount >= 1 && list.SourceLength >= 0 &&
           std::none_of(list.SourcePath.begin(), list.SourcePath.end(),
                        [](char16_t c) { return c == 0 || c == 0xFFFD; });
}

// Refuses a file that is no list file, saying what to pick instead: a piece's own list file, or
// the list file beside a file that was split.
[[noreturn]] void ThrowNotAListFile(const std::string& path, const std::string& listOfPiece) {
    Fault fault{Failure::NotAListFile, {{Role::Named, path, 0}}, {}, 0, Failure::Unexpected};
    if (!listOfPiece.empty()) {
        fault.files.push_back({Role::ListOfPiece, listOfPiece, 0});
    } else if (const std::string beside = text::ToUtf8(ListFileName(text::FromUtf8(path)));
               io::StatIfPresent(beside)) {
        fault.files.push_back({Role::ListBeside, beside, 0});
    }
    Throw(fault);
}

ListFile ReadListFile(const std::string& path) {
    io::File file = io::OpenForReading(path);
    const io::FileInfo info = io::Stat(file);
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::min<std::int64_t>(info.size, kLargestListRecord)));
    io::ReadAt(file, bytes.data(), bytes.size(), 0);
    if (const std::optional<std::string> list = ListFileOfPiece(path, bytes, info.size)) {
        ThrowNotAListFile(path, *list);
    }
    ListRecord record;
    try {
        record = DecodeListRecord(bytes, path);
    } catch (const EngineError&) {
        ThrowNotAListFile(path, {});
    }
    if (!LooksLikeAListRecord(record)) {
        ThrowNotAListFile(path, {});
    }
    return {record, info, std::move(file)};
}

// The name a checksum list gives, without the folders before it ("./" included).
std::string_view LastElement(std::string_view name, std::string_view separators) {
    const std::size_t end = name.find_last_of(separators);
    return end == std::string_view::npos ? name : name.substr(end + 1);
}

// How a kind of set writes its numbers: ours with the pattern "00#" (00, 001, …, 999, 1000),
// other splitters with three digits from 000 or 001 on (then 1000, as 7-Zip counts), or four
// (as `split -a 4`).
enum class Numbers { Ours, ThreeDigits, FourDigits };

std::string Numbered(std::int64_t number, Numbers form) {
    if (form == Numbers::Ours) {
        return text::ToUtf8(FormatPieceNumber(static_cast<std::int32_t>(number)));
    }
    std::string digits = std::to_string(number);
    const std::size_t width = form == Numbers::FourDigits ? 4 : 3;
    return digits.size() < width ? std::string(width - digits.size(), '0') + digits : digits;
}

// The number in name after start, where it is written as form writes it.
std::optional<std::int64_t> NumberIn(std::string_view name, std::string_view start, Numbers form) {
    if (!name.starts_with(start)) {
        return std::nullopt;
    }
    const std::string digits(name.substr(start.size()));
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const std::int64_t number = std::stoll(digits);
    return Numbered(number, form) == digits ? std::optional<std::int64_t>(number) : std::nullopt;
}

// A set found from one of its files: the folder, the name the pieces share before their number,
// and how they write it.
struct Members {
    std::string folder;
    std::string base;  // "<name>." of the pieces
    Numbers form;
    std::string Path(std::int64_t number) const {
        return io::JoinPath(folder, base + Numbered(number, form));
    }
};

// The numbers of the pieces beside, as the folder lists them; where it cannot be listed, those
// from first on up to the first one missing.
std::vector<std::int64_t> NumbersPresent(const Members& set, std::int64_t first,
                                         const std::string& pathForErrors) {
    std::vector<std::int64_t> numbers;
    for (const std::string& name : io::Folder(set.folder, pathForErrors).Names()) {
        if (const std::optional<std::int64_t> number = NumberIn(name, set.base, set.form)) {
            numbers.push_back(*number);
        }
    }
    if (numbers.empty()) {  // a folder that cannot be listed: what probing finds
        for (std::int64_t n = first; io::LinkStat(set.Path(n)) && n - first <= kMostPieces; ++n) {
            numbers.push_back(n);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// The pieces numbered first … last, where each must be there; names every one that is not.
std::vector<std::string> PiecesFromTo(const Members& set, std::int64_t first, std::int64_t last,
                                      const std::vector<std::int64_t>& present) {
    if (last - first + 1 > kMostPieces) {
        Throw(Failure::TooManyPieces);
    }
    // The third number tells the catalogue that no list file shows where the set belongs.
    Fault missing{Failure::PiecesMissing, {}, {last - first + 1, 0, 1}, 0, Failure::Unexpected};
    std::vector<std::string> pieces;
    for (std::int64_t n = first; n <= last; ++n) {
        pieces.push_back(set.Path(n));
        if (!std::binary_search(present.begin(), present.end(), n)) {
            missing.files.push_back({Role::MissingPiece, pieces.back(), n - first + 1});
        }
    }
    if (!missing.files.empty()) {
        missing.numbers[1] = static_cast<std::int64_t>(missing.files.size());
        Throw(missing);
    }
    return pieces;
}

// Reads a checksum file line by line; takeLine says whether it could read each.
void ReadChecksumFile(const std::string& path,
                      const std::function<bool(std::string_view line)>& takeLine) {
    const std::optional<io::FileInfo> there = io::LinkStat(path);
    if (there && there->kind == io::Kind::Link && !io::StatIfPresent(path)) {
        Throw(Failure::ChecksumListUnreadable, path);  // a link to nothing is no absent list
    }
    const io::File file = io::OpenForReading(path);
    ChecksumFileReader reader(takeLine);
    std::vector<std::uint8_t> buffer(64 << 10);
    io::ReadRange(file, 0, io::Stat(file).size, buffer,
                  [&](const std::uint8_t* bytes, std::size_t size) {
                      if (!reader.Feed({reinterpret_cast<const char*>(bytes), size})) {
                          Throw(Failure::ChecksumListUnreadable, path);
                      }
                  });
    if (!reader.Finish()) {
        Throw(Failure::ChecksumListUnreadable, path);
    }
}

// What a checksum file says of one file of the set: its lines with the file's exact name, and
// with the same name but for case; an exact name wins.
struct Found {
    int exact = 0;
    int loose = 0;
    std::vector<std::uint8_t> exactDigest;
    std::vector<std::uint8_t> looseDigest;
    void Take(bool exactName, const std::vector<std::uint8_t>& digest) {
        ++(exactName ? exact : loose);
        (exactName ? exactDigest : looseDigest) = digest;
    }
};

// The digest of each file from what was found, each file needing exactly one line.
std::vector<std::vector<std::uint8_t>> Matched(const std::vector<Found>& found,
                                               const std::vector<std::string>& files,
                                               const std::string& checksumFile) {
    std::vector<std::vector<std::uint8_t>> digests;
    for (std::size_t i = 0; i < found.size(); ++i) {
        const int count = found[i].exact > 0 ? found[i].exact : found[i].loose;
        if (count != 1) {
            ThrowChecksumFailure(count == 0 ? Failure::PieceNotCovered : Failure::PieceListedTwice,
                                 files[i], checksumFile);
        }
        digests.push_back(found[i].exact > 0 ? found[i].exactDigest : found[i].looseDigest);
    }
    return digests;
}

// A set of ours whose list file is lost: the pieces its checksum list names, where that
// survived, else every number from 0 (where a split starts) to the highest beside.
SetToMerge FindWithoutListFile(const Members& members, const std::string& given) {
    SetToMerge set;
    set.kind = SetToMerge::Kind::WithoutListFile;
    const std::string list = io::JoinPath(members.folder, members.base + "FLF");
    const std::string checksumList = list + ".sha256";
    if (!io::LinkStat(checksumList)) {
        const std::vector<std::int64_t> present = NumbersPresent(members, 0, given);
        set.pieces = PiecesFromTo(members, 0, present.empty() ? 0 : present.back(), present);
        return set;
    }
    // Every piece the list names; its line for the list file itself is passed over.
    std::map<std::int64_t, Found> named;
    ReadChecksumFile(checksumList, [&](std::string_view text) {
        const std::optional<ChecksumLine> line = DecodeChecksumLine(text);
        if (!line) {
            return false;
        }
        // A piece's name, exactly or but for case; the list file's own line names none.
        const std::string_view name = LastElement(line->name, "/\\");
        const std::string start(name.substr(0, std::min(name.size(), members.base.size())));
        if (io::SameNameIgnoringCase(start, members.base)) {
            if (const std::optional<std::int64_t> number = NumberIn(name, start, Numbers::Ours)) {
                named[*number].Take(start == members.base,
                                    {line->digest.begin(), line->digest.end()});
            }
        }
        return true;
    });
    if (named.empty()) {
        ThrowChecksumFailure(Failure::PieceNotCovered, given, checksumList);
    }
    std::vector<std::int64_t> present = NumbersPresent(members, named.begin()->first, given);
    set.pieces = PiecesFromTo(members, named.begin()->first, named.rbegin()->first, present);
    if (set.pieces.size() != named.size()) {  // a number the list skips is a piece it lacks
        for (const std::string& piece : set.pieces) {
            if (!named.contains(*NumberIn(io::NameOf(piece), members.base, Numbers::Ours))) {
                ThrowChecksumFailure(Failure::PieceNotCovered, piece, checksumList);
            }
        }
    }
    std::vector<Found> found;
    for (const auto& [number, lines] : named) {
        found.push_back(lines);
    }
    set.checksums =
        Checksums{checksumList, DigestKind::Sha256, Matched(found, set.pieces, checksumList), {}};
    set.ownFiles = {checksumList};
    return set;
}

// The checksum files that may lie beside a numbered set, in the order they are looked for.
struct ChecksumFileName {
    std::string name;
    DigestKind kind;
};

// A numbered set another splitter wrote: every number from its first file (000, else 001; in
// four digits where the file picked has four) to the highest beside, checked against the first
// checksum file beside that names its pieces.
SetToMerge FindNumbered(const std::string& folder, const std::string& base,
                        const std::string& digits, const std::string& given) {
    const bool fourDigits = digits.size() == 4 && digits[0] == '0';
    Members members{folder, base + ".", fourDigits ? Numbers::FourDigits : Numbers::ThreeDigits};
    if (digits.size() >= 4 && !fourDigits &&
        (io::LinkStat(io::JoinPath(folder, base + ".0001")) ||
         io::LinkStat(io::JoinPath(folder, base + ".0000")))) {
        members.form = Numbers::FourDigits;  // "1000" of a set in four digits
    }
    const std::int64_t first = io::LinkStat(members.Path(0)) ? 0 : 1;
    const std::vector<std::int64_t> present = NumbersPresent(members, first, given);
    SetToMerge set;
    set.kind = SetToMerge::Kind::Numbered;
    set.pieces = PiecesFromTo(members, first, present.empty() ? first : present.back(), present);
    for (const ChecksumFileName& candidate : {ChecksumFileName{base + ".sfv", DigestKind::Crc32},
                                              {base + ".md5", DigestKind::Md5},
                                              {base + ".sha256", DigestKind::Sha256},
                                              {"MD5SUMS", DigestKind::Md5},
                                              {"SHA256SUMS", DigestKind::Sha256}}) {
        const std::string path = io::JoinPath(folder, candidate.name);
        if (!io::LinkStat(path)) {
            continue;
        }
        std::vector<Found> found(set.pieces.size());
        bool namesAPiece = false;
        ReadChecksumFile(path, [&](std::string_view text) {
            if (candidate.kind == DigestKind::Crc32 && text.starts_with(';')) {
                return true;  // an SFV comment
            }
            const std::optional<NamedDigest> line = DecodeDigestLine(text, candidate.kind);
            if (!line) {
                return false;
            }
            const std::string_view name = LastElement(line->name, "/\\");
            for (std::size_t i = 0; i < set.pieces.size(); ++i) {
                const std::string piece = io::NameOf(set.pieces[i]);
                if (name == piece || io::SameNameIgnoringCase(name, piece)) {
                    found[i].Take(name == piece, line->digest);
                    namesAPiece = true;
                }
            }
            return true;
        });
        if (namesAPiece) {
            set.checksums = Checksums{path, candidate.kind, Matched(found, set.pieces, path), {}};
            set.ownFiles = {path};
            break;
        }
    }
    return set;
}

}  // namespace

SetToMerge FindSet(const std::u16string& pathText) {
    const std::string path = io::PathOf(pathText);
    const std::string name = io::NameOf(path);
    const std::string digits = NumberOfName(name);
    if (digits.empty()) {
        SetToMerge set;
        set.list = ReadListFile(path);
        set.names.emplace(pathText, set.list->record.FirstNumber, set.list->record.PieceCount);
        for (std::int32_t k = 1; k <= set.names->PieceCount(); ++k) {
            set.pieces.push_back(set.names->Piece(k));
        }
        set.ownFiles = {path, set.names->ChecksumList()};
        return set;
    }
    // A piece of ours, or a file of another splitter's numbered set.
    const io::File file = io::OpenForReading(path);
    const io::FileInfo info = io::Stat(file);
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::min<std::int64_t>(info.size, kDescriptorSize)));
    io::ReadAt(file, bytes.data(), bytes.size(), 0);
    const std::string folder = io::FolderOf(path);
    const std::string base = name.substr(0, name.size() - digits.size() - 1);
    const std::string list = io::JoinPath(folder, base + ".FLF");
    if (io::StatIfPresent(list)) {
        ThrowNotAListFile(path, list);  // its list file is there: pick that
    }
    if (StartsAPiece(bytes, info.size)) {
        return FindWithoutListFile({folder, base + ".", Numbers::Ours}, path);
    }
    if (digits.size() < 3) {
        ThrowNotAListFile(path, {});
    }
    return FindNumbered(folder, base, digits, path);
}

SetFile WhatSetFileIs(const std::u16string& pathText) {
    try {
        const std::string path = io::PathOf(io::AsStored(pathText));
        const std::string name = io::NameOf(path);
        const std::string digits = NumberOfName(name);
        // Windows matches a list file's extension in any case; elsewhere ".flf" is a font's.
        const std::string_view extension =
            name.size() > 4 ? std::string_view(name).substr(name.size() - 4) : "";
        if (extension == ".FLF" || (io::kNativeStyle == io::PathStyle::Windows &&
                                    io::SameNameIgnoringCase(extension, ".FLF"))) {
            return {SetFileKind::ListFile, pathText, PieceBase(pathText)};
        }
        if (digits.empty()) {
            return {};
        }
        const std::u16string base = text::FromUtf8(path.substr(0, path.size() - digits.size() - 1));
        if (io::StatIfPresent(text::ToUtf8(ListFileName(base)))) {
            return {SetFileKind::PieceOfSet, ListFileName(base), base};
        }
        const io::File file = io::OpenForReading(path);
        const std::int64_t size = io::Stat(file).size;
        std::vector<std::uint8_t> bytes(
            static_cast<std::size_t>(std::min<std::int64_t>(size, kDescriptorSize)));
        io::ReadAt(file, bytes.data(), bytes.size(), 0);
        if (StartsAPiece(bytes, size)) {
            return {SetFileKind::PieceWithoutListFile, pathText, base};
        }
        return digits.size() >= 3 ? SetFile{SetFileKind::NumberedFile, pathText, base} : SetFile{};
    } catch (const std::exception&) {
        return {};
    }
}

std::optional<Checksums> ReadListChecksums(const SetToMerge& set) {
    const SetNames& names = *set.names;
    const std::string& path = names.ChecksumList();
    if (!io::LinkStat(path)) {
        return std::nullopt;
    }
    // Lines that name the set's own files are matched by name, in any order; lines naming other
    // files (the source, say) are ignored. A set renamed as a whole keeps lines under its old
    // names: they are matched by position, the pieces in order, then the list file. Of those,
    // the first lines are kept, of lineCount in all.
    const auto files = static_cast<std::size_t>(names.PieceCount()) + 1;
    std::vector<Found> found(files);
    struct Positional {
        std::vector<std::uint8_t> digest;
        std::string end;  // the last 16 bytes at most, which hold any piece number
    };
    std::vector<Positional> firstLines;
    std::size_t lineCount = 0;
    bool namesTheSet = false;
    ReadChecksumFile(path, [&](std::string_view text) {
        const std::optional<ChecksumLine> line = DecodeChecksumLine(text);
        if (!line) {
            return false;
        }
        ++lineCount;
        const std::vector<std::uint8_t> digest(line->digest.begin(), line->digest.end());
        SetNames::Member member = names.MemberOf(LastElement(line->name, "/"));
        if (member.index == 0) {  // a list made on Windows may separate folders with backslashes
            member = names.MemberOf(LastElement(line->name, "/\\"));
        }
        if (member.index != 0) {
            namesTheSet = true;
            found[static_cast<std::size_t>(member.index - 1)].Take(member.exact, digest);
        }
        if (firstLines.size() <= files) {
            const std::string_view element = LastElement(line->name, "/\\");
            firstLines.push_back(
                {digest, std::string(element.substr(element.size() -
                                                    std::min<std::size_t>(element.size(), 16)))});
        }
        return true;
    });
    std::vector<std::string> members = set.pieces;
    members.push_back(names.List());
    Checksums checksums{path, DigestKind::Sha256, {}, {}};
    if (namesTheSet) {
        checksums.pieces = Matched(found, members, path);
        checksums.listFile = checksums.pieces.back();
        checksums.pieces.pop_back();
        return checksums;
    }
    for (std::int32_t k = 1; k <= names.PieceCount(); ++k) {
        const std::string piece = names.Piece(k);
        const auto line = static_cast<std::size_t>(k - 1);
        if (line >= firstLines.size() ||
            !firstLines[line].end.ends_with(piece.substr(piece.find_last_of('.')))) {
            ThrowChecksumFailure(Failure::PieceNotCovered, piece, path);
        }
        checksums.pieces.push_back(firstLines[line].digest);
    }
    const std::string_view last =
        lineCount == checksums.pieces.size() + 1 ? std::string_view(firstLines.back().end) : "";
    if (last.size() < 4 || !io::SameNameIgnoringCase(last.substr(last.size() - 4), ".FLF")) {
        ThrowChecksumFailure(Failure::PieceNotCovered, names.List(), path);
    }
    checksums.listFile = firstLines.back().digest;
    return checksums;
}

void CheckListFile(const ListFile& list, const Checksums& checksums) {
    const io::File& file = list.file;
    FileDigest hash(checksums.kind);
    std::vector<std::uint8_t> buffer(64 << 10);
    io::ReadRange(file, 0, io::Stat(file).size, buffer,
                  [&](const std::uint8_t* bytes, std::size_t size) { hash.Update(bytes, size); });
    if (hash.Finish() != checksums.listFile) {
        ThrowChecksumFailure(Failure::ListFileMismatch, file.path(), checksums.path);
    }
}

void CheckNoPieceMissing(const SetNames& names) {
    Fault fault{Failure::PiecesMissing, {}, {names.PieceCount(), 0}, 0, Failure::Unexpected};
    for (std::int32_t k = 1; k <= names.PieceCount(); ++k) {
        if (const std::string piece = names.Piece(k); !io::StatIfPresent(piece)) {
            fault.files.push_back({Role::MissingPiece, piece, k});
        }
    }
    if (!fault.files.empty()) {
        fault.numbers[1] = static_cast<std::int64_t>(fault.files.size());
        Throw(fault);
    }
}

PieceExtent CheckPiece(const io::File& piece, SetToMerge::Kind kind) {
    PieceExtent extent;
    const io::FileInfo info = io::Stat(piece);
    extent.id = info.id;
    extent.fileSize = info.size;
    extent.modifiedNs = info.modifiedNs;
    if (kind == SetToMerge::Kind::Numbered) {
        extent.dataLength = info.size;  // raw bytes, nothing around them
        return extent;
    }
    if (extent.fileSize >= kDescriptorSize) {
        io::ReadAt(piece, extent.header, sizeof extent.header, 0);
    }
    extent.dataOffset = kDescriptorSize;
    extent.dataLength = CheckPieceHeader(extent.header, extent.fileSize, piece.path());
    return extent;
}

void CheckSetLength(const SetToMerge& set, const std::vector<PieceExtent>& extents,
                    std::int64_t total, bool checked) {
    // Every split cuts pieces of one size and a last one of at least a byte and at most that.
    auto shapeOfASplit = [&] {
        const std::int64_t size = extents.front().dataLength;
        return std::all_of(extents.begin(), extents.end() - 1,
                           [&](const PieceExtent& piece) { return piece.dataLength == size; }) &&
               extents.back().dataLength >= 1 && extents.back().dataLength <= size;
    };
    if (set.kind == SetToMerge::Kind::WithoutListFile && !checked && !shapeOfASplit()) {
        // Pieces of two splits side by side: without a list file nothing else tells them apart.
        Throw(Failure::NotOneSplit, set.pieces.front());
    }
    if (set.kind != SetToMerge::Kind::ListFile) {
        return;
    }
    // The pieces' data must add up to the source's length as the list file records it: pieces
    // of another split, or a split that failed halfway, would otherwise merge into a wrong file.
    // A source of 2 GiB and more records the largest value the field holds; then the pieces
    // must hold at least that much and have the shape of one split.
    const std::int32_t recorded = set.list->record.SourceLength;
    constexpr std::int32_t kSaturated = std::numeric_limits<std::int32_t>::max();
    if (recorded < kSaturated ? total != recorded : total < kSaturated || !shapeOfASplit()) {
        Throw(Fault{Failure::SetLengthMismatch,
                    {{Role::Named, set.list->file.path(), 0}},
                    {total, recorded},
                    0,
                    Failure::Unexpected});
    }
}

void ThrowChecksumFailure(Failure failure, const std::string& file,
                          const std::string& checksumFile) {
    Throw(Fault{failure,
                {{Role::Named, file, 0}, {Role::ChecksumList, checksumFile, 0}},
                {},
                0,
                Failure::Unexpected});
}

}  // namespace Module1
