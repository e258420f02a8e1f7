// SPDX-License-Identifier: GPL-3.0-or-later
// Sets merged without a list file: a set of ours whose list file was lost, found from any of its
// pieces, and the numbered sets other splitters write (7-Zip's volumes, GNU split), checked
// against the checksum file beside them where there is one.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "Module1.h"
#include "TestFiles.h"

using namespace testing_files;
namespace fs = std::filesystem;
using Module1::Failure;
using Module1::SetFileKind;

namespace {

Failed VerifyFails(const fs::path& path) {
    try {
        Module1::VerifySet(U16(path));
    } catch (const Module1::EngineError& error) {
        return {error.failure(), error.paths()};
    }
    ADD_FAILURE() << "verify succeeded";
    return {};
}

void FlipByte(const fs::path& file, std::size_t offset) {
    Bytes bytes = ReadFile(file);
    bytes.at(offset) ^= 0x20;
    WriteFile(file, bytes);
}

}  // namespace

TEST(WithoutListFile, a_set_of_ours_whose_list_file_is_lost_merges_from_any_piece) {
    const Bytes source = RandomBytes(3500, 130);  // s.00 to s.003, the last of 500 bytes
    for (const bool checksums : {true, false}) {
        SCOPED_TRACE(checksums ? "with its checksum list" : "without");
        TempDir dir;
        WriteFile(dir / "s", source);
        SplitOrFail(dir / "s", 1000);
        fs::remove(dir / "s.FLF");
        if (!checksums) {
            fs::remove(dir / "s.FLF.sha256");
        }
        const Module1::MergeReport report = Module1::MergeSet(U16(dir / "s.002"), U16(dir / "out"));
        EXPECT_EQ(ReadFile(dir / "out"), source);
        EXPECT_EQ(report.pieces, 4);
        EXPECT_EQ(report.checked, checksums);
        EXPECT_EQ(Module1::ReportText(report).empty(), checksums);
        if (checksums) {
            EXPECT_EQ(Module1::VerifySet(U16(dir / "s.00")).pieces, 4);
            FlipByte(dir / "s.001", 20);
            EXPECT_FAILS(VerifyFails(dir / "s.003"), PieceMismatch, Utf8(dir / "s.001"));
        } else {
            EXPECT_FAILS(VerifyFails(dir / "s.003"), NothingToCheck, Utf8(dir / "s.003"));
            WriteFile(dir / "s.001", ReadFile(dir / "s.003"));  // a piece of another split
            EXPECT_FAILS(MergeFails(dir / "s.00", dir / "out2"), NotOneSplit, Utf8(dir / "s.00"));
        }
        fs::remove(dir / "s.002");
        EXPECT_FAILS(MergeFails(dir / "s.00", dir / "out2"), PiecesMissing, Utf8(dir / "s.002"));
        EXPECT_FALSE(fs::exists(dir / "out2"));
    }
}

TEST(WithoutListFile, a_file_says_what_it_leads_a_merge_to_and_what_to_call_the_output) {
    TempDir dir;
    WriteFile(dir / "s", RandomBytes(2500, 131));
    SplitOrFail(dir / "s", 1000);
    WriteFile(dir / "t.bin.001", RandomBytes(10, 132));  // raw bytes: another splitter's
    WriteFile(dir / "u.00", RandomBytes(3, 133));        // neither a piece nor three digits
    struct Row {
        const char* name;
        SetFileKind kind;
        const char* mergeFrom;
        const char* output;
    };
    for (const Row row :
         {Row{"s.FLF", SetFileKind::ListFile, "s.FLF", "s"},
          Row{"s.001", SetFileKind::PieceOfSet, "s.FLF", "s"},
          Row{"t.bin.001", SetFileKind::NumberedFile, "t.bin.001", "t.bin"},
          Row{"u.00", SetFileKind::None, "", ""}, Row{"s", SetFileKind::None, "", ""}}) {
        SCOPED_TRACE(row.name);
        const Module1::SetFile file = Module1::WhatSetFileIs(U16(dir / row.name));
        EXPECT_EQ(file.kind, row.kind);
        if (row.kind != SetFileKind::None) {
            EXPECT_EQ(file.mergeFrom, U16(dir / row.mergeFrom));
            EXPECT_EQ(file.output, U16(dir / row.output));
        }
    }
    fs::remove(dir / "s.FLF");
    const Module1::SetFile piece = Module1::WhatSetFileIs(U16(dir / "s.001"));
    EXPECT_EQ(piece.kind, SetFileKind::PieceWithoutListFile);
    EXPECT_EQ(piece.output, U16(dir / "s"));
}

