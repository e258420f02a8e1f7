// SPDX-License-Identifier: GPL-3.0-or-later
// The file system seam on Windows. Only wide calls, on full paths given the \\?\ prefix, so that
// a name in any script and a path of any length reach the file they name. Paths come in as
// UTF-8, as everywhere in the engine, and errors name them as the caller gave them.
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <cwctype>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "FileIo.h"
#include "Messages.h"
#include "Module1.h"

namespace Module1::io {
namespace {

// The system error an injected errno stands for.
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

// Makes the call, unless the fault hook fails this step: then it fails as the system would,
// with the matching error. An injected EINTR, which Windows does not know, makes the step go
// again, as an interrupted call does on POSIX.
template <typename Call>
bool Sys(Step step, Call call) {
    for (;;) {
        const int injected = InjectedError(step);
        if (injected == EINTR) {
            continue;
        }
        if (injected == kMovesNothing && (step == Step::Read || step == Step::Write)) {
            return true;  // the call "succeeds" having moved no byte
        }
        if (injected != 0) {
            ::SetLastError(WindowsErrorOf(injected));
            return false;
        }
        return call();
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

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";
constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";
// The longest path the wide calls take with the \\?\ prefix, in UTF-16 units.
constexpr std::size_t kLongestPath = 32767;

// The path as the system takes it: made full with GetFullPathNameW, which resolves a
// drive-relative path such as C:a against that drive's current folder and drops trailing dots
// and spaces from names, as Windows programs do; then given the \\?\ prefix that lifts the
// 260-character limit. A device path (what CON or NUL become) stays as it is.
std::wstring SystemPath(const std::string& path) {
    std::wstring wide = Wide(path);
    if (wide.starts_with(kLongPrefix) || wide.starts_with(kDevicePrefix)) {
        return wide;
    }
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return wide;
    }
    std::wstring full(needed, L'\0');
    full.resize(::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr));
    if (full.starts_with(kDevicePrefix)) {
        return full;
    }
    if (full.starts_with(L"\\\\")) {
        return std::wstring(kLongUncPrefix) + full.substr(2);
    }
    return std::wstring(kLongPrefix) + full;
}

// The path without the prefix SystemPath gave it, as a user writes it.
std::string UserPath(std::wstring path) {
    if (path.starts_with(kLongUncPrefix)) {
        path = L"\\\\" + path.substr(kLongUncPrefix.size());
    } else if (path.starts_with(kLongPrefix)) {
        path = path.substr(kLongPrefix.size());
    }
    return Utf8(path);
}

// Where the name ends once the trailing dots and spaces that Windows drops are dropped; a name
// of dots and spaces alone ("." and "..") keeps them, as they mean a folder.
template <typename Char>
std::size_t StoredLength(std::basic_string_view<Char> name) {
    std::size_t end = name.size();
    while (end > 0 && (name[end - 1] == Char('.') || name[end - 1] == Char(' '))) {
        --end;
    }
    return end == 0 ? name.size() : end;
}

// A name within a folder as the system takes it. Through the \\?\ prefix Windows would keep
// trailing dots and spaces, which every other program drops (and then cannot reach the file),
// so they are dropped here as GetFullPathNameW drops them.
std::wstring Joined(const std::wstring& folder, const std::string& name) {
    std::wstring leaf = Wide(name);
    leaf.resize(StoredLength(std::wstring_view(leaf)));
    return folder.ends_with(L'\\') ? folder + leaf : folder + L"\\" + leaf;
}

bool IsReadOnly(const std::wstring& systemPath) {
    const DWORD attributes = ::GetFileAttributesW(systemPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

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

// Throws EngineError "description：path" for a system error. A file refused because its
// read-only attribute is set says so.
[[noreturn]] void Fail(DWORD error, const std::string& path) {
    if (error == ERROR_ACCESS_DENIED && IsReadOnly(SystemPath(path))) {
        Throw(Failure::ReadOnlyFile, path);
    }
    const Failure failure = FailureOf(error);
    if (failure == Failure::SystemError) {
        Throw(Failure::SystemError, {{{}, path}}, "（错误码 " + std::to_string(error) + "）", {});
    }
    Throw(failure, path);
}

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

UniqueHandle Owned(HANDLE handle) {
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

std::int64_t Nanoseconds(const FILETIME& time) {
    const std::uint64_t ticks = (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    return static_cast<std::int64_t>(ticks * 100);  // in units of 100 ns
}

std::string FinalPath(HANDLE handle) {
    wchar_t buffer[kLongestPath + 1];
    const DWORD size = ::GetFinalPathNameByHandleW(handle, buffer, kLongestPath,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (size == 0 || size > kLongestPath) {
        return {};
    }
    return UserPath(std::wstring(buffer, size));
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

// What the engine knows of an open file. Only name surrogates (symbolic links, junctions)
// count as links: cloud placeholders, deduplicated and compressed files are ordinary files.
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

// Looks at what stands at a path without opening its data; empty when nothing is there (or a
// link leads nowhere, when following).
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

// The pauses between tries of a rename or removal another program holds up: two seconds of
// pauses in all, each longer than the last.
constexpr int kRetryPausesMs[] = {10, 20, 40, 80, 160, 320, 640, 730};

bool HeldByAnother(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_LOCK_VIOLATION;
}

// Tries call again while another program holds the file, until the pauses run out or a stop is
// asked for; returns false with the last error set when it never succeeded.
template <typename Call>
bool Retrying(Step step, std::stop_token stop, Call call) {
    for (const int pause : kRetryPausesMs) {
        if (Sys(step, call)) {
            return true;
        }
        const DWORD error = ::GetLastError();
        if (!HeldByAnother(error) || stop.stop_requested()) {
            ::SetLastError(error);
            return false;
        }
        PauseBeforeRetry(std::chrono::milliseconds(pause));
        ::SetLastError(error);
    }
    return Sys(step, call);
}

// Where a read or write of a file opened for synchronous I/O starts.
OVERLAPPED At(std::int64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    return at;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool HasDrive(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// The information class of a rename with flags (Windows 10 1607 and later), which MinGW-w64's
// headers declare only for later versions than the oldest this program supports.
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

// Renames through the open file with POSIX semantics where Windows offers them (Windows 10
// 1709 and later on NTFS): that replaces a file others hold open with delete sharing.
bool RenameWithPosixSemantics(const std::wstring& from, const std::wstring& to) {
    const UniqueHandle file =
        Owned(::CreateFileW(from.c_str(), DELETE | SYNCHRONIZE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        return false;
    }
    const std::size_t nameBytes = to.size() * sizeof(wchar_t);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(buffer.data() + offsetof(FILE_RENAME_INFO, FileName), to.data(), nameBytes);
    if (!::SetFileInformationByHandle(file.get(), kFileRenameInfoEx, info,
                                      static_cast<DWORD>(buffer.size()))) {
        return false;
    }
    ::FlushFileBuffers(file.get());  // best effort: the rename's own record
    return true;
}

// The volume flag (GetVolumeInformation's FILE_SUPPORTS_POSIX_UNLINK_RENAME, missing from
// MinGW-w64's headers) of file systems whose renames replace a file others hold open with
// delete sharing: NTFS on Windows 10 1709 and later.
constexpr DWORD kSupportsPosixRename = 0x00000400;

// Throws "in use" when another program holds the file at system open so that a rename could
// not replace it: on a volume with POSIX renames, a holder that refuses delete sharing; on any
// other (FAT, exFAT, network shares), any holder at all. A scanner that holds it for a moment is
// waited for, as renames are.
void CheckNotHeld(const File& folder, const std::wstring& system, const std::string& path) {
    DWORD flags = 0;
    const bool posixRenames = ::GetVolumeInformationByHandleW(folder.handle(), nullptr, 0, nullptr,
                                                              nullptr, &flags, nullptr, 0) &&
                              (flags & kSupportsPosixRename) != 0;
    const DWORD sharing = posixRenames ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0;
    auto held = [&] {
        const UniqueHandle probe = Owned(
            ::CreateFileW(system.c_str(), DELETE, sharing, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return !probe && ::GetLastError() == ERROR_SHARING_VIOLATION;
    };
    for (const int pause : kRetryPausesMs) {
        if (!held()) {
            return;
        }
        PauseBeforeRetry(std::chrono::milliseconds(pause));
    }
    if (held()) {
        Throw(Failure::FileInUseByOther, path);
    }
}

}  // namespace

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    if (slash == std::string::npos) {
        return HasDrive(path) ? path.substr(0, 2) : ".";  // "C:a" lies in C:'s current folder
    }
    if (slash == 0 || (HasDrive(path) && slash == 2)) {
        return path.substr(0, slash + 1);  // the root of the drive
    }
    std::size_t end = slash;
    while (end > 0 && IsSeparator(path[end - 1])) {
        --end;  // "a\\b" names b in a
    }
    return end == 0 ? path.substr(0, 1) : path.substr(0, end);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    if (slash == std::string::npos) {
        return HasDrive(path) ? path.substr(2) : path;
    }
    return path.substr(slash + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || IsSeparator(folder.back()) || (folder.size() == 2 && HasDrive(folder))) {
        return folder + name;
    }
    return folder + "\\" + name;
}

std::size_t NameLength(const std::string& name) {
    return Wide(name).size();
}

std::u16string AsStored(const std::u16string& path) {
    std::size_t leaf = path.find_last_of(u"\\/") + 1;  // 0 when there is no separator
    if (leaf == 0 && path.size() >= 2 && path[1] == u':') {
        leaf = 2;  // "C:a." names a. in the current folder of C:
    }
    return path.substr(0, leaf + StoredLength(std::u16string_view(path).substr(leaf)));
}

bool SameNameOnDisk(std::string_view a, std::string_view b) {
    const std::wstring wideA = Wide(a);
    const std::wstring wideB = Wide(b);
    // The simple upper-casing NTFS itself compares names with.
    return ::CompareStringOrdinal(wideA.data(), static_cast<int>(wideA.size()), wideB.data(),
                                  static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

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

}  // namespace

bool OwnedByCaller(const OwnerId& owner) {
    static const std::pair<OwnerId, OwnerId> caller = TokenOwners();
    return !owner.empty() && (owner == caller.first || owner == caller.second);
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

void CheckNameAllowed(const std::string& path) {
    // On NTFS "name:more" is the stream "more" of the file name: another file's hidden part,
    // never a file of its own.
    if (NameOf(path).find(':') != std::string::npos) {
        Throw(Failure::InvalidName, path);
    }
    // Windows takes a device name for the device whatever extension follows it, and trailing
    // spaces before the extension as well.
    std::wstring stem = Wide(NameOf(path));
    stem = stem.substr(0, stem.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') {
        stem.pop_back();
    }
    for (wchar_t& c : stem) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    static const std::wstring_view kReserved[] = {L"CON", L"PRN",    L"AUX",
                                                  L"NUL", L"CONIN$", L"CONOUT$"};
    bool reserved =
        std::find(std::begin(kReserved), std::end(kReserved), stem) != std::end(kReserved);
    if (stem.size() == 4 && (stem.starts_with(L"COM") || stem.starts_with(L"LPT"))) {
        const wchar_t digit = stem[3];
        reserved = (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
                   digit == L'\u00B3';
    }
    if (reserved) {
        Throw(Failure::ReservedName, path);
    }
}

void CheckNameFits(const std::string& path, long nameLimit) {
    CheckNameAllowed(path);
    if (static_cast<long>(NameLength(NameOf(path))) > nameLimit) {
        Throw(Failure::NameTooLong, path);
    }
    if (SystemPath(path).size() >= kLongestPath) {
        Throw(Failure::PathTooLong, path);
    }
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
    return resolved.empty() ? UserPath(system) : resolved;
}

std::string WithResolvedFolder(const std::string& path) {
    // Only names are compared with what this gives, so it is not a step.
    const std::wstring folder = SystemPath(FolderOf(path));
    const UniqueHandle handle =
        Owned(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const std::string resolved = handle ? FinalPath(handle.get()) : std::string();
    return JoinPath(resolved.empty() ? UserPath(folder) : resolved, NameOf(path));
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
    std::wstring device = std::wstring(kDevicePrefix) + volume;
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

Folder::Folder(const std::string& path, const std::string& displayName)
    : path_(path), systemPath_(Utf8(SystemPath(path))) {
    const std::wstring system = Wide(systemPath_);
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (!Sys(Step::OpenFolder, [&] {
            handle = ::CreateFileW(system.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            return handle != INVALID_HANDLE_VALUE;
        })) {
        const DWORD error = ::GetLastError();
        // A missing folder reads "path not found" for the file that was to go there.
        Fail(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error, displayName);
    }
    handle_ = File(handle, path);
}

FileInfo Folder::Info() const {
    return Stat(handle_);
}

long Folder::NameLimit() const {
    DWORD longest = 0;
    if (!Sys(Step::NameLimit, [&] {
            return ::GetVolumeInformationByHandleW(handle_.handle(), nullptr, 0, nullptr, &longest,
                                                   nullptr, nullptr, 0) != 0;
        })) {
        Fail(::GetLastError(), path_);
    }
    return longest > 0 ? static_cast<long>(longest) : 255;
}

std::optional<File> Folder::CreateNew(const std::string& name,
                                      const std::string& displayName) const {
    const std::wstring system = Joined(Wide(systemPath_), name);
    HANDLE handle = INVALID_HANDLE_VALUE;
    // CREATE_NEW fails on anything standing at the name, a link included, so nothing is written
    // through one. No other program may open it while it is written.
    if (Sys(Step::Create, [&] {
            handle = ::CreateFileW(system.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            return handle != INVALID_HANDLE_VALUE;
        })) {
        return File(handle, displayName);
    }
    switch (const DWORD error = ::GetLastError()) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return std::nullopt;
        case ERROR_ACCESS_DENIED: Throw(Failure::FolderNotWritable, path_);
        case ERROR_WRITE_PROTECT: Throw(Failure::WriteProtected, path_);
        default: Fail(error, displayName);
    }
}

void Folder::Rename(const std::string& from, const std::string& to, const std::string& displayName,
                    std::stop_token stop) const {
    const std::wstring folder = Wide(systemPath_);
    const std::wstring source = Joined(folder, from);
    const std::wstring target = Joined(folder, to);
    // MOVEFILE_WRITE_THROUGH returns once the rename is on disk: it stands in for the flush of
    // the folder that POSIX systems need.
    if (!Retrying(Step::Rename, stop, [&] {
            return RenameWithPosixSemantics(source, target) ||
                   ::MoveFileExW(source.c_str(), target.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        })) {
        if (stop.stop_requested()) {
            Throw(Failure::Stopped);
        }
        Fail(::GetLastError(), displayName);
    }
}

bool Folder::RenameToFreeName(const std::string& from, const std::string& to,
                              const std::string& displayName) const {
    const std::wstring folder = Wide(systemPath_);
    const std::wstring source = Joined(folder, from);
    const std::wstring target = Joined(folder, to);
    // Without MOVEFILE_REPLACE_EXISTING the rename fails on a taken name.
    if (Retrying(Step::Rename, {}, [&] {
            return ::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
        })) {
        return true;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        return false;
    }
    Fail(error, displayName);
}

Folder::Swap Folder::Exchange(const std::string&, const std::string&, const std::string&) const {
    return Swap::Unsupported;  // Windows swaps no names: older files go aside first
}

std::optional<File> Folder::Hold(const std::string& name, const std::string& displayName) const {
    const std::wstring system = Joined(Wide(systemPath_), name);
    HANDLE handle = INVALID_HANDLE_VALUE;
    // Delete access, shared for reading alone: no program can open it for writing or deleting
    // from now on, and one that holds it so already makes this fail (after the pauses).
    if (!Retrying(Step::Open, {}, [&] {
            handle =
                ::CreateFileW(system.c_str(), DELETE | FILE_READ_ATTRIBUTES | READ_CONTROL,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            return handle != INVALID_HANDLE_VALUE;
        })) {
        switch (const DWORD error = ::GetLastError()) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND: return std::nullopt;
            case ERROR_SHARING_VIOLATION:
            case ERROR_LOCK_VIOLATION: Throw(Failure::FileInUseByOther, displayName);
            default: Fail(error, displayName);
        }
    }
    return File(handle, displayName);
}

Folder::Move Folder::MoveHeld(const File& held, const std::string&, const std::string& to) const {
    // By the handle: exactly the held file moves, wherever its name went meanwhile.
    const std::wstring target = Joined(Wide(systemPath_), to);
    const std::size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(buffer.data() + offsetof(FILE_RENAME_INFO, FileName), target.data(), nameBytes);
    if (Retrying(Step::Rename, {}, [&] {
            return ::SetFileInformationByHandle(held.handle(), FileRenameInfo, info,
                                                static_cast<DWORD>(buffer.size())) != 0;
        })) {
        return Move::Done;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        return Move::Taken;
    }
    Fail(error, held.path());
}

void Folder::RemoveQuietly(const std::string& name) const noexcept {
    const std::wstring system = Joined(Wide(systemPath_), name);
    for (const int pause : kRetryPausesMs) {
        if (::DeleteFileW(system.c_str()) || !HeldByAnother(::GetLastError())) {
            return;
        }
        PauseBeforeRetry(std::chrono::milliseconds(pause));
    }
}

void Folder::RemoveIfAbandoned(
    const std::string& name, const std::function<bool(const FileInfo&)>& mayRemove) const noexcept {
    // Tidying up, not a step. A writer at work shares its file with no one, so the open fails.
    const std::wstring system = Joined(Wide(systemPath_), name);
    const UniqueHandle file =
        Owned(::CreateFileW(system.c_str(), DELETE | FILE_READ_ATTRIBUTES | READ_CONTROL, 0,
                            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        return;
    }
    try {
        if (InfoOf(file.get()).kind != Kind::Regular || !mayRemove(InfoOf(file.get()))) {
            return;
        }
    } catch (...) {
        return;
    }
    FILE_DISPOSITION_INFO remove{};
    remove.DeleteFile = TRUE;  // by the handle: exactly the file looked at, gone once closed
    ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &remove, sizeof remove);
}

void Folder::FlushFiles() const {
    // FinishWriting flushed each file.
}

void Folder::Flush() const noexcept {
    // Each rename was written through (MOVEFILE_WRITE_THROUGH).
}

std::optional<FileInfo> Folder::LinkStat(const std::string& name) const {
    return InfoAt(Joined(Wide(systemPath_), name), false, Step::LinkStat, JoinPath(path_, name));
}

bool Folder::MayWrite(const std::string& name) const {
    const std::wstring system = Joined(Wide(systemPath_), name);
    const std::string path = JoinPath(path_, name);
    const std::optional<FileInfo> info = InfoAt(system, true, Step::Access, path);
    if (!info) {
        return true;
    }
    if ((info->mode & 0222) == 0) {
        Throw(Failure::ReadOnlyFile, path);
    }
    // The file will be replaced: another program holding it would stop the split halfway
    // through bringing its set in, after the older list file is gone, so say so now.
    CheckNotHeld(handle_, system, path);
    return true;
}

void Folder::CheckReplaceable(const std::string& name) const {
    const std::wstring system = Joined(Wide(systemPath_), name);
    const std::string path = JoinPath(path_, name);
    // A rename does not replace a read-only file, and the attribute says not to.
    if (IsReadOnly(system)) {
        Throw(Failure::ReadOnlyFile, path);
    }
    CheckNotHeld(handle_, system, path);
}

Folder::Space Folder::FreeSpace() const {
    const std::wstring system = Wide(systemPath_);
    ULARGE_INTEGER available{};
    if (!Sys(Step::FreeSpace, [&] {
            return ::GetDiskFreeSpaceExW(system.c_str(), &available, nullptr, nullptr) != 0;
        })) {
        Fail(::GetLastError(), path_);
    }
    Space space{static_cast<std::int64_t>(available.QuadPart), 4096};
    wchar_t root[MAX_PATH + 1];
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (::GetVolumePathNameW(system.c_str(), root, MAX_PATH) &&
        ::GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) &&
        sectorsPerCluster * bytesPerSector > 0) {
        space.blockSize = std::int64_t{sectorsPerCluster} * bytesPerSector;
    }
    return space;
}

std::int64_t Folder::LargestFile() const {
    // A question about the disk, not a user's file: not a step.
    wchar_t system[MAX_PATH + 1] = {};
    if (::GetVolumeInformationByHandleW(handle_.handle(), nullptr, 0, nullptr, nullptr, nullptr,
                                        system, MAX_PATH) &&
        std::wstring_view(system).starts_with(L"FAT")) {
        return (std::int64_t{1} << 32) - 1;  // FAT32; FAT16 holds less, and fails on writing
    }
    return std::numeric_limits<std::int64_t>::max();
}

std::vector<std::string> Folder::Names() const noexcept {
    std::vector<std::string> names;
    try {
        WIN32_FIND_DATAW found{};
        const std::wstring pattern = Joined(Wide(systemPath_), "*");
        HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
        if (search == INVALID_HANDLE_VALUE) {
            return names;
        }
        do {
            const std::wstring_view name = found.cFileName;
            if (name != L"." && name != L"..") {
                names.push_back(Utf8(name));
            }
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    } catch (...) {
        // only tidying up
    }
    return names;
}

FileSizeSignalGuard::FileSizeSignalGuard() = default;
FileSizeSignalGuard::~FileSizeSignalGuard() = default;

}  // namespace Module1::io
