// SPDX-License-Identifier: GPL-3.0-or-later
// Every I/O step of a split and a merge failed on purpose, one at a time, with the errors a
// full, locked or failing disk gives; after each failure the promises to the user must hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <iostream>

#include "FaultInjection.h"
#include "Module1.h"
#include "TestFiles.h"

using namespace testing_files;
namespace fs = std::filesystem;

namespace {

constexpr int kErrors[] = {ENOSPC, EACCES, EIO, EINTR};

bool HasChinese(const std::string& utf8) {
    const std::u16string text = U16(utf8);
    return std::any_of(text.begin(), text.end(),
                       [](char16_t c) { return c >= 0x4E00 && c <= 0x9FFF; });
}

// Whether the step a fault failed is one that is tried again: an interrupted call anywhere, a
// folder that may not be read (opened again for its names alone), and on Windows a rename or a
// hold of an older file that another program may keep up for a moment.
bool TriedAgain([[maybe_unused]] const InjectedFault& fault, int error) {
    if (error == EINTR || (error == EACCES && fault.FailedStep() == Step::OpenFolder)) {
        return true;
    }
#if defined(_WIN32)
    return error == EACCES &&
           (fault.FailedStep() == Step::Rename || fault.FailedStep() == Step::Open);
#else
    return false;
#endif
}

// Five pieces of 1000 bytes and a last one of 500, copied in several chunks each.
constexpr std::size_t kSourceSize = 5500;
constexpr std::int32_t kPieceSize = 1000;

}  // namespace

TEST(EveryStepFault,
     split_keeps_the_source_and_leaves_no_list_file_nor_temporary_unless_it_succeeds) {
    const Bytes source = RandomBytes(kSourceSize, 41);
    int total = 0;
    {
        TempDir dir;
        WriteFile(dir / "s", source);
        std::u16string message;
        InjectedFault count(FaultPlan{});
        ASSERT_TRUE(Module1::SplitFile(U16(dir / "s"), 0, message, kPieceSize));
        total = count.Steps();
    }
    std::cout << "split of 6 pieces: " << total << " I/O steps\n";
    ASSERT_GT(total, 20);

    int failures = 0;
    int mustFail = 0;
    for (int step = 1; step <= total; ++step) {
        for (int error : kErrors) {
            TempDir dir;
            WriteFile(dir / "s", source);
            std::u16string message;
            bool ok;
            bool triedAgain;
            {
                InjectedFault fault(FailNthStep(step, error));
                ok = Module1::SplitFile(U16(dir / "s"), 0, message, kPieceSize);
                triedAgain = TriedAgain(fault, error);
            }
            mustFail += triedAgain ? 0 : 1;
            SCOPED_TRACE("step " + std::to_string(step) + ", errno " + std::to_string(error));
            EXPECT_EQ(ReadFile(dir / "s"), source);
            if (ok) {
                EXPECT_TRUE(triedAgain) << "only an interrupted or held-up call is tried again";
                EXPECT_TRUE(fs::exists(dir / "s.FLF"));
                continue;
            }
            ++failures;
            EXPECT_FALSE(fs::exists(dir / "s.FLF"));
            for (const std::string& name : dir.List()) {
                EXPECT_FALSE(name.ends_with(".splitting")) << "a temporary was left: " << name;
            }
            const std::string text = Utf8(message);
            EXPECT_TRUE(HasChinese(text)) << text;
            EXPECT_NE(text.find(dir.path().string()), std::string::npos) << text;
        }
    }
    EXPECT_GE(failures, mustFail) << "every fault that is not tried again fails the split";
    EXPECT_GE(mustFail, total * 2);
}

