// SPDX-License-Identifier: GPL-3.0-or-later
#include "SetNames.h"

#include <charconv>
#include <limits>

#include "FileIo.h"
#include "Paths.h"
#include "Text.h"

namespace Module1 {

SetNames::SetNames(const std::u16string& listPath, std::int32_t firstNumber,
                   std::int32_t pieceCount)
    : base_(PieceBase(listPath)),
      firstNumber_(firstNumber),
      pieceCount_(pieceCount),
      list_(text::ToUtf8(listPath)),
      checksumList_(text::ToUtf8(ChecksumListName(listPath))),
      pieceStart_(io::NameOf(text::ToUtf8(base_)) + ".") {}

std::string SetNames::Piece(std::int32_t k) const {
    return text::ToUtf8(PieceName(base_, firstNumber_, k));
}

std::vector<std::string> SetNames::All() const {
    std::vector<std::string> all;
    all.reserve(static_cast<std::size_t>(pieceCount_) + 2);
    all.push_back(checksumList_);
    for (std::int32_t k = 1; k <= pieceCount_; ++k) {
        all.push_back(Piece(k));
    }
    all.push_back(list_);
    return all;
}

SetNames::Member SetNames::MemberOf(std::string_view name) const {
    const std::string listName = io::NameOf(list_);
    if (name == listName || io::SameNameIgnoringCase(name, listName)) {
        return {pieceCount_ + 1, name == listName};
    }
    if (name.size() <= pieceStart_.size() ||
        !io::SameNameIgnoringCase(name.substr(0, pieceStart_.size()), pieceStart_)) {
        return {};
    }
    // The number as the pieces' names write it, and one of this set's.
    const std::string_view number = name.substr(pieceStart_.size());
    if (number.size() > 11 || number.find_first_not_of("-0123456789") != std::string_view::npos) {
        return {};
    }
    std::int64_t value = 0;
    const char* end = number.data() + number.size();
    if (const auto parsed = std::from_chars(number.data(), end, value);
        parsed.ec != std::errc{} || parsed.ptr != end) {
        return {};
    }
    const std::int64_t k = value - firstNumber_ + 1;
    if (k < 1 || k > pieceCount_ || value > std::numeric_limits<std::int32_t>::max() ||
        value < std::numeric_limits<std::int32_t>::min() ||
        text::ToUtf8(FormatPieceNumber(static_cast<std::int32_t>(value))) != number) {
        return {};
    }
    return {static_cast<std::int32_t>(k), name.starts_with(pieceStart_)};
}

}  // namespace Module1
