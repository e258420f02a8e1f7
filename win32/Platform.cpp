// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform.h"

#include <commdlg.h>

#include <algorithm>

#include "Texts.h"

namespace win32 {

namespace {

namespace texts = windowlogic::texts;
// MsgBox hands the logic's styles to MessageBoxW and its answers back as they are.
static_assert(texts::vbOKOnly == MB_OK && texts::vbYesNo == MB_YESNO &&
              texts::vbCritical == MB_ICONHAND && texts::vbQuestion == MB_ICONQUESTION &&
              texts::vbExclamation == MB_ICONEXCLAMATION &&
              texts::vbDefaultButton2 == MB_DEFBUTTON2);
static_assert(texts::vbOK == IDOK && texts::vbYes == IDYES && texts::vbNo == IDNO);

// The longest path the wide functions take, in UTF-16 units, with its closing NUL.
constexpr DWORD kLongestPath = 32768;

bool HoldsNul(std::u16string_view text) {
    return text.find(u'\0') != std::u16string_view::npos;
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

}  // namespace

std::wstring W(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

std::u16string U(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

int MsgBox(HWND owner, const std::u16string& prompt, int style, const std::u16string& title) {
    return MessageBoxW(owner, W(prompt).c_str(), W(title).c_str(),
                       static_cast<UINT>(style) | MB_SETFOREGROUND);
}

std::wstring DialogFilter(std::u16string_view filter) {
    std::wstring parts = W(filter);
    std::replace(parts.begin(), parts.end(), L'|', L'\0');
    parts.push_back(L'\0');
    parts.push_back(L'\0');
    return parts;
}

std::u16string ShowFileDialog(HWND owner, const windowlogic::FileDialogRequest& request) {
    std::wstring file(kLongestPath, L'\0');
    const std::wstring given = W(request.fileName);
    std::copy_n(given.begin(), std::min<std::size_t>(given.size(), kLongestPath - 1), file.begin());
    const std::wstring filter = DialogFilter(request.filter);
    const std::wstring title = W(request.title);
    const std::wstring folder = DialogStartFolder(request.folder);

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = static_cast<DWORD>(request.filterIndex);
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = kLongestPath;
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = title.c_str();
    // No OFN_OVERWRITEPROMPT: the merge command asks before it replaces a file.
    dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                   OFN_PATHMUSTEXIST | (request.kind == 2 ? 0 : OFN_FILEMUSTEXIST);
    const BOOL chosen = request.kind == 2 ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen) {
        return {};
    }
    return U(file.c_str());
}

std::wstring DialogStartFolder(const std::u16string& folder) {
    if (folder.size() < MAX_PATH) {
        return W(folder);
    }
    const std::wstring system = SystemPath(folder);
    std::wstring shortName(kLongestPath, L'\0');
    const DWORD length = GetShortPathNameW(system.c_str(), shortName.data(), kLongestPath);
    shortName.resize(length < kLongestPath ? length : 0);
    if (shortName.starts_with(L"\\\\?\\UNC\\")) {
        shortName = L"\\\\" + shortName.substr(8);
    } else if (shortName.starts_with(L"\\\\?\\")) {
        shortName = shortName.substr(4);
    }
    return shortName.size() < MAX_PATH ? shortName : std::wstring();
}

std::wstring SystemPath(std::u16string_view path) {
    if (path.empty() || HoldsNul(path)) {
        return {};
    }
    const std::wstring given = W(path);
    std::wstring full(kLongestPath, L'\0');
    const DWORD length = GetFullPathNameW(given.c_str(), kLongestPath, full.data(), nullptr);
    if (length == 0 || length >= kLongestPath) {
        return given;
    }
    full.resize(length);
    // Below MAX_PATH less a file name's 12, every function takes the path as it is.
    if (full.size() < MAX_PATH - 12 || full.starts_with(L"\\\\?\\")) {
        return full;
    }
    if (full.size() > 2 && IsSeparator(full[0]) && IsSeparator(full[1])) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

bool FileExists(const std::u16string& path) {
    if (path.empty() || HoldsNul(path) || IsSeparator(static_cast<wchar_t>(path.back()))) {
        return false;
    }
    const std::wstring name = SystemPath(path);
    WIN32_FIND_DATAW found{};
    HANDLE search =
        FindFirstFileExW(name.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    // Hidden and system files count too: the merge asks before it replaces one, and a hidden
    // file can be split, as in the window on Linux.
    bool file = false;
    do {
        file = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    } while (!file && FindNextFileW(search, &found));
    FindClose(search);
    return file;
}

bool IsFile(const std::u16string& path) {
    if (path.find_first_of(u"*?") != std::u16string::npos) {
        return false;  // no name on Windows holds them
    }
    const std::wstring name = SystemPath(path);
    if (name.empty()) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::u16string& path) {
    const std::wstring name = SystemPath(path);
    if (name.empty()) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::u16string FolderOf(const std::u16string& path) {
    if (path.empty() || HoldsNul(path)) {
        return {};
    }
    std::wstring full(kLongestPath, L'\0');
    wchar_t* namePart = nullptr;
    const DWORD length = GetFullPathNameW(W(path).c_str(), kLongestPath, full.data(), &namePart);
    if (length == 0 || length >= kLongestPath) {
        return {};
    }
    full.resize(length);
    if (IsFolder(U(full))) {
        return U(full);
    }
    if (namePart == nullptr) {
        return {};
    }
    std::wstring folder = full.substr(0, static_cast<std::size_t>(namePart - full.data()));
    // "C:\a\" becomes "C:\a"; a root keeps its separator.
    if (folder.size() > 3 && IsSeparator(folder.back())) {
        folder.pop_back();
    }
    return IsFolder(U(folder)) ? U(folder) : std::u16string();
}

}  // namespace win32
