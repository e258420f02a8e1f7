// SPDX-License-Identifier: GPL-3.0-or-later
// korvel-splitter.exe [FILE]: the window, with FILE routed as if it had been dropped on it (a
// list file, a piece of a set or the first file of a numbered set opens the merge panel, any
// other file the split panel). korvel-splitter.exe --split FILE: the split panel with FILE,
// whatever it is, as Explorer's "split" verb asks.
#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include <string_view>

#include "Form1.h"
#include "Platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // The file dialogs and the accessibility names are COM objects of this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int status = 1;
    {
        win32::Form1 form(instance);
        if (form.Create()) {
            int count = 0;
            if (LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count)) {
                if (count > 2 && std::wstring_view(arguments[1]) == L"--split") {
                    form.OpenFileToSplit(win32::U(arguments[2]));
                } else if (count > 1) {
                    form.OpenFile(win32::U(arguments[1]));
                }
                LocalFree(arguments);
            }
            form.Show(showCommand);
            MSG message;
            status = 0;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                // The dialog manager gives the window Tab, the arrows and the access keys.
                if (!form.Handle() || !IsDialogMessageW(form.Handle(), &message)) {
                    TranslateMessage(&message);
                    DispatchMessageW(&message);
                }
            }
            status = static_cast<int>(message.wParam);
        }
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return status;
}
