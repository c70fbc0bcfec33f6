#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QThread>

#include <atomic>
#include <functional>

namespace quenlor {

// The thread that talks to the server, so that the window never waits for it. The window hands
// it one job at a time; the job runs there and its completion comes back to the thread that made
// the worker (the window's). While a job is in hand only the job touches the connections and
// what they read: the window reads them in the job's completion or while the worker is idle.
class ServerWorker final : public QObject {
    Q_OBJECT

public:
    explicit ServerWorker(QObject* parent = nullptr);
    // Waits for the job in hand. Made and destroyed on the same thread, and destroyed idle: a
    // job waiting for an answer from this thread would wait forever.
    ~ServerWorker() override;
    ServerWorker(const ServerWorker&) = delete;
    ServerWorker& operator=(const ServerWorker&) = delete;

    // Runs work on the worker's thread, then done on this object's thread. While a job is in
    // hand it runs nothing and returns false: a click queued during work starts nothing.
    bool start(std::function<void()> work, std::function<void()> done = {});
    [[nodiscard]] bool busy() const { return m_busy; }
    // Milliseconds since the job in hand started; 0 when idle.
    [[nodiscard]] qint64 elapsedMs() const { return m_clock.isValid() ? m_clock.elapsed() : 0; }

    // Asks the job in hand to stop at its next safe point; each new job starts without it.
    void requestStop() { m_stop = true; }
    [[nodiscard]] bool stopRequested() const { return m_stop; }
    [[nodiscard]] bool onWorkerThread() const { return QThread::currentThread() == m_thread; }

signals:
    void busyChanged(bool busy);

private:
    QThread* m_thread;
    // Lives on m_thread and goes there: jobs are queued calls to it.
    QObject* m_context;
    bool m_busy = false; // touched on this object's thread only
    std::atomic<bool> m_stop{false};
    QElapsedTimer m_clock;
};

} // namespace quenlor
