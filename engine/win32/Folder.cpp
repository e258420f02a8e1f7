// SPDX-License-Identifier: GPL-3.0-or-later
// The file system seam on Windows: folders. The functions follow Folder in FileIo.h, in the same
// order as in the POSIX twin (engine/posix/Folder.cpp).
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "FileIo.h"
#include "Messages.h"
#include "Paths.h"
#include "System.h"

namespace Module1::io {

using namespace win32;

namespace {

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
    if (!WhileHeld(Step::Rename, stop, [&] {
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
    if (WhileHeld(Step::Rename, {}, [&] {
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
    if (!WhileHeld(Step::Open, {}, [&] {
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
    if (WhileHeld(Step::Rename, {}, [&] {
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

void Folder::Flush() const noexcept {
    // Each rename was written through (MOVEFILE_WRITE_THROUGH).
}

void Folder::FlushFiles() const {
    // FinishWriting flushed each file.
}

std::optional<FileInfo> Folder::LinkStat(const std::string& name) const {
    return InfoAt(Joined(Wide(systemPath_), name), false, Step::LinkStat, JoinPath(path_, name));
}

bool Folder::MayWrite(const std::string& name) const {
    const std::optional<FileInfo> info =
        InfoAt(Joined(Wide(systemPath_), name), true, Step::Access, JoinPath(path_, name));
    return !info || (info->mode & 0222) != 0;
}

void Folder::CheckReplaceable(const std::string& name) const {
    const std::wstring system = Joined(Wide(systemPath_), name);
    const std::string path = JoinPath(path_, name);
    // A rename does not replace a read-only file, and the attribute says not to.
    const std::optional<FileInfo> info = InfoAt(system, true, Step::Access, path);
    if (info && (info->mode & 0222) == 0) {
        Throw(Failure::ReadOnlyFile, path);
    }
    // Another program holding it would stop the split as its set comes in: say so now.
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
    struct SearchCloser {
        void operator()(HANDLE search) const { ::FindClose(search); }
    };
    std::vector<std::string> names;
    try {
        WIN32_FIND_DATAW found{};
        const std::wstring pattern = Joined(Wide(systemPath_), "*");
        const HANDLE first = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                                FindExSearchNameMatch, nullptr, 0);
        if (first == INVALID_HANDLE_VALUE) {
            return names;
        }
        const std::unique_ptr<void, SearchCloser> search(first);
        do {
            const std::wstring_view name = found.cFileName;
            if (name != L"." && name != L"..") {
                names.push_back(Utf8(name));
            }
        } while (::FindNextFileW(search.get(), &found));
    } catch (...) {
        // only tidying up
    }
    return names;
}

}  // namespace Module1::io
