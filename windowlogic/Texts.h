// SPDX-License-Identifier: GPL-3.0-or-later
// The window's own texts: status texts, message prompts and titles, and what the file choosers
// ask for. Two-line prompts join their lines with a carriage return alone. The engine's texts
// are its own (Module1::FailureText); the window shows them as they come.
//
// Two words stand for the set in every text of the window's own: "列表文件（.FLF）" for the
// list file, which the fields' labels call "被分割后的首个文件", and "分割出的文件" for the
// pieces.
#pragma once

#include <string_view>

namespace windowlogic::texts {

// The status line.
inline constexpr std::u16string_view kIdle = u" 系统空闲！！！";
inline constexpr std::u16string_view kSplitting = u" 正在分割文件......";
inline constexpr std::u16string_view kMerging = u" 正在合并文件......";
// What a screen reader hears of the status line's fill, before its percent.
inline constexpr std::u16string_view kProgressDone = u"已完成 ";

// Message box styles and answers.
inline constexpr int vbOKOnly = 0;
inline constexpr int vbYesNo = 4;
inline constexpr int vbCritical = 16;
inline constexpr int vbQuestion = 32;
inline constexpr int vbExclamation = 48;
inline constexpr int vbDefaultButton2 = 256;
inline constexpr int vbYesNoQuestion = vbYesNo | vbQuestion;  // 36: Yes the default
inline constexpr int vbOK = 1;
inline constexpr int vbYes = 6;
inline constexpr int vbNo = 7;

// The split command.
inline constexpr std::u16string_view kSplitFailedTitle = u"文件分割失败";
inline constexpr std::u16string_view kSplitDoneTitle = u"文件分割成功";
inline constexpr std::u16string_view kSplitDone = u"文件分割完成！！！";
inline constexpr std::u16string_view kNoSize =
    u"没有指定分割后每份的大小！\r请输入或选取分割后每份的大小！！！";
inline constexpr std::u16string_view kNoFile =
    u"没有指定需要被分割的文件！\r请输入需要被分割的文件！！！";
inline constexpr std::u16string_view kFileMissing =
    u"需要被分割的文件不存在！\r请重新输入需要被分割的文件！！！";
inline constexpr std::u16string_view kBadSize =
    u"分割后每份的大小不正确！\r请输入 1 到 2047 之间的数字！！！";

// The merge command.
inline constexpr std::u16string_view kMergeFailedTitle = u"文件合并失败";
inline constexpr std::u16string_view kMergeDoneTitle = u"文件合并成功";
inline constexpr std::u16string_view kMergeDone = u"文件合并完成！！！";
inline constexpr std::u16string_view kNoList = u"未指定被分割的首个文件！！！";
inline constexpr std::u16string_view kListMissing = u"指定的被分割的首个文件不存在！！！";
inline constexpr std::u16string_view kNoOutput = u"未指定合并后的文件名！！！";
inline constexpr std::u16string_view kOutputInSet =
    u"合并后的文件名不能是列表文件（.FLF）、它的校验文件或任何一个分割出的文件，"
    u"也不能含有 * 或 ?！\r请重新指定合并后的文件名！！！";
inline constexpr std::u16string_view kNoticeTitle = u"提示信息";
inline constexpr std::u16string_view kOverwrite = u"指定合并后的文件已经存在！\r是否覆盖？？？";

// A close request while a split or merge runs; asked with the window's caption as title.
inline constexpr std::u16string_view kStopSplit = u"正在分割文件，要停止并关闭窗口吗？";
inline constexpr std::u16string_view kStopMerge = u"正在合并文件，要停止并关闭窗口吗？";
inline constexpr int kStopStyle = vbYesNo | vbQuestion | vbDefaultButton2;  // No the default

// The file choosers: title and "description|pattern|..." filter.
inline constexpr std::u16string_view kAllFiles = u"所有文件(*.*)|*.*";
inline constexpr std::u16string_view kSourceChooserTitle = u"打开需要被分割的文件";
inline constexpr std::u16string_view kListChooserTitle = u"打开要合并的文件的首个文件";
inline constexpr std::u16string_view kListFilter = u"(*.FLF)|*.FLF|所有文件(*.*)|*.*";
inline constexpr std::u16string_view kOutputChooserTitle = u"合并文件为...";

}  // namespace windowlogic::texts
