#include "core/config/IniFile.h"

#include "core/app/Environment.h"
#include "core/app/ProgramState.h"
#include "platform/Gbk.h"

#include <QDir>
#include <QFileInfo>

namespace quenlor {

namespace {

// The profile call's buffer holds 255 characters including the terminating NUL.
constexpr int kProfileBufferSize = 255;

// The character's code in the ANSI code page as a 16-bit value (a double-byte character gives
// lead byte * 256 + trail byte, read as a signed number).
short ansiCode(QChar c) {
    if (c.unicode() < 0x80)
        return static_cast<short>(c.unicode());
    const QByteArray b = encodeGbk(QString(c)).value_or(QByteArray());
    if (b.size() == 1)
        return static_cast<short>(static_cast<unsigned char>(b.at(0)));
    if (b.size() == 2)
        return static_cast<short>((static_cast<unsigned char>(b.at(0)) << 8) |
                                  static_cast<unsigned char>(b.at(1)));
    return static_cast<short>(QLatin1Char('?').unicode());
}

} // namespace

QString trimSpaces(const QString& s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && s.at(b) == QLatin1Char(' '))
        ++b;
    while (e > b && s.at(e - 1) == QLatin1Char(' '))
        --e;
    return s.mid(b, e - b);
}

QString applyIniCommentRule(const QString& rawValue) {
    QString value = rawValue;
    if (const qsizetype marker = value.indexOf(QStringLiteral("//")); marker >= 0) {
        // The character right before the marker goes with it (a value written "x //note" loses
        // only its blank); a value that starts with the marker is empty.
        value = trimSpaces(value.left(marker > 0 ? marker - 1 : 0));
    }
    return trimSpaces(ReplaceChar(value, 0, 0));
}

QString ReadIniValue(const QString& section, const QString& key, const QString& defaultValue,
                     const QString& filePath) {
    const QString file = filePath.isEmpty() ? programFile(QStringLiteral("Config.INI")) : filePath;
    const QString raw =
        state().profile->readString(section, key, defaultValue, file, kProfileBufferSize);
    return applyIniCommentRule(raw);
}

QString ReplaceChar(const QString& text, short findCode, short replaceCode) {
    QString out;
    out.reserve(text.size());
    // A non-ASCII character never has an ASCII code, so those need no conversion.
    const bool asciiCode = findCode >= 0 && findCode < 0x80;
    for (const QChar c : text) {
        const bool match = asciiCode ? (c.unicode() == static_cast<char16_t>(findCode))
                                     : (ansiCode(c) == findCode);
        if (match) {
            if (replaceCode != 0)
                out += QChar(static_cast<char16_t>(static_cast<unsigned short>(replaceCode)));
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace quenlor
