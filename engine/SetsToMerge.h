// SPDX-License-Identifier: GPL-3.0-or-later
// What a merge is given and what it finds from it, whichever of three kinds the set is:
//   - a list file, and the pieces its record implies (checked against the list's checksums);
//   - a piece of a set of ours whose list file was lost, and the pieces the names beside it and
//     their headers lead to (checked against the checksum list where it survived);
//   - a file of a numbered set another splitter wrote (X.001, X.002, …: raw bytes, no header),
//     and the numbers beside it (checked against an SFV, md5sum or sha256sum file by its name).
// Each kind gives the merge the same: the pieces in order, where each one's data lies, what
// vouches for them, and the names no output may take.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Digests.h"
#include "FileIo.h"
#include "Formats.h"
#include "Module1.h"
#include "SetNames.h"

namespace Module1 {

struct ListFile {
    ListRecord record;
    io::FileInfo info;
    io::File file;  // kept open, so that the file checked is the file read
};

// A piece file as the merge found it: which file it is, its size and last change, and where its
// data lies (after the descriptor of a piece of ours, from the first byte of a raw one).
struct PieceExtent {
    io::FileId id;
    std::int64_t fileSize = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t dataOffset = 0;
    std::int64_t dataLength = 0;
    std::uint8_t header[kDescriptorSize] = {};  // a piece of ours: its descriptor
};

// What a set's checksum list or file says: a digest for each piece, in order, and for the list
// file where it has one.
struct Checksums {
    std::string path;
    DigestKind kind = DigestKind::Sha256;
    std::vector<std::vector<std::uint8_t>> pieces;
    std::vector<std::uint8_t> listFile;  // empty: the list file is not checked
};

struct SetToMerge {
    enum class Kind { ListFile, WithoutListFile, Numbered };
    Kind kind = Kind::ListFile;
    std::vector<std::string> pieces;    // in the order their data is joined
    std::vector<std::string> ownFiles;  // the list file, checksum list or file: never an output
    std::optional<ListFile> list;       // Kind::ListFile
    std::optional<SetNames> names;      // Kind::ListFile
    // Kind::WithoutListFile and Kind::Numbered: found with the pieces, where there is one.
    std::optional<Checksums> checksums;
};

// What path is to a merge. A list file is read; a piece or numbered file leads to its set,
// whose first missing piece, if any, fails it (PiecesMissing). Any other file is not a list file,
// and the failure says what to pick instead.
SetToMerge FindSet(const std::u16string& pathText);

// The checksum list beside a list file; empty when there is none.
std::optional<Checksums> ReadListChecksums(const SetToMerge& set);
// Throws ListFileMismatch when the list file is not the one its checksum list vouches for.
void CheckListFile(const ListFile& list, const Checksums& checksums);
// Names every piece of a list file's set that is not there at all, before any is read.
void CheckNoPieceMissing(const SetNames& names);

// Piece path as the set's kind lays it out, checked against its own header where it has one.
PieceExtent CheckPiece(const io::File& piece, SetToMerge::Kind kind);
// The pieces' data must fit what the set says of its whole: the length its list file records;
// without a list file and without checksums, the shape of one split.
void CheckSetLength(const SetToMerge& set, const std::vector<PieceExtent>& extents,
                    std::int64_t total, bool checked);

// A piece or list file that its set's checksum list or file does not vouch for.
[[noreturn]] void ThrowChecksumFailure(Failure failure, const std::string& file,
                                       const std::string& checksumFile);

}  // namespace Module1
