// SPDX-License-Identifier: GPL-3.0-or-later
// The split as the engine runs it. Inside the engine both operations report every failure the
// same way, as an EngineError; SplitFile (Module1.h) is the split's edge, where a failure becomes
// the bool and the text its callers link against, and MergeFile throws as it is.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>

#include "Module1.h"

namespace Module1 {

// SplitFile's work: returns once the set is in, throws EngineError for every failure (a source
// too small to split included, and Failure::Stopped on a stop request).
void Split(const std::u16string& sourcePath, std::int32_t firstNumber, std::int32_t pieceSize,
           const Progress& progress = {}, std::stop_token stop = {});

}  // namespace Module1
