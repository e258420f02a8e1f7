// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workers.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>

namespace Module1 {
namespace {

struct AnotherWorkerFailed {};

}  // namespace

void Worker::StopIfAnotherFailed() const {
    if (stopped) {
        throw AnotherWorkerFailed{};  // never the first error: the flag is set after it
    }
}

void ProgressCounter::Add(std::int64_t bytes) {
    if (!progress_) {
        return;
    }
    std::lock_guard lock(mutex_);
    done_ += bytes;
    progress_(done_, total_);
}

void ForEachPiece(std::int32_t count, int workers, std::size_t bufferSize,
                  const std::function<void(std::int32_t, Worker&)>& work) {
    std::atomic<std::int32_t> next{1};
    std::atomic<bool> failed{false};
    std::exception_ptr firstError;
    std::mutex errorMutex;

    auto run = [&]() noexcept {
        try {
            Worker worker{std::vector<std::uint8_t>(bufferSize), failed};
            for (std::int32_t k = next++; k <= count && !failed; k = next++) {
                work(k, worker);
            }
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
            helpers.emplace_back(run);
        } catch (const std::system_error&) {
            break;  // no thread to be had: fewer workers do the work
        }
    }
    run();
    helpers.clear();  // joins
    if (firstError) {
        std::rethrow_exception(firstError);
    }
}

}  // namespace Module1
