#pragma once

#include <QString>

namespace quenlor {

// Message kinds of the program's own message box.
namespace MsgKind {
inline constexpr short Notice = 1;          // OK
inline constexpr short Question = 2;        // Yes / No
inline constexpr short WarningQuestion = 3; // Yes / No
inline constexpr short Error = 4;           // OK
} // namespace MsgKind

// Results of ShowMsg.
namespace MsgResult {
inline constexpr short Ok = -1;
inline constexpr short Yes = 1;
inline constexpr short No = 0; // also the close picture
} // namespace MsgResult

// How core code tells or asks the operator. frmMsg implements it; tests answer from a queue.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // kind 0 keeps the remembered kind, an empty message the remembered text.
    virtual short ShowMsg(short InValue = 0, const QString& Message = QString()) = 0;
    // Asks for a text to be typed under the prompt: what was typed when the operator accepted,
    // an empty text when the question was cancelled, as a sink without windows always answers.
    virtual QString AskText(const QString& /*prompt*/) { return {}; }
};

} // namespace quenlor
