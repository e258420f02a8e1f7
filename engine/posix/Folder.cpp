// SPDX-License-Identifier: GPL-3.0-or-later
// The file system seam on Linux and other POSIX systems: folders. The functions follow Folder in
// FileIo.h, in the same order as in the Windows twin (engine/win32/Folder.cpp).
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <limits>
#include <mutex>

#include "FileIo.h"
#include "Messages.h"
#include "Paths.h"
#include "System.h"

namespace Module1::io {

using namespace posix;

struct Folder::FlushThrough {
    std::mutex mutex;
    File file;
};

Folder::Folder(const std::string& path, const std::string& displayName) : path_(path) {
    int fd = Interruptible(
        Step::OpenFolder, [&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0 && errno == EACCES) {
        // A folder one may write in but not list (a drop box) serves every name all the same.
        fd = Interruptible(Step::OpenFolder,
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
    const int fd = Interruptible(Step::Create, [&] {
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
    const int fd = Interruptible(Step::Open, [&] {
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

}  // namespace Module1::io
