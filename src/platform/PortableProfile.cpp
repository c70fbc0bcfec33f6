#include "platform/PortableProfile.h"

#include "platform/Gbk.h"

#include <QFile>
#include <QStringConverter>
#include <QStringDecoder>

namespace quenlor {

namespace {

struct DecodedFile {
    QString text;
    bool utf8 = false;
};

DecodedFile decodeFile(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder d(QStringConverter::Utf16LE);
        return {d.decode(bytes.mid(2)), false};
    }
    QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString s = utf8.decode(body);
        if (!utf8.hasError())
            return {s, true};
    }
    // Otherwise the ANSI code page of the Windows systems the program is written for.
    return {decodeGbk(body).value_or(QString::fromLatin1(body)), false};
}

qsizetype encodedLength(const QString& s, bool utf8) {
    if (utf8)
        return s.toUtf8().size();
    const std::optional<QByteArray> ansi = encodeGbk(s);
    return ansi ? ansi->size() : s.size();
}

// The longest prefix that fits into maxBytes of the file's encoding, never cutting a character.
QString cutToBytes(const QString& value, qsizetype maxBytes, bool utf8) {
    if (maxBytes <= 0)
        return {};
    if (encodedLength(value, utf8) <= maxBytes)
        return value;
    QString out;
    qsizetype used = 0;
    for (qsizetype i = 0; i < value.size();) {
        const qsizetype len = (value.at(i).isHighSurrogate() && i + 1 < value.size()) ? 2 : 1;
        const QString ch = value.mid(i, len);
        const qsizetype n = encodedLength(ch, utf8);
        if (used + n > maxBytes)
            break;
        out += ch;
        used += n;
        i += len;
    }
    return out;
}

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') ||
           c == QLatin1Char('\v') || c == QLatin1Char('\f');
}

QString trimBlanks(QStringView s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s.at(b)))
        ++b;
    while (e > b && isBlank(s.at(e - 1)))
        --e;
    return s.mid(b, e - b).toString();
}

QString trimTrailingSpaces(const QString& s) {
    qsizetype e = s.size();
    while (e > 0 && s.at(e - 1) == QLatin1Char(' '))
        --e;
    return s.left(e);
}

// One pair of matching surrounding quotes (single or double) is removed, as the profile API does.
QString stripQuotes(const QString& v) {
    if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\'')) &&
        v.back() == v.front())
        return v.mid(1, v.size() - 2);
    return v;
}

// Finds the value of key in section; the first section and the first key of that name win.
bool findValue(const QString& text, const QString& section, const QString& key, QString& value) {
    bool inSection = false;
    const auto lines = QStringView(text).split(QLatin1Char('\n'));
    for (QStringView raw : lines) {
        const QString line = trimBlanks(raw);
        if (line.isEmpty())
            continue;
        if (line.front() == QLatin1Char('[')) {
            const qsizetype close = line.lastIndexOf(QLatin1Char(']'));
            if (close > 0) {
                if (inSection)
                    return false; // the section of that name ended without the key
                inSection = trimBlanks(QStringView(line).mid(1, close - 1))
                                .compare(section, Qt::CaseInsensitive) == 0;
                continue;
            }
        }
        if (!inSection || line.front() == QLatin1Char(';'))
            continue;
        // A line without "=" names no value: asking for it gives the default, as the system does.
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString name = trimBlanks(QStringView(line).left(eq));
        if (name.compare(key, Qt::CaseInsensitive) != 0)
            continue;
        value = trimBlanks(QStringView(line).mid(eq + 1));
        return true;
    }
    return false;
}

} // namespace

QString PortableProfile::readFromBytes(const QByteArray& fileBytes, const QString& section,
                                       const QString& key, const QString& defaultValue,
                                       int bufferSize) {
    const DecodedFile file = decodeFile(fileBytes);
    QString value;
    if (!findValue(file.text, section, key, value))
        return file.utf8 ? cutToBytes(trimTrailingSpaces(defaultValue), bufferSize - 1, true)
                         : PortableProfile::defaultValue(defaultValue, bufferSize);
    return cutToBytes(stripQuotes(value), bufferSize - 1, file.utf8);
}

QString PortableProfile::readString(const QString& section, const QString& key,
                                    const QString& defaultValue, const QString& filePath,
                                    int bufferSize) {
    QFile f(filePath);
    if (filePath.isEmpty() || !f.open(QIODevice::ReadOnly))
        return PortableProfile::defaultValue(defaultValue, bufferSize);
    return readFromBytes(f.readAll(), section, key, defaultValue, bufferSize);
}

QString PortableProfile::defaultValue(const QString& value, int bufferSize) {
    return cutToBytes(trimTrailingSpaces(value), bufferSize - 1, false);
}

} // namespace quenlor
