// SPDX-License-Identifier: GPL-3.0-or-later
// Path syntax as each system reads it, tested on every build machine: Windows' rules run here as
// plain code (and again under wine), POSIX's beside them.
#include <gtest/gtest.h>

#include "Paths.h"

using Module1::io::BadName;
using Module1::io::PathStyle;
namespace io = Module1::io;

namespace {

constexpr PathStyle kWindows = PathStyle::Windows;
constexpr PathStyle kPosix = PathStyle::Posix;

}  // namespace

TEST(WindowsPaths, folders_and_names_split_at_either_slash_and_after_a_drive) {
    struct Row {
        PathStyle style;
        const char* path;
        const char* folder;
        const char* name;
    };
    for (const Row row :
         {Row{kWindows, "C:\\a\\b.bin", "C:\\a", "b.bin"}, Row{kWindows, "C:\\a", "C:\\", "a"},
          Row{kWindows, "C:a.bin", "C:", "a.bin"},  // C:'s current folder
          Row{kWindows, "\\\\srv\\share\\a", "\\\\srv\\share", "a"},
          Row{kWindows, "a\\\\b", "a", "b"}, Row{kWindows, "a/b", "a", "b"},
          Row{kWindows, "\\a", "\\", "a"}, Row{kWindows, "a", ".", "a"},
          Row{kPosix, "/a", "/", "a"}, Row{kPosix, "a\\b", ".", "a\\b"},
          Row{kPosix, "x/C:a", "x", "C:a"}}) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(io::FolderOf(row.path, row.style), row.folder);
        EXPECT_EQ(io::NameOf(row.path, row.style), row.name);
    }
    EXPECT_EQ(io::JoinPath("C:", "a", kWindows), "C:a");
    EXPECT_EQ(io::JoinPath("C:\\x", "a", kWindows), "C:\\x\\a");
    EXPECT_EQ(io::JoinPath("C:\\", "a", kWindows), "C:\\a");
    EXPECT_EQ(io::JoinPath("/x", "a", kPosix), "/x/a");
}

TEST(WindowsPaths, trailing_dots_and_spaces_are_not_part_of_a_stored_name) {
    EXPECT_EQ(io::StoredName("a.bin. .", kWindows), "a.bin");
    EXPECT_EQ(io::StoredName("..", kWindows), "..");  // a folder's, kept
    EXPECT_EQ(io::StoredName("a.bin. ", kPosix), "a.bin. ");
    EXPECT_EQ(io::AsStored(u"C:\\x.y\\a.bin. ", kWindows), u"C:\\x.y\\a.bin");
    EXPECT_EQ(io::AsStored(u"C:a.", kWindows), u"C:a");
    EXPECT_EQ(io::AsStored(u"\\\\?\\C:\\a..", kWindows), u"\\\\?\\C:\\a");
    EXPECT_EQ(io::AsStored(u"a. ", kPosix), u"a. ");
}

TEST(WindowsPaths, names_count_utf16_units_there_and_bytes_here) {
    EXPECT_EQ(io::NameLength("abc", kWindows), 3u);
    EXPECT_EQ(io::NameLength("文件", kWindows), 2u);
    EXPECT_EQ(io::NameLength("\xF0\x9F\x98\x80", kWindows), 2u);  // past the BMP: a pair
    EXPECT_EQ(io::NameLength("文件", kPosix), 6u);
    EXPECT_EQ(io::LongestPath(kWindows), 32767u);
}

TEST(WindowsPaths, device_names_with_any_extension_and_streams_name_no_file) {
    for (const char* name : {"CON", "con.txt", "NUL .bin", "aux", "PRN.a.b", "COM1", "lpt9.x",
                             "COM\u00B9", "LPT\u00B3.txt", "CONIN$", "conout$.log", "COM0"}) {
        EXPECT_EQ(io::BadNameOf(name, kWindows), BadName::Reserved) << name;
        EXPECT_EQ(io::BadNameOf(name, kPosix), BadName::None) << name;
    }
    for (const char* name : {"COM10", "console", "NULL", "CON_", "a.CON", "LPT"}) {
        EXPECT_EQ(io::BadNameOf(name, kWindows), BadName::None) << name;
    }
    EXPECT_EQ(io::BadNameOf("a.bin:stream", kWindows), BadName::Stream);
}

TEST(WindowsPaths, long_prefixes_go_on_full_and_share_paths_and_come_off_again) {
    struct Row {
        const char* full;
        const char* prefixed;
    };
    for (const Row row :
         {Row{"C:\\a", "\\\\?\\C:\\a"}, Row{"\\\\srv\\share\\a", "\\\\?\\UNC\\srv\\share\\a"},
          Row{"\\\\.\\NUL", "\\\\.\\NUL"}}) {
        SCOPED_TRACE(row.full);
        EXPECT_EQ(io::WithLongPrefix(row.full), row.prefixed);
        EXPECT_EQ(io::WithLongPrefix(row.prefixed), row.prefixed);
        EXPECT_EQ(io::WithoutLongPrefix(row.prefixed), row.full);
    }
}
