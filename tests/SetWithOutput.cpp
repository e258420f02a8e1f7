// SPDX-License-Identifier: GPL-3.0-or-later
#include "SetWithOutput.h"

namespace testing_files {

void SetWithOutput::SetUp() {
    WriteFile(dir / "a.rar", source);
    SplitOrFail(dir / "a.rar", pieceSize_);
    WriteFile(dir / "out", previous);
    before = dir.List();
}

void SetWithOutput::ExpectOutputUntouched() {
    EXPECT_EQ(ReadFile(dir / "out"), previous);
    EXPECT_EQ(dir.List(), before);
}

void SetWithOutput::ExpectRefused(const std::string& expected) {
    before = dir.List();
    const std::string message = MergeError(dir / "a.rar.FLF", dir / "out");
    EXPECT_EQ(message.rfind(expected, 0), 0u) << message;
    ExpectOutputUntouched();
}

}  // namespace testing_files