TEST(EveryStepFault, a_resplit_failing_at_any_step_leaves_the_older_set_whole) {
    const Bytes older = RandomBytes(5000, 50);  // five pieces, the new set six
    const Bytes newer = RandomBytes(kSourceSize, 51);
    auto prepare = [&](const TempDir& dir) {
        WriteFile(dir / "s", older);
        SplitOrFail(dir / "s", kPieceSize);
        WriteFile(dir / "s", newer);
    };
    int total = 0;
    {
        TempDir dir;
        prepare(dir);
        InjectedFault count(FaultPlan{});
        SplitOrFail(dir / "s", kPieceSize);
        total = count.Steps();
    }
    for (int step = 1; step <= total; ++step) {
        for (const int error : {EIO, EACCES}) {
            SCOPED_TRACE("step " + std::to_string(step) + ", errno " + std::to_string(error));
            TempDir dir;
            prepare(dir);
            const std::vector<std::string> before = dir.List();
            std::u16string message;
            bool ok = false;
            {
                InjectedFault fault(FailNthStep(step, error));
                ok = Module1::SplitFile(U16(dir / "s"), 0, message, kPieceSize);
            }
            if (!ok) {
                EXPECT_EQ(dir.List(), before) << Utf8(message);
            }
            Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
            EXPECT_EQ(ReadFile(dir / "out"), ok ? newer : older);
        }
    }
}

// A set with its checksum list is read, hashed and written by two threads; a set without one is
// copied by the kernel.
class EveryStepMergeFault : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(WithAndWithoutChecksumList, EveryStepMergeFault, ::testing::Bool());

TEST_P(EveryStepMergeFault, leaves_the_old_output_exactly_as_it_was_and_no_temporary) {
    const Bytes source = RandomBytes(kSourceSize, 42);
    const Bytes previous = RandomBytes(7000, 43);
    auto prepare = [&](const TempDir& dir) {
        WriteFile(dir / "s", source);
        std::u16string message;
        EXPECT_TRUE(Module1::SplitFile(U16(dir / "s"), 0, message, kPieceSize));
        if (!GetParam()) {
            fs::remove(dir / "s.FLF.sha256");
        }
        WriteFile(dir / "out", previous);
    };
    int total = 0;
    {
        TempDir dir;
        prepare(dir);
        InjectedFault count(FaultPlan{});
        Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
        total = count.Steps();
        EXPECT_EQ(ReadFile(dir / "out"), source);
    }
    std::cout << "merge of 6 pieces: " << total << " I/O steps\n";
    ASSERT_GT(total, 20);

    for (int step = 1; step <= total; ++step) {
        for (int error : kErrors) {
            TempDir dir;
            prepare(dir);
            const std::vector<std::string> before = dir.List();
            SCOPED_TRACE("step " + std::to_string(step) + ", errno " + std::to_string(error));
            try {
                InjectedFault fault(FailNthStep(step, error));
                Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
                EXPECT_TRUE(TriedAgain(fault, error))
                    << "only an interrupted or held-up call is tried again";
                EXPECT_EQ(ReadFile(dir / "out"), source);
            } catch (const Module1::EngineError& failure) {
                EXPECT_EQ(ReadFile(dir / "out"), previous);
                EXPECT_TRUE(HasChinese(failure.what())) << failure.what();
                EXPECT_NE(std::string(failure.what()).find(dir.path().string()), std::string::npos);
            }
            EXPECT_EQ(dir.List(), before);
        }
    }
}

TEST(EveryStepFault, merge_into_a_new_name_leaves_nothing_behind_when_it_fails) {
    TempDir dir;
    WriteFile(dir / "s", RandomBytes(kSourceSize, 44));
    std::u16string message;
    ASSERT_TRUE(Module1::SplitFile(U16(dir / "s"), 0, message, kPieceSize));
    const std::vector<std::string> before = dir.List();
    for (int step = 1; step <= 40; ++step) {
        InjectedFault fault(FailNthStep(step, ENOSPC));
        try {
            Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "new"));
            fs::remove(dir / "new");  // the step count ran past the merge's steps
        } catch (const Module1::EngineError&) {
        }
        EXPECT_EQ(dir.List(), before) << "step " << step;
    }
}

