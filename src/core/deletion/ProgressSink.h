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

} // namespace quenlor
