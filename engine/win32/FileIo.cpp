// SPDX-License-Identifier: GPL-3.0-or-later
// The file system seam on Windows: files. Only wide calls, on full paths given the \\?\
// prefix, so that a name in any script and a path of any length reach the file they name. Paths
// come in as UTF-8, as everywhere in the engine, and errors name them as the caller gave them.
// The functions follow FileIo.h, in the same order as in the POSIX twin
// (engine/posix/FileIo.cpp); folders are in Folder.cpp.
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "FileChecks.h"
#include "FileIo.h"
#include "Messages.h"
#include "Module1.h"
#include "Paths.h"
#include "System.h"

namespace Module1::io {
namespace win32 {

Failure FailureOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND: return Failure::FileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_INVALID_DRIVE: return Failure::PathNotFound;
        case ERROR_ACCESS_DENIED: return Failure::AccessDenied;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE: return Failure::FileInUseByOther;
        case ERROR_WRITE_PROTECT: return Failure::WriteProtected;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return Failure::DiskFull;
        case ERROR_FILE_TOO_LARGE: return Failure::FileTooLarge;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return Failure::OutOfMemory;
        case ERROR_DIRECTORY: return Failure::PathAccess;
        case ERROR_FILENAME_EXCED_RANGE: return Failure::NameTooLong;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return Failure::FileExists;
        case ERROR_TOO_MANY_OPEN_FILES: return Failure::TooManyOpenFiles;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME: return Failure::InvalidName;
        case ERROR_CRC:
        case ERROR_IO_DEVICE:
        case ERROR_GEN_FAILURE:
        case ERROR_SECTOR_NOT_FOUND:
        case ERROR_NOT_READY:
        case ERROR_DEV_NOT_EXIST: return Failure::DeviceIo;
        case ERROR_HANDLE_EOF: return Failure::PastEndOfFile;
        default: return Failure::SystemError;
    }
}

void Fail(DWORD error, const std::string& path) {
    if (error == ERROR_ACCESS_DENIED && IsReadOnly(SystemPath(path))) {
        Throw(Failure::ReadOnlyFile, path);
    }
    const Failure failure = FailureOf(error);
    if (failure == Failure::SystemError) {
        Throw(Fault{
            failure, {{Role::Named, path, 0}}, {}, static_cast<long>(error), Failure::Unexpected});
    }
    Throw(failure, path);
}

namespace {

std::int64_t Nanoseconds(const FILETIME& time) {
    const std::uint64_t ticks = (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    return static_cast<std::int64_t>(ticks * 100);  // in units of 100 ns
}

std::string FinalPath(HANDLE handle) {
    // On the heap: a worker's stack has no room to spare for the longest path.
    std::vector<wchar_t> buffer(LongestPath() + 1);
    const auto room = static_cast<DWORD>(LongestPath());
    const DWORD size = ::GetFinalPathNameByHandleW(handle, buffer.data(), room,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (size == 0 || size > room) {
        return {};
    }
    return WithoutLongPrefix(Utf8(std::wstring_view(buffer.data(), size)));
}

// The owner's security identifier as text; empty where the handle may not read it.
OwnerId OwnerOf(HANDLE handle) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return {};
    }
    OwnerId text;
    LPWSTR sid = nullptr;
    if (owner && ::ConvertSidToStringSidW(owner, &sid)) {
        text = Utf8(sid);
        ::LocalFree(sid);
    }
    ::LocalFree(descriptor);
    return text;
}

}  // namespace

FileInfo InfoOf(HANDLE handle) {
    FileInfo out;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        out.kind = Kind::Other;  // a device or pipe: no file information
        return out;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    const bool tagged =
        ::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) != 0;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && tagged &&
        IsReparseTagNameSurrogate(tag.ReparseTag)) {
        out.kind = Kind::Link;
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        out.kind = Kind::Directory;
    } else {
        out.kind = ::GetFileType(handle) == FILE_TYPE_DISK ? Kind::Regular : Kind::Other;
    }
    out.size =
        static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    out.id.volume = info.dwVolumeSerialNumber;
    out.id.index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    if (out.id.index == 0) {
        out.id.path = FinalPath(handle);  // some network shares give no file numbers
    }
    out.modifiedNs = Nanoseconds(info.ftLastWriteTime);
    out.mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    out.owner = OwnerOf(handle);
    return out;
}

