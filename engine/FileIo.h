// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's one seam to the system. Every call that opens, creates, reads, writes, copies,
// flushes, renames, removes, closes, changes or looks up a file goes through here as a Step, so
// a test can make any single step fail; a failure becomes one EngineError naming the file.
// Calls that only advise the system (read-ahead, early writeback) or tidy up (removing our own
// temporary file, syncing a folder, removing what a killed run left) are not steps: their
// failure changes nothing the user relies on.
//
// Each system has a twin of the seam in a folder of its own, engine/posix and engine/win32:
// FileIo.cpp for files and Folder.cpp for folders, which define the functions below in this
// order, under these names, with this meaning; System.h holds what a twin's two files share.
// The types are the engine's own, so that no system type leaks through. Path syntax is portable
// (Paths.h), and so are the rules the engine applies to names (FileChecks.h). Paths are UTF-8.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace Module1::io {

enum class Step {
    Open,
    OpenFolder,
    Create,
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
    Access,
    FreeSpace,
    AccessList,
};

// When set, called before each step; a non-zero result fails that step with it as errno (the
// Windows twin maps it to the matching system error), in place of the system call. For tests;
// one relaxed load per step otherwise.
using FaultHook = int (*)(Step);
// What a hook returns to make a read or write step move no byte and report no error, as a
// broken device or driver may.
inline constexpr int kMovesNothing = -1;
void SetFaultHook(FaultHook hook);
// The error the hook asks for at this step, 0 for none; for the twins.
int InjectedError(Step step);

// On Windows, antivirus scanners, indexers and sync clients open a new file for a moment after it
// is written, so a rename, removal or hold then fails with a sharing violation or "access denied"
// that a moment later would succeed. Those calls are tried again, pausing longer each time, for
// up to two seconds of pauses in all. Tests put in a pause that does not wait.
using RetryPause = void (*)(std::chrono::milliseconds);
void SetRetryPause(RetryPause pause);
// Pauses before the next try, as set; for the Windows twin.
void PauseBeforeRetry(std::chrono::milliseconds pause);

enum class Kind { Regular, Directory, Link, Other };

// Which file a name reaches: its volume and its number there.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    // Where the system gives no number (some network shares on Windows): the file's final path.
    std::string path;
};

#if defined(_WIN32)
// Who owns a file: the owner's security identifier as text ("S-1-5-21-…"); empty where the
// system does not say.
using OwnerId = std::string;
using NativeHandle = void*;
#else
using OwnerId = std::uint32_t;
using NativeHandle = int;
#endif

// What the engine knows of a file.
struct FileInfo {
    Kind kind = Kind::Other;
    std::int64_t size = 0;
    FileId id;
    std::int64_t modifiedNs = 0;  // last change of the data, in nanoseconds
    std::uint32_t mode = 0;       // permission bits, with setuid, setgid and sticky (07777)
    OwnerId owner{};
    std::uint32_t group = 0;
};

inline constexpr std::uint32_t kStickyBit = 01000;

// An open file, closed when it goes.
class File {
  public:
    File();
    File(NativeHandle handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    bool IsOpen() const;
    NativeHandle handle() const { return handle_; }
    // The name errors about this file give.
    const std::string& path() const { return path_; }
    void Close();  // throws when the close reports a write error

  private:
    NativeHandle handle_;
    std::string path_;
};

// Copies byte ranges between files in the kernel where it can, or through one buffer of its own
// (allocated on first use). One copier per thread. Measured here: one stream copies faster in
// the kernel than through a buffer even where a piece's data (at byte 10) makes the kernel go
// page by page.
class Copier {
  public:
    static constexpr std::size_t kBufferSize = 8 << 20;

    // onChunk, when set, receives the bytes copied by each step and may throw to end the copy.
    void Copy(const File& from, std::int64_t fromOffset, const File& to, std::int64_t toOffset,
              std::int64_t count, const std::function<void(std::int64_t)>& onChunk);

