// SPDX-License-Identifier: GPL-3.0-or-later
// The split and merge commands through the real window and real files.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "Module1.h"
#include "WindowFixture.h"

using namespace testing_files;
using platform::vbCritical;
using platform::vbExclamation;
using platform::vbNo;
using platform::vbYes;
using platform::vbYesNoQuestion;
namespace fs = std::filesystem;

namespace {
const QString kSplitFailed = QStringLiteral("文件分割失败");
const QString kMergeFailed = QStringLiteral("文件合并失败");
const QString kSplitting = QStringLiteral(" 正在分割文件......");
const QString kMerging = QStringLiteral(" 正在合并文件......");
const QString kNoSize = QStringLiteral("没有指定分割后每份的大小！") + kCr +
                        QStringLiteral("请输入或选取分割后每份的大小！！！");
const QString kNoFile = QStringLiteral("没有指定需要被分割的文件！") + kCr +
                        QStringLiteral("请输入需要被分割的文件！！！");
const QString kFileMissing = QStringLiteral("需要被分割的文件不存在！") + kCr +
                             QStringLiteral("请重新输入需要被分割的文件！！！");
const QString kBadSize = QStringLiteral("分割后每份的大小不正确！") + kCr +
                         QStringLiteral("请输入 1 到 2047 之间的数字！！！");
const QString kOverwrite =
    QStringLiteral("指定合并后的文件已经存在！") + kCr + QStringLiteral("是否覆盖？？？");
const QString kBadOutput = QStringLiteral(
                               "合并后的文件名不能是被分割后的首个文件、它的校验文件或任何一份分割"
                               "文件，也不能含有 * 或 ?！") +
                           kCr + QStringLiteral("请重新指定合并后的文件名！！！");
const QChar kNul = u'\0';
// What the folder holds after a.rar is split into three pieces.
const std::vector<std::string> kSplitSet = {"a.rar",     "a.rar.00",  "a.rar.001",
                                            "a.rar.002", "a.rar.FLF", "a.rar.FLF.sha256"};
constexpr std::size_t kMiB = 1 << 20;
}  // namespace

class SplitCommand : public WindowTest {};

TEST_F(SplitCommand, checks_the_size_first_then_the_path_then_that_the_file_exists) {
    form->Combo1->setEditText("   ");
    form->cmdSplit->click();
    ExpectBox(kNoSize, vbCritical, kSplitFailed);
    EXPECT_EQ(Focused(), form->Combo1);

    form->Combo1->setEditText("1");
    form->txtFileName->setText("  ");
    form->cmdSplit->click();
    ExpectBox(kNoFile, vbCritical, kSplitFailed);
    EXPECT_EQ(Focused(), form->txtFileName);

    fs::create_directory(dir / "folder");
    for (const QString& path : {Path("missing"), Path("folder")}) {
        form->txtFileName->setText(path);
        form->Combo1->setFocus();
        form->cmdSplit->click();
        ExpectBox(kFileMissing, vbCritical, kSplitFailed);
        EXPECT_EQ(Focused(), form->txtFileName);
        EXPECT_EQ(form->txtFileName->selectedText(), path);
    }
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"folder"});
}

TEST_F(SplitCommand, splits_with_busy_text_while_the_box_shows_then_goes_idle) {
    const Bytes source = RandomBytes(2 * kMiB + 5, 21);
    WriteFile(dir / "a.rar", source);
    form->txtFileName->setText(Path("a.rar"));
    form->Combo1->setEditText("1");
    form->cmdSplit->click();
    const ShownBox box = TakeBox();
    EXPECT_EQ(box.prompt, QStringLiteral("文件分割完成！！！"));
    EXPECT_EQ(box.style, vbExclamation);
    EXPECT_EQ(box.title, QStringLiteral("文件分割成功"));
    EXPECT_EQ(box.statusWhileShown, kSplitting);
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
    EXPECT_EQ(dir.List(), kSplitSet);
    EXPECT_EQ(ReadFile(dir / "a.rar.002").size(), 14u + 5);
    EXPECT_EQ(form->txtFileName->text(), Path("a.rar"));
    EXPECT_EQ(form->Combo1->currentText(), QStringLiteral("1"));
}

TEST_F(SplitCommand, shows_the_engine_message_on_failure_and_goes_idle) {
    WriteFile(dir / "small", RandomBytes(100, 22));
    form->txtFileName->setText(Path("small"));
    form->cmdSplit->click();
    const ShownBox box = TakeBox();
    EXPECT_EQ(box.prompt, QStringLiteral("指定的文件比需要分割的小，不需要分割！！！"));
    EXPECT_EQ(box.style, vbCritical);
    EXPECT_EQ(box.title, kSplitFailed);
    EXPECT_EQ(box.statusWhileShown, kSplitting);
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
}

TEST_F(SplitCommand, trims_the_path_to_test_it_but_splits_it_untrimmed) {
    WriteFile(dir / "a.bin", RandomBytes(3 * kMiB, 23));
    form->txtFileName->setText(" " + Path("a.bin"));
    form->Combo1->setEditText("1");
    form->cmdSplit->click();
    ExpectBox(QStringLiteral("路径未找到：\r“ ") + Path("a.bin") + QStringLiteral("”"), vbCritical,
              kSplitFailed);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"a.bin"});
}