std::optional<FileInfo> InfoAt(const std::wstring& systemPath, bool follow, Step step,
                               const std::string& path) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    auto open = [&](DWORD access) {
        handle = ::CreateFileW(
            systemPath.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
        return handle != INVALID_HANDLE_VALUE;
    };
    // Reading the owner needs READ_CONTROL, which a file may deny: then its owner is unknown.
    if (!Sys(step, [&] {
            return open(FILE_READ_ATTRIBUTES | READ_CONTROL) ||
                   (::GetLastError() == ERROR_ACCESS_DENIED && open(FILE_READ_ATTRIBUTES));
        })) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return std::nullopt;
        }
        Fail(error, path);
    }
    const UniqueHandle owned = Owned(handle);
    return InfoOf(handle);
}

DWORD WindowsErrorOf(int error) {
    switch (error) {
        case ENOSPC: return ERROR_DISK_FULL;
        case EACCES:
        case EPERM: return ERROR_ACCESS_DENIED;
        case EIO: return ERROR_CRC;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case EEXIST: return ERROR_FILE_EXISTS;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case EFBIG: return ERROR_FILE_TOO_LARGE;
        case EROFS: return ERROR_WRITE_PROTECT;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case EBUSY: return ERROR_SHARING_VIOLATION;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        default: return ERROR_GEN_FAILURE;
    }
}

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                          size);
    return wide;
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size,
                          nullptr, nullptr);
    return utf8;
}

std::wstring SystemPath(const std::string& path) {
    // Already prefixed, or a device (what CON or NUL become): as it is.
    if (WithLongPrefix(path) == path) {
        return Wide(path);
    }
    const std::wstring wide = Wide(path);
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return wide;
    }
    std::wstring full(needed, L'\0');
    full.resize(::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr));
    return Wide(WithLongPrefix(Utf8(full)));
}

std::wstring Joined(const std::wstring& folder, const std::string& name) {
    const std::wstring leaf = Wide(StoredName(name));
    return folder.ends_with(L'\\') ? folder + leaf : folder + L"\\" + leaf;
}

