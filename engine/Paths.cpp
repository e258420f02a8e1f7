// SPDX-License-Identifier: GPL-3.0-or-later
#include "Paths.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace Module1::io {
namespace {

constexpr std::string_view kLongPrefix = "\\\\?\\";
constexpr std::string_view kLongUncPrefix = "\\\\?\\UNC\\";
constexpr std::string_view kDevicePrefix = "\\\\.\\";

std::string_view Separators(PathStyle style) {
    return style == PathStyle::Windows ? "\\/" : "/";
}

bool IsSeparator(char c, PathStyle style) {
    return Separators(style).find(c) != std::string_view::npos;
}

// "C:", with a drive letter: a Windows path that starts at a drive.
bool HasDrive(std::string_view path, PathStyle style) {
    return style == PathStyle::Windows && path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// Where a Windows name ends once its trailing dots and spaces are dropped; a name of dots and
// spaces alone keeps them.
template <typename Char>
std::size_t StoredLength(std::basic_string_view<Char> name) {
    std::size_t end = name.size();
    while (end > 0 && (name[end - 1] == Char('.') || name[end - 1] == Char(' '))) {
        --end;
    }
    return end == 0 ? name.size() : end;
}

}  // namespace

std::string FolderOf(const std::string& path, PathStyle style) {
    const auto slash = path.find_last_of(Separators(style));
    if (slash == std::string::npos) {
        return HasDrive(path, style) ? path.substr(0, 2) : ".";  // "C:a": C:'s current folder
    }
    if (slash == 0 || (HasDrive(path, style) && slash == 2)) {
        return path.substr(0, slash + 1);  // the root
    }
    std::size_t end = slash;
    while (style == PathStyle::Windows && end > 0 && IsSeparator(path[end - 1], style)) {
        --end;  // "a\\b" names b in a
    }
    return end == 0 ? path.substr(0, 1) : path.substr(0, end);
}

std::string NameOf(const std::string& path, PathStyle style) {
    const auto slash = path.find_last_of(Separators(style));
    if (slash == std::string::npos) {
        return HasDrive(path, style) ? path.substr(2) : path;
    }
    return path.substr(slash + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name, PathStyle style) {
    if (folder.empty() || IsSeparator(folder.back(), style) ||
        (folder.size() == 2 && HasDrive(folder, style))) {
        return folder + name;
    }
    return folder + (style == PathStyle::Windows ? "\\" : "/") + name;
}

std::size_t NameLength(const std::string& name, PathStyle style) {
    if (style == PathStyle::Posix) {
        return name.size();
    }
    // A UTF-16 unit for each character, two for one past the Basic Multilingual Plane (a four
    // byte sequence); a byte that starts no sequence counts as one, as its replacement would.
    std::size_t units = 0;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0) == 0x80 ? 0 : byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

std::size_t LongestPath(PathStyle style) {
    return style == PathStyle::Windows ? 32767 : 4096;
}

std::string StoredName(const std::string& name, PathStyle style) {
    return style == PathStyle::Windows ? name.substr(0, StoredLength(std::string_view(name)))
                                       : name;
}

std::u16string AsStored(const std::u16string& path, PathStyle style) {
    if (style == PathStyle::Posix) {
        return path;  // every byte of a name counts here
    }
    std::size_t leaf = path.find_last_of(u"\\/") + 1;  // 0 when there is no separator
    if (leaf == 0 && path.size() >= 2 && path[1] == u':') {
        leaf = 2;  // "C:a." names a. in the current folder of C:
    }
    return path.substr(0, leaf + StoredLength(std::u16string_view(path).substr(leaf)));
}

BadName BadNameOf(const std::string& name, PathStyle style) {
    if (style == PathStyle::Posix) {
        return BadName::None;  // every name but "." and ".." can hold a file
    }
    if (name.find(':') != std::string::npos) {
        return BadName::Stream;
    }
    // Windows takes a device name for the device whatever extension follows it, and trailing
    // spaces before the extension as well; device names are ASCII, so ASCII case is the case.
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.pop_back();
    }
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN",    "AUX",
                                                          "NUL", "CONIN$", "CONOUT$"};
    constexpr std::array<std::string_view, 13> kPortNumbers = {
        "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "\u00B9", "\u00B2", "\u00B3"};
    const std::string_view port =
        std::string_view(stem).substr(std::min<std::size_t>(3, stem.size()));
    const bool reserved =
        std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end() ||
        ((stem.starts_with("COM") || stem.starts_with("LPT")) &&
         std::find(kPortNumbers.begin(), kPortNumbers.end(), port) != kPortNumbers.end());
    return reserved ? BadName::Reserved : BadName::None;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string WithLongPrefix(const std::string& fullPath) {
    if (fullPath.starts_with(kLongPrefix) || fullPath.starts_with(kDevicePrefix)) {
        return fullPath;
    }
    if (fullPath.starts_with("\\\\")) {
        return std::string(kLongUncPrefix) + fullPath.substr(2);
    }
    return std::string(kLongPrefix) + fullPath;
}

std::string WithoutLongPrefix(const std::string& systemPath) {
    if (systemPath.starts_with(kLongUncPrefix)) {
        return "\\\\" + systemPath.substr(kLongUncPrefix.size());
    }
    if (systemPath.starts_with(kLongPrefix)) {
        return systemPath.substr(kLongPrefix.size());
    }
    return systemPath;
}

}  // namespace Module1::io
