#pragma once

#include "platform/Failure.h"

#include <QString>

#include <utility>

namespace quenlor {

// What a step of the program's work came to: done, or failed with the text the operator is to
// see and the native number (the server's error number, 0 when there is none). Steps return it;
// only the places that show failures turn it into ErrorText.
class Outcome {
public:
    [[nodiscard]] static Outcome done() { return Outcome(); }
    [[nodiscard]] static Outcome failed(QString text, int number = 0) {
        Outcome o;
        o.m_failed = true;
        o.m_failure = {number, std::move(text)};
        return o;
    }
    [[nodiscard]] static Outcome failed(const PlatformFailure& failure) {
        return failed(failure.description, failure.number);
    }

    [[nodiscard]] bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    // Empty when done, and for a failure that came without a text.
    [[nodiscard]] const QString& text() const { return m_failure.description; }
    [[nodiscard]] int number() const { return m_failure.number; }

private:
    bool m_failed = false;
    PlatformFailure m_failure;
};

// A value read from the server, with the outcome of reading it.
template <typename T> struct Read {
    T value{};
    Outcome outcome;
};

} // namespace quenlor
