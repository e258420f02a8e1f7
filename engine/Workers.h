// SPDX-License-Identifier: GPL-3.0-or-later
// Work spread over a set's pieces. Pieces are independent files, so two workers, each reading,
// hashing and writing a piece of its own, keep both cores busy. On a rotational disk one worker
// reads a single stream, and a writing thread behind it keeps the second core busy instead.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "FileIo.h"
#include "Module1.h"

namespace Module1 {

// Bytes read from one file on their way to a place in another.
constexpr std::size_t kChunkSize = 4 << 20;

struct Chunk {
    std::vector<std::uint8_t> bytes;
    std::size_t size = 0;
    const io::File* file = nullptr;
    std::int64_t offset = 0;
    // What keeps file open until the chunk is written, where nothing else does.
    std::shared_ptr<const void> keepAlive;
    // Runs once the chunk is written, on the thread that wrote it: a piece's last chunk closes
    // its piece there, so that the worker goes on to the next one at once.
    std::function<void()> then;
};

// Told of every chunk once it lies in its file: for progress, and to start the disk's writeback.
using ChunkWritten = std::function<void(const io::File&, std::int64_t offset, std::int64_t size)>;

// Writes chunks at once on the calling thread, or, when asked to write behind, on a thread of its
// own, so that reading and hashing the next chunk overlaps writing this one. A write failure is
// rethrown by the next Take, Submit or Drain, and no chunk is written after it. The file a chunk
// goes to must outlive its write: keep it alive through the chunk, or Drain, and keep a Settled
// guard for a way out by exception.
class ChunkWriter {
  public:
    ChunkWriter(bool writeBehind, ChunkWritten written);
    ~ChunkWriter();
    ChunkWriter(const ChunkWriter&) = delete;
    ChunkWriter& operator=(const ChunkWriter&) = delete;

    Chunk& Take();              // a free chunk of kChunkSize bytes
    void Submit(Chunk& chunk);  // with its size, file and offset set
    void Drain();               // every submitted chunk written, or the failure rethrown

    // On a way out by exception, drops the chunks not yet written and waits for the one being
    // written, before the file the chunks go to is closed; on a normal way out, does nothing.
    class Settled {
      public:
        explicit Settled(ChunkWriter& writer)
            : writer_(writer), exceptions_(std::uncaught_exceptions()) {}
        ~Settled() {
            if (std::uncaught_exceptions() > exceptions_) {
                writer_.Settle();
            }
        }
        Settled(const Settled&) = delete;
        Settled& operator=(const Settled&) = delete;

      private:
        ChunkWriter& writer_;
        int exceptions_;
    };

  private:
    void Write(const Chunk& chunk);
    void WriteQueued();
    void Settle() noexcept;
    void Give(Chunk* chunk);  // with the lock held

    ChunkWritten written_;
    std::vector<Chunk> chunks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Chunk*> free_;
    std::deque<Chunk*> queued_;
    Chunk* writing_ = nullptr;  // by the writing thread, outside the lock
    std::exception_ptr failure_;
    bool stopping_ = false;
    std::jthread thread_;  // last: joined before the members it uses go
};

// What a worker holds: its chunk writer, a small buffer for bytes that are only hashed, the
// flag that tells it another worker has failed, and the caller's stop request.
struct Worker {
    ChunkWriter writer;
    std::vector<std::uint8_t> buffer;
    const std::atomic<bool>& stopped;
    std::stop_token stop;

    // Called at every chunk: ends this worker's piece early once another worker has failed
    // (that failure is the one reported), and throws Failure::Stopped on a stop request.
    void CheckGoOn() const;
};

// Shares progress among the workers and reports it one call at a time, newest count last. No
// worker waits for another's report: one that finds a report under way leaves its count to it.
class ProgressCounter {
  public:
    ProgressCounter(const Progress& progress, std::int64_t total)
        : progress_(progress), total_(total) {}

    void Add(std::int64_t bytes);

  private:
    const Progress& progress_;
    std::int64_t total_;
    std::atomic<std::int64_t> done_{0};
    std::mutex reporting_;
};

// Calls work(k, worker) for k = 1 … count. With workers == 2, two threads (the calling one among
// them) take pieces in turn; with one, the calling thread takes them all and writes behind. After
// the first failure no piece is started, and that failure is rethrown once every thread has
// stopped. Without a thread to be had, the calling thread does the work alone.
void ForEachPiece(std::int32_t count, int workers, const ChunkWritten& written,
                  const std::function<void(std::int32_t, Worker&)>& work,
                  std::stop_token stop = {});

}  // namespace Module1
