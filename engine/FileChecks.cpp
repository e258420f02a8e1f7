// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileChecks.h"

#include <algorithm>

#include "FileIo.h"
#include "Messages.h"
#include "Paths.h"
#include "Text.h"

namespace Module1::io {

std::string PathOf(const std::u16string& text) {
    if (text.find(u'\0') != std::u16string::npos) {
        std::u16string shown = text;
        std::replace(shown.begin(), shown.end(), u'\0', u'\u2400');  // the symbol for NUL
        Throw(Failure::NulInName, text::ToUtf8(shown));
    }
    return text::ToUtf8(text);
}

void CheckNameAllowed(const std::string& path) {
    switch (BadNameOf(NameOf(path))) {
        case BadName::Stream: Throw(Failure::InvalidName, path);
        case BadName::Reserved: Throw(Failure::ReservedName, path);
        case BadName::None: return;
    }
}

void CheckNameFits(const std::string& path, long nameLimit) {
    CheckNameAllowed(path);
    if (static_cast<long>(NameLength(NameOf(path))) > nameLimit) {
        Throw(Failure::NameTooLong, path);
    }
    if (SystemPathLength(path) >= LongestPath()) {
        Throw(kNativeStyle == PathStyle::Windows ? Failure::PathTooLong : Failure::NameTooLong,
              path);
    }
}

void CheckRegularOrAbsent(const std::string& path) {
    const std::optional<FileInfo> link = LinkStat(path);
    if (!link) {
        return;
    }
    const std::optional<FileInfo> info = link->kind == Kind::Link ? StatIfPresent(path) : link;
    if (info && info->kind == Kind::Directory) {
        Throw(Failure::PathAccess, path);
    }
    if (info && info->kind != Kind::Regular) {
        Throw(Failure::NotRegularFile, path);
    }
}

}  // namespace Module1::io
