// SPDX-License-Identifier: GPL-3.0-or-later
// A split set of "a.rar" in a folder of its own, beside an older output file "out" that a merge
// may replace: the fixture of the merge, hostile-input and integrity suites.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestFiles.h"

namespace testing_files {

class SetWithOutput : public ::testing::Test {
  protected:
    // The source's length and the piece size: by default three pieces of 10, 10 and 5 bytes.
    explicit SetWithOutput(std::size_t sourceLength = 25, std::int32_t pieceSize = 10)
        : source(RandomBytes(sourceLength, static_cast<std::uint32_t>(sourceLength))),
          pieceSize_(pieceSize) {}

    void SetUp() override;

    // The output holds the older bytes and the folder holds what it held before: nothing was
    // created, no temporary was left.
    void ExpectOutputUntouched();
    // A merge into "out" fails with a message that starts with expected, and nothing changes.
    void ExpectRefused(const std::string& expected);

    TempDir dir;
    const Bytes source;
    const Bytes previous = RandomBytes(40, 12);
    std::vector<std::string> before;

  private:
    std::int32_t pieceSize_;
};

}  // namespace testing_files
