// SPDX-License-Identifier: GPL-3.0-or-later
// The fuzzers' seeds and every input they kept, replayed through the readers' promises.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "FuzzChecks.h"
#include "TestFiles.h"

using namespace testing_files;
namespace fs = std::filesystem;

namespace {

// Writes the seeds into folder (the fuzz script asks for this through KORVEL_SEED_DIR).
void WriteSeeds(const fs::path& folder, const std::vector<Bytes>& seeds) {
    fs::create_directories(folder);
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        WriteFile(folder / ("seed-" + std::to_string(i)), seeds[i]);
    }
}

int Replay(const fs::path& folder, void (*check)(std::span<const std::uint8_t>)) {
    int count = 0;
    if (!fs::exists(folder)) {
        return 0;
    }
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            check(ReadFile(entry.path()));
            ++count;
        }
    }
    return count;
}

}  // namespace

TEST(FuzzSeeds, built_from_the_format_tables_pass_the_reader_checks) {
    for (const Bytes& seed : fuzz_checks::ListSeeds()) {
        fuzz_checks::CheckListReader(seed);
    }
    for (const Bytes& seed : fuzz_checks::PieceSeeds()) {
        fuzz_checks::CheckPieceReader(seed);
    }
    if (const char* folder = std::getenv("KORVEL_SEED_DIR")) {
        WriteSeeds(fs::path(folder) / "list", fuzz_checks::ListSeeds());
        WriteSeeds(fs::path(folder) / "piece", fuzz_checks::PieceSeeds());
    }
}

TEST(FuzzCorpus, every_kept_input_and_past_crash_replays_cleanly) {
    const fs::path fuzz = KORVEL_FUZZ_DIR;
    EXPECT_GT(Replay(fuzz / "corpus" / "list", fuzz_checks::CheckListReader), 0);
    EXPECT_GT(Replay(fuzz / "corpus" / "piece", fuzz_checks::CheckPieceReader), 0);
    Replay(fuzz / "crashes" / "list", fuzz_checks::CheckListReader);
    Replay(fuzz / "crashes" / "piece", fuzz_checks::CheckPieceReader);
}
