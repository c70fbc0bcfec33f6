#include "core/app/ServerWorker.h"

namespace quenlor {

namespace {

// Every worker's jobs run on one thread, started on first use and ended only with the process.
// A thread built with MinGW must not end once it has used Qt's regular expressions (the driver
// names, the tests' fakes): its exit frees the thread's storage before Qt's thread-local
// destructors run, one of them then reads freed memory, and the lock the crashed exit held
// hangs the process at its own exit. Killed with the process, the thread never runs that exit.
QThread* serverThread() {
    static QThread* const thread = [] {
        auto* made = new QThread; // never destroyed, see above
        made->setObjectName(QStringLiteral("server"));
        made->start();
        return made;
    }();
    return thread;
}

} // namespace

ServerWorker::ServerWorker(QObject* parent)
    : QObject(parent), m_thread(serverThread()), m_context(new QObject) {
    m_context->moveToThread(m_thread);
}

ServerWorker::~ServerWorker() {
    m_stop = true;
    // Queued behind the job in hand, so this returns once that job is over.
    QObject* context = m_context;
    QMetaObject::invokeMethod(
        context, [context] { delete context; }, Qt::BlockingQueuedConnection);
}

bool ServerWorker::start(std::function<void()> work, std::function<void()> done) {
    if (m_busy)
        return false;
    m_busy = true;
    m_stop = false;
    m_clock.start();
    emit busyChanged(true);
    QMetaObject::invokeMethod(
        m_context,
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
