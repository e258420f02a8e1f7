// SPDX-License-Identifier: GPL-3.0-or-later
// The file system seam on Linux and other POSIX systems: files. The functions follow FileIo.h,
// in the same order as in the Windows twin (engine/win32/FileIo.cpp); folders are in Folder.cpp.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <utility>

#include "FileChecks.h"
#include "FileIo.h"
#include "Messages.h"
#include "Module1.h"
#include "Paths.h"
#include "System.h"

namespace Module1::io {
namespace posix {

Failure FailureOf(int error) {
    switch (error) {
        case ENOENT: return Failure::FileNotFound;
        case ENOTDIR: return Failure::PathNotFound;
        case EACCES:
        case EPERM: return Failure::AccessDenied;
        case EROFS: return Failure::WriteProtected;
        case ENOSPC: return Failure::DiskFull;
#if defined(EDQUOT)
        case EDQUOT: return Failure::DiskFull;
#endif
        case EFBIG: return Failure::FileTooLarge;
        case ENOMEM: return Failure::OutOfMemory;
        case EISDIR: return Failure::PathAccess;
        case ENAMETOOLONG: return Failure::NameTooLong;
        case EEXIST: return Failure::FileExists;
        case EMFILE:
        case ENFILE: return Failure::TooManyOpenFiles;
        case EBUSY: return Failure::FileInUse;
#if defined(ETXTBSY)
        case ETXTBSY: return Failure::FileInUse;
#endif
        case EINTR: return Failure::Interrupted;
        case EOVERFLOW: return Failure::Overflow;
        case EIO: return Failure::DeviceIo;
        default: return Failure::SystemError;
    }
}

void Fail(int error, const std::string& path) {
    if (error == ENOENT) {
        struct stat info {};
        if (Sys(Step::Stat, [&] { return ::stat(FolderOf(path).c_str(), &info); }) != 0 ||
            !S_ISDIR(info.st_mode)) {
            error = ENOTDIR;  // the folder itself is missing
        }
    }
    const Failure failure = FailureOf(error);
    if (failure == Failure::SystemError) {
        Throw(Fault{failure, {{Role::Named, path, 0}}, {}, error, Failure::Unexpected});
    }
    Throw(failure, path);
}

FileInfo InfoOf(const struct stat& info) {
    FileInfo out;
    out.kind = S_ISREG(info.st_mode)   ? Kind::Regular
               : S_ISDIR(info.st_mode) ? Kind::Directory
               : S_ISLNK(info.st_mode) ? Kind::Link
                                       : Kind::Other;
    out.size = info.st_size;
    out.id.volume = static_cast<std::uint64_t>(info.st_dev);
    out.id.index = static_cast<std::uint64_t>(info.st_ino);
    out.modifiedNs = std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
    out.mode = info.st_mode & 07777;
    out.owner = info.st_uid;
    out.group = info.st_gid;
    return out;
}

}  // namespace posix

using namespace posix;

bool OwnedByCaller(const OwnerId& owner) {
    return owner == ::geteuid();
}

bool SameNameOnDisk(std::string_view a, std::string_view b) {
    return SameNameIgnoringCase(a, b);  // as a set may come from a disk that folds case
}

std::size_t SystemPathLength(const std::string& path) {
    return path.size();
}

bool operator==(const FileId& a, const FileId& b) {
    return a.volume == b.volume && a.index == b.index;
}

File::File() : handle_(-1) {}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (handle_ >= 0) {
            ::close(handle_);
        }
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

File::~File() {
    if (handle_ >= 0) {
        ::close(handle_);
    }
}

bool File::IsOpen() const {
    return handle_ >= 0;
}

void File::Close() {
    if (handle_ < 0) {
        return;
    }
    // The descriptor is released even when a test fails this step.
    const int closed = ::close(std::exchange(handle_, -1));
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

// Opens a regular file without blocking: O_NONBLOCK keeps a FIFO that slipped in after the
// check from waiting for its other end, and the descriptor's own type decides.
File OpenRegular(const std::string& path, int flags) {
    CheckRegularOrAbsent(path);
    const int fd = Interruptible(Step::Open, [&] {
        return ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    });
    if (fd < 0) {
        Fail(errno, path);
    }
    File file(fd, path);
    if (Stat(file).kind != Kind::Regular) {
        Throw(Failure::NotRegularFile, path);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return file;
}

}  // namespace

File OpenForReading(const std::string& path) {
    File file = OpenRegular(path, O_RDONLY);
    ::posix_fadvise(file.handle(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return file;
}

bool TryLock(const File& file) {
    if (Interruptible(Step::Lock, [&] { return ::flock(file.handle(), LOCK_EX | LOCK_NB); }) == 0) {
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

FileInfo Stat(const File& file) {
    struct stat info {};
    if (Sys(Step::Stat, [&] { return ::fstat(file.handle(), &info); }) != 0) {
        Fail(errno, file.path());
    }
    return InfoOf(info);
}

namespace {

// A stat or lstat of path; empty when nothing is there.
template <typename Call>
std::optional<FileInfo> StatOf(Step step, const std::string& path, Call call) {
    struct stat info {};
    if (Sys(step, [&] { return call(path.c_str(), &info); }) != 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        Fail(errno, path);
    }
    return InfoOf(info);
}

}  // namespace

std::optional<FileInfo> LinkStat(const std::string& path) {
    return StatOf(Step::LinkStat, path, ::lstat);
}

std::optional<FileInfo> StatIfPresent(const std::string& path) {
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

std::string WithResolvedFolder(const std::string& path) {
    // Only names are compared with what this gives, so it is not a step.
    const std::string folder = FolderOf(path);
    if (char* resolved = ::realpath(folder.c_str(), nullptr)) {
        std::string result = JoinPath(resolved, NameOf(path));
        std::free(resolved);
        return result;
    }
    std::error_code error;
    return (std::filesystem::absolute(folder, error).lexically_normal() / NameOf(path)).string();
}

void ReadAt(const File& file, void* buffer, std::size_t size, std::int64_t offset) {
    auto* out = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t got =
            Interruptible(Step::Read, [&] { return ::pread(file.handle(), out, size, offset); });
        if (got < 0) {
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
            Interruptible(Step::Write, [&] { return ::pwrite(file.handle(), in, slice, offset); });
        if (put < 0) {
            Fail(errno, file.path());
        }
        if (put == 0) {
            Fail(EIO, file.path());  // a device that takes nothing would be asked for ever
        }
        in += put;
        size -= static_cast<std::size_t>(put);
        offset += put;
    }
}

namespace {

constexpr std::int64_t kKernelChunk = 16 << 20;  // per copy_file_range call, for progress

}  // namespace

void Copier::Copy(const File& from, std::int64_t fromOffset, const File& to, std::int64_t toOffset,
                  std::int64_t count, const std::function<void(std::int64_t)>& onChunk) {
    while (count > 0) {
        loff_t in = fromOffset;
        loff_t out = toOffset;
        const ssize_t copied = Interruptible(Step::Copy, [&] {
            return ::copy_file_range(from.handle(), &in, to.handle(), &out,
                                     static_cast<std::size_t>(std::min(count, kKernelChunk)), 0);
        });
        if (copied < 0) {
            const int error = errno;
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
    if (::fstat(file.handle(), &info) != 0) {
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
    if (Sys(Step::Flush, [&] { return ::fsync(file.handle()); }) != 0) {
        Fail(errno, file.path());
    }
}

void StartWriteback(const File& file, std::int64_t offset, std::int64_t count) noexcept {
    ::sync_file_range(file.handle(), offset, count, SYNC_FILE_RANGE_WRITE);
}

void FinishWriting(const File& file) {
    StartWriteback(file, 0, 0);  // to its end
}

namespace {

constexpr const char* kAccessListAttribute = "system.posix_acl_access";

bool NoAccessLists(int error) {
    return error == ENODATA || error == ENOTSUP || error == EOPNOTSUPP;
}

// An access list read through get(buffer, size), which returns its size as getxattr does.
template <typename Get>
std::vector<std::uint8_t> AccessListThrough(Get get, const std::string& path) {
    for (;;) {
        const ssize_t size = Sys(Step::AccessList, [&] { return get(nullptr, 0); });
        if (size < 0) {
            if (NoAccessLists(errno)) {
                return {};
            }
            Fail(errno, path);
        }
        std::vector<std::uint8_t> list(static_cast<std::size_t>(size));
        const ssize_t got = get(list.data(), list.size());
        if (got >= 0) {
            list.resize(static_cast<std::size_t>(got));
            return list;
        }
        if (NoAccessLists(errno)) {
            return {};
        }
        if (errno != ERANGE) {  // ERANGE: it grew meanwhile, so ask again
            Fail(errno, path);
        }
    }
}

}  // namespace

std::vector<std::uint8_t> AccessListOf(const File& file) {
    return AccessListThrough(
        [&](void* buffer, std::size_t size) {
            return ::fgetxattr(file.handle(), kAccessListAttribute, buffer, size);
        },
        file.path());
}

std::vector<std::uint8_t> AccessListAt(const std::string& path) {
    return AccessListThrough(
        [&](void* buffer, std::size_t size) {
            return ::getxattr(path.c_str(), kAccessListAttribute, buffer, size);
        },
        path);
}

std::uint32_t GiveOwner(const File& file, const OwnerId& owner, std::uint32_t group) {
    if (Sys(Step::Chown, [&] { return ::fchown(file.handle(), owner, group); }) != 0) {
        if (errno != EPERM) {
            Fail(errno, file.path());
        }
        ::fchown(file.handle(), static_cast<uid_t>(-1), group);  // a group the user is in
    }
    return Stat(file).group;
}

void GiveAccess(const File& file, std::uint32_t mode, const std::vector<std::uint8_t>& accessList) {
    if (!accessList.empty()) {
        if (Sys(Step::AccessList, [&] {
                return ::fsetxattr(file.handle(), kAccessListAttribute, accessList.data(),
                                   accessList.size(), 0);
            }) == 0) {
            return;
        }
        if (!NoAccessLists(errno)) {
            Fail(errno, file.path());
        }
        mode &= 0700;  // the list cannot be kept: nobody but the owner gets in
    }
    if (Sys(Step::Chmod, [&] { return ::fchmod(file.handle(), mode & 0777); }) != 0) {
        Fail(errno, file.path());
    }
}

std::uint32_t ProcessUmask() {
    // Read where the kernel shows it: setting the umask to read it back would race with other
    // threads creating files.
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            unsigned mask = 0;
            if (std::sscanf(line, "Umask: %o", &mask) == 1) {
                std::fclose(status);
                return mask & 0777;
            }
        }
        std::fclose(status);
    }
    return 022;  // the common default, where the kernel does not say
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
