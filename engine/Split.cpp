// SplitFile: source -> pieces -> list file.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <thread>

#include "FileIo.h"
#include "Formats.h"
#include "Messages.h"
#include "Text.h"

namespace Module1 {
namespace {

// Pieces are independent files, so two workers writing at once go past one stream.
constexpr int kWorkers = 2;

// n = ceil(L / S) in the form older copies compute it: the double quotient rounded to a
// 16-bit integer (ties to even), plus one when the quotient lies above the rounded value.
std::int16_t CountPieces(std::int64_t sourceLength, std::int32_t pieceSize) {
    if (pieceSize == 0) {
        Throw(Failure::PieceSizeZero);
    }
    const double quotient = static_cast<double>(sourceLength) / pieceSize;
    if (!(quotient < 32767.5) || quotient < -32768.5) {
        Throw(Failure::TooManyPieces);
    }
    double rounded = std::nearbyint(quotient);
    if (quotient > rounded) {
        if (rounded == 32767) {
            Throw(Failure::TooManyPieces);
        }
        rounded += 1;
    }
    if (rounded < 1) {
        Throw(Failure::PieceSizeNotPositive);
    }
    return static_cast<std::int16_t>(rounded);
}

// Shares progress among the workers and reports it one call at a time.
class ProgressCounter {
  public:
    ProgressCounter(const Progress& progress, std::int64_t total)
        : progress_(progress), total_(total) {}

    void Add(std::int64_t bytes) {
        if (!progress_) {
            return;
        }
        std::lock_guard lock(mutex_);
        done_ += bytes;
        progress_(done_, total_);
    }

  private:
    const Progress& progress_;
    std::int64_t total_;
    std::int64_t done_ = 0;
    std::mutex mutex_;
};

struct SplitPlan {
    std::u16string sourcePath;
    std::int32_t firstNumber;
    std::int32_t pieceSize;
    std::int64_t sourceLength;
    std::int16_t pieceCount;
};

// Writes piece k: descriptor, data copied from the source, trailing Length. The file is
// written from its first byte and not truncated.
void WritePiece(const SplitPlan& plan, const io::File& source, std::int32_t k, io::Copier& copier,
                ProgressCounter& counter) {
    const std::int64_t offset = std::int64_t{k - 1} * plan.pieceSize;
    const auto count = static_cast<std::int32_t>(k < plan.pieceCount ? plan.pieceSize
                                                                     : plan.sourceLength - offset);
    io::File piece =
        io::OpenForWriting(text::ToUtf8(PieceName(plan.sourcePath, plan.firstNumber, k)));
    const std::vector<std::uint8_t> descriptor =
        EncodeDescriptor(static_cast<std::uint32_t>(count));
    io::WriteAt(piece, descriptor.data(), descriptor.size(), 0);
    copier.Copy(source, offset, piece, kDescriptorSize, count,
                [&](std::int64_t bytes) { counter.Add(bytes); });
    const std::vector<std::uint8_t> trailer = EncodeTrailer(count);
    io::WriteAt(piece, trailer.data(), trailer.size(), kDescriptorSize + count);
    piece.Close();
}

// Workers take pieces by index until all are written or one fails; the first failure is
// rethrown once every worker has stopped.
void WriteAllPieces(const SplitPlan& plan, const io::File& source, ProgressCounter& counter) {
    std::atomic<std::int32_t> next{1};
    std::atomic<bool> failed{false};
    std::exception_ptr firstError;
    std::mutex errorMutex;

    auto work = [&]() noexcept {
        io::Copier copier(io::Copier::Misaligned::ThroughBuffer);
        for (std::int32_t k = next++; k <= plan.pieceCount && !failed; k = next++) {
            try {
                WritePiece(plan, source, k, copier, counter);
            } catch (...) {
                std::lock_guard lock(errorMutex);
                if (!firstError) {
                    firstError = std::current_exception();
                }
                failed = true;
            }
        }
    };

    std::vector<std::jthread> helpers;
    for (int i = 1; i < std::min<int>(kWorkers, plan.pieceCount); ++i) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // no thread to be had: the calling thread does the work alone
        }
    }
    work();
    helpers.clear();  // joins
    if (firstError) {
        std::rethrow_exception(firstError);
    }
}

// Every name the split will write must be free for a regular file and fit the folder, and the
// list record must encode, before the first piece is written: a run bound to fail on a name
// leaves nothing behind.
void CheckNames(const SplitPlan& plan, const std::string& listPath) {
    const long nameLimit = io::NameLimit(io::FolderOf(listPath));
    for (std::int32_t k = 1; k <= plan.pieceCount; ++k) {
        const std::string piece = text::ToUtf8(PieceName(plan.sourcePath, plan.firstNumber, k));
        io::CheckNameFits(piece, nameLimit);
        io::CheckRegularOrAbsent(piece);
    }
    io::CheckNameFits(listPath, nameLimit);
    io::CheckRegularOrAbsent(listPath);
    EncodeListRecord({0, plan.sourcePath, plan.pieceCount, plan.firstNumber});
}

void Split(const SplitPlan& plan, const io::File& source, const Progress& progress) {
    const std::string listPath = text::ToUtf8(ListFileName(plan.sourcePath));
    CheckNames(plan, listPath);

    ProgressCounter counter(progress, plan.sourceLength);
    WriteAllPieces(plan, source, counter);

    // Sources of 2 GiB and more store the largest value SourceLength holds.
    const ListRecord list{static_cast<std::int32_t>(std::min<std::int64_t>(
                              plan.sourceLength, std::numeric_limits<std::int32_t>::max())),
                          plan.sourcePath, plan.pieceCount, plan.firstNumber};
    const std::vector<std::uint8_t> record = EncodeListRecord(list);
    const bool listExisted = io::LinkStat(listPath).has_value();
    try {
        io::File listFile = io::OpenForWriting(listPath);
        io::WriteAt(listFile, record.data(), record.size(), 0);
        listFile.Close();
    } catch (...) {
        if (!listExisted) {
            io::RemoveQuietly(listPath);  // a half-written new list file must not look valid
        }
        throw;
    }
}

}  // namespace

bool SplitFile(const std::u16string& sourcePath, std::int32_t firstNumber, std::u16string& message,
               std::int32_t pieceSize) {
    return SplitFile(sourcePath, firstNumber, message, pieceSize, Progress{});
}

bool SplitFile(const std::u16string& sourcePath, std::int32_t firstNumber, std::u16string& message,
               std::int32_t pieceSize, const Progress& progress) {
    try {
        const io::FileSizeSignalGuard fileSizeLimitFailsTheWrite;
        const io::File source = io::OpenForReading(io::PathOf(sourcePath));
        if (pieceSize == std::numeric_limits<std::int32_t>::max()) {
            Throw(Failure::PieceSizeOutOfRange);
        }
        const std::int64_t sourceLength = io::Stat(source).st_size;
        if (sourceLength <= std::int64_t{pieceSize} + 1) {
            message = text::FromUtf8(Text(Failure::SourceTooSmall));
            return false;
        }
        const SplitPlan plan{sourcePath, firstNumber, pieceSize, sourceLength,
                             CountPieces(sourceLength, pieceSize)};
        Split(plan, source, progress);
        return true;
    } catch (...) {
        message = FailureText(std::current_exception());
    }
    return false;
}

}  // namespace Module1