  private:
    void CopyThroughBuffer(const File& from, std::int64_t fromOffset, const File& to,
                           std::int64_t toOffset, std::int64_t count,
                           const std::function<void(std::int64_t)>& onChunk);
    std::vector<char> buffer_;
};

// Reads count bytes from offset through buffer (which must not be empty), handing each chunk
// to onBytes. The same on every system (FileIo.cpp).
void ReadRange(const File& file, std::int64_t offset, std::int64_t count,
               std::vector<std::uint8_t>& buffer,
               const std::function<void(const std::uint8_t*, std::size_t)>& onBytes);

// ---- What each twin defines, in this order. ----

// Whether files of this owner are the running user's own; on Windows also those of the owner
// the user's new files get (the Administrators group, when the program runs elevated).
bool OwnedByCaller(const OwnerId& owner);
// Whether two paths name one file by their words alone: regardless of case as Windows folds it
// there; elsewhere regardless of ASCII case, as a set may come from a disk that folds it.
bool SameNameOnDisk(std::string_view a, std::string_view b);
// The length of the path as the system takes it, to compare with LongestPath: its bytes, or on
// Windows the UTF-16 units of its full form with the \\?\ prefix.
std::size_t SystemPathLength(const std::string& path);
// The same file: by volume and number, or by final path where there is no number.
bool operator==(const FileId& a, const FileId& b);

// Opens a regular file to read, never blocking, never reaching a device: a FIFO, socket or
// device node (or a link to one) is "not a regular file" before anything is read.
File OpenForReading(const std::string& path);
// Takes a lock held while the file stays open, which other such locks refuse but which keeps no
// program from reading; false when another holds one; a file system without locks counts as
// locked.
bool TryLock(const File& file);
// What the open file is now.
FileInfo Stat(const File& file);
// What stands at path, not following a link; empty when nothing does.
std::optional<FileInfo> LinkStat(const std::string& path);
// What path reaches, following links; empty when nothing does (or a link dangles).
std::optional<FileInfo> StatIfPresent(const std::string& path);
// The absolute path with every symbolic link resolved.
std::string Resolve(const std::string& path);
// The absolute path with its folder resolved and its last element as given: the file the name
// makes, even where that element is itself a link. A missing folder is made absolute by its
// words. Never throws.
std::string WithResolvedFolder(const std::string& path);

// Reads exactly size bytes at offset; a file that ends first is "输入超出文件尾".
void ReadAt(const File& file, void* buffer, std::size_t size, std::int64_t offset);
// Writes size bytes at offset; a write that takes no byte is a device error.
void WriteAt(const File& file, const void* buffer, std::size_t size, std::int64_t offset);
// (Copier::Copy: in the kernel on Linux, through the buffer on Windows.)
// True when the file lies on a rotational disk, where two streams reading at once make the
// head seek; false when the system does not say.
bool OnRotationalDisk(const File& file);

// Waits until the file's data is on the disk.
void Flush(const File& file);
// Starts writing a range to disk without waiting, so a later flush has less left to do.
void StartWriteback(const File& file, std::int64_t offset, std::int64_t count) noexcept;
// Sends a new file, whole, on its way to the disk before it is closed: on Linux its writeback
// starts and Folder::FlushFiles waits for it, once for every file of a set; on Windows, where
// no such wait exists, it is flushed now. May throw (a failed flush).
void FinishWriting(const File& file);

// The file's POSIX access list as Linux keeps it (the attribute system.posix_acl_access); empty
// where it has none or its file system keeps none, and on Windows, where a new file takes the
// access list its folder gives it.
std::vector<std::uint8_t> AccessListOf(const File& file);
std::vector<std::uint8_t> AccessListAt(const std::string& path);
// Gives the file the owner and group where the process may, else the group alone where it may,
// else neither; returns the group the file has then. Nothing to give on Windows.
std::uint32_t GiveOwner(const File& file, const OwnerId& owner, std::uint32_t group);
// Sets the permission bits (never beyond 0777), or, where accessList is not empty, the access
// list, whose entries set the bits too; a file system that keeps no access lists gets the
// owner's bits alone, so that nobody gains access. Nothing to set on Windows.
void GiveAccess(const File& file, std::uint32_t mode, const std::vector<std::uint8_t>& accessList);
// The process's umask (0 on Windows).
std::uint32_t ProcessUmask();

// Whether the system can swap two names in one step (Linux: renameat2 with RENAME_EXCHANGE).
// Where it cannot (Windows), older files are moved off their names before a set comes in.
#if defined(_WIN32)
inline constexpr bool kSwapsNames = false;
#else
inline constexpr bool kSwapsNames = true;
#endif

// A folder held open, in which files are made, renamed and removed by their names alone: any
// name that can exist there can be reached, however long the folder's own path.
class Folder {
  public:
    // Errors opening it name displayName (a missing folder reads "路径未找到").
    Folder(const std::string& path, const std::string& displayName);
    Folder(Folder&&) noexcept = default;
    Folder& operator=(Folder&&) noexcept = default;

