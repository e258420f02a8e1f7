// SPDX-License-Identifier: GPL-3.0-or-later
#include "FaultInjection.h"

#include <atomic>
#include <cassert>
#include <thread>

namespace testing_files {
namespace {

FaultPlan g_plan;
std::atomic<int> g_steps{0};
std::atomic<int> g_failedStep{-1};
std::atomic<bool> g_active{false};

int PlannedFault(Step step) {
    if (g_plan.delay.count() > 0) {
        std::this_thread::sleep_for(g_plan.delay);
    }
    if (g_plan.kind && step != *g_plan.kind) {
        return 0;
    }
    const int counted = ++g_steps;
    if (counted == g_plan.failAt && g_plan.action) {
        g_plan.action();
    }
    const bool fails = g_plan.failAt == 0 || counted == g_plan.failAt ||
                       (g_plan.andAfter && counted > g_plan.failAt);
    const int error = fails ? g_plan.error : 0;
    if (error != 0) {
        g_failedStep = static_cast<int>(step);
    }
    return error;
}

void NoPause(std::chrono::milliseconds) {}

}  // namespace

InjectedFault::InjectedFault(const FaultPlan& plan) {
    [[maybe_unused]] const bool wasActive = g_active.exchange(true);
    assert(!wasActive && "only one InjectedFault at a time");
    g_plan = plan;
    g_steps = 0;
    g_failedStep = -1;
    Module1::io::SetRetryPause(NoPause);
    Module1::io::SetFaultHook(PlannedFault);
}

InjectedFault::~InjectedFault() {
    Module1::io::SetFaultHook(nullptr);
    Module1::io::SetRetryPause(nullptr);
    g_active = false;
}

int InjectedFault::Steps() const {
    return g_steps;
}

std::optional<Step> InjectedFault::FailedStep() const {
    const int step = g_failedStep;
    return step < 0 ? std::nullopt : std::optional<Step>(static_cast<Step>(step));
}

}  // namespace testing_files
