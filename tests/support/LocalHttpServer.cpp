#include "support/LocalHttpServer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <future>

namespace quenlor::test {

namespace {
QByteArray reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}
} // namespace

// Owns the listening socket; lives and answers on its own thread.
class LocalHttpServer::Worker final : public QThread {
public:
    Worker(LocalHttpServer& owner, std::promise<quint16> ready)
        : m_owner(owner), m_ready(std::move(ready)) {}

protected:
    void run() override {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            m_ready.set_value(0);
            return;
        }
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
            while (QTcpSocket* socket = server.nextPendingConnection())
                serve(socket);
        });
        m_ready.set_value(server.serverPort());
        exec();
    }

private:
    void serve(QTcpSocket* socket) {
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0 || socket->property("answered").toBool())
                return;
            socket->setProperty("answered", true);
            respond(socket, m_owner.script());
        });
    }

    static void respond(QTcpSocket* socket, const Script& script) {
        switch (script.mode) {
        case Mode::Silent:
            return;
        case Mode::Answer:
            socket->write("HTTP/1.1 " + QByteArray::number(script.status) + ' ' +
                          reason(script.status) +
                          "\r\nContent-Type: text/plain\r\nContent-Length: " +
                          QByteArray::number(script.body.size()) + "\r\nConnection: close\r\n\r\n" +
                          script.body);
            socket->disconnectFromHost();
            return;
        case Mode::Trickle: {
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                          "Content-Length: 100000\r\n\r\n[说明]\r\n");
            auto* drip = new QTimer(socket);
            QObject::connect(drip, &QTimer::timeout, socket, [socket] { socket->write("x"); });
            drip->start(200);
            return;
        }
        }
    }

    LocalHttpServer& m_owner;
    std::promise<quint16> m_ready;
};

LocalHttpServer::LocalHttpServer() {
    std::promise<quint16> ready;
    std::future<quint16> port = ready.get_future();
    m_thread = std::make_unique<Worker>(*this, std::move(ready));
    m_thread->start();
    m_port = port.get();
}

LocalHttpServer::~LocalHttpServer() {
    m_thread->quit();
    // The sockets are children of the thread's server and go with it.
    m_thread->wait();
}

void LocalHttpServer::answer(int status, const QByteArray& body) {
    const std::lock_guard lock(m_mutex);
    m_script.mode = Mode::Answer;
    m_script.status = status;
    m_script.body = body;
}

void LocalHttpServer::setMode(Mode mode) {
    const std::lock_guard lock(m_mutex);
    m_script.mode = mode;
}

QString LocalHttpServer::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

LocalHttpServer::Script LocalHttpServer::script() const {
    const std::lock_guard lock(m_mutex);
    return m_script;
}

} // namespace quenlor::test
