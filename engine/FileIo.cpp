// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of the file system seam that are the same on every platform.
#include <algorithm>
#include <atomic>
#include <thread>

#include "FileIo.h"
#include "Messages.h"
#include "Text.h"

namespace Module1::io {
namespace {

std::atomic<FaultHook> g_faultHook{nullptr};
std::atomic<RetryPause> g_retryPause{nullptr};

}  // namespace

void SetRetryPause(RetryPause pause) {
    g_retryPause.store(pause);
}

void PauseBeforeRetry(std::chrono::milliseconds pause) {
    if (const RetryPause replaced = g_retryPause.load()) {
        replaced(pause);
    } else {
        std::this_thread::sleep_for(pause);
    }
}

void SetFaultHook(FaultHook hook) {
    g_faultHook.store(hook);
}

int InjectedError(Step step) {
    const FaultHook hook = g_faultHook.load(std::memory_order_relaxed);
    return hook ? hook(step) : 0;
}

void ReadRange(const File& file, std::int64_t offset, std::int64_t count,
               std::vector<std::uint8_t>& buffer,
               const std::function<void(const std::uint8_t*, std::size_t)>& onBytes) {
    while (count > 0) {
        const auto chunk = static_cast<std::size_t>(
            std::min<std::int64_t>(count, static_cast<std::int64_t>(buffer.size())));
        ReadAt(file, buffer.data(), chunk, offset);
        onBytes(buffer.data(), chunk);
        offset += static_cast<std::int64_t>(chunk);
        count -= static_cast<std::int64_t>(chunk);
    }
}

void Copier::CopyThroughBuffer(const File& from, std::int64_t fromOffset, const File& to,
                               std::int64_t toOffset, std::int64_t count,
                               const std::function<void(std::int64_t)>& onChunk) {
    if (buffer_.empty()) {
        buffer_.resize(kBufferSize);
    }
    while (count > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(count, kBufferSize));
        ReadAt(from, buffer_.data(), chunk, fromOffset);
        WriteAt(to, buffer_.data(), chunk, toOffset);
        fromOffset += static_cast<std::int64_t>(chunk);
        toOffset += static_cast<std::int64_t>(chunk);
        count -= static_cast<std::int64_t>(chunk);
        if (onChunk) {
            onChunk(static_cast<std::int64_t>(chunk));
        }
    }
}

}  // namespace Module1::io
