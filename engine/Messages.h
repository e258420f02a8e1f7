// SPDX-License-Identifier: GPL-3.0-or-later
// The one catalogue of what the engine tells the user. Every failure it can report (the Failure
// values of Module1.h) has its Chinese text and, where there is one, its advice here; the rest of
// the engine throws Faults, a Failure with its files, numbers and system error code, and never
// spells a word of a message itself. Each file system twin maps its system's error numbers to
// Failures in a table of its own.
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

// What a file is to a failure, which says how its text introduces the file.
enum class Role {
    Named,         // the file the failure concerns, on its own line
    MissingPiece,  // "第 k 份：", with its number
    ListOfPiece,   // the list file of the piece that was picked instead
    ListBeside,    // the list file beside a file that was split
    ChecksumList,  // the checksum list that does not vouch for a file
};

struct FaultFile {
    Role role = Role::Named;
    std::string path;
    std::int64_t piece = 0;  // Role::MissingPiece: its number in the set, from 1
};

// A failure in parts, before it has words: the engine throws these, and only the catalogue
// turns them into the text of an EngineError.
struct Fault {
    Failure failure = Failure::Unexpected;
    std::vector<FaultFile> files;
    // What the failure counts: SetLengthMismatch {pieces' bytes, recorded bytes};
    // NotEnoughSpace {needed, available, 1 where an older set is there}; TooManyPieces
    // {source length}; PiecesMissing {pieces in all, pieces missing}; ListPieceCountBroken
    // {the count recorded}.
    std::vector<std::int64_t> numbers;
    long systemCode = 0;                  // SystemError: the system's number
    Failure cause = Failure::Unexpected;  // SetIncomplete: what stopped the bring-in
};

// Throws the EngineError of a fault.
[[noreturn]] void Throw(const Fault& fault);
// Throws EngineError naming path (when not empty), with the failure's own advice.
[[noreturn]] void Throw(Failure failure, const std::string& path = {});

// The text of a failure in parts, as EngineError::what() and FailureText give it (UTF-8).
std::string Compose(Failure failure, const std::vector<EngineError::File>& files,
                    const std::string& detail, const std::string& advice);

}  // namespace Module1