TEST(EveryStepFault, a_rename_failing_as_the_set_is_brought_in_puts_the_older_set_back) {
    // Some older files are set aside or swapped out, some new ones in, when the fourth rename
    // fails. Once, the bring-in is undone; for good, it cannot be, and the set is incomplete.
    for (const bool forGood : {false, true}) {
        SCOPED_TRACE(forGood ? "every rename from the fourth on fails" : "one rename fails");
        TempDir dir;
        const Bytes older = RandomBytes(5000, 45);
        WriteFile(dir / "s", older);
        SplitOrFail(dir / "s", 1000);
        const std::vector<std::string> before = dir.List();
        WriteFile(dir / "s", RandomBytes(kSourceSize, 46));
        std::u16string message;
        {
            FaultPlan plan = FailEveryStep(Step::Rename, EIO);
            plan.failAt = 4;
            plan.andAfter = forGood;
            InjectedFault fault(plan);
            EXPECT_FALSE(Module1::SplitFile(U16(dir / "s"), 0, message, kPieceSize));
        }
        const std::string text = Utf8(message);
        EXPECT_NE(text.find(Utf8(dir / "s.0")), std::string::npos) << text;
        if (!forGood) {
            EXPECT_EQ(text.rfind("设备 I/O 错误", 0), 0u) << text;
            EXPECT_EQ(dir.List(), before) << "everything back, no temporary left";
            Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
            EXPECT_EQ(ReadFile(dir / "out"), older) << "the older set is whole";
            continue;
        }
        EXPECT_EQ(text.rfind("分割出的文件没有全部就位", 0), 0u) << text;
        EXPECT_NE(text.find("请重新分割源文件"), std::string::npos) << text;
        if (fs::exists(dir / "s.FLF")) {  // over the older set with pieces gone, never a mix
            EXPECT_EQ(MergeFails(dir / "s.FLF", dir / "out").failure,
                      Module1::Failure::PiecesMissing);
        }
        SplitOrFail(dir / "s", kPieceSize);  // takes away what was left
        for (const std::string& name : dir.List()) {
            EXPECT_FALSE(name.ends_with(".splitting")) << name;
        }
        Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
        EXPECT_EQ(ReadFile(dir / "out"), ReadFile(dir / "s"));
    }
}

TEST(EveryStepFault,
     a_free_name_taken_as_the_set_is_brought_in_fails_the_split_with_the_older_set_whole) {
    TempDir dir;
    const Bytes older = RandomBytes(5000, 47);
    WriteFile(dir / "s", older);
    SplitOrFail(dir / "s", 1000);                        // s.00 to s.004
    WriteFile(dir / "s", RandomBytes(kSourceSize, 48));  // six pieces: s.005 is free
    std::vector<std::string> expected = dir.List();
    expected.push_back("s.005");
    std::sort(expected.begin(), expected.end());
    std::u16string message;
    {
        // Another program takes the free name after the checks, just before the first rename.
        InjectedFault taken(BeforeNthStep(Step::Rename, 1, [&] { WriteFile(dir / "s.005", {7}); }));
        EXPECT_FALSE(Module1::SplitFile(U16(dir / "s"), 0, message, kPieceSize));
    }
    EXPECT_SAYS(Utf8(message), "文件已存在", Utf8(dir / "s.005"));
    EXPECT_EQ(dir.List(), expected) << "nothing brought in, no temporary left";
    EXPECT_EQ(ReadFile(dir / "s.005"), Bytes{7});
    Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), older);
    // A merge's output name, free when it began, taken before the merged file comes in.
    InjectedFault taken(BeforeNthStep(Step::Rename, 1, [&] { WriteFile(dir / "new", {9}); }));
    EXPECT_FAILS(MergeFails(dir / "s.FLF", dir / "new"), FileExists, Utf8(dir / "new"));
    EXPECT_EQ(ReadFile(dir / "new"), Bytes{9});
}

TEST(EveryStepFault, a_write_that_moves_no_byte_fails_the_split_or_merge_instead_of_looping) {
    TempDir dir;
    WriteFile(dir / "s", RandomBytes(kSourceSize, 49));
    SplitOrFail(dir / "s", kPieceSize);
    const std::vector<std::string> before = dir.List();
    FaultPlan plan = FailEveryStep(Step::Write, Module1::io::kMovesNothing);
    plan.failAt = 1;
    std::u16string message;
    {
        InjectedFault nothing(plan);
        EXPECT_FALSE(Module1::SplitFile(U16(dir / "s"), 0, message, kPieceSize));
    }
    EXPECT_EQ(Utf8(message).rfind("设备 I/O 错误", 0), 0u) << Utf8(message);
    InjectedFault nothing(plan);
    EXPECT_EQ(MergeFails(dir / "s.FLF", dir / "out").failure, Module1::Failure::DeviceIo);
    EXPECT_EQ(dir.List(), before);
}