TEST_F(SplitCommand, rounds_a_fractional_size_half_to_even) {
    WriteFile(dir / "a.bin", RandomBytes(5 * kMiB, 24));
    form->txtFileName->setText(Path("a.bin"));
    form->Combo1->setEditText(" 2.5 ");  // 2 MiB pieces: three of them
    form->cmdSplit->click();
    ExpectBox(QStringLiteral("文件分割完成！！！"), vbExclamation, QStringLiteral("文件分割成功"));
    EXPECT_EQ(ReadFile(dir / "a.bin.00").size(), 14 + 2 * kMiB);
    EXPECT_TRUE(fs::exists(dir / "a.bin.002"));
    EXPECT_FALSE(fs::exists(dir / "a.bin.003"));
}

TEST_F(SplitCommand, refuses_a_size_that_is_no_number_or_out_of_range_without_splitting) {
    WriteFile(dir / "a.bin", RandomBytes(3 * kMiB, 25));
    form->txtFileName->setText(Path("a.bin"));
    for (const char* size : {"abc", "2048", "-2049", "1e9", "12M", "0", "0.5", "-1", "-2048"}) {
        form->Combo1->setEditText(size);
        form->txtFileName->setFocus();
        form->cmdSplit->click();
        const ShownBox box = TakeBox();
        EXPECT_EQ(box.prompt, kBadSize) << size;
        EXPECT_EQ(box.style, vbCritical);
        EXPECT_EQ(box.title, kSplitFailed);
        EXPECT_EQ(Focused(), form->Combo1) << size;
        EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
    }
    EXPECT_EQ(dir.List(), std::vector<std::string>{"a.bin"});
}

TEST_F(SplitCommand, the_largest_size_reaches_the_engine_without_overflow) {
    WriteFile(dir / "small", RandomBytes(100, 26));
    form->txtFileName->setText(Path("small"));
    form->Combo1->setEditText("2047");  // 2146435072 bytes: the file is too small for it
    form->cmdSplit->click();
    ExpectBox(QStringLiteral("指定的文件比需要分割的小，不需要分割！！！"), vbCritical,
              kSplitFailed);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"small"});
}

TEST_F(SplitCommand, a_path_holding_nul_is_refused_as_missing_and_nothing_is_written) {
    const Bytes source = RandomBytes(3 * kMiB, 27);
    WriteFile(dir / "photo.jpg", source);
    const QString pasted = Path("photo.jpg") + kNul + QStringLiteral(" (copy)");
    form->txtFileName->setText(pasted);
    form->Combo1->setEditText("1");
    form->cmdSplit->click();
    ExpectBox(kFileMissing, vbCritical, kSplitFailed);
    EXPECT_EQ(Focused(), form->txtFileName);
    EXPECT_EQ(form->txtFileName->text(), pasted);
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"photo.jpg"});
    EXPECT_EQ(ReadFile(dir / "photo.jpg"), source);
}

class MergeCommand : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        WriteFile(dir / "a.rar", source);
        std::u16string message;
        ASSERT_TRUE(Module1::SplitFile(U16(dir / "a.rar"), 0, message, kMiB));
        QTest::mouseClick(form->Option2, Qt::LeftButton);
    }

    void Fill(const QString& list, const QString& output) {
        form->txtTemplateName->setText(list);
        form->txtOutputFile->setText(output);
    }

    const Bytes source = RandomBytes(2 * kMiB + 3, 31);
};

TEST_F(MergeCommand, checks_the_list_file_before_the_output_name) {
    Fill("", "");
    form->cmdUnsplit->click();
    ExpectBox(QStringLiteral("未指定被分割的首个文件！！！"), vbCritical, kMergeFailed);
    EXPECT_EQ(Focused(), form->txtTemplateName);

    // The merge tests the list path untrimmed: a leading space names no file.
    for (const QString& list : {Path("none.FLF"), " " + Path("a.rar.FLF"), Path("")}) {
        Fill(list, "");
        form->cmdUnsplit->click();
        ExpectBox(QStringLiteral("指定的被分割的首个文件不存在！！！"), vbCritical, kMergeFailed);
        EXPECT_EQ(Focused(), form->txtTemplateName);
    }

    Fill(Path("a.rar.FLF"), "   ");
    form->cmdUnsplit->click();
    ExpectBox(QStringLiteral("未指定合并后的文件名！！！"), vbCritical, kMergeFailed);
    EXPECT_EQ(Focused(), form->txtOutputFile);
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
}

TEST_F(MergeCommand, merges_with_busy_text_while_the_box_shows_then_goes_idle) {
    Fill(Path("a.rar.FLF"), Path("merged"));
    form->cmdUnsplit->click();
    const ShownBox box = TakeBox();
    EXPECT_EQ(box.prompt, QStringLiteral("文件合并完成！！！"));
    EXPECT_EQ(box.style, vbExclamation);
    EXPECT_EQ(box.title, QStringLiteral("文件合并成功"));
    EXPECT_EQ(box.statusWhileShown, kMerging);
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
    EXPECT_EQ(ReadFile(dir / "merged"), source);
    EXPECT_EQ(form->txtOutputFile->text(), Path("merged"));
}

