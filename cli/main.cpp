// SPDX-License-Identifier: GPL-3.0-or-later
// korvel: the command line on the system's console. Arguments and text are UTF-16 inside; the
// console gets UTF-8, or on Windows wide text through WriteConsoleW. Ctrl+C (and SIGTERM,
// SIGHUP) stops a run as a stop in the window does; a third one ends korvel at once.
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Korvel.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#include <csignal>
#endif

namespace {

std::string Utf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

#if defined(_WIN32)

class SystemConsole final : public korvel::Console {
  public:
    void Out(std::u16string_view text) override { Write(::GetStdHandle(STD_OUTPUT_HANDLE), text); }
    void Err(std::u16string_view text) override { Write(::GetStdHandle(STD_ERROR_HANDLE), text); }
    bool ErrIsTerminal() const override {
        DWORD mode = 0;
        return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
    }

  private:
    static void Write(HANDLE handle, std::u16string_view text) {
        DWORD mode = 0;
        DWORD written = 0;
        if (::GetConsoleMode(handle, &mode)) {  // a console: wide text, in any code page
            ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written,
                            nullptr);
            return;
        }
        const std::string bytes = Utf8(text);  // redirected: UTF-8, as on other systems
        ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
};

std::stop_source g_stop;
LONG g_requests = 0;

BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    // The first stops the run, a second changes nothing, a third ends korvel as Windows would.
    const LONG requests = ::InterlockedIncrement(&g_requests);
    if (requests >= 3) {
        return FALSE;
    }
    g_stop.request_stop();
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    }
    ::SetConsoleCtrlHandler(OnControl, TRUE);
    SystemConsole console;
    return korvel::Run(arguments, console, g_stop.get_token());
}

#else

class SystemConsole final : public korvel::Console {
  public:
    void Out(std::u16string_view text) override { Write(stdout, text); }
    void Err(std::u16string_view text) override { Write(stderr, text); }
    bool ErrIsTerminal() const override { return ::isatty(STDERR_FILENO) == 1; }

  private:
    static void Write(std::FILE* stream, std::u16string_view text) {
        const std::string bytes = Utf8(text);
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
        std::fflush(stream);
    }
};

// Decodes UTF-8 strictly; a byte that starts no well-formed sequence becomes a lone surrogate,
// which the run refuses, so that no argument silently names another file.
std::u16string FromUtf8(std::string_view bytes) {
    std::u16string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80   ? 1
                                   : lead < 0xC2 ? 0
                                   : lead < 0xE0 ? 2
                                   : lead < 0xF0 ? 3
                                   : lead < 0xF5 ? 4
                                                 : 0;
        char32_t c = length <= 1 ? lead : lead & (0x3F >> (length - 1));
        bool valid = length != 0 && i + length <= bytes.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3F);
        }
        const char32_t least = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0;
        if (!valid || c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += static_cast<char16_t>(0xDC00 | lead);
            ++i;
            continue;
        }
        i += length;
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(FromUtf8(argv[i]));
    }
    // The signals to end go to a thread of their own, which asks the run to stop: the first stops
    // it, a second changes nothing, a third ends korvel as the signal would.
    sigset_t ending;
    sigemptyset(&ending);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&ending, signal);
    }
    ::pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    std::stop_source stop;
    std::thread([ending, stop]() mutable {
        for (int requests = 1;; ++requests) {
            int signal = 0;
            if (::sigwait(&ending, &signal) != 0) {
                return;
            }
            if (requests >= 3) {
                std::signal(signal, SIG_DFL);
                ::pthread_sigmask(SIG_UNBLOCK, &ending, nullptr);
                ::raise(signal);
            }
            stop.request_stop();
        }
    }).detach();
    SystemConsole console;
    return korvel::Run(arguments, console, stop.get_token());
}

#endif
