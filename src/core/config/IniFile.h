#pragma once

#include <QString>

namespace quenlor {

// An INI value with the "//" comment rule. An empty filePath reads Config.INI in the program's
// folder.
[[nodiscard]] QString ReadIniValue(const QString& section, const QString& key,
                                   const QString& defaultValue,
                                   const QString& filePath = QString());

// The reading rule of ReadIniValue applied to the raw value a profile read produced (n = its
// length): cut before "//" (dropping the character in front of the marker), remove NULs, trim.
[[nodiscard]] QString applyIniCommentRule(const QString& rawValue);

// Replaces (or with replaceCode 0, removes) every character whose ANSI code equals findCode.
[[nodiscard]] QString ReplaceChar(const QString& text, short findCode, short replaceCode);

// Leading and trailing blanks removed (blanks only, not tabs or line ends).
[[nodiscard]] QString trimSpaces(const QString& text);

} // namespace quenlor
