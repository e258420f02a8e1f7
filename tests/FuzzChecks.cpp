// SPDX-License-Identifier: GPL-3.0-or-later
#include "FuzzChecks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "Formats.h"
#include "Module1.h"

namespace fuzz_checks {
namespace {

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "format reader broke its promise: %s\n", what);
    std::abort();
}

}  // namespace

void CheckListReader(std::span<const std::uint8_t> bytes) {
    Module1::ListRecord list;
    try {
        list = Module1::DecodeListRecord(bytes, "fuzz.FLF");
    } catch (const Module1::EngineError&) {
        return;
    }
    if (list.PieceCount < 1) {
        Broken("accepted a piece count below 1");
    }
    const std::size_t pathBytes = bytes[4] | (bytes[5] << 8);
    if (bytes.size() < Module1::kListFixedSize + pathBytes) {
        Broken("accepted a list record longer than its bytes");
    }
    const Module1::ListRecord again =
        Module1::DecodeListRecord(Module1::EncodeListRecord(list), "again.FLF");
    if (again.PieceCount != list.PieceCount || again.FirstNumber != list.FirstNumber ||
        again.SourceLength != list.SourceLength) {
        Broken("list record does not survive re-encoding");
    }
    for (std::int32_t k = 1; k <= std::min<std::int32_t>(list.PieceCount, 3); ++k) {
        try {
            Module1::PieceName(u"base", list.FirstNumber, k);
        } catch (const Module1::EngineError&) {
        }
    }
}

void CheckPieceReader(std::span<const std::uint8_t> bytes) {
    Module1::PieceRecord piece;
    try {
        piece = Module1::DecodePieceRecord(bytes, "fuzz.00");
    } catch (const Module1::EngineError&) {
        return;
    }
    const std::vector<std::uint8_t> encoded = Module1::EncodePieceRecord(piece);
    if (encoded.size() > bytes.size() ||
        !std::equal(encoded.begin(), encoded.end(), bytes.begin())) {
        Broken("piece record does not re-encode to the bytes it came from");
    }
}

std::vector<std::vector<std::uint8_t>> ListSeeds() {
    std::vector<std::vector<std::uint8_t>> seeds = {
        Module1::EncodeListRecord({3 * 1048576 + 1, u"C:\\a.bin", 4, 0}),
        Module1::EncodeListRecord({10, u"D:\\文件.rar", 2, 7}),
        Module1::EncodeListRecord({2147483647, u"/home/用户/a b.iso", 32767, 2147450881}),
        Module1::EncodeListRecord({0, u"", 1, -5}),
    };
    std::vector<std::uint8_t> shortened = seeds[0];
    shortened.pop_back();
    seeds.push_back(shortened);
    return seeds;
}

std::vector<std::vector<std::uint8_t>> PieceSeeds() {
    std::vector<std::vector<std::uint8_t>> seeds = {
        Module1::EncodePieceRecord({{'a', 'b', 'c', 'd', 'e'}, 5}),
        Module1::EncodePieceRecord({{}, 0}),
        Module1::EncodePieceRecord({std::vector<std::uint8_t>(300, 0xA5), 300}),
    };
    std::vector<std::uint8_t> stale = seeds[0];
    stale.insert(stale.end(), {9, 9, 9});
    seeds.push_back(stale);
    std::vector<std::uint8_t> huge = Module1::EncodeDescriptor(0xFFFFFFFFu);
    huge.resize(20);
    seeds.push_back(huge);
    return seeds;
}

}  // namespace fuzz_checks