    const std::string& path() const { return path_; }
    FileInfo Info() const;
    // The longest name a file may have here (see NameLength).
    long NameLimit() const;

    // Creates the file new, for writing, readable by its owner alone, never through a link;
    // empty when the name is taken. A folder the user may not write in fails naming the folder.
    // The file is locked while it stays open (flock on Linux; on Windows it is shared with no
    // one), so that RemoveIfAbandoned leaves it alone.
    std::optional<File> CreateNew(const std::string& name, const std::string& displayName) const;
    // Renames from over to, replacing whatever stands at to; a link there is replaced, never
    // followed. Errors name displayName. A stop request ends the retries (see SetRetryPause).
    void Rename(const std::string& from, const std::string& to, const std::string& displayName,
                std::stop_token stop = {}) const;
    // Renames from to a name nothing stands at; false, with nothing renamed, when something
    // does by then (where the file system cannot say so at once, it is looked at just before:
    // a small window remains there).
    bool RenameToFreeName(const std::string& from, const std::string& to,
                          const std::string& displayName) const;
    // Swaps what stands at a and at b in one step, so that neither name is ever free. Absent
    // when either name holds nothing; Unsupported, with nothing changed, where the system or
    // file system cannot swap (Windows; exFAT, NFS and CIFS on Linux).
    enum class Swap { Done, Absent, Unsupported };
    Swap Exchange(const std::string& a, const std::string& b, const std::string& displayName) const;
    // Takes hold of what stands at name, never following a link, so that MoveHeld moves exactly
    // that file; empty when nothing does. On Windows the hold has delete access and shares
    // reading alone, so no other program can stop the move from then on; one that already
    // holds the file in a way that would fails it with "文件正在被其他程序使用" (after the
    // pauses of SetRetryPause).
    std::optional<File> Hold(const std::string& name, const std::string& displayName) const;
    // Moves the held file from name to a name nothing stands at. Taken when something stands
    // at to; Elsewhere when name no longer holds that file; nothing is moved then.
    enum class Move { Done, Taken, Elsewhere };
    Move MoveHeld(const File& held, const std::string& name, const std::string& to) const;
    void RemoveQuietly(const std::string& name) const noexcept;
    // Removes the file at name where it was left by a writer that is gone: a regular file (never
    // reached through a link, and opened without waiting for anything), whose lock CreateNew's
    // writer held can be taken, and of which mayRemove approves. Quietly leaves it otherwise,
    // and where the file system has no locks.
    void RemoveIfAbandoned(const std::string& name,
                           const std::function<bool(const FileInfo&)>& mayRemove) const noexcept;
    // Makes the renames and removals so far durable; best effort, as some file systems cannot
    // sync a folder.
    void Flush() const noexcept;
    // Waits until every file FinishWriting sent on its way here is on the disk (Linux: the
    // folder's whole file system at once, which costs one journal commit where a flush per
    // file costs one each); nothing to wait for on Windows.
    void FlushFiles() const;

    std::optional<FileInfo> LinkStat(const std::string& name) const;
    // False when the user could not open the file at name (following links) for writing: its
    // mode or attribute says read-only, or it is immutable.
    bool MayWrite(const std::string& name) const;
    // Throws when the file at name, if any, could not be replaced by a rename: on Windows when
    // it is read-only, or another program holds it open in a way that stops its replacement
    // ("文件正在被其他程序使用"). A POSIX rename replaces any file, so there it never throws.
    void CheckReplaceable(const std::string& name) const;
    // Bytes the user may still write on the folder's file system, and its allocation unit.
    struct Space {
        std::int64_t available = 0;
        std::int64_t blockSize = 1;
    };
    Space FreeSpace() const;
    // The largest file the folder's file system can hold: FAT32 holds none of 4 GiB or more.
    std::int64_t LargestFile() const;
    // Names of the entries, for tidying up; empty when it cannot be read.
    std::vector<std::string> Names() const noexcept;

  private:
    File handle_;
    std::string path_;
    std::string systemPath_;  // where the twin reaches it (Windows: the full path, prefixed)
    // A folder that may be written but not read (a drop box) is reached through a handle that
    // serves only names; its file system is flushed through a file created in it.
    bool namesOnly_ = false;
    struct FlushThrough;
    std::shared_ptr<FlushThrough> flushThrough_;
};

// While it lives, a write past the process's file-size limit fails with "文件太大" on this
// thread and on threads it starts, instead of ending the process. The caller's signal mask is
// given back as it was, with no such signal left pending.
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
