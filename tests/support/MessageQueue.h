#pragma once

#include "core/app/MessageSink.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace quenlor::test {

// Answers ShowMsg from a queue and records every message as (kind, text). With the queue empty,
// OK for kinds 1 and 4 and No for questions, so an unplanned question never confirms anything.
// AskText answers from `typed` (empty, as a cancelled question, once it runs out) and records its
// prompt in `shown` with kind 0.
class MessageQueue final : public MessageSink {
public:
    QList<short> answers;
    QStringList typed;
    QList<QPair<short, QString>> shown;

    short ShowMsg(short InValue, const QString& Message) override {
        shown.append({InValue, Message});
        if (!answers.isEmpty())
            return answers.takeFirst();
        return (InValue == MsgKind::Notice || InValue == MsgKind::Error) ? MsgResult::Ok
                                                                         : MsgResult::No;
    }
    QString AskText(const QString& prompt) override {
        shown.append({0, prompt});
        return typed.isEmpty() ? QString() : typed.takeFirst();
    }
};

} // namespace quenlor::test
