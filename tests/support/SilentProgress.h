#pragma once

#include "core/deletion/ProgressSink.h"

namespace quenlor::test {

// A deletion run's progress that goes nowhere; the operator never asks to stop.
struct SilentProgress final : ProgressSink {
    void runStarted() override {}
    void runEnded() override {}
    void showProgress(int) override {}
    void hideProgress() override {}
    void setProgressValue(int) override {}
    void setReport(const QString&) override {}
    bool stopRequested() override { return false; }
};

} // namespace quenlor::test
