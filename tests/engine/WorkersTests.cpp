// SPDX-License-Identifier: GPL-3.0-or-later
// ForEachPiece and ChunkWriter: the worker loop that split and merge share, and the writing that
// runs behind a single worker.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "FaultInjection.h"
#include "TestFiles.h"
#include "Workers.h"

namespace {

using namespace testing_files;
using Module1::Chunk;
using Module1::ChunkWriter;
using Module1::ForEachPiece;
using Module1::Worker;
namespace io = Module1::io;

const Module1::ChunkWritten kNothingToTell;

// A new empty file for the chunks to go to.
io::File NewFile(const TempDir& dir, const std::string& name) {
    return *io::Folder(dir.path().string(), name).CreateNew(name, (dir / name).string());
}

// Waits up to five seconds for flag; a worker that never comes fails the test, not hangs it.
bool WaitFor(const std::atomic<bool>& flag) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!flag && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    return flag;
}

TEST(Workers, every_piece_is_worked_once_by_at_most_the_workers_asked) {
    for (const int workers : {1, 2}) {
        std::vector<std::atomic<int>> visits(50);
        std::mutex mutex;
        std::set<std::thread::id> threads;
        ForEachPiece(50, workers, kNothingToTell, [&](std::int32_t k, Worker& worker) {
            ++visits[static_cast<std::size_t>(k - 1)];
            EXPECT_FALSE(worker.buffer.empty());
            std::lock_guard lock(mutex);
            threads.insert(std::this_thread::get_id());
        });
        for (const auto& count : visits) {
            EXPECT_EQ(count, 1);
        }
        EXPECT_GE(threads.size(), 1u);
        EXPECT_LE(threads.size(), static_cast<std::size_t>(workers));
        if (workers == 1) {
            EXPECT_EQ(threads.count(std::this_thread::get_id()), 1u) << "one worker is the caller";
        }
    }

    int calls = 0;
    ForEachPiece(1, 2, kNothingToTell, [&](std::int32_t k, Worker&) { calls += k; });
    EXPECT_EQ(calls, 1) << "one piece needs no second thread";
}

TEST(Workers, the_first_failure_stops_the_other_worker_and_is_the_one_rethrown) {
    std::atomic<bool> secondStarted{false}, secondStopped{false};
    std::atomic<int> started{0};
    auto work = [&](std::int32_t k, Worker& worker) {
        ++started;
        if (k == 1) {
            EXPECT_TRUE(WaitFor(secondStarted));
            throw std::runtime_error("piece 1 failed");
        }
        secondStarted = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {  // a long piece, chunk by chunk
            try {
                worker.CheckGoOn();
            } catch (...) {
                secondStopped = true;
                throw;
            }
            std::this_thread::yield();
        }
    };
    try {
        ForEachPiece(10, 2, kNothingToTell, work);
        FAIL() << "the failure was not rethrown";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "piece 1 failed");
    }
    EXPECT_TRUE(secondStopped) << "the other worker ran its piece to the end";
    EXPECT_EQ(started, 2);
}

TEST(Workers, no_piece_is_started_after_a_failure) {
    std::atomic<bool> secondStarted{false};
    std::atomic<int> started{0};
    auto work = [&](std::int32_t k, const Worker& worker) {
        ++started;
        if (k == 1) {
            EXPECT_TRUE(WaitFor(secondStarted));
            throw std::runtime_error("piece 1 failed");
        }
        secondStarted = true;
        EXPECT_TRUE(WaitFor(worker.stopped));  // then ends its piece as if it had finished
    };
    EXPECT_THROW(ForEachPiece(10, 2, kNothingToTell, work), std::runtime_error);
    EXPECT_EQ(started, 2);
}

TEST(Workers, when_one_split_worker_fails_the_other_stops_at_its_next_chunk) {
    TempDir dir;
    constexpr std::int32_t kPiece = 4 * Module1::kChunkSize;  // four chunks a piece
    WriteFile(dir / "s", RandomBytes(2 * kPiece, 92));
    FaultPlan plan = FailEveryStep(Step::Write, ENOSPC);
    plan.failAt = 2;
    std::u16string message;
    int writes = 0;
    {
        InjectedFault diskFull(plan);
        EXPECT_FALSE(Module1::SplitFile(U16(dir / "s"), 0, message, kPiece));
        writes = diskFull.Steps();
    }
    EXPECT_EQ(Utf8(message).rfind("磁盘已满：", 0), 0u) << Utf8(message);
    // A chunk goes in 128 KiB writes. After the failure the other worker ends the chunk it is
    // writing and, at most, one it began before the failure was known; not its whole piece.
    constexpr int kWritesPerChunk = Module1::kChunkSize / (128 << 10);
    EXPECT_LE(writes, 2 + 2 * kWritesPerChunk + 2);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"s"});
}

// Chunks of distinct bytes, submitted out of order, land at their places and are each reported.
void WriteChunksOutOfOrder(bool writeBehind) {
    TempDir dir;
    const Bytes expected = RandomBytes(5 * Module1::kChunkSize / 2, 91);
    std::atomic<std::int64_t> reported{0};
    {
        const io::File file = NewFile(dir, "f");
        ChunkWriter writer(writeBehind, [&](const io::File&, std::int64_t, std::int64_t size) {
            reported += size;
        });
        for (const std::size_t chunkIndex : {2, 0, 1}) {
            const std::size_t at = chunkIndex * Module1::kChunkSize;
            Chunk& chunk = writer.Take();
            ASSERT_EQ(chunk.bytes.size(), Module1::kChunkSize);
            chunk.size = std::min(Module1::kChunkSize, expected.size() - at);
            std::copy_n(expected.begin() + static_cast<std::ptrdiff_t>(at), chunk.size,
                        chunk.bytes.begin());
            chunk.file = &file;
            chunk.offset = static_cast<std::int64_t>(at);
            writer.Submit(chunk);
        }
        writer.Drain();
    }
    EXPECT_EQ(ReadFile(dir / "f"), expected);
    EXPECT_EQ(reported, static_cast<std::int64_t>(expected.size()));
}

TEST(ChunkWriter, puts_every_chunk_at_its_place_written_at_once_or_behind) {
    WriteChunksOutOfOrder(false);
    WriteChunksOutOfOrder(true);
}

TEST(ChunkWriter, a_failed_write_behind_is_rethrown_by_take_submit_and_drain_and_ends_writing) {
    TempDir dir;
    const io::File file = NewFile(dir, "f");
    ChunkWriter writer(true, kNothingToTell);
    InjectedFault fault(FailEveryStep(Step::Write, ENOSPC));
    std::vector<Chunk*> held;
    for (int i = 0; i < 3; ++i) {  // every chunk the writer has
        Chunk& chunk = writer.Take();
        chunk.size = 100;
        chunk.file = &file;
        chunk.offset = 100 * i;
        held.push_back(&chunk);
    }
    writer.Submit(*held[0]);
    // The failed chunk comes back with the failure, so this Take sees it.
    EXPECT_THROW(writer.Take(), Module1::EngineError);
    for (Chunk* chunk : {held[1], held[2]}) {
        try {
            writer.Submit(*chunk);
            ADD_FAILURE() << "a chunk was taken after the writing thread failed";
        } catch (const Module1::EngineError& error) {
            EXPECT_NE(std::string(error.what()).find((dir / "f").string()), std::string::npos)
                << error.what();
        }
    }
    EXPECT_THROW(writer.Drain(), Module1::EngineError);
    EXPECT_EQ(fault.Steps(), 1) << "a write was tried after the failed one";
}

}  // namespace
