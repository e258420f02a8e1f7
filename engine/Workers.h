// SPDX-License-Identifier: GPL-3.0-or-later
// Work spread over a set's pieces: pieces are independent files, so two workers, each reading,
// hashing and writing a piece of its own, use both cores where one stream would leave one idle.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "Module1.h"

namespace Module1 {

// Shares progress among the workers and reports it one call at a time.
class ProgressCounter {
  public:
    ProgressCounter(const Progress& progress, std::int64_t total)
        : progress_(progress), total_(total) {}

    void Add(std::int64_t bytes);

  private:
    const Progress& progress_;
    std::int64_t total_;
    std::int64_t done_ = 0;
    std::mutex mutex_;
};

// What a worker holds while it works on a piece: a buffer of its own, and the flag that tells
// it another worker has failed, so that it stops at its next chunk.
struct Worker {
    std::vector<std::uint8_t> buffer;
    const std::atomic<bool>& stopped;

    // Ends this worker's piece early once another worker has failed; that failure is the one
    // reported.
    void StopIfAnotherFailed() const;
};

// Calls work(k, worker) for k = 1 … count on up to `workers` threads, the calling thread among
// them. After the first failure no piece is started, and that failure is rethrown once every
// thread has stopped. Without a thread to be had, the calling thread does the work alone.
void ForEachPiece(std::int32_t count, int workers, std::size_t bufferSize,
                  const std::function<void(std::int32_t, Worker&)>& work);

}  // namespace Module1
