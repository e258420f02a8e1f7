// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's one seam to the file system. Every call that opens, reads, writes, copies,
// flushes, renames, closes, changes or looks up a file goes through here as a Step, so a test
// can make any single step fail; a failure becomes one EngineError with a Chinese description
// naming the file. Calls that only advise the kernel (read-ahead, early writeback) or tidy up
// after a failure (removing our own temporary file, syncing a folder) are not steps: their
// failure changes nothing the user relies on.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Module1::io {

enum class Step {
    Open,
    Read,
    Write,
    Copy,
    Flush,
    Rename,
    Stat,
    LinkStat,
    Resolve,
    Chmod,
    Chown,
    Close,
    Lock,
    NameLimit,
};

// When set, called before each step; a non-zero result fails that step with it as errno,
// in place of the system call. For tests; one relaxed load per step otherwise.
using FaultHook = int (*)(Step);
void SetFaultHook(FaultHook hook);

// The folder that holds path: "." for a bare name, "/" for a name at the root.
std::string FolderOf(const std::string& path);
// The last element of path.
std::string NameOf(const std::string& path);

// A path as the file system takes it: UTF-8. A text holding U+0000 names no file (the system
// would cut it there and reach another one), so it is refused, naming the text.
std::string PathOf(const std::u16string& text);

// Throws EngineError "description：path" for a system error number. ENOENT under a missing
// folder reads "路径未找到".
[[noreturn]] void Fail(int error, const std::string& path);

class File {
  public:
    File() = default;
    File(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    void Close();  // throws when the close reports a write error

  private:
    int fd_ = -1;
    std::string path_;
};

// Opening never blocks and never reaches a device: a FIFO, socket or device node (or a link to
// one) is refused as "not a regular file" before anything is read or written.
File OpenForReading(const std::string& path);
// Opens for writing, creating the file when missing and never truncating it.
File OpenForWriting(const std::string& path);

// Throws unless path is absent or a regular file, or a symbolic link to one.
void CheckRegularOrAbsent(const std::string& path);
// Throws "文件名太长" unless a file of this name can be created in its folder, whose longest
// name is nameLimit bytes (see NameLimit).
void CheckNameFits(const std::string& path, long nameLimit);
long NameLimit(const std::string& folder);

// Takes an advisory lock on the whole file for as long as it stays open; false when another
// open file holds one. A file system without locks counts as locked by us.
bool TryLock(const File& file);

struct stat Stat(const File& file);
// Does not follow a symbolic link; empty when nothing is there, throws on any other failure.
std::optional<struct stat> LinkStat(const std::string& path);
// Follows symbolic links; empty when nothing is there (or a link dangles).
std::optional<struct stat> StatIfPresent(const std::string& path);
// The absolute path with every symbolic link resolved (realpath).
std::string Resolve(const std::string& path);

// Reads exactly size bytes at offset; a file that ends first is "输入超出文件尾".
void ReadAt(const File& file, void* buffer, std::size_t size, std::int64_t offset);
void WriteAt(const File& file, const void* buffer, std::size_t size, std::int64_t offset);
// Reads count bytes from offset through buffer (which must not be empty), handing each chunk
// to onBytes.
void ReadRange(const File& file, std::int64_t offset, std::int64_t count,
               std::vector<std::uint8_t>& buffer,
               const std::function<void(const std::uint8_t*, std::size_t)>& onBytes);

// Copies byte ranges between files in the kernel, or through one buffer of its own (allocated
// on first use) where the kernel cannot copy between them. One copier per thread. Measured
// here: one stream copies faster in the kernel than through a buffer even where a piece's
// data (at byte 10) makes the kernel go page by page.
class Copier {
  public:
    static constexpr std::size_t kBufferSize = 8 << 20;

    // onChunk, when set, receives the bytes copied by each step.
    void Copy(const File& from, std::int64_t fromOffset, const File& to, std::int64_t toOffset,
              std::int64_t count, const std::function<void(std::int64_t)>& onChunk);

  private:
    void CopyThroughBuffer(const File& from, std::int64_t fromOffset, const File& to,
                           std::int64_t toOffset, std::int64_t count,
                           const std::function<void(std::int64_t)>& onChunk);
    std::vector<char> buffer_;
};

// True when the file lies on a rotational disk, where two streams reading at once make the
// head seek. False when the system does not say.
bool OnRotationalDisk(const File& file);

void Flush(const File& file);  // fsync
// Starts writing a range to disk without waiting, so a later Flush has less left to do.
void StartWriteback(const File& file, std::int64_t offset, std::int64_t count) noexcept;
// Removes a file we created; failures are ignored because it only tidies up.
void RemoveQuietly(const std::string& path) noexcept;

// A new file that takes the place of target only on Commit: it is written as a temporary
// ".<name>.<8 hex>.part" in the target's folder, flushed, and renamed over the target, so a
// failure at any step leaves the old file exactly as it was. It works relative to the open
// folder, so any target that can exist can be replaced. A replaced file's owner and group are
// kept where the process may set them, and its permissions without setuid, setgid or sticky.
// Destroyed uncommitted, it removes the temporary. Errors name displayName.
class Replacement {
  public:
    Replacement(const std::string& target, const std::string& displayName);
    ~Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    const File& file() const { return file_; }
    void Commit();

  private:
    void Discard() noexcept;  // closes and removes the temporary

    File folder_;
    std::string targetName_;
    std::string temporaryName_;
    File file_;
    bool committed_ = false;
};

// While it lives, a write past the process's file-size limit fails with EFBIG ("文件太大")
// on this thread and on threads it starts, instead of killing the process with SIGXFSZ. The
// caller's signal mask is given back as it was, with no such signal left pending.
class FileSizeSignalGuard {
  public:
    FileSizeSignalGuard();
    ~FileSizeSignalGuard();
    FileSizeSignalGuard(const FileSizeSignalGuard&) = delete;
    FileSizeSignalGuard& operator=(const FileSizeSignalGuard&) = delete;

  private:
    bool wasBlocked_ = false;
};

}  // namespace Module1::io
