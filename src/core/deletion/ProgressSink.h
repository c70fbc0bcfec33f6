#pragma once

#include <QString>

namespace quenlor {

// How the deletion run shows its progress and hears the operator's stop. frmMain implements it
// (reached from the server worker through QueuedProgressSink); tests record it.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // The run starts: everything but the stop button is locked.
    virtual void runStarted() = 0;
    // The run has ended, however it ended.
    virtual void runEnded() = 0;
    // Shows the bar (0 to maximum, at 0) and the report line, or hides both.
    virtual void showProgress(int maximum) = 0;
    virtual void hideProgress() = 0;
    virtual void setProgressValue(int value) = 0;
    virtual void setReport(const QString& text) = 0;
    // True once the operator asked to stop; the run asks between rows.
    virtual bool stopRequested() = 0;
};

// Progress that goes nowhere: the dry run's, and the tests'. The operator asks to stop only
// when told to.
class SilentProgress final : public ProgressSink {
public:
    bool stopAsked = false;
    void runStarted() override {}
    void runEnded() override {}
    void showProgress(int) override {}
    void hideProgress() override {}
    void setProgressValue(int) override {}
    void setReport(const QString&) override {}
    bool stopRequested() override { return stopAsked; }
};

} // namespace quenlor
