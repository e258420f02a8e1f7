// SPDX-License-Identifier: GPL-3.0-or-later
// What the Windows twin's two files (FileIo.cpp, Folder.cpp) share: how every system call is
// made, the table of error codes, what a handle says of its file, and the wide, full, prefixed
// paths the calls take. The POSIX twin has the same parts under the same names where it has
// them at all (engine/posix/System.h).
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "FileIo.h"
#include "Messages.h"

namespace Module1::io::win32 {

// The system error an injected errno stands for.
DWORD WindowsErrorOf(int error);

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

// The pauses between tries of a rename or removal another program holds up: two seconds of
// pauses in all, each longer than the last.
constexpr int kRetryPausesMs[] = {10, 20, 40, 80, 160, 320, 640, 730};

inline bool HeldByAnother(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_LOCK_VIOLATION;
}

// Makes the call, and again while another program holds the file, until the pauses run out or a
// stop is asked for; returns false with the last error set when it never succeeded.
template <typename Call>
bool WhileHeld(Step step, std::stop_token stop, Call call) {
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

// The failure a system error code stands for; an unknown code is Failure::SystemError.
Failure FailureOf(DWORD error);
// Throws EngineError "description：path" for a system error. A file refused because its
// read-only attribute is set says so.
[[noreturn]] void Fail(DWORD error, const std::string& path);
// What the engine knows of an open file.
FileInfo InfoOf(HANDLE handle);
// Looks at what stands at a path without opening its data; empty when nothing is there (or a
// link leads nowhere, when following).
std::optional<FileInfo> InfoAt(const std::wstring& systemPath, bool follow, Step step,
                               const std::string& path);

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);
// The path as the system takes it: made full with GetFullPathNameW (which resolves a
// drive-relative path such as C:a against that drive's current folder and drops trailing dots
// and spaces), then given the \\?\ prefix that lifts the 260-character limit.
std::wstring SystemPath(const std::string& path);
// A name within a folder as the system takes it, without the trailing dots and spaces that
// Windows drops (through the \\?\ prefix it would keep them, and no other program could
// reach the file).
std::wstring Joined(const std::wstring& folder, const std::string& name);
bool IsReadOnly(const std::wstring& systemPath);

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

inline UniqueHandle Owned(HANDLE handle) {
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

}  // namespace Module1::io::win32
