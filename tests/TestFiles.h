// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for tests that work on real files in a folder of their own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Module1.h"

namespace testing_files {

using Bytes = std::vector<std::uint8_t>;
inline constexpr std::size_t kMiB = 1 << 20;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of a name (UTF-8) in the folder.
    std::filesystem::path operator/(const std::string& name) const;
    // Names of everything in the folder, sorted.
    std::vector<std::string> List() const;

  private:
    std::filesystem::path path_;
};

Bytes RandomBytes(std::size_t size, std::uint32_t seed);
void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadFile(const std::filesystem::path& path);
// A file of the given length that takes no disk space.
void MakeSparseFile(const std::filesystem::path& path, std::int64_t length);

// Paths from and to UTF-8, the engine's text for paths, whatever the system's code page.
std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8(const std::filesystem::path& path);
std::u16string U16(const std::filesystem::path& path);
std::u16string U16(const std::string& utf8);
std::string Utf8(const std::u16string& text);

// The bytes of a little-endian integer, for building fixtures from the format tables.
Bytes Le16(std::int32_t value);
Bytes Le32(std::int64_t value);
Bytes Concat(std::initializer_list<Bytes> parts);

// Splits with first number 0 and fails the test when the split does.
void SplitOrFail(const std::filesystem::path& source, std::int32_t pieceSize);
// Runs a merge that must fail and returns its message; an empty one, and a failed test, when
// it succeeds.
std::string MergeError(const std::filesystem::path& list, const std::filesystem::path& output);

// The failure a split or merge that must fail ends with, and the files it names; a failed test
// when it succeeds.
struct Failed {
    Module1::Failure failure = Module1::Failure::Unexpected;
    std::vector<std::string> paths;
};
Failed MergeFails(const std::filesystem::path& list, const std::filesystem::path& output);
Failed SplitFails(const std::filesystem::path& source, std::int32_t pieceSize);

// Checks that a failure is of its kind and names path first.
#define EXPECT_FAILS(failed, kind, path)                                                      \
    do {                                                                                      \
        const ::testing_files::Failed failedOnce = (failed);                                  \
        EXPECT_EQ(failedOnce.failure, ::Module1::Failure::kind);                              \
        EXPECT_EQ(failedOnce.paths.empty() ? std::string() : failedOnce.paths.front(), path); \
    } while (false)

// How the engine shows a failure that names a file: its description, then the path on a line of
// its own in “ ” quotes (the text's lines are joined by carriage returns).
std::string Opening(const std::string& description, const std::string& path);

// Checks that a failure's text (UTF-8) opens with description and then path.
#define EXPECT_SAYS(text, description, path) \
    EXPECT_EQ(std::string(text).rfind(::testing_files::Opening(description, path), 0), 0u) << (text)

#if !defined(_WIN32)
// The user "nobody", whom the tests borrow for another user's files.
constexpr unsigned kNobody = 65534;

// Runs body as a user whom file modes bind and returns what it returned: here when the tests
// run as an ordinary user, else in a child process as nobody, to whom tree (recursively) is
// handed over first. body must not use test assertions; it reports through its result.
std::string AsOrdinaryUser(const std::filesystem::path& tree,
                           const std::function<std::string()>& body);
// Runs body in a child process as the user uid of the one group gid (ids no account need have:
// another user of a shared folder) and returns what it returned. Needs root.
std::string AsUser(unsigned uid, unsigned gid, const std::function<std::string()>& body);
#endif

}  // namespace testing_files
