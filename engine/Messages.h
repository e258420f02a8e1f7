// SPDX-License-Identifier: GPL-3.0-or-later
// The one catalogue of what the engine tells the user. Every failure it can report (the Failure
// values of Module1.h) has its Chinese text and, where there is one, its advice here, and so does
// every system error number it meets; the rest of the engine throws these values and never
// spells a message itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Module1.h"

namespace Module1 {

// The Chinese description of a failure, in UTF-8.
std::string Text(Failure failure);
// What the user can do about it, where there is one thing to say; empty otherwise.
std::string Advice(Failure failure);

// The failure a system error number stands for, e.g. ENOENT -> Failure::FileNotFound; an
// unknown number is Failure::SystemError.
Failure FailureOfErrno(int error);

// The text of a failure in parts, as EngineError::what() and FailureText give it (UTF-8).
std::string Compose(Failure failure, const std::vector<EngineError::File>& files,
                    const std::string& detail, const std::string& advice);

// Throws EngineError naming path (when not empty), with the failure's own advice.
[[noreturn]] void Throw(Failure failure, const std::string& path = {});
// Throws EngineError with every part given.
[[noreturn]] void Throw(Failure failure, std::vector<EngineError::File> files, std::string detail,
                        std::string advice);

// The parts of a few failures that carry numbers or more than one file.
[[noreturn]] void ThrowSetLengthMismatch(std::int64_t pieces, std::int64_t recorded,
                                         const std::string& listFile);
[[noreturn]] void ThrowNotEnoughSpace(std::int64_t needed, std::int64_t available,
                                      bool olderSetThere, const std::string& folder);
// A piece or list file that its set's checksum list does not vouch for.
[[noreturn]] void ThrowChecksumFailure(Failure failure, const std::string& file,
                                       const std::string& checksumList);

}  // namespace Module1
