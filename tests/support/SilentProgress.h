#pragma once

#include "core/deletion/ProgressSink.h"

namespace quenlor::test {

// A deletion run's progress that goes nowhere; the operator asks to stop only when told to.
struct SilentProgress final : ProgressSink {
    bool stopAsked = false;
    void runStarted() override {}
    void runEnded() override {}
    void showProgress(int) override {}
    void hideProgress() override {}
    void setProgressValue(int) override {}
    void setReport(const QString&) override {}
    bool stopRequested() override { return stopAsked; }
};

} // namespace quenlor::test
