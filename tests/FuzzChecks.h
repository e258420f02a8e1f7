// SPDX-License-Identifier: GPL-3.0-or-later
// What the format readers must do with any bytes at all: accept them as a record that
// re-encodes to the same fields, or refuse them with an EngineError. Anything else (another
// exception, a crash, a sanitizer report) is a bug. Shared by the fuzzers and the corpus test.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace fuzz_checks {

void CheckListReader(std::span<const std::uint8_t> bytes);
void CheckPieceReader(std::span<const std::uint8_t> bytes);

// Small valid and nearly valid records built with the formats' own encoders.
std::vector<std::vector<std::uint8_t>> ListSeeds();
std::vector<std::vector<std::uint8_t>> PieceSeeds();

}  // namespace fuzz_checks
