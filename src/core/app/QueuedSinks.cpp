#include "core/app/QueuedSinks.h"

#include "core/app/ServerWorker.h"

#include <QThread>

namespace quenlor {

short QueuedMessageSink::ShowMsg(short InValue, const QString& Message) {
    return answerOn<short>(this, [&] { return m_target().ShowMsg(InValue, Message); });
}

QString QueuedMessageSink::AskText(const QString& prompt) {
    return answerOn<QString>(this, [&] { return m_target().AskText(prompt); });
}

void QueuedProgressSink::post(std::function<void(ProgressSink&)> call) {
    if (QThread::currentThread() == thread())
        call(m_target);
    else
        QMetaObject::invokeMethod(
            this, [this, call = std::move(call)] { call(m_target); }, Qt::QueuedConnection);
}

void QueuedProgressSink::runStarted() {
    post([](ProgressSink& p) { p.runStarted(); });
}

void QueuedProgressSink::runEnded() {
    post([](ProgressSink& p) { p.runEnded(); });
}

void QueuedProgressSink::showProgress(int maximum) {
    post([maximum](ProgressSink& p) { p.showProgress(maximum); });
}

void QueuedProgressSink::hideProgress() {
    post([](ProgressSink& p) { p.hideProgress(); });
}

void QueuedProgressSink::setProgressValue(int value) {
    post([value](ProgressSink& p) { p.setProgressValue(value); });
}

void QueuedProgressSink::setReport(const QString& text) {
    post([text](ProgressSink& p) { p.setReport(text); });
}

bool QueuedProgressSink::stopRequested() {
    if (QThread::currentThread() == thread())
        return m_target.stopRequested() || m_worker.stopRequested();
    return m_worker.stopRequested();
}

} // namespace quenlor
