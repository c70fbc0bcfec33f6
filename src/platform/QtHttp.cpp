#include "platform/QtHttp.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace quenlor {

namespace {
bool isWebAddress(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}
} // namespace

HttpResult QtHttp::fetch(const QString& url, int timeoutMs) {
    HttpResult result;
    const QUrl address(url, QUrl::StrictMode);
    if (!isWebAddress(address)) {
        result.errorText = QStringLiteral("不是有效的网址：%1").arg(url);
        return result;
    }

    // A manager per call: the program fetches once per loading of the main window, and the
    // Program state may be made before the application object exists.
    QNetworkAccessManager manager;
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    // Silence between packets ends the transfer inside the network layer; a server that
    // trickles a byte now and then is cut off by the deadline below.
    request.setTransferTimeout(timeoutMs);
    const std::unique_ptr<QNetworkReply> reply(manager.get(request));

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    // A coarse timer may fire a little late; the bound is a promise to the operator.
    deadline.setTimerType(Qt::PreciseTimer);
    bool timedOut = false;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
        loop.quit();
    });
    deadline.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    deadline.stop();

    const QNetworkReply::NetworkError error = reply->error();
    if (timedOut || error == QNetworkReply::OperationCanceledError ||
        error == QNetworkReply::TimeoutError) {
        result.errorText =
            QStringLiteral("%1 毫秒内没有收到 %2 的应答").arg(timeoutMs).arg(address.toString());
        return result;
    }
    if (error != QNetworkReply::NoError) {
        result.errorText = reply->errorString();
        return result;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        result.errorText =
            QStringLiteral("%1 应答 HTTP %2").arg(address.toString()).arg(status.toInt());
        return result;
    }
    result.ok = true;
    result.body = reply->readAll();
    return result;
}

} // namespace quenlor
