// SPDX-License-Identifier: GPL-3.0-or-later
// ForEachPiece: the worker loop that split and merge share.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "Workers.h"

namespace {

using Module1::ForEachPiece;
using Module1::Worker;

// Waits up to five seconds for flag; a worker that never comes fails the test, not hangs it.
bool WaitFor(const std::atomic<bool>& flag) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!flag && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    return flag;
}

TEST(Workers, every_piece_is_worked_once_with_a_buffer_of_the_size_asked) {
    std::vector<std::atomic<int>> visits(50);
    std::mutex mutex;
    std::set<std::thread::id> threads;
    ForEachPiece(50, 2, 4096, [&](std::int32_t k, Worker& worker) {
        EXPECT_EQ(worker.buffer.size(), 4096u);
        ++visits[static_cast<std::size_t>(k - 1)];
        std::lock_guard lock(mutex);
        threads.insert(std::this_thread::get_id());
        std::this_thread::sleep_for(std::chrono::microseconds(200));  // lets the other start
    });
    for (const auto& count : visits) {
        EXPECT_EQ(count, 1);
    }
    EXPECT_EQ(threads.size(), 2u);

    int calls = 0;
    ForEachPiece(1, 2, 16, [&](std::int32_t k, Worker&) { calls += k; });
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
                worker.StopIfAnotherFailed();
            } catch (...) {
                secondStopped = true;
                throw;
            }
            std::this_thread::yield();
        }
    };
    try {
        ForEachPiece(10, 2, 16, work);
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
    EXPECT_THROW(ForEachPiece(10, 2, 16, work), std::runtime_error);
    EXPECT_EQ(started, 2);
}

}  // namespace