bool IsReadOnly(const std::wstring& systemPath) {
    const DWORD attributes = ::GetFileAttributesW(systemPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace win32

using namespace win32;

namespace {

// The SIDs of the process's token, as text: its user, and the owner its new files get.
std::pair<OwnerId, OwnerId> TokenOwners() {
    std::pair<OwnerId, OwnerId> owners;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return owners;
    }
    auto sidText = [&](TOKEN_INFORMATION_CLASS kind) {
        DWORD size = 0;
        ::GetTokenInformation(token, kind, nullptr, 0, &size);
        std::vector<std::uint8_t> buffer(size);
        if (size == 0 || !::GetTokenInformation(token, kind, buffer.data(), size, &size)) {
            return OwnerId();
        }
        const PSID sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                                           : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
        LPWSTR text = nullptr;
        if (!::ConvertSidToStringSidW(sid, &text)) {
            return OwnerId();
        }
        OwnerId owner = Utf8(text);
        ::LocalFree(text);
        return owner;
    };
    owners = {sidText(TokenUser), sidText(TokenOwner)};
    ::CloseHandle(token);
    return owners;
}

// Where a read or write of a file opened for synchronous I/O starts.
OVERLAPPED At(std::int64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    return at;
}

}  // namespace

bool OwnedByCaller(const OwnerId& owner) {
    static const std::pair<OwnerId, OwnerId> caller = TokenOwners();
    return !owner.empty() && (owner == caller.first || owner == caller.second);
}

bool SameNameOnDisk(std::string_view a, std::string_view b) {
    const std::wstring wideA = Wide(a);
    const std::wstring wideB = Wide(b);
    // The simple upper-casing NTFS itself compares names with.
    return ::CompareStringOrdinal(wideA.data(), static_cast<int>(wideA.size()), wideB.data(),
                                  static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

std::size_t SystemPathLength(const std::string& path) {
    return SystemPath(path).size();
}

bool operator==(const FileId& a, const FileId& b) {
    if (a.index != 0 && b.index != 0) {
        return a.volume == b.volume && a.index == b.index;
    }
    return !a.path.empty() && a.path == b.path;
}

File::File() : handle_(INVALID_HANDLE_VALUE) {}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (IsOpen()) {
            ::CloseHandle(handle_);
        }
        handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        path_ = std::move(other.path_);
    }
    return *this;
}

File::~File() {
    if (IsOpen()) {
        ::CloseHandle(handle_);
    }
}

bool File::IsOpen() const {
    return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr;
}

void File::Close() {
    if (!IsOpen()) {
        return;
    }
    // The handle is released even when a test fails this step.
    const BOOL closed = ::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
    const DWORD error = closed ? 0 : ::GetLastError();
    if (!Sys(Step::Close, [&] {
            ::SetLastError(error);
            return closed != 0;
        })) {
        Fail(::GetLastError(), path_);
    }
}

File OpenForReading(const std::string& path) {
    CheckRegularOrAbsent(path);
    const std::wstring system = SystemPath(path);
    HANDLE handle = INVALID_HANDLE_VALUE;
    // Others may read it too, but none may write it meanwhile: a writer that holds it already
    // makes this fail as "in use by another program".
    if (!Sys(Step::Open, [&] {
            handle =
                ::CreateFileW(system.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
            return handle != INVALID_HANDLE_VALUE;
        })) {
        Fail(::GetLastError(), path);
    }
    File file(handle, path);
    if (Stat(file).kind != Kind::Regular) {
        Throw(Failure::NotRegularFile, path);
    }
    return file;
}

bool TryLock(const File& file) {
    // One byte far past any real end of the file: a lock on Windows also keeps other programs
    // from reading what it covers, and this one must only keep other splits out.
    OVERLAPPED pastTheEnd = At(std::int64_t{1} << 62);
    if (Sys(Step::Lock, [&] {
            return ::LockFileEx(file.handle(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
                                0, 1, 0, &pastTheEnd) != 0;
        })) {
        return true;  // released when the handle closes
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
        return false;
    }
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) {
        return true;  // the file system offers no locks: go on without one
    }
    Fail(error, file.path());
}

FileInfo Stat(const File& file) {
    FileInfo info;
    if (!Sys(Step::Stat, [&] {
            info = InfoOf(file.handle());
            return true;
        })) {
        Fail(::GetLastError(), file.path());
    }
    return info;
}

std::optional<FileInfo> LinkStat(const std::string& path) {
    return InfoAt(SystemPath(path), false, Step::LinkStat, path);
}

std::optional<FileInfo> StatIfPresent(const std::string& path) {
    return InfoAt(SystemPath(path), true, Step::Stat, path);
}

std::string Resolve(const std::string& path) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    const std::wstring system = SystemPath(path);
    if (!Sys(Step::Resolve, [&] {
            handle = ::CreateFileW(system.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            return handle != INVALID_HANDLE_VALUE;
        })) {
        Fail(::GetLastError(), path);
    }
    const UniqueHandle owned = Owned(handle);
    const std::string resolved = FinalPath(handle);
    return resolved.empty() ? WithoutLongPrefix(Utf8(system)) : resolved;
}

std::string WithResolvedFolder(const std::string& path) {
    // Only names are compared with what this gives, so it is not a step.
    const std::wstring folder = SystemPath(FolderOf(path));
    const UniqueHandle handle =
        Owned(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const std::string resolved = handle ? FinalPath(handle.get()) : std::string();
    return JoinPath(resolved.empty() ? WithoutLongPrefix(Utf8(folder)) : resolved, NameOf(path));
}

void ReadAt(const File& file, void* buffer, std::size_t size, std::int64_t offset) {
    auto* out = static_cast<char*>(buffer);
    while (size > 0) {
        const DWORD slice = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        OVERLAPPED at = At(offset);
        DWORD got = 0;
        if (!Sys(Step::Read,
                 [&] { return ::ReadFile(file.handle(), out, slice, &got, &at) != 0; })) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_HANDLE_EOF) {
                Fail(error, file.path());
            }
            got = 0;
        }
        if (got == 0) {
            Throw(Failure::PastEndOfFile, file.path());
        }
        out += got;
        size -= got;
        offset += got;
    }
}

void WriteAt(const File& file, const void* buffer, std::size_t size, std::int64_t offset) {
    // In 128 KiB slices, as on POSIX, so that the same work takes the same steps on both.
    constexpr std::size_t kWriteSlice = 128 << 10;
    const auto* in = static_cast<const char*>(buffer);
    while (size > 0) {
        const auto slice = static_cast<DWORD>(std::min(size, kWriteSlice));
        OVERLAPPED at = At(offset);
        DWORD put = 0;
        if (!Sys(Step::Write,
                 [&] { return ::WriteFile(file.handle(), in, slice, &put, &at) != 0; })) {
            Fail(::GetLastError(), file.path());
        }
        if (put == 0) {
            Fail(ERROR_IO_DEVICE,
                 file.path());  // a device that takes nothing would be asked for ever
        }
        in += put;
        size -= put;
        offset += put;
    }
}

void Copier::Copy(const File& from, std::int64_t fromOffset, const File& to, std::int64_t toOffset,
                  std::int64_t count, const std::function<void(std::int64_t)>& onChunk) {
    CopyThroughBuffer(from, fromOffset, to, toOffset, count, onChunk);
}

bool OnRotationalDisk(const File& file) {
    // A question to the disk, not to a user's file: not a step.
    const std::wstring path = Wide(FinalPath(file.handle()));
    wchar_t volume[MAX_PATH + 1];
    if (path.empty() || !::GetVolumePathNameW(path.c_str(), volume, MAX_PATH)) {
        return false;
    }
    std::wstring device = L"\\\\.\\" + std::wstring(volume);  // the volume as a device
    if (device.ends_with(L'\\')) {
        device.pop_back();
    }
    const UniqueHandle disk = Owned(::CreateFileW(
        device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!disk) {
        return false;
    }
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceSeekPenaltyProperty;
    query.QueryType = PropertyStandardQuery;
    DEVICE_SEEK_PENALTY_DESCRIPTOR penalty{};
    DWORD got = 0;
    return ::DeviceIoControl(disk.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                             &penalty, sizeof penalty, &got, nullptr) &&
           got >= sizeof penalty && penalty.IncursSeekPenalty;
}

void Flush(const File& file) {
    if (!Sys(Step::Flush, [&] { return ::FlushFileBuffers(file.handle()) != 0; })) {
        Fail(::GetLastError(), file.path());
    }
}

void StartWriteback(const File&, std::int64_t, std::int64_t) noexcept {
    // Windows writes behind by itself; FlushFileBuffers waits for the rest.
}

void FinishWriting(const File& file) {
    Flush(file);  // no flush of a whole volume waits for it later
}

// A new file takes the access list its folder gives every new file, and the source's read-only
// attribute does not pass to it; a replaced output's name gets the new file with the folder's
// access list, as every save that renames a new file into place does: nothing to give.
std::vector<std::uint8_t> AccessListOf(const File&) {
    return {};
}

std::vector<std::uint8_t> AccessListAt(const std::string&) {
    return {};
}

std::uint32_t GiveOwner(const File&, const OwnerId&, std::uint32_t) {
    return 0;
}

void GiveAccess(const File&, std::uint32_t, const std::vector<std::uint8_t>&) {}

std::uint32_t ProcessUmask() {
    return 0;
}

FileSizeSignalGuard::FileSizeSignalGuard() = default;

FileSizeSignalGuard::~FileSizeSignalGuard() = default;

}  // namespace Module1::io
