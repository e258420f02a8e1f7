#include "FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include "Messages.h"
#include "Module1.h"

namespace Module1::io {
namespace {

std::atomic<FaultHook> g_faultHook{nullptr};

// Makes the system call, unless the fault hook fails this step: then it returns -1 with the
// hook's errno, so an injected fault takes exactly the path a real one would.
template <typename Call>
auto Sys(Step step, Call call) -> decltype(call()) {
    if (const FaultHook hook = g_faultHook.load(std::memory_order_relaxed)) {
        if (const int error = hook(step)) {
            errno = error;
            return -1;
        }
    }
    return call();
}

constexpr std::int64_t kKernelChunk = 16 << 20;  // per copy_file_range call, for progress

constexpr std::int64_t kPageSize = 4096;

}  // namespace

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

void SetFaultHook(FaultHook hook) {
    g_faultHook.store(hook);
}

void Fail(int error, const std::string& path) {
    if (error == ENOENT) {
        struct stat info {};
        if (Sys(Step::Stat, [&] { return ::stat(FolderOf(path).c_str(), &info); }) != 0 ||
            !S_ISDIR(info.st_mode)) {
            error = ENOTDIR;  // the folder itself is missing
        }
    }
    ThrowText(SystemErrorText(error), path);
}

File::File(File&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

File::~File() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void File::Close() {
    if (fd_ < 0) {
        return;
    }
    // The descriptor is released even when a test fails this step.
    const int closed = ::close(std::exchange(fd_, -1));
    const int error = closed != 0 ? errno : 0;
    if (Sys(Step::Close,
            [&] {
                errno = error;
                return closed;
            }) != 0 &&
        errno != EINTR) {
        Fail(errno, path_);
    }
}

namespace {

// Returns -1 with errno set when the open fails.
int OpenRaw(const std::string& path, int flags, mode_t mode) {
    int fd;
    do {
        fd = Sys(Step::Open, [&] { return ::open(path.c_str(), flags | O_CLOEXEC, mode); });
    } while (fd < 0 && errno == EINTR);
    return fd;
}

File Open(const std::string& path, int flags, mode_t mode) {
    const int fd = OpenRaw(path, flags, mode);
    if (fd < 0) {
        Fail(errno, path);
    }
    return File(fd, path);
}

}  // namespace

File OpenForReading(const std::string& path) {
    File file = Open(path, O_RDONLY, 0);
    ::posix_fadvise(file.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return file;
}

File OpenForWriting(const std::string& path) {
    return Open(path, O_WRONLY | O_CREAT, 0666);
}

std::optional<File> CreateNew(const std::string& path, mode_t mode,
                              const std::string& displayName) {
    const int fd = OpenRaw(path, O_WRONLY | O_CREAT | O_EXCL, mode);
    if (fd < 0) {
        if (errno == EEXIST) {
            return std::nullopt;
        }
        Fail(errno, displayName);
    }
    return File(fd, displayName);
}

struct stat Stat(const std::string& path) {
    struct stat info {};
    if (Sys(Step::Stat, [&] { return ::stat(path.c_str(), &info); }) != 0) {
        Fail(errno, path);
    }
    return info;
}

std::optional<struct stat> LinkStat(const std::string& path) {
    struct stat info {};
    if (Sys(Step::LinkStat, [&] { return ::lstat(path.c_str(), &info); }) != 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        Fail(errno, path);
    }
    return info;
}

std::string Resolve(const std::string& path) {
    char* resolved = nullptr;
    if (Sys(Step::Resolve, [&] {
            resolved = ::realpath(path.c_str(), nullptr);
            return resolved ? 0 : -1;
        }) != 0) {
        Fail(errno, path);
    }
    std::string result(resolved);
    std::free(resolved);
    return result;
}

struct stat Stat(const File& file) {
    struct stat info {};
    if (Sys(Step::Stat, [&] { return ::fstat(file.fd(), &info); }) != 0) {
        Fail(errno, file.path());
    }
    return info;
}

void ReadAt(const File& file, void* buffer, std::size_t size, std::int64_t offset) {
    auto* out = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t got = Sys(Step::Read, [&] { return ::pread(file.fd(), out, size, offset); });
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail(errno, file.path());
        }
        if (got == 0) {
            Throw(Failure::PastEndOfFile, file.path());
        }
        out += got;
        size -= static_cast<std::size_t>(got);
        offset += got;
    }
}

void WriteAt(const File& file, const void* buffer, std::size_t size, std::int64_t offset) {
    const auto* in = static_cast<const char*>(buffer);
    while (size > 0) {
        const ssize_t put = Sys(Step::Write, [&] { return ::pwrite(file.fd(), in, size, offset); });
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail(errno, file.path());
        }
        in += put;
        size -= static_cast<std::size_t>(put);
        offset += put;
    }
}

