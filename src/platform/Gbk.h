#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quenlor {

// GBK (code page 936), the ANSI code page of a Chinese Windows, in which Config.ini and
// Readme.txt may be written. Qt knows it only through ICU, which Windows builds of Qt may lack, so
// on Windows the system's own code page 936 converts it, whatever code page the system uses
// itself. Empty when no conversion is available.
std::optional<QString> decodeGbk(const QByteArray& bytes);
std::optional<QByteArray> encodeGbk(const QString& text);

} // namespace quenlor
