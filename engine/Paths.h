// SPDX-License-Identifier: GPL-3.0-or-later
// Path syntax, as plain code with a style parameter, so that Windows' rules (drive letters,
// trailing dots and spaces, the \\?\ and UNC forms, device names, names counted in UTF-16
// units) are tested on every build machine, not only under Windows. Nothing here asks the
// system anything; what needs it (a drive's current folder, a volume's case table) is the
// seam's (FileIo.h). Paths are UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Module1::io {

enum class PathStyle { Posix, Windows };

#if defined(_WIN32)
inline constexpr PathStyle kNativeStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativeStyle = PathStyle::Posix;
#endif

// The folder that holds path: "." for a bare name, the root for a name at the root; on Windows
// "C:" for "C:a", which lies in that drive's current folder.
std::string FolderOf(const std::string& path, PathStyle style = kNativeStyle);
// The last element of path.
std::string NameOf(const std::string& path, PathStyle style = kNativeStyle);
// folder and name joined by the style's separator.
std::string JoinPath(const std::string& folder, const std::string& name,
                     PathStyle style = kNativeStyle);

// The length of a name as the file system counts it against its longest name: bytes on POSIX,
// UTF-16 units on Windows.
std::size_t NameLength(const std::string& name, PathStyle style = kNativeStyle);
// The longest path the system takes, in the units of NameLength; on Windows the longest with
// the \\?\ prefix.
std::size_t LongestPath(PathStyle style = kNativeStyle);

// A name as the file system stores it: on Windows without the trailing dots and spaces that
// Windows drops ("a.bin. " is a.bin; "." and ".." keep theirs, as they mean folders).
std::string StoredName(const std::string& name, PathStyle style = kNativeStyle);
// path with its last element as StoredName gives it.
std::u16string AsStored(const std::u16string& path, PathStyle style = kNativeStyle);

// Why no file may bear a name on this system, if none may: on Windows a device name (CON, PRN,
// AUX, NUL, COM0-9, LPT0-9, also with superscript digits, CONIN$ and CONOUT$) with any
// extension, or a ':', which on NTFS names a stream of another file.
enum class BadName { None, Reserved, Stream };
BadName BadNameOf(const std::string& name, PathStyle style = kNativeStyle);

// Two names the same but for the case of ASCII letters, as file systems without case and
// checksum lists made on them give names.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

// A full Windows path as the wide calls take it past 260 characters: with the \\?\ prefix, or
// \\?\UNC\ for a share; a device path (\\.\) or one already prefixed stays as it is.
std::string WithLongPrefix(const std::string& fullPath);
// The path as a user writes it, without the prefix WithLongPrefix gave it.
std::string WithoutLongPrefix(const std::string& systemPath);

}  // namespace Module1::io
