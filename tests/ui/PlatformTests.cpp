// SPDX-License-Identifier: GPL-3.0-or-later
// The platform layer: the file-exists test, blank texts, dialog filters and the Save As dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <vector>

#include "Platform.h"
#include "TestFiles.h"

using namespace testing_files;
namespace fs = std::filesystem;
using platform::FileExists;

namespace {
QString Q(const fs::path& path) {
    return QString::fromStdString(path.string());
}
}  // namespace

TEST(FileExists, matches_regular_files_and_links_to_them_only) {
    TempDir dir;
    WriteFile(dir / "plain", {1});
    WriteFile(dir / ".hidden", {1});
    fs::create_directory(dir / "folder");
    fs::create_symlink(dir / "plain", dir / "link");
    fs::create_symlink(dir / "gone", dir / "dangling");
    EXPECT_TRUE(FileExists(Q(dir / "plain")));
    EXPECT_TRUE(FileExists(Q(dir / ".hidden")));
    EXPECT_TRUE(FileExists(Q(dir / "link")));
    EXPECT_FALSE(FileExists(Q(dir / "folder")));
    EXPECT_FALSE(FileExists(Q(dir / "dangling")));
    EXPECT_FALSE(FileExists(Q(dir / "none")));
    EXPECT_FALSE(FileExists("/dev/null"));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_FALSE(FileExists(Q(dir / "plain") + " "));
}

TEST(FileExists, treats_star_and_question_mark_in_the_last_element_as_wildcards) {
    TempDir dir;
    WriteFile(dir / "a.rar.FLF", {1});
    WriteFile(dir / "README", {1});
    fs::create_directory(dir / "sub.d");
    EXPECT_TRUE(FileExists(Q(dir / "*.FLF")));
    EXPECT_TRUE(FileExists(Q(dir / "a.ra?.FLF")));
    EXPECT_FALSE(FileExists(Q(dir / "*.flf")));
    EXPECT_FALSE(FileExists(Q(dir / "*.d")));  // only a folder matches
    EXPECT_FALSE(FileExists(Q(dir / "R?")));
    TempDir bare;
    WriteFile(bare / "README", {1});
    EXPECT_TRUE(FileExists(Q(bare / "*.*")));  // names without a dot too
}

TEST(FileExists, a_name_holding_a_star_literally_matches_itself) {
    TempDir dir;
    WriteFile(dir / "odd*name?", {1});
    EXPECT_TRUE(FileExists(Q(dir / "odd*name?")));
}

TEST(FileExists, a_text_holding_nul_names_no_file_even_when_its_start_does) {
    TempDir dir;
    WriteFile(dir / "plain", {1});
    EXPECT_FALSE(FileExists(Q(dir / "plain") + QChar(u'\0')));
    EXPECT_FALSE(FileExists(Q(dir / "plain") + QChar(u'\0') + QStringLiteral(" (copy)")));
    EXPECT_FALSE(FileExists(Q(dir / "pl") + QChar(u'\0') + QStringLiteral("*")));
}

TEST(BlankText, only_spaces_count_as_blank_and_trimming_keeps_other_whitespace) {
    EXPECT_TRUE(platform::IsBlank(""));
    EXPECT_TRUE(platform::IsBlank("    "));
    EXPECT_FALSE(platform::IsBlank(" a "));
    EXPECT_EQ(platform::TrimSpaces("  a b  "), QStringLiteral("a b"));
    EXPECT_EQ(platform::TrimSpaces("\ta\t"), QStringLiteral("\ta\t"));
}

TEST(DialogFilters, keep_the_descriptions_and_let_star_dot_star_match_every_file) {
    EXPECT_EQ(platform::QtNameFilters(QStringLiteral("(*.FLF)|*.FLF|所有文件(*.*)|*.*")),
              (QStringList{QStringLiteral("(*.FLF) (*.FLF *.flf)"),
                           QStringLiteral("所有文件(*.*) (*)")}));
}

TEST(DesktopPlatform, save_as_returns_an_existing_file_without_a_question_of_its_own) {
    TempDir dir;
    WriteFile(dir / "old", {1});
    std::vector<QString> questions;
    int tries = 0;
    // Plays the user: presses Save on the dialog, which offers the existing file, and says No
    // to any box. Gives up on the dialog once a box has been seen, or after a few tries.
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            questions.push_back(box->text());
            box->reject();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            if (!questions.empty() || ++tries > 10) {
                dialog->reject();
                return;
            }
            // Queued, so that this timer is free to answer a box that Save may bring up.
            QMetaObject::invokeMethod(
                dialog, [dialog] { static_cast<QDialog*>(dialog)->accept(); },
                Qt::QueuedConnection);
        }
    });
    user.start(20);
    platform::DesktopPlatform desktop;
    const QString chosen =
        desktop.ShowFileDialog(nullptr, {2, QStringLiteral("合并文件为..."),
                                         QStringLiteral("所有文件(*.*)|*.*"), 1, Q(dir / "old")});
    user.stop();
    EXPECT_TRUE(questions.empty()) << questions.front().toStdString();
    EXPECT_EQ(chosen, Q(dir / "old"));
}
