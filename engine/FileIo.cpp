// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileIo.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "Messages.h"
#include "Module1.h"
#include "Text.h"

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

}  // namespace

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PathOf(const std::u16string& text) {
    if (text.find(u'\0') != std::u16string::npos) {
        std::u16string shown = text;
        std::replace(shown.begin(), shown.end(), u'\0', u'\u2400');  // the symbol for NUL
        Throw(Failure::NulInName, text::ToUtf8(shown));
    }
    return text::ToUtf8(text);
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
int OpenRaw(const std::string& path, int flags, mode_t mode, int folder = AT_FDCWD) {
    int fd;
    do {
        fd = Sys(Step::Open,
                 [&] { return ::openat(folder, path.c_str(), flags | O_CLOEXEC, mode); });
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Opens a regular file without blocking: O_NONBLOCK keeps a FIFO that slipped in after the
// check from waiting for its other end, and the descriptor's own type decides.
File OpenRegular(const std::string& path, int flags, mode_t mode) {
    CheckRegularOrAbsent(path);
    const int fd = OpenRaw(path, flags | O_NONBLOCK | O_NOCTTY, mode);
    if (fd < 0) {
        Fail(errno, path);
    }
    File file(fd, path);
    if (!S_ISREG(Stat(file).st_mode)) {
        Throw(Failure::NotRegularFile, path);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return file;
}

}  // namespace

File OpenForReading(const std::string& path) {
    File file = OpenRegular(path, O_RDONLY, 0);
    ::posix_fadvise(file.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return file;
}

File OpenForWriting(const std::string& path) {
    return OpenRegular(path, O_WRONLY | O_CREAT, 0666);
}

void CheckRegularOrAbsent(const std::string& path) {
    const std::optional<struct stat> link = LinkStat(path);
    if (!link) {
        return;
    }
    const std::optional<struct stat> info = S_ISLNK(link->st_mode) ? StatIfPresent(path) : link;
    if (info && S_ISDIR(info->st_mode)) {
        Throw(Failure::PathAccess, path);
    }
    if (info && !S_ISREG(info->st_mode)) {
        Throw(Failure::NotRegularFile, path);
    }
}

long NameLimit(const std::string& folder) {
    errno = 0;
    const long limit =
        Sys(Step::NameLimit, [&] { return ::pathconf(folder.c_str(), _PC_NAME_MAX); });
    if (limit < 0) {
        if (errno != 0) {
            Fail(errno, folder);
        }
        return NAME_MAX;  // no limit of its own
    }
    return limit;
}

void CheckNameFits(const std::string& path, long nameLimit) {
    if (path.size() >= PATH_MAX || static_cast<long>(NameOf(path).size()) > nameLimit) {
        Fail(ENAMETOOLONG, path);
    }
}

bool TryLock(const File& file) {
    int result;
    do {
        result = Sys(Step::Lock, [&] { return ::flock(file.fd(), LOCK_EX | LOCK_NB); });
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        return true;
    }
    if (errno == EWOULDBLOCK) {
        return false;
    }
    if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS) {
        return true;  // the file system offers no locks: go on without one
    }
    Fail(errno, file.path());
}

namespace {

// A stat or lstat of path; empty when nothing is there.
template <typename Call>
std::optional<struct stat> StatOf(Step step, const std::string& path, Call call) {
    struct stat info {};
    if (Sys(step, [&] { return call(path.c_str(), &info); }) != 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        Fail(errno, path);
    }
    return info;
}

}  // namespace

std::optional<struct stat> LinkStat(const std::string& path) {
    return StatOf(Step::LinkStat, path, ::lstat);
}

std::optional<struct stat> StatIfPresent(const std::string& path) {
    return StatOf(Step::Stat, path, ::stat);
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
    // Writes go in 128 KiB slices, as cat writes. Larger writes have the kernel fill its page
    // cache with larger blocks of fresh memory, which ran several times slower on ext4 here
    // (Linux 6.18): a 2 GiB split took 3.2-4.1 s in 256 KiB writes and 1.6-2.6 s in 128 KiB
    // ones. Large reads cost nothing extra, so only writes go in slices.
    constexpr std::size_t kWriteSlice = 128 << 10;
    const auto* in = static_cast<const char*>(buffer);
    while (size > 0) {
        const std::size_t slice = std::min(size, kWriteSlice);
        const ssize_t put =
            Sys(Step::Write, [&] { return ::pwrite(file.fd(), in, slice, offset); });
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

void ReadRange(const File& file, std::int64_t offset, std::int64_t count,
               std::vector<std::uint8_t>& buffer,
               const std::function<void(const std::uint8_t*, std::size_t)>& onBytes) {
    while (count > 0) {
        const auto chunk = static_cast<std::size_t>(
            std::min<std::int64_t>(count, static_cast<std::int64_t>(buffer.size())));
        ReadAt(file, buffer.data(), chunk, offset);
        onBytes(buffer.data(), chunk);
        offset += static_cast<std::int64_t>(chunk);
        count -= static_cast<std::int64_t>(chunk);
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

bool OnRotationalDisk(const File& file) {
    // A read of the kernel's description of the disk, not of a user's file: not a step.
    struct stat info {};
    if (::fstat(file.fd(), &info) != 0) {
        return false;
    }
    const std::string device = "/sys/dev/block/" + std::to_string(major(info.st_dev)) + ":" +
                               std::to_string(minor(info.st_dev));
    // A partition has no queue of its own; its disk, one folder up, has.
    for (const char* queue : {"/queue/rotational", "/../queue/rotational"}) {
        if (FILE* flag = std::fopen((device + queue).c_str(), "re")) {
            const int first = std::fgetc(flag);
            std::fclose(flag);
            return first == '1';
        }
    }
    return false;
}

void Flush(const File& file) {
    if (Sys(Step::Flush, [&] { return ::fsync(file.fd()); }) != 0) {
        Fail(errno, file.path());
    }
}

void StartWriteback(const File& file, std::int64_t offset, std::int64_t count) noexcept {
    ::sync_file_range(file.fd(), offset, count, SYNC_FILE_RANGE_WRITE);
}

void RemoveQuietly(const std::string& path) noexcept {
    ::unlink(path.c_str());
}

namespace {

// A name of the form ".<target name>.<8 hex>.part", so a user can tell what a leftover is.
// The target's name is shortened as far as the folder's longest name requires.
std::string TemporaryName(const std::string& targetName, long nameLimit, unsigned long long& seed) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    char suffix[9];
    std::snprintf(suffix, sizeof suffix, "%08llx", (seed >> 24) & 0xFFFFFFFFULL);
    const auto room = static_cast<std::size_t>(std::max(1L, nameLimit - 15));
    std::string name = ".";
    name.append(targetName, 0, room).append(".").append(suffix).append(".part");
    return name;
}

// Gives the new file the old one's owner and group where the process may, and its
// permissions without the setuid, setgid and sticky bits, which must not pass to new data.
void TakeOwnerAndMode(const File& file, const struct stat& old) {
    if (Sys(Step::Chown, [&] { return ::fchown(file.fd(), old.st_uid, old.st_gid); }) != 0) {
        if (errno != EPERM) {
            Fail(errno, file.path());
        }
        // Not allowed to give the file away: the group alone, when we belong to it.
        ::fchown(file.fd(), static_cast<uid_t>(-1), old.st_gid);
    }
    if (Sys(Step::Chmod, [&] { return ::fchmod(file.fd(), old.st_mode & 0777); }) != 0) {
        Fail(errno, file.path());
    }
}

}  // namespace

Replacement::Replacement(const std::string& target, const std::string& displayName)
    : targetName_(NameOf(target)) {
    const std::string folder = FolderOf(target);
    const int folderFd = OpenRaw(folder, O_RDONLY | O_DIRECTORY, 0);
    if (folderFd < 0) {
        Fail(errno, displayName);  // a missing folder reads "path not found" for the output
    }
    folder_ = File(folderFd, folder);
    const std::optional<struct stat> old = StatIfPresent(target);
    const long nameLimit = NameLimit(folder);
    auto seed = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^
        (static_cast<unsigned long long>(::getpid()) << 16));
    for (int attempt = 0; attempt < 100 && file_.fd() < 0; ++attempt) {
        std::string name = TemporaryName(targetName_, nameLimit, seed);
        const int fd = OpenRaw(name, O_WRONLY | O_CREAT | O_EXCL, 0666, folder_.fd());
        if (fd >= 0) {
            temporaryName_ = std::move(name);
            file_ = File(fd, displayName);
        } else if (errno != EEXIST) {
            Fail(errno, displayName);
        }
    }
    if (file_.fd() < 0) {
        Throw(Failure::FileExists, displayName);
    }
    try {
        if (old && S_ISREG(old->st_mode)) {
            TakeOwnerAndMode(file_, *old);
        }
    } catch (...) {
        Discard();
        throw;
    }
}

Replacement::~Replacement() {
    if (!committed_) {
        Discard();
    }
}

void Replacement::Discard() noexcept {
    file_ = File();
    ::unlinkat(folder_.fd(), temporaryName_.c_str(), 0);
}

void Replacement::Commit() {
    Flush(file_);
    file_.Close();
    if (Sys(Step::Rename, [&] {
            return ::renameat(folder_.fd(), temporaryName_.c_str(), folder_.fd(),
                              targetName_.c_str());
        }) != 0) {
        Fail(errno, file_.path());
    }
    committed_ = true;
    // Makes the rename itself durable. Best effort: some file systems cannot sync a folder,
    // and the data is already safe.
    ::fsync(folder_.fd());
}

FileSizeSignalGuard::FileSizeSignalGuard() {
    sigset_t fileSize, old;
    sigemptyset(&fileSize);
    sigaddset(&fileSize, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &fileSize, &old);
    wasBlocked_ = sigismember(&old, SIGXFSZ) == 1;
}

FileSizeSignalGuard::~FileSizeSignalGuard() {
    if (wasBlocked_) {
        return;
    }
    sigset_t fileSize, pending;
    sigemptyset(&fileSize);
    sigaddset(&fileSize, SIGXFSZ);
    // A write past the limit left the signal pending here: take it before unblocking.
    const timespec now{0, 0};
    while (sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ) == 1 &&
           sigtimedwait(&fileSize, nullptr, &now) == SIGXFSZ) {
    }
    pthread_sigmask(SIG_UNBLOCK, &fileSize, nullptr);
}

}  // namespace Module1::io
