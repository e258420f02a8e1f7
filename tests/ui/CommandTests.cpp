// SPDX-License-Identifier: GPL-3.0-or-later
// The split and merge commands end to end, through the real window, its platform layer and
// real files. Each check, message and focus move is tested in tests/windowlogic.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "Module1.h"
#include "WindowFixture.h"
#include "WindowTestHelpers.h"

using namespace testing_files;
using windowlogic::texts::vbCritical;
using windowlogic::texts::vbExclamation;
using windowlogic::texts::vbYes;
using windowlogic::texts::vbYesNoQuestion;
namespace fs = std::filesystem;
using window_tests::kMiB;

namespace {
const QString kSplitting = QStringLiteral(" 正在分割文件......");
const QString kMerging = QStringLiteral(" 正在合并文件......");
const QString kFileMissing = QStringLiteral("需要被分割的文件不存在！") + kCr +
                             QStringLiteral("请重新输入需要被分割的文件！！！");
const QChar kNul = u'\0';
}  // namespace

class SplitCommand : public WindowTest {};

TEST_F(SplitCommand, a_failed_check_moves_the_focus_to_the_field_with_its_text_selected) {
    fs::create_directory(dir / "folder");
    form->txtFileName->setText(Path("folder"));
    form->Combo1->setFocus();
    form->cmdSplit->click();
    ExpectBox(kFileMissing, vbCritical, QStringLiteral("文件分割失败"));
    EXPECT_EQ(Focused(), form->txtFileName);
    EXPECT_EQ(form->txtFileName->selectedText(), Path("folder"));
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
}

TEST_F(SplitCommand, starts_returns_and_shows_its_outcome_with_the_busy_text_then_goes_idle) {
    WriteFile(dir / "a.rar", RandomBytes(2 * kMiB + 5, 21));
    form->txtFileName->setText(Path("a.rar"));
    form->Combo1->setEditText("1");
    form->cmdSplit->click();
    EXPECT_EQ(form->Text1->text(), kSplitting);  // the click returned while the split runs
    ASSERT_TRUE(WaitForBox());
    const ShownBox box = TakeBox();
    EXPECT_EQ(box.prompt, QStringLiteral("文件分割完成！！！"));
    EXPECT_EQ(box.style, vbExclamation);
    EXPECT_EQ(box.title, QStringLiteral("文件分割成功"));
    EXPECT_EQ(box.statusWhileShown, kSplitting);
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.rar", "a.rar.00", "a.rar.001", "a.rar.002",
                                                    "a.rar.FLF", "a.rar.FLF.sha256"}));
    EXPECT_EQ(form->txtFileName->text(), Path("a.rar"));
    EXPECT_EQ(form->Combo1->currentText(), QStringLiteral("1"));
    EXPECT_TRUE(form->cmdSplit->isEnabled());
}

TEST_F(SplitCommand, a_path_holding_nul_is_refused_as_missing_and_nothing_is_written) {
    const Bytes source = RandomBytes(3 * kMiB, 27);
    WriteFile(dir / "photo.jpg", source);
    const QString pasted = Path("photo.jpg") + kNul + QStringLiteral(" (copy)");
    form->txtFileName->setText(pasted);
    form->Combo1->setEditText("1");
    form->cmdSplit->click();
    ExpectBox(kFileMissing, vbCritical, QStringLiteral("文件分割失败"));
    EXPECT_EQ(form->txtFileName->text(), pasted);
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

    const Bytes source = RandomBytes(2 * kMiB + 3, 31);
};

TEST_F(MergeCommand, yes_replaces_the_split_file_with_the_merged_one_and_goes_idle) {
    form->txtTemplateName->setText(Path("a.rar.FLF"));
    form->txtOutputFile->setText(Path("a.rar"));
    WriteFile(dir / "a.rar", RandomBytes(3 * kMiB, 1));  // longer than the merged file
    script.answers = {vbYes};
    form->cmdUnsplit->click();
    ExpectBox(QStringLiteral("指定合并后的文件已经存在！") + kCr + QStringLiteral("是否覆盖？？？"),
              vbYesNoQuestion, QStringLiteral("提示信息"));
    ASSERT_TRUE(WaitForBox());
    const ShownBox box = TakeBox();
    EXPECT_EQ(box.prompt, QStringLiteral("文件合并完成！！！"));
    EXPECT_EQ(box.style, vbExclamation);
    EXPECT_EQ(box.title, QStringLiteral("文件合并成功"));
    EXPECT_EQ(box.statusWhileShown, kMerging);
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
    EXPECT_EQ(ReadFile(dir / "a.rar"), source);
}

TEST_F(MergeCommand, a_list_path_holding_nul_is_refused_as_missing) {
    form->txtTemplateName->setText(Path("a.rar.FLF") + kNul + QStringLiteral("x"));
    form->txtOutputFile->setText(Path("merged"));
    form->cmdUnsplit->click();
    ExpectBox(QStringLiteral("指定的被分割的首个文件不存在！！！"), vbCritical,
              QStringLiteral("文件合并失败"));
    EXPECT_EQ(Focused(), form->txtTemplateName);
    EXPECT_FALSE(fs::exists(dir / "merged"));
}