TEST_F(MergeCommand, no_to_the_overwrite_question_touches_nothing) {
    Fill(Path("a.rar.FLF"), Path("a.rar"));
    WriteFile(dir / "a.rar", {1, 2, 3});
    script.answers = {vbNo};
    form->cmdUnsplit->click();
    ExpectBox(kOverwrite, vbYesNoQuestion, QStringLiteral("提示信息"));
    EXPECT_EQ(Focused(), form->txtOutputFile);
    EXPECT_EQ(ReadFile(dir / "a.rar"), (Bytes{1, 2, 3}));
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
}

TEST_F(MergeCommand, yes_replaces_the_split_file_with_the_merged_one) {
    Fill(Path("a.rar.FLF"), Path("a.rar"));
    WriteFile(dir / "a.rar", RandomBytes(3 * kMiB, 1));  // longer than the merged file
    script.answers = {vbYes};
    form->cmdUnsplit->click();
    ExpectBox(kOverwrite, vbYesNoQuestion, QStringLiteral("提示信息"));
    ExpectBox(QStringLiteral("文件合并完成！！！"), vbExclamation, QStringLiteral("文件合并成功"));
    EXPECT_EQ(ReadFile(dir / "a.rar"), source);
}

TEST_F(MergeCommand, a_failed_merge_after_yes_keeps_the_old_file_and_reports_in_a_box) {
    fs::remove(dir / "a.rar.001");
    Fill(Path("a.rar.FLF"), Path("a.rar"));
    script.answers = {vbYes};
    form->cmdUnsplit->click();
    ExpectBox(kOverwrite, vbYesNoQuestion, QStringLiteral("提示信息"));
    const ShownBox box = TakeBox();
    EXPECT_TRUE(box.prompt.startsWith(QStringLiteral("这组分割出的文件不全")))
        << box.prompt.toStdString();
    EXPECT_TRUE(box.prompt.contains(QStringLiteral("“") + Path("a.rar.001") + QStringLiteral("”")));
    EXPECT_EQ(box.style, vbCritical);
    EXPECT_EQ(box.title, kMergeFailed);
    EXPECT_EQ(box.statusWhileShown, kMerging);
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
    EXPECT_EQ(ReadFile(dir / "a.rar"), source);
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.rar", "a.rar.00", "a.rar.002", "a.rar.FLF",
                                                    "a.rar.FLF.sha256"}));
}

TEST_F(MergeCommand, refuses_the_list_file_a_piece_or_a_pattern_as_output_before_asking) {
    for (const QString& output : {Path("a.rar.FLF"), Path("a.rar.FLF.sha256"), Path("a.rar.00"),
                                  Path("a.rar.002"), Path("*.rar"), Path("a.ra?")}) {
        Fill(Path("a.rar.FLF"), output);
        form->cmdUnsplit->click();
        ExpectBox(kBadOutput, vbCritical, kMergeFailed);
        EXPECT_EQ(Focused(), form->txtOutputFile);
    }
    EXPECT_EQ(dir.List(), kSplitSet);
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
}

TEST_F(MergeCommand, a_list_path_holding_nul_is_refused_as_missing) {
    Fill(Path("a.rar.FLF") + kNul + QStringLiteral("x"), Path("merged"));
    form->cmdUnsplit->click();
    ExpectBox(QStringLiteral("指定的被分割的首个文件不存在！！！"), vbCritical, kMergeFailed);
    EXPECT_EQ(Focused(), form->txtTemplateName);
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
    EXPECT_EQ(dir.List(), kSplitSet);
}

TEST_F(MergeCommand, an_output_name_holding_nul_is_refused_with_the_patterns_before_asking) {
    // Cut at the NUL, these would name the source, a piece and a new file.
    for (const QString& output :
         {Path("a.rar") + kNul + QStringLiteral(".new"), Path("a.rar.001") + kNul,
          Path("merged") + kNul + QStringLiteral("x")}) {
        Fill(Path("a.rar.FLF"), output);
        form->cmdUnsplit->click();
        ExpectBox(kBadOutput, vbCritical, kMergeFailed);
        EXPECT_EQ(Focused(), form->txtOutputFile);
    }
    EXPECT_EQ(ReadFile(dir / "a.rar"), source);
    EXPECT_EQ(dir.List(), kSplitSet);
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
}

TEST_F(MergeCommand, an_output_folder_gets_no_question_and_the_engine_error_is_shown) {
    fs::create_directory(dir / "folder");
    Fill(Path("a.rar.FLF"), Path("folder"));
    form->cmdUnsplit->click();
    ExpectBox(QStringLiteral("合并后的文件名是一个文件夹：\r“") + Path("folder") +
                  QStringLiteral("”\r请在这个文件夹里指定一个文件名。"),
              vbCritical, kMergeFailed);
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
}
