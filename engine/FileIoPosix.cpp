// SPDX-License-Identifier: GPL-3.0-or-later
// The file system seam on Linux and other POSIX systems.
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

#include "FileIo.h"
#include "Messages.h"
#include "Module1.h"
#include "SetNames.h"

namespace Module1::io {
namespace {

// Makes the system call, unless the fault hook fails this step: then it returns -1 with the
// hook's errno, so an injected fault takes exactly the path a real one would; or, for a read or
// write, 0 where the hook asks it to move nothing.
template <typename Call>
auto Sys(Step step, Call call) -> decltype(call()) {
    if (const int error = InjectedError(step)) {
        if (error == kMovesNothing && (step == Step::Read || step == Step::Write)) {
            return 0;
        }
        errno = error;
        return -1;
    }
    return call();
}

// Retries a call that a signal interrupted.
template <typename Call>
auto Retrying(Step step, Call call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = Sys(step, call);
    } while (result < 0 && errno == EINTR);
    return result;
}

constexpr std::int64_t kKernelChunk = 16 << 20;  // per copy_file_range call, for progress

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

// Throws EngineError "description：path" for a system error number. ENOENT under a missing
// folder reads "路径未找到".
[[noreturn]] void Fail(int error, const std::string& path) {
    if (error == ENOENT) {
        struct stat info {};
        if (Sys(Step::Stat, [&] { return ::stat(FolderOf(path).c_str(), &info); }) != 0 ||
            !S_ISDIR(info.st_mode)) {
            error = ENOTDIR;  // the folder itself is missing
        }
    }
    const Failure failure = FailureOfErrno(error);
    if (failure == Failure::SystemError) {
        Throw(failure, {{{}, path}}, "（错误码 " + std::to_string(error) + "）", {});
    }
    Throw(failure, path);
}

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

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::size_t NameLength(const std::string& name) {
    return name.size();
}

std::u16string AsStored(const std::u16string& path) {
    return path;  // every byte of a name counts here
}

bool SameNameOnDisk(std::string_view a, std::string_view b) {
    return SameNameIgnoringCase(a, b);
}

bool OwnedByCaller(const OwnerId& owner) {
    return owner == ::geteuid();
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
    const int fd = Retrying(Step::Open, [&] {
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

void CheckNameAllowed(const std::string&) {
    // Every name but "." and ".." can hold a file here; the callers never make those.
}

void CheckNameFits(const std::string& path, long nameLimit) {
    if (path.size() >= PATH_MAX || static_cast<long>(NameLength(NameOf(path))) > nameLimit) {
        Fail(ENAMETOOLONG, path);
    }
}

bool TryLock(const File& file) {
    if (Retrying(Step::Lock, [&] { return ::flock(file.handle(), LOCK_EX | LOCK_NB); }) == 0) {
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

FileInfo Stat(const File& file) {
    struct stat info {};
    if (Sys(Step::Stat, [&] { return ::fstat(file.handle(), &info); }) != 0) {
        Fail(errno, file.path());
    }
    return InfoOf(info);
}

void ReadAt(const File& file, void* buffer, std::size_t size, std::int64_t offset) {
    auto* out = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t got =
            Retrying(Step::Read, [&] { return ::pread(file.handle(), out, size, offset); });
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
            Retrying(Step::Write, [&] { return ::pwrite(file.handle(), in, slice, offset); });
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

void Copier::Copy(const File& from, std::int64_t fromOffset, const File& to, std::int64_t toOffset,
                  std::int64_t count, const std::function<void(std::int64_t)>& onChunk) {
    while (count > 0) {
        loff_t in = fromOffset;
        loff_t out = toOffset;
        const ssize_t copied = Retrying(Step::Copy, [&] {
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

struct Folder::FlushThrough {
    std::mutex mutex;
    File file;
};

Folder::Folder(const std::string& path, const std::string& displayName) : path_(path) {
    int fd = Retrying(Step::OpenFolder,
                      [&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0 && errno == EACCES) {
        // A folder one may write in but not list (a drop box) serves every name all the same.
        fd = Retrying(Step::OpenFolder,
                      [&] { return ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); });
        namesOnly_ = fd >= 0;
        flushThrough_ = std::make_shared<FlushThrough>();
    }
    if (fd < 0) {
        // A missing folder reads "path not found" for the file that was to go there.
        Fail(errno == ENOENT ? ENOTDIR : errno, displayName);
    }
    handle_ = File(fd, path);
}

FileInfo Folder::Info() const {
    return Stat(handle_);
}

long Folder::NameLimit() const {
    errno = 0;
    const long limit =
        Sys(Step::NameLimit, [&] { return ::fpathconf(handle_.handle(), _PC_NAME_MAX); });
    if (limit < 0) {
        if (errno != 0) {
            Fail(errno, path_);
        }
        return NAME_MAX;  // no limit of its own
    }
    return limit;
}

std::optional<File> Folder::CreateNew(const std::string& name,
                                      const std::string& displayName) const {
    const int fd = Retrying(Step::Create, [&] {
        return ::openat(handle_.handle(), name.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    });
    if (fd >= 0) {
        // Held while the file is written; a file system without locks goes on without.
        ::flock(fd, LOCK_EX | LOCK_NB);
        if (namesOnly_) {
            const std::lock_guard lock(flushThrough_->mutex);
            if (!flushThrough_->file.IsOpen()) {
                flushThrough_->file = File(::fcntl(fd, F_DUPFD_CLOEXEC, 0), displayName);
            }
        }
        return File(fd, displayName);
    }
    switch (errno) {
        case EEXIST: return std::nullopt;
        case EACCES:
        case EPERM: Throw(Failure::FolderNotWritable, path_);
        case EROFS: Fail(EROFS, path_);
        default: Fail(errno, displayName);
    }
}

// A POSIX rename or removal does not wait for other programs: nothing is tried again.
void Folder::Rename(const std::string& from, const std::string& to, const std::string& displayName,
                    std::stop_token) const {
    if (Sys(Step::Rename, [&] {
            return ::renameat(handle_.handle(), from.c_str(), handle_.handle(), to.c_str());
        }) != 0) {
        Fail(errno, displayName);
    }
}

namespace {

// Renames from to a name nothing stands at: 0, or the error (EEXIST when something does).
int RenameNoReplace(int folder, const std::string& from, const std::string& to) {
    int result = Sys(Step::Rename, [&] {
        return ::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE);
    });
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {  // NFS and others lack the flag
        struct stat info {};
        if (Sys(Step::LinkStat,
                [&] { return ::fstatat(folder, to.c_str(), &info, AT_SYMLINK_NOFOLLOW); }) == 0) {
            return EEXIST;
        }
        if (errno != ENOENT) {
            return errno;
        }
        result =
            Sys(Step::Rename, [&] { return ::renameat(folder, from.c_str(), folder, to.c_str()); });
    }
    return result == 0 ? 0 : errno;
}

}  // namespace

bool Folder::RenameToFreeName(const std::string& from, const std::string& to,
                              const std::string& displayName) const {
    const int error = RenameNoReplace(handle_.handle(), from, to);
    if (error != 0 && error != EEXIST) {
        Fail(error, displayName);
    }
    return error == 0;
}

Folder::Swap Folder::Exchange(const std::string& a, const std::string& b,
                              const std::string& displayName) const {
    const int folder = handle_.handle();
    if (Sys(Step::Rename, [&] {
            return ::renameat2(folder, a.c_str(), folder, b.c_str(), RENAME_EXCHANGE);
        }) == 0) {
        return Swap::Done;
    }
    switch (errno) {
        case ENOENT: return Swap::Absent;
        case EINVAL:
        case ENOSYS:
        case ENOTSUP: return Swap::Unsupported;
        default: Fail(errno, displayName);
    }
}

std::optional<File> Folder::Hold(const std::string& name, const std::string& displayName) const {
    const int fd = Retrying(Step::Open, [&] {
        return ::openat(handle_.handle(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    });
    if (fd < 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        Fail(errno, displayName);
    }
    return File(fd, displayName);
}

Folder::Move Folder::MoveHeld(const File& held, const std::string& name,
                              const std::string& to) const {
    switch (const int error = RenameNoReplace(handle_.handle(), name, to)) {
        case 0: break;
        case EEXIST: return Move::Taken;
        case ENOENT: return Move::Elsewhere;
        default: Fail(error, held.path());
    }
    // The name may have been given to another file between the hold and the rename: then that
    // file goes back, and the held one is not moved.
    bool same = false;
    try {
        const std::optional<FileInfo> moved = LinkStat(to);
        same = moved && moved->id == Stat(held).id;
    } catch (...) {
        RenameNoReplace(handle_.handle(), to, name);
        throw;
    }
    if (same) {
        return Move::Done;
    }
    RenameNoReplace(handle_.handle(), to, name);
    return Move::Elsewhere;
}

void Folder::RemoveQuietly(const std::string& name) const noexcept {
    ::unlinkat(handle_.handle(), name.c_str(), 0);
}

void Folder::RemoveIfAbandoned(
    const std::string& name, const std::function<bool(const FileInfo&)>& mayRemove) const noexcept {
    // Tidying up, not a step: whatever fails leaves the file where it is.
    const int fd = ::openat(handle_.handle(), name.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    const File file(fd, name);
    struct stat opened {
    }, named{};
    try {
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || !mayRemove(InfoOf(opened)) ||
            ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            return;  // not ours to remove, or its writer is still at work
        }
    } catch (...) {
        return;
    }
    // Only if the name still holds the file that was looked at.
    if (::fstatat(handle_.handle(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
        ::unlinkat(handle_.handle(), name.c_str(), 0);
    }
}

void Folder::Flush() const noexcept {
    if (!namesOnly_) {
        ::fsync(handle_.handle());
        return;
    }
    // A handle that serves names alone cannot be flushed: its file system can, through a file.
    const std::lock_guard lock(flushThrough_->mutex);
    if (flushThrough_->file.IsOpen()) {
        ::syncfs(flushThrough_->file.handle());
    }
}

void Folder::FlushFiles() const {
    int fd = handle_.handle();
    std::unique_lock<std::mutex> lock;
    if (namesOnly_) {
        lock = std::unique_lock(flushThrough_->mutex);
        if (!flushThrough_->file.IsOpen()) {
            return;  // no file was written here
        }
        fd = flushThrough_->file.handle();
    }
    if (Sys(Step::Flush, [&] { return ::syncfs(fd); }) != 0) {
        Fail(errno, path_);
    }
}

std::optional<FileInfo> Folder::LinkStat(const std::string& name) const {
    struct stat info {};
    if (Sys(Step::LinkStat, [&] {
            return ::fstatat(handle_.handle(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW);
        }) != 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        Fail(errno, JoinPath(path_, name));
    }
    return InfoOf(info);
}

bool Folder::MayWrite(const std::string& name) const {
    // The kernel's own check: mode, access lists, an immutable file, a read-only mount.
    if (Sys(Step::Access, [&] { return ::faccessat(handle_.handle(), name.c_str(), W_OK, 0); }) ==
        0) {
        return true;
    }
    switch (errno) {
        case ENOENT: return true;  // nothing there, or a link to nothing: nothing is written
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY: return false;
        default: Fail(errno, JoinPath(path_, name));
    }
}

void Folder::CheckReplaceable(const std::string&) const {
    // A rename replaces a file whatever its mode and whoever holds it open.
}

Folder::Space Folder::FreeSpace() const {
    struct statvfs info {};
    if (Sys(Step::FreeSpace, [&] { return ::fstatvfs(handle_.handle(), &info); }) != 0) {
        Fail(errno, path_);
    }
    // Root may also write into the blocks kept back for it.
    const auto blocks = ::geteuid() == 0 ? info.f_bfree : info.f_bavail;
    const auto unit = static_cast<std::int64_t>(info.f_frsize ? info.f_frsize : info.f_bsize);
    return {static_cast<std::int64_t>(blocks) * unit, std::max<std::int64_t>(unit, 1)};
}

std::int64_t Folder::LargestFile() const {
    // A question about the disk, not a user's file: not a step.
    struct statfs info {};
    constexpr long kFat = 0x4d44;  // MSDOS_SUPER_MAGIC: FAT12, FAT16 and FAT32 ("vfat")
    if (::fstatfs(handle_.handle(), &info) == 0 && info.f_type == kFat) {
        return (std::int64_t{1} << 32) - 1;
    }
    return std::numeric_limits<std::int64_t>::max();
}

std::vector<std::string> Folder::Names() const noexcept {
    std::vector<std::string> names;
    const int fd = ::openat(handle_.handle(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return names;
    }
    DIR* folder = ::fdopendir(fd);
    if (!folder) {
        ::close(fd);
        return names;
    }
    while (const dirent* entry = ::readdir(folder)) {
        names.emplace_back(entry->d_name);
    }
    ::closedir(folder);
    return names;
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
