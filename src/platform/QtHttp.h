#pragma once

#include "platform/Http.h"

namespace quenlor {

// Http over Qt Network. The call returns only when the document has arrived or the time is up:
// it waits in a local event loop that leaves the operator's input alone, so a click cannot run
// a handler of a window that is still being loaded.
class QtHttp final : public Http {
public:
    // Only http and https addresses are fetched. timeoutMs bounds the whole wait, from the
    // request to the last byte, not only the silence between two packets.
    HttpResult fetch(const QString& url, int timeoutMs) override;
};

} // namespace quenlor
