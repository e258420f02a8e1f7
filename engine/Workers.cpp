// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workers.h"

#include <algorithm>
#include <system_error>

#include "Messages.h"

namespace Module1 {
namespace {

// One chunk being read and hashed, one being written, one waiting between them.
constexpr int kChunksBehind = 3;
constexpr std::size_t kHashOnlyBufferSize = 64 << 10;

struct AnotherWorkerFailed {};

}  // namespace

ChunkWriter::ChunkWriter(bool writeBehind, ChunkWritten written)
    : written_(std::move(written)), chunks_(writeBehind ? kChunksBehind : 1) {
    for (Chunk& chunk : chunks_) {
        chunk.bytes.resize(kChunkSize);
        free_.push_back(&chunk);
    }
    if (writeBehind) {
        try {
            thread_ = std::jthread([this] { WriteQueued(); });
        } catch (const std::system_error&) {
            // no thread to be had: chunks are written at once
        }
    }
}

ChunkWriter::~ChunkWriter() {
    Settle();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
}

Chunk& ChunkWriter::Take() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return failure_ || !free_.empty(); });
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    Chunk* chunk = free_.front();
    free_.pop_front();
    return *chunk;
}

void ChunkWriter::Submit(Chunk& chunk) {
    if (!thread_.joinable()) {
        try {
            Write(chunk);
        } catch (...) {
            std::lock_guard lock(mutex_);
            Give(&chunk);
            throw;
        }
        std::lock_guard lock(mutex_);
        Give(&chunk);
        return;
    }
    std::lock_guard lock(mutex_);
    if (failure_) {
        Give(&chunk);  // the writing thread has failed: nothing more is written
        std::rethrow_exception(failure_);
    }
    queued_.push_back(&chunk);
    changed_.notify_all();
}

void ChunkWriter::Drain() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return free_.size() == chunks_.size(); });
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

void ChunkWriter::Settle() noexcept {
    std::unique_lock lock(mutex_);
    for (Chunk* chunk : queued_) {
        Give(chunk);
    }
    queued_.clear();
    // What is neither free nor queued is being written, or is held by the thread that reads.
    changed_.wait(lock, [&] { return !thread_.joinable() || writing_ == nullptr; });
}

void ChunkWriter::Write(const Chunk& chunk) {
    io::WriteAt(*chunk.file, chunk.bytes.data(), chunk.size, chunk.offset);
    if (written_) {
        written_(*chunk.file, chunk.offset, static_cast<std::int64_t>(chunk.size));
    }
    if (chunk.then) {
        chunk.then();
    }
}

void ChunkWriter::Give(Chunk* chunk) {
    chunk->then = nullptr;
    chunk->keepAlive.reset();
    free_.push_back(chunk);
    changed_.notify_all();
}

void ChunkWriter::WriteQueued() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !queued_.empty(); });
        if (queued_.empty()) {
            return;
        }
        writing_ = queued_.front();
        queued_.pop_front();
        lock.unlock();
        std::exception_ptr failure;
        try {
            Write(*writing_);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        if (failure && !failure_) {
            failure_ = failure;
            for (Chunk* chunk : queued_) {  // nothing after a failed write is written
                Give(chunk);
            }
            queued_.clear();
        }
        Give(writing_);
        writing_ = nullptr;
    }
}

void Worker::CheckGoOn() const {
    if (stopped) {
        throw AnotherWorkerFailed{};  // never the first error: the flag is set after it
    }
    if (stop.stop_requested()) {
        Throw(Failure::Stopped);
    }
}

void ProgressCounter::Add(std::int64_t bytes) {
    if (!progress_) {
        return;
    }
    done_ += bytes;
    for (;;) {
        std::int64_t done = 0;
        {
            const std::unique_lock reporting(reporting_, std::try_to_lock);
            if (!reporting.owns_lock()) {
                return;  // the report under way looks again once it is done
            }
            done = done_;
            progress_(done, total_);
        }
        if (done_ == done) {
            return;
        }
    }
}

void ForEachPiece(std::int32_t count, int workers, const ChunkWritten& written,
                  const std::function<void(std::int32_t, Worker&)>& work, std::stop_token stop) {
    std::atomic<std::int32_t> next{1};
    std::atomic<bool> failed{false};
    std::exception_ptr firstError;
    std::mutex errorMutex;

    auto run = [&](bool writeBehind) noexcept {
        try {
            Worker worker{ChunkWriter(writeBehind, written),
                          std::vector<std::uint8_t>(kHashOnlyBufferSize), failed, stop};
            for (std::int32_t k = next++; k <= count && !failed; k = next++) {
                work(k, worker);
            }
            worker.writer.Drain();
        } catch (...) {
            std::lock_guard lock(errorMutex);
            if (!firstError) {
                firstError = std::current_exception();
            }
            failed = true;
        }
    };

    std::vector<std::jthread> helpers;
    for (int i = 1; i < std::min(workers, count); ++i) {
        try {
            helpers.emplace_back(run, false);
        } catch (const std::system_error&) {
            break;  // no thread to be had: fewer workers do the work
        }
    }
    run(/*writeBehind=*/helpers.empty());
    helpers.clear();  // joins
    if (firstError) {
        std::rethrow_exception(firstError);
    }
}

}  // namespace Module1
