#pragma once

#include <QByteArray>
#include <QString>
#include <QThread>

#include <memory>
#include <mutex>

namespace quenlor::test {

// A small HTTP server on 127.0.0.1 for the tests that fetch over the network. It runs on a
// thread of its own, so a client that blocks its caller is still answered, and it stops when it
// goes out of scope.
class LocalHttpServer {
public:
    enum class Mode {
        Answer,  // the scripted status and body, then the connection is closed
        Silent,  // the connection is accepted and nothing is ever sent
        Trickle, // headers and then a byte every 200 ms, never the end of the body
    };

    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    void answer(int status, const QByteArray& body);
    void setMode(Mode mode);

    [[nodiscard]] quint16 port() const { return m_port; }
    // http://127.0.0.1:<port><path>
    [[nodiscard]] QString url(const QString& path) const;

private:
    struct Script {
        Mode mode = Mode::Answer;
        int status = 200;
        QByteArray body;
    };
    class Worker;

    [[nodiscard]] Script script() const;

    mutable std::mutex m_mutex;
    Script m_script;
    quint16 m_port = 0;
    std::unique_ptr<QThread> m_thread;
};

} // namespace quenlor::test
