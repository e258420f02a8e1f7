// SPDX-License-Identifier: GPL-3.0-or-later
// What the POSIX twin's two files (FileIo.cpp, Folder.cpp) share: how every system call is made,
// the table of error numbers and what a stat record says. The Windows twin has the same parts
// under the same names (engine/win32/System.h).
#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "FileIo.h"
#include "Messages.h"

namespace Module1::io::posix {

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

// Makes the call again while a signal interrupts it.
template <typename Call>
auto Interruptible(Step step, Call call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = Sys(step, call);
    } while (result < 0 && errno == EINTR);
    return result;
}

// The failure a system error number stands for; an unknown number is Failure::SystemError.
Failure FailureOf(int error);
// Throws EngineError "description：path" for a system error number. ENOENT under a missing
// folder reads "路径未找到".
[[noreturn]] void Fail(int error, const std::string& path);
// What the engine knows of a file, from its stat record.
FileInfo InfoOf(const struct stat& info);

}  // namespace Module1::io::posix
