// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the piece-file reader.
#include <cstddef>
#include <cstdint>

#include "FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_checks::CheckPieceReader({data, size});
    return 0;
}