#if !defined(_WIN32)
// Sets made by the tools themselves: 7z (p7zip-full), GNU split, md5sum, sha256sum, cksfv.

namespace {

bool RunIn(const fs::path& folder, const std::string& command) {
    return std::system(
               ("cd '" + folder.string() + "' && (" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

TEST(NumberedSets, other_splitters_sets_merge_from_any_member_checked_by_a_file_beside) {
    if (!RunIn(".", "command -v 7z && command -v cksfv && command -v split")) {
        GTEST_SKIP() << "needs 7z, cksfv and split (scripts/setup.sh installs them)";
    }
    const Bytes source = RandomBytes(2621440, 134);  // 2.5 MiB: three pieces of 1 MiB
    struct Row {
        const char* made;      // how the set is made from "a.bin"
        const char* last;      // the member the merge is given
        const char* middle;    // the member damaged, then taken away
        const char* checksum;  // how its checksum file is made, if it has one
        const char* output;
    };
    for (const Row row : {Row{"7z a -mx0 -v1m a.7z a.bin", "a.7z.003", "", "", "a.7z"},
                          Row{"split -b 1M --numeric-suffixes=1 -a 3 a.bin a.bin.", "a.bin.003",
                              "a.bin.002", "cksfv a.bin.0* > a.bin.sfv", "a.bin"},
                          Row{"split -b 1M -d -a 3 a.bin a.bin.", "a.bin.002", "a.bin.001",
                              "md5sum a.bin.0* > a.bin.md5", "a.bin"},
                          Row{"split -b 1M --numeric-suffixes=1 -a 4 a.bin a.bin.", "a.bin.0003",
                              "a.bin.0002", "sha256sum a.bin.0* > SHA256SUMS", "a.bin"}}) {
        SCOPED_TRACE(row.made);
        TempDir dir;
        WriteFile(dir / "a.bin", source);
        ASSERT_TRUE(RunIn(dir.path(), row.made));
        ASSERT_TRUE(RunIn(dir.path(), std::string(*row.checksum ? row.checksum : "true")));
        fs::rename(dir / "a.bin", dir / "source");
        const Module1::MergeReport report = Module1::MergeSet(
            U16(dir / row.last), U16(dir / (std::string("joined.") + row.output)));
        EXPECT_EQ(report.pieces, 3);
        EXPECT_EQ(report.checked, *row.checksum != '\0');
        const fs::path joined = dir / (std::string("joined.") + row.output);
        if (std::string(row.output) == "a.7z") {
            EXPECT_TRUE(RunIn(dir.path(), "7z t '" + joined.filename().string() + "'"));
            continue;
        }
        EXPECT_EQ(ReadFile(joined), source);
        FlipByte(dir / row.middle, 1000);
        EXPECT_FAILS(MergeFails(dir / row.last, dir / "out"), PieceMismatch,
                     Utf8(dir / row.middle));
        EXPECT_FAILS(VerifyFails(dir / row.last), PieceMismatch, Utf8(dir / row.middle));
        fs::remove(dir / row.middle);
        EXPECT_FAILS(MergeFails(dir / row.last, dir / "out"), PiecesMissing,
                     Utf8(dir / row.middle));
        EXPECT_FALSE(fs::exists(dir / "out"));
        // With no list file, the advice must not send the user to one.
        EXPECT_EQ(MergeError(dir / row.last, dir / "out").find(".FLF"), std::string::npos);
    }
}

#endif  // !defined(_WIN32)
