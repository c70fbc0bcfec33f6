#pragma once

#include <QByteArray>
#include <QString>

namespace quenlor {

struct HttpResult {
    bool ok = false;
    QByteArray body;
    QString errorText; // when not ok
};

// Fetches one document; waits at most timeoutMs for it.
class Http {
public:
    virtual ~Http() = default;
    virtual HttpResult fetch(const QString& url, int timeoutMs) = 0;
};

} // namespace quenlor
