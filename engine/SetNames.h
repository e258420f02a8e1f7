// SPDX-License-Identifier: GPL-3.0-or-later
// The names of one split set: its pieces, its list file and its checksum list, found from the
// list file's name as every reader finds them (a split's list file is its source's path plus
// ".FLF").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Module1.h"

namespace Module1 {

class SetNames {
  public:
    SetNames(const std::u16string& listPath, std::int32_t firstNumber, std::int32_t pieceCount);

    std::int32_t PieceCount() const { return pieceCount_; }
    // Piece k, counting from 1, as a path (UTF-8). Throws when its number overflows.
    std::string Piece(std::int32_t k) const;
    const std::string& List() const { return list_; }
    const std::string& ChecksumList() const { return checksumList_; }
    // Every file of the set in the order a split brings them in: the checksum list, the pieces
    // in order (piece k at index k), the list file.
    std::vector<std::string> All() const;

    // Which of the set's files a name in the set's folder is, as a checksum list may give it:
    // 1 … n for the pieces, n + 1 for the list file, 0 for none; exact when the name is the
    // file's own, otherwise the same but for the case of ASCII letters.
    struct Member {
        std::int32_t index = 0;
        bool exact = false;
    };
    Member MemberOf(std::string_view name) const;

  private:
    std::u16string base_;
    std::int32_t firstNumber_;
    std::int32_t pieceCount_;
    std::string list_;
    std::string checksumList_;
    std::string pieceStart_;  // the pieces' names up to their number: "<base name>."
};

}  // namespace Module1
