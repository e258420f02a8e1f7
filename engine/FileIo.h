// The engine's one seam to the file system. Every call that opens, reads, writes, copies,
// flushes, renames, closes, changes or looks up a file goes through here as a Step, so a test
// can make any single step fail; a failure becomes one EngineError with a Chinese description
// naming the file. Calls that only advise the kernel (read-ahead, early writeback) or tidy up
// after a failure (removing our own temporary file, syncing a folder) are not steps: their
// failure changes nothing the user relies on.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Module1::io {

enum class Step { Open, Read, Write, Copy, Flush, Rename, Stat, LinkStat, Resolve, Chmod, Close };

// When set, called before each step; a non-zero result fails that step with it as errno,
// in place of the system call. For tests; one relaxed load per step otherwise.
using FaultHook = int (*)(Step);
void SetFaultHook(FaultHook hook);

// The folder that holds path: "." for a bare name, "/" for a name at the root.
std::string FolderOf(const std::string& path);

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

File OpenForReading(const std::string& path);
// Opens for writing, creating the file when missing and never truncating it.
File OpenForWriting(const std::string& path);
// Creates a new file that must not exist yet (mode before the umask); empty when the name is
// taken. Errors name displayName, the file the user knows about.
std::optional<File> CreateNew(const std::string& path, mode_t mode, const std::string& displayName);

struct stat Stat(const std::string& path);  // follows symbolic links
struct stat Stat(const File& file);
// Does not follow a symbolic link; empty when nothing is there, throws on any other failure.
std::optional<struct stat> LinkStat(const std::string& path);
// The absolute path with every symbolic link resolved (realpath).
std::string Resolve(const std::string& path);

// Reads exactly size bytes at offset; a file that ends first is "输入超出文件尾".
void ReadAt(const File& file, void* buffer, std::size_t size, std::int64_t offset);
void WriteAt(const File& file, const void* buffer, std::size_t size, std::int64_t offset);

// Copies byte ranges between files, in the kernel or through one buffer of its own (allocated
// on first use). One copier per thread.
class Copier {
  public:
    static constexpr std::size_t kBufferSize = 8 << 20;

    // Where the two offsets do not sit alike within a page (a piece's data starts at byte 10)
    // the kernel goes page by page. Measured here: one stream is still faster in the kernel
    // than through a buffer, but two streams at once are faster through buffers.
    enum class Misaligned { InKernel, ThroughBuffer };
    explicit Copier(Misaligned misaligned) : misaligned_(misaligned) {}

    // onChunk, when set, receives the bytes copied by each step.
    void Copy(const File& from, std::int64_t fromOffset, const File& to, std::int64_t toOffset,
              std::int64_t count, const std::function<void(std::int64_t)>& onChunk);

  private:
    void CopyThroughBuffer(const File& from, std::int64_t fromOffset, const File& to,
                           std::int64_t toOffset, std::int64_t count,
                           const std::function<void(std::int64_t)>& onChunk);
    Misaligned misaligned_;
    std::vector<char> buffer_;
};

void Flush(const File& file);  // fsync
// Starts writing a range to disk without waiting, so a later Flush has less left to do.
void StartWriteback(const File& file, std::int64_t offset, std::int64_t count) noexcept;
void FlushFolder(const std::string& folder);
void Rename(const std::string& from, const std::string& to);
void Chmod(const File& file, mode_t mode);
// Removes a file we created; failures are ignored because it only tidies up.
void RemoveQuietly(const std::string& path) noexcept;

}  // namespace Module1::io
