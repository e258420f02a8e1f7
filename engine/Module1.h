// The file splitting engine.
//
//   split:  source P  ->  pieces P.00, P.001, P.002, ...  ->  list file P.FLF (written last)
//   merge:  list file Q  ->  pieces (Q less its last four characters) + ".00", ...
//           ->  temporary file beside the output  ->  renamed over the output name
//
// Both operations stream: piece data goes from file to file through the kernel's copy or one
// bounded buffer, so memory does not grow with the file. Paths are UTF-16 in memory and UTF-8
// on disk; the only text stored in a file is the list file's source path, in code page 936.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace Module1 {

// A failure of the engine; what() is a Chinese description in UTF-8 for the user.
class EngineError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One piece in memory. On disk: a 10-byte buffer descriptor (dimension count 1, element
// count c, lower bound 1), the c data bytes, then Length repeating c.
struct PieceRecord {
    std::vector<std::uint8_t> Data;
    std::int32_t Length = 0;
};

// The 10 bytes that stand in front of a piece's data.
struct BufferDescriptor {
    std::int16_t DimensionCount = 1;
    std::uint32_t ElementCount = 0;
    std::int32_t LowerBound = 1;
};

inline constexpr std::int64_t kDescriptorSize = 10;
inline constexpr std::int64_t kTrailerSize = 4;  // the trailing Length

// The list file's record. SourceLength and SourcePath are informational: no reader uses them.
struct ListRecord {
    std::int32_t SourceLength = 0;
    std::u16string SourcePath;
    std::int16_t PieceCount = 0;
    std::int32_t FirstNumber = 0;
};

inline constexpr std::size_t kListFixedSize = 12;  // the list record less its path bytes

// Formats a piece number with the pattern "00#": 0 -> "00", 1 -> "001", 1000 -> "1000",
// -5 -> "-005".
std::u16string FormatPieceNumber(std::int32_t number);

// Name of piece k (counting from 1) of a set whose first piece bears firstNumber:
// base + "." + FormatPieceNumber(firstNumber + k - 1). Throws EngineError on overflow.
std::u16string PieceName(const std::u16string& base, std::int32_t firstNumber, std::int32_t k);

// Name of the list file of a source: P + ".FLF".
std::u16string ListFileName(const std::u16string& sourcePath);

// Base from which a reader finds the pieces: the list path less its last four UTF-16 units.
// Throws EngineError when the path is shorter than four units.
std::u16string PieceBase(const std::u16string& listPath);

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

// Reports bytes done out of bytes in all while an operation runs; may be empty.
using Progress = std::function<void(std::int64_t done, std::int64_t total)>;

// Cuts the file at sourcePath into pieces of pieceSize bytes and writes the list file.
// Returns false with message set to the reason when it fails; message is untouched on success.
bool SplitFile(const std::u16string& sourcePath, std::int32_t firstNumber, std::u16string& message,
               std::int32_t pieceSize);
bool SplitFile(const std::u16string& sourcePath, std::int32_t firstNumber, std::u16string& message,
               std::int32_t pieceSize, const Progress& progress);

// Joins the pieces named by the list file into outputName. Returns true; every failure is
// thrown as EngineError, and then a file already at outputName is left exactly as it was.
bool MergeFile(const std::u16string& listPath, const std::u16string& outputName);
bool MergeFile(const std::u16string& listPath, const std::u16string& outputName,
               const Progress& progress);

// True when name is the list file itself or one of the piece files it implies, so that a merge
// into it would replace its own input. False when the list file cannot be read.
bool NamesFileOfSet(const std::u16string& listPath, const std::u16string& name);

// The text the split refuses a file with that is not longer than one piece plus one byte.
inline constexpr char16_t kTooSmallMessage[] = u"指定的文件比需要分割的小，不需要分割！！！";

}  // namespace Module1
