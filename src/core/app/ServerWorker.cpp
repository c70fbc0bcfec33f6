#include "core/app/ServerWorker.h"

namespace quenlor {

ServerWorker::ServerWorker(QObject* parent) : QObject(parent), m_context(new QObject) {
    m_thread.setObjectName(QStringLiteral("server"));
    m_context->moveToThread(&m_thread);
    m_thread.start();
}

ServerWorker::~ServerWorker() {
    m_stop = true;
    m_thread.quit();
    m_thread.wait();
}

bool ServerWorker::start(std::function<void()> work, std::function<void()> done) {
    if (m_busy)
        return false;
    m_busy = true;
    m_stop = false;
    m_clock.start();
    emit busyChanged(true);
    QMetaObject::invokeMethod(
        m_context.get(),
        [this, work = std::move(work), done = std::move(done)]() mutable {
            work();
            QMetaObject::invokeMethod(
                this,
                [this, done = std::move(done)] {
                    m_busy = false;
                    m_clock.invalidate();
                    emit busyChanged(false);
                    // Idle again first, so the completion may start the next job.
                    if (done)
                        done();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    return true;
}

} // namespace quenlor
