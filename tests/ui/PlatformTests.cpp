// The platform layer: the file-exists test, blank texts and dialog filters.
#include <gtest/gtest.h>

#include <filesystem>

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
