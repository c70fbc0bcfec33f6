#pragma once

#include "platform/Profile.h"

#include <QByteArray>

namespace quenlor {

// The Windows profile-API rules, read from the file directly. The file's text is UTF-8 when its
// bytes are valid UTF-8, else GBK (the ANSI code page of a Chinese Windows, where Config.ini is
// written). The value is cut to bufferSize - 1 bytes of that encoding, never inside a character.
class PortableProfile final : public Profile {
public:
    QString readString(const QString& section, const QString& key, const QString& defaultValue,
                       const QString& filePath, int bufferSize) override;

    // The same lookup over a file's bytes, for tests and for files already in memory.
    [[nodiscard]] static QString readFromBytes(const QByteArray& fileBytes, const QString& section,
                                               const QString& key, const QString& defaultValue,
                                               int bufferSize);

    // The default as the profile call gives it back: trailing blanks dropped, cut to
    // bufferSize - 1 bytes of ANSI text.
    [[nodiscard]] static QString defaultValue(const QString& value, int bufferSize);
};

} // namespace quenlor