void Copier::CopyThroughBuffer(const File& from, std::int64_t fromOffset, const File& to,
                               std::int64_t toOffset, std::int64_t count,
                               const std::function<void(std::int64_t)>& onChunk) {
    if (buffer_.empty()) {
        buffer_.resize(kBufferSize);
    }
    while (count > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(count, kBufferSize));
        ReadAt(from, buffer_.data(), chunk, fromOffset);
        WriteAt(to, buffer_.data(), chunk, toOffset);
        fromOffset += static_cast<std::int64_t>(chunk);
        toOffset += static_cast<std::int64_t>(chunk);
        count -= static_cast<std::int64_t>(chunk);
        if (onChunk) {
            onChunk(static_cast<std::int64_t>(chunk));
        }
    }
}

void Copier::Copy(const File& from, std::int64_t fromOffset, const File& to, std::int64_t toOffset,
                  std::int64_t count, const std::function<void(std::int64_t)>& onChunk) {
    if (misaligned_ == Misaligned::ThroughBuffer && (fromOffset - toOffset) % kPageSize != 0) {
        CopyThroughBuffer(from, fromOffset, to, toOffset, count, onChunk);
        return;
    }
    while (count > 0) {
        loff_t in = fromOffset;
        loff_t out = toOffset;
        const ssize_t copied = Sys(Step::Copy, [&] {
            return ::copy_file_range(from.fd(), &in, to.fd(), &out,
                                     static_cast<std::size_t>(std::min(count, kKernelChunk)), 0);
        });
        if (copied < 0) {
            const int error = errno;
            if (error == EINTR) {
                continue;
            }
            if (error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
                error == EBADF) {
                CopyThroughBuffer(from, fromOffset, to, toOffset, count, onChunk);
                return;
            }
            // Tell a read failure from a write failure by the file it concerns.
            Fail(error, error == EIO || error == ENOSPC || error == EDQUOT || error == EFBIG
                            ? to.path()
                            : from.path());
        }
        if (copied == 0) {
            Throw(Failure::PastEndOfFile, from.path());
        }
        fromOffset += copied;
        toOffset += copied;
        count -= copied;
        if (onChunk) {
            onChunk(copied);
        }
    }
}

void Flush(const File& file) {
    if (Sys(Step::Flush, [&] { return ::fsync(file.fd()); }) != 0) {
        Fail(errno, file.path());
    }
}

void StartWriteback(const File& file, std::int64_t offset, std::int64_t count) noexcept {
    ::sync_file_range(file.fd(), offset, count, SYNC_FILE_RANGE_WRITE);
}

void FlushFolder(const std::string& folder) {
    // Best effort: some file systems cannot sync a folder, and the data is already safe.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void Rename(const std::string& from, const std::string& to) {
    if (Sys(Step::Rename, [&] { return ::rename(from.c_str(), to.c_str()); }) != 0) {
        Fail(errno, to);
    }
}

void Chmod(const File& file, mode_t mode) {
    if (Sys(Step::Chmod, [&] { return ::fchmod(file.fd(), mode); }) != 0) {
        Fail(errno, file.path());
    }
}

void RemoveQuietly(const std::string& path) noexcept {
    ::unlink(path.c_str());
}

}  // namespace Module1::io
