// SPDX-License-Identifier: GPL-3.0-or-later
// A small command-line front to the engine, for trying it from a shell as a hostile user
// would (under ulimit, on FIFOs and devices, as root):
//   korvel_engine_cli split PATH MEGABYTES
//   korvel_engine_cli merge LIST OUTPUT
// The two characters "\0" in a path stand for U+0000, which a shell cannot pass. Prints the
// engine's message and exits 0 on success, 1 on failure, 2 on a usage error.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Module1.h"
#include "TestFiles.h"

namespace {

std::u16string PathArgument(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool nul = text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '0';
        bytes.push_back(nul ? '\0' : text[i]);
        i += nul ? 1 : 0;
    }
    return testing_files::U16(bytes);
}

}  // namespace

int Run(int argc, char** argv) {
    const std::string command = argc == 4 ? argv[1] : "";
    if (command == "split") {
        std::u16string message;
        if (Module1::SplitFile(PathArgument(argv[2]), 0, message, std::atoi(argv[3]) << 20)) {
            std::puts("文件分割完成！！！");
            return 0;
        }
        std::puts(testing_files::Utf8(message).c_str());
        return 1;
    }
    if (command == "merge") {
        try {
            Module1::MergeFile(PathArgument(argv[2]), PathArgument(argv[3]));
            std::puts("文件合并完成！！！");
            return 0;
        } catch (...) {
            std::puts(testing_files::Utf8(Module1::FailureText(std::current_exception())).c_str());
            return 1;
        }
    }
    std::fputs("usage: korvel_engine_cli split PATH MEGABYTES | merge LIST OUTPUT\n", stderr);
    return 2;
}

#if defined(_WIN32)
// Windows hands a program its arguments as UTF-16 only through wmain.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        const std::wstring_view wide = argv[i];
        arguments.push_back(testing_files::Utf8(std::u16string(wide.begin(), wide.end())));
    }
    std::vector<char*> pointers;
    for (std::string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    return Run(argc, pointers.data());
}
#else
int main(int argc, char** argv) {
    return Run(argc, argv);
}
#endif
