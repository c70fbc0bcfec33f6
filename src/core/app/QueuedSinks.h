#pragma once

#include "core/app/MessageSink.h"
#include "core/deletion/ProgressSink.h"

#include <QObject>
#include <QThread>

#include <functional>

namespace quenlor {

class ServerWorker;

// Runs call on owner's thread and returns its result; another thread waits for it there.
template <typename R> R answerOn(QObject* owner, const std::function<R()>& call) {
    if (QThread::currentThread() == owner->thread())
        return call();
    R result{};
    QMetaObject::invokeMethod(
        owner, [&] { result = call(); }, Qt::BlockingQueuedConnection);
    return result;
}

// The operator's messages asked from another thread: the question goes to the sink of the
// thread this object lives on (the window's) and the asking thread waits for the answer, while
// the window's event loop shows the dialog. On the window's thread it calls the sink directly.
class QueuedMessageSink final : public QObject, public MessageSink {
public:
    // target is called on this object's thread whenever the sink is needed.
    explicit QueuedMessageSink(std::function<MessageSink&()> target)
        : m_target(std::move(target)) {}
    short ShowMsg(short InValue, const QString& Message) override;
    QString AskText(const QString& prompt) override;

private:
    std::function<MessageSink&()> m_target;
};

// The window's progress as a job on the worker reaches it: every call is posted to the window's
// thread, in order, without waiting; a stop is read from the worker's flag, which the stop
// button sets. On the window's thread each call goes straight to the window.
class QueuedProgressSink final : public QObject, public ProgressSink {
public:
    QueuedProgressSink(ProgressSink& target, const ServerWorker& worker)
        : m_target(target), m_worker(worker) {}
    void runStarted() override;
    void runEnded() override;
    void showProgress(int maximum) override;
    void hideProgress() override;
    void setProgressValue(int value) override;
    void setReport(const QString& text) override;
    bool stopRequested() override;

private:
    void post(std::function<void(ProgressSink&)> call);

    ProgressSink& m_target;
    const ServerWorker& m_worker;
};

} // namespace quenlor
