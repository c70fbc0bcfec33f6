#pragma once

#include <QString>

#include <cstddef>

namespace quenlor {

// Every value spliced into a statement passes through one of these.

// [name] with "]" doubled.
[[nodiscard]] QString quoteIdentifier(const QString& name);
// The text for use between apostrophes: each apostrophe doubled (no apostrophes added).
[[nodiscard]] QString quoteLiteral(const QString& value);
// The text for use inside a LIKE pattern between apostrophes: "[", "%" and "_" stand for
// themselves, apostrophes doubled.
[[nodiscard]] QString likePattern(const QString& value);

// A statement kept as the pieces it has always been sent in, joined without separators.
template <std::size_t N> [[nodiscard]] QString joinPieces(const char16_t* const (&pieces)[N]) {
    QString s;
    for (const char16_t* p : pieces)
        s += QString::fromUtf16(p);
    return s;
}

} // namespace quenlor
