#pragma once

#include "platform/Http.h"

#include <QStringList>

namespace quenlor::test {

// Serves one scripted answer and records the addresses asked for.
class FakeHttp final : public Http {
public:
    HttpResult next{false, {}, QStringLiteral("无法连接到服务器")};
    QStringList asked;

    HttpResult fetch(const QString& url, int) override {
        asked.append(url);
        return next;
    }
};

} // namespace quenlor::test
