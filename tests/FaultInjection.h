// SPDX-License-Identifier: GPL-3.0-or-later
// Failing or slowing the engine's I/O steps on purpose. The hook is set for as long as an
// InjectedFault lives, so a failed assertion can never leave it set for the tests that follow.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "FileIo.h"

namespace testing_files {

using Module1::io::Step;

struct FaultPlan {
    std::optional<Step> kind;            // the steps counted and failed; all when empty
    int failAt = 0;                      // which counted step fails, from 1; 0: every one
    bool andAfter = false;               // with failAt: every counted step after it fails too
    int error = 0;                       // the errno it fails with; 0: none fails
    std::chrono::milliseconds delay{0};  // a pause before each step, to slow the work down
    std::function<void()> action;        // run just before the failAt step: to change a file
                                         // under the engine, fill the disk or end the process
};

inline FaultPlan FailNthStep(int n, int error) {
    FaultPlan plan;
    plan.failAt = n;
    plan.error = error;
    return plan;
}
inline FaultPlan FailEveryStep(Step kind, int error) {
    FaultPlan plan;
    plan.kind = kind;
    plan.error = error;
    return plan;
}
inline FaultPlan PauseEveryStep(std::chrono::milliseconds delay) {
    FaultPlan plan;
    plan.delay = delay;
    return plan;
}
// Runs action just before the nth step of kind, which then goes ahead.
inline FaultPlan BeforeNthStep(Step kind, int n, std::function<void()> action) {
    FaultPlan plan;
    plan.kind = kind;
    plan.failAt = n;
    plan.action = std::move(action);
    return plan;
}

// Only one lives at a time. While it lives, a rename or removal that Windows tries again does not
// pause between tries.
class InjectedFault {
  public:
    explicit InjectedFault(const FaultPlan& plan);
    ~InjectedFault();
    InjectedFault(const InjectedFault&) = delete;
    InjectedFault& operator=(const InjectedFault&) = delete;

    // How many counted steps ran so far.
    int Steps() const;
    // The kind of the step that was failed, if one was.
    std::optional<Step> FailedStep() const;
};

}  // namespace testing_files
