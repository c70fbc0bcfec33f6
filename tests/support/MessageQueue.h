#pragma once

#include "core/app/MessageSink.h"

#include <QList>
#include <QPair>
#include <QString>

namespace quenlor::test {

// Answers ShowMsg from a queue and records every message as (kind, text). With the queue empty,
// OK for kinds 1 and 4 and No for questions, so an unplanned question never confirms anything.
class MessageQueue final : public MessageSink {
public:
    QList<short> answers;
    QList<QPair<short, QString>> shown;

    short ShowMsg(short InValue, const QString& Message) override {
        shown.append({InValue, Message});
        if (!answers.isEmpty())
            return answers.takeFirst();
        return (InValue == MsgKind::Notice || InValue == MsgKind::Error) ? MsgResult::Ok
                                                                         : MsgResult::No;
    }
};

} // namespace quenlor::test
