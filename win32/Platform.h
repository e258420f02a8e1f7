// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 window's seam to the system: message boxes, the common file dialogs and the three
// questions about the file system the window's logic asks. Texts are UTF-16 on both sides, so
// std::u16string and std::wstring differ only in their character type.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "PlatformSeam.h"

namespace win32 {

std::wstring W(std::u16string_view text);
std::u16string U(std::wstring_view text);

// MessageBoxW with the style and answer numbers of windowlogic/Texts.h, which are the system's
// own (MB_YESNO, MB_ICONHAND, ...; IDOK, IDYES, IDNO). A carriage return alone starts a new line.
int MsgBox(HWND owner, const std::u16string& prompt, int style, const std::u16string& title);

// "description|pattern|..." as OPENFILENAMEW wants it: NUL between the parts, two at the end.
std::wstring DialogFilter(std::u16string_view filter);

// GetOpenFileNameW (kind 1) or GetSaveFileNameW (kind 2). Neither asks about an existing
// file: the merge command asks. Returns the full path, or an empty text on cancel.
std::u16string ShowFileDialog(HWND owner, const windowlogic::FileDialogRequest& request);

// The folder a file dialog starts in: as given below MAX_PATH, else its short (8.3) form where
// that fits, else empty (the dialogs take no longer start folder, and some fail on one).
std::wstring DialogStartFolder(const std::u16string& folder);

// The path as the wide file functions take it past MAX_PATH: made full, with the \\?\ (or
// \\?\UNC\) prefix when it is long. Empty for a text holding NUL.
std::wstring SystemPath(std::u16string_view path);

// The file-exists test: a file, not a folder (hidden and system files included); "*" and "?"
// in the last element match as wildcards, and a pattern passes when one file matches it.
bool FileExists(const std::u16string& path);
// True when the path names a file by that very name, hidden and system files included: a
// pattern names none.
bool IsFile(const std::u16string& path);
bool IsFolder(const std::u16string& path);
// The folder a path names, or the one it lies in, when that folder exists; empty otherwise.
std::u16string FolderOf(const std::u16string& path);

}  // namespace win32
