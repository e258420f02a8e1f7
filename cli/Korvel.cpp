// SPDX-License-Identifier: GPL-3.0-or-later
#include "Korvel.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>

#include "Input.h"
#include "Module1.h"
#include "Texts.h"

namespace korvel {
namespace {

constexpr std::u16string_view kHelp =
    u"用法：\n"
    u"  korvel split 文件 每份大小          把文件分割成每份大小（单位：M）的分割出的文件，\n"
    u"                                     并写出列表文件（.FLF）和校验文件\n"
    u"  korvel merge [--force] 文件 [合并后的文件]\n"
    u"                                     合并一组分割出的文件：文件可以是列表文件（.FLF）、\n"
    u"                                     这组文件中的任意一份，或者其他分割程序写出的\n"
    u"                                     编号文件（如 a.7z.001）中的任意一份；\n"
    u"                                     不指定合并后的文件时，用列表文件或分割出的文件的名字\n"
    u"                                     去掉扩展名\n"
    u"  korvel verify 文件                  用校验文件检查一组分割出的文件，不写任何文件\n"
    u"  korvel --help                       显示本说明\n"
    u"  korvel --version                    显示版本\n"
    u"\n"
    u"选项：\n"
    u"  --force    合并后的文件已经存在时替换它（否则不替换，并以状态 1 退出）\n"
    u"\n"
    u"退出状态：0 成功；1 失败（标准错误上有原因）；2 用法错误。\n"
    u"按 Ctrl+C 停止分割或合并，不留下它写了一半的文件。\n";

constexpr std::u16string_view kVerified = u"校验通过：这组分割出的文件与校验文件相符，共 ";
constexpr std::u16string_view kOutputThere = u"合并后的文件已经存在：";
constexpr std::u16string_view kReplaceWithForce = u"要替换它，请加上 --force。";

// The engine's texts join lines with carriage returns, as a message box takes them.
std::u16string Lines(std::u16string text) {
    std::replace(text.begin(), text.end(), u'\r', u'\n');
    return text.ends_with(u'\n') ? text : text + u'\n';
}

std::u16string Number(std::int64_t value) {
    const std::string digits = std::to_string(value);
    return {digits.begin(), digits.end()};
}

// Whether every surrogate is paired: a name that is no text cannot be given to the engine as
// typed, and must not become another name.
bool WellFormed(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
            text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;
        } else if (text[i] >= 0xD800 && text[i] <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

int Usage(Console& console, std::u16string_view problem) {
    console.Err(Lines(std::u16string(problem)));
    console.Err(kHelp);
    return kUsageError;
}

// Progress on a terminal: one line, drawn again in place, at most a hundred times.
Module1::Progress ProgressOn(Console& console, std::u16string_view what) {
    if (!console.ErrIsTerminal()) {
        return {};
    }
    auto shown = std::make_shared<int>(-1);
    return [&console, what = std::u16string(what), shown](std::int64_t done, std::int64_t total) {
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        if (percent != *shown) {
            *shown = percent;
            console.Err(u"\r" + what + u" " + Number(percent) + u"%");
        }
    };
}

void EndProgress(Console& console) {
    if (console.ErrIsTerminal()) {
        console.Err(u"\n");
    }
}

int Split(const std::u16string& file, const std::u16string& size, Console& console,
          std::stop_token stop) {
    const std::optional<std::int64_t> megabytes = windowlogic::MegabytesOf(size);
    if (!megabytes) {
        return Usage(console, u"每份大小必须是一个数（单位：M）：“" + size + u"”");
    }
    // A size the engine cannot take as bytes is its overflow; 0 or less its own refusal.
    constexpr std::int64_t kMiB = 1 << 20;
    const std::int64_t bytes =
        std::clamp<std::int64_t>(*megabytes, std::numeric_limits<std::int32_t>::min() / kMiB,
                                 std::numeric_limits<std::int32_t>::max() / kMiB + 1) *
        kMiB;
    const auto pieceSize = static_cast<std::int32_t>(
        std::min<std::int64_t>(bytes, std::numeric_limits<std::int32_t>::max()));
    std::u16string message;
    const bool split = Module1::SplitFile(
        file, 0, message, pieceSize, ProgressOn(console, windowlogic::texts::kSplitting), stop);
    EndProgress(console);
    if (!split) {
        console.Err(Lines(message));
        return kFailed;
    }
    console.Out(Lines(std::u16string(windowlogic::texts::kSplitDone)));
    return kSucceeded;
}

int Merge(const std::u16string& file, std::optional<std::u16string> output, bool force,
          Console& console, std::stop_token stop) {
    const Module1::SetFile set = Module1::WhatSetFileIs(file);
    const std::u16string from = set.kind == Module1::SetFileKind::None ? file : set.mergeFrom;
    if (!output) {
        output =
            set.kind == Module1::SetFileKind::None ? windowlogic::OutputForList(file) : set.output;
    }
    std::error_code error;
    if (!force && std::filesystem::exists(std::filesystem::symlink_status(*output, error))) {
        console.Err(Lines(std::u16string(kOutputThere) + u"“" + *output + u"”\n" +
                          std::u16string(kReplaceWithForce)));
        return kFailed;
    }
    try {
        const Module1::MergeReport report = Module1::MergeSet(
            from, *output, ProgressOn(console, windowlogic::texts::kMerging), stop);
        EndProgress(console);
        console.Out(Lines(std::u16string(windowlogic::texts::kMergeDone)));
        if (const std::u16string more = Module1::ReportText(report); !more.empty()) {
            console.Out(Lines(more));
        }
        return kSucceeded;
    } catch (...) {
        EndProgress(console);
        console.Err(Lines(Module1::FailureText(std::current_exception())));
        return kFailed;
    }
}

int Verify(const std::u16string& file, Console& console, std::stop_token stop) {
    const Module1::SetFile set = Module1::WhatSetFileIs(file);
    const std::u16string from = set.kind == Module1::SetFileKind::None ? file : set.mergeFrom;
    try {
        const Module1::MergeReport report =
            Module1::VerifySet(from, ProgressOn(console, u"正在检查......"), stop);
        EndProgress(console);
        console.Out(std::u16string(kVerified) + Number(report.pieces) + u" 份。\n");
        return kSucceeded;
    } catch (...) {
        EndProgress(console);
        console.Err(Lines(Module1::FailureText(std::current_exception())));
        return kFailed;
    }
}

}  // namespace

int Run(const std::vector<std::u16string>& arguments, Console& console, std::stop_token stop) {
    std::vector<std::u16string> words;
    bool force = false;
    for (const std::u16string& argument : arguments) {
        if (argument == u"--help" || argument == u"-h") {
            console.Out(kHelp);
            return kSucceeded;
        }
        if (argument == u"--version") {
            const std::string_view version = KORVEL_VERSION;
            console.Out(u"korvel " + std::u16string(version.begin(), version.end()) + u"\n");
            return kSucceeded;
        }
        if (!WellFormed(argument)) {
            return Usage(console, u"参数里有不是文本的字节，不能当作文件名。");
        }
        if (argument == u"--force") {
            force = true;
        } else if (argument.starts_with(u"--")) {
            return Usage(console, u"没有这个选项：" + argument);
        } else {
            words.push_back(argument);
        }
    }
    const std::u16string command = words.empty() ? u"" : words.front();
    if (command == u"split" && words.size() == 3 && !force) {
        return Split(words[1], words[2], console, stop);
    }
    if (command == u"merge" && (words.size() == 2 || words.size() == 3)) {
        return Merge(words[1], words.size() == 3 ? std::optional(words[2]) : std::nullopt, force,
                     console, stop);
    }
    if (command == u"verify" && words.size() == 2 && !force) {
        return Verify(words[1], console, stop);
    }
    return Usage(console, command.empty() ? u"缺少命令。" : u"命令或参数不对：" + command);
}

}  // namespace korvel
