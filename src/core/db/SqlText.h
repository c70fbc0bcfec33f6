#pragma once

#include <QString>

namespace quenlor {

// Every value spliced into a statement passes through one of these.

// [name] with "]" doubled.
[[nodiscard]] QString quoteIdentifier(const QString& name);
// The text for use between apostrophes: each apostrophe doubled (no apostrophes added).
[[nodiscard]] QString quoteLiteral(const QString& value);
// The text for use inside a LIKE pattern between apostrophes: "[", "%" and "_" stand for
// themselves, apostrophes doubled.
[[nodiscard]] QString likePattern(const QString& value);

} // namespace quenlor
