#include "sim/TdsProtocol.h"

#include <QStringList>
#include <QtEndian>

#include <algorithm>

namespace quenlor::sim::tds {

namespace {

// Chinese_PRC_CI_AS: LCID 0x0804, case-insensitive, kana- and width-insensitive.
const char collation[5] = {0x04, 0x08, char(0xD0), 0x00, 0x00};

void putU8(QByteArray& out, quint8 v) {
    out.append(char(v));
}

void putU16(QByteArray& out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void putU32(QByteArray& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void putU64(QByteArray& out, quint64 v) {
    char b[8];
    qToLittleEndian(v, b);
    out.append(b, 8);
}

QByteArray utf16(const QString& s) {
    return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}

// Length in characters (one byte), then UTF-16LE; longer names are cut to 255.
void putBVarChar(QByteArray& out, const QString& s) {
    const QString cut = s.left(255);
    putU8(out, quint8(cut.size()));
    out.append(utf16(cut));
}

void putUsVarChar(QByteArray& out, const QString& s) {
    const QString cut = s.left(65535);
    putU16(out, quint16(cut.size()));
    out.append(utf16(cut));
}

quint16 readU16(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint16>(b.constData() + at);
}

quint32 readU32(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}

QByteArray envChange(quint8 type, const QByteArray& newValue, const QByteArray& oldValue) {
    QByteArray data;
    putU8(data, type);
    data += newValue;
    data += oldValue;
    QByteArray out;
    putU8(out, 0xE3);
    putU16(out, quint16(data.size()));
    return out + data;
}

QByteArray bVarChar(const QString& s) {
    QByteArray out;
    putBVarChar(out, s);
    return out;
}

// Offset of what follows the ALL_HEADERS block, or -1 when it is malformed.
qsizetype afterHeaders(const QByteArray& body) {
    if (body.size() < 4)
        return -1;
    const quint32 total = readU32(body, 0);
    if (total < 4 || total > quint32(body.size()))
        return -1;
    return qsizetype(total);
}

// Major, minor and build number (big-endian), as pre-login and LOGINACK carry a version.
QByteArray versionBytes(const QString& version) {
    const QStringList parts = version.split(u'.');
    char b[4] = {char(parts.value(0).toUInt()), char(parts.value(1).toUInt()), 0, 0};
    qToBigEndian(quint16(parts.value(2).toUInt()), b + 2);
    return QByteArray(b, 4);
}

// Longest NVARCHAR the simulator declares: NVARCHAR(4000). A column with a longer text is
// declared NVARCHAR(MAX), its values sent in chunks.
constexpr quint16 nvarcharMaxBytes = 8000;
constexpr quint16 nvarcharMax = 0xFFFF;

bool hasLongText(const ResultSet& set, qsizetype column) {
    return std::any_of(set.rows.begin(), set.rows.end(), [column](const QList<QVariant>& row) {
        return column < row.size() && row[column].typeId() == QMetaType::QString &&
               row[column].toString().size() * 2 > nvarcharMaxBytes;
    });
}

// An NVARCHAR(MAX) value: its length in bytes, then the text as one chunk and an empty one.
void putMaxText(QByteArray& out, const QVariant& value) {
    if (value.isNull()) {
        putU64(out, ~quint64(0));
        return;
    }
    const QByteArray text = utf16(value.toString());
    putU64(out, quint64(text.size()));
    if (!text.isEmpty()) {
        putU32(out, quint32(text.size()));
        out += text;
    }
    putU32(out, 0);
}

} // namespace

QByteArray packets(quint8 type, const QByteArray& body, int packetSize, int spid) {
    const int room = std::max(packetSize, 512) - 8;
    QByteArray out;
    qsizetype at = 0;
    quint8 number = 1;
    do {
        const qsizetype size = std::min<qsizetype>(room, body.size() - at);
        const bool last = at + size >= body.size();
        char header[8] = {char(type), char(last ? 0x01 : 0x00), 0, 0, 0, 0, char(number++), 0};
        qToBigEndian(quint16(size + 8), header + 2);
        qToBigEndian(quint16(spid), header + 4);
        out.append(header, 8);
        out.append(body.constData() + at, size);
        at += size;
    } while (at < body.size());
    return out;
}

QByteArray preLoginResponse(const QString& version) {
    // Two options (VERSION, ENCRYPTION) and the terminator: 2 * 5 + 1 bytes of table.
    QByteArray out;
    const quint16 table = 11;
    auto option = [&out](quint8 token, quint16 offset, quint16 length) {
        putU8(out, token);
        char b[4];
        qToBigEndian(offset, b);
        qToBigEndian(length, b + 2);
        out.append(b, 4);
    };
    option(0x00, table, 6);
    option(0x01, table + 6, 1);
    putU8(out, 0xFF);
    out += versionBytes(version);
    putU16(out, 0);   // sub-build
    putU8(out, 0x02); // ENCRYPT_NOT_SUP
    return out;
}

QString decodePassword(const QByteArray& obfuscated) {
    QByteArray plain = obfuscated;
    for (char& c : plain) {
        const auto b = quint8(quint8(c) ^ 0xA5);
        c = char(quint8((b << 4) | (b >> 4)));
    }
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(plain.constData()),
                              plain.size() / 2);
}

std::optional<Login> parseLogin7(const QByteArray& body) {
    if (body.size() < 94)
        return std::nullopt;
    // Each variable part is an offset (from the start of LOGIN7) and a length in characters.
    auto part = [&body](qsizetype at) -> std::optional<QByteArray> {
        const quint16 offset = readU16(body, at);
        const qsizetype bytes = qsizetype(readU16(body, at + 2)) * 2;
        if (offset + bytes > body.size())
            return std::nullopt;
        return body.mid(offset, bytes);
    };
    const auto user = part(40);
    const auto password = part(44);
    const auto database = part(68);
    if (!user || !password || !database)
        return std::nullopt;
    auto text = [](const QByteArray& b) {
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(b.constData()), b.size() / 2);
    };
    Login login;
    login.user = text(*user);
    login.password = decodePassword(*password);
    login.database = text(*database);
    login.packetSize = readU32(body, 8);
    return login;
}

std::optional<QString> batchText(const QByteArray& body) {
    const qsizetype start = afterHeaders(body);
    if (start < 0 || (body.size() - start) % 2 != 0)
        return std::nullopt;
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(body.constData() + start),
                              (body.size() - start) / 2);
}

quint64 headerTransaction(const QByteArray& body) {
    const qsizetype end = afterHeaders(body);
    // Each header: its length (4 bytes, itself included), its type (2), its data; the
    // transaction descriptor's type is 2, its data the descriptor (8) and a request count (4).
    for (qsizetype at = 4; end >= 0 && at + 6 <= end;) {
        const quint32 length = readU32(body, at);
        if (length < 6 || at + qsizetype(length) > end)
            break;
        if (readU16(body, at + 4) == 2 && length >= 14)
            return qFromLittleEndian<quint64>(body.constData() + at + 6);
        at += qsizetype(length);
    }
    return 0;
}

std::optional<TransactionRequest> transactionRequest(const QByteArray& body, bool* beginNew) {
    const qsizetype start = afterHeaders(body);
    if (start < 0 || body.size() < start + 2)
        return std::nullopt;
    const quint16 kind = readU16(body, start);
    *beginNew = false;
    switch (kind) {
    case 5:
        return TransactionRequest::Begin;
    case 7:
    case 8: {
        // Name (B_VARCHAR), then an optional flag asking for a new transaction at once.
        const qsizetype nameAt = start + 2;
        if (body.size() > nameAt) {
            const qsizetype flagAt = nameAt + 1 + qsizetype(quint8(body[nameAt])) * 2;
            *beginNew = body.size() > flagAt && body[flagAt] != 0;
        }
        return kind == 7 ? TransactionRequest::Commit : TransactionRequest::Rollback;
    }
    default:
        return std::nullopt;
    }
}

QByteArray done(quint16 status, quint16 command, quint64 rows) {
    QByteArray out;
    putU8(out, 0xFD);
    putU16(out, status);
    putU16(out, command);
    putU64(out, rows);
    return out;
}

QByteArray message(const Message& msg, const QString& serverName) {
    QByteArray data;
    putU32(data, quint32(msg.number));
    putU8(data, quint8(msg.state));
    putU8(data, quint8(msg.severity));
    // The server's longest message text; a longer one is cut and marked, which also keeps the
    // token within its 16-bit length.
    constexpr qsizetype longest = 2047;
    QString text = msg.text;
    if (text.size() > longest)
        text = text.left(longest - 3) + QStringLiteral("...");
    putUsVarChar(data, text);
    putBVarChar(data, serverName);
    putBVarChar(data, QString());
    putU32(data, 1);
    QByteArray out;
    putU8(out, msg.severity > 10 ? 0xAA : 0xAB);
    putU16(out, quint16(data.size()));
    return out + data;
}

QByteArray databaseChange(const QString& database, const QString& before) {
    return envChange(1, bVarChar(database), bVarChar(before));
}

QByteArray loginSuccess(const QString& database, quint32 packetSize, const QString& version) {
    QByteArray out = databaseChange(database, QStringLiteral("master"));
    QByteArray coll;
    putU8(coll, 5);
    coll.append(collation, 5);
    out += envChange(7, coll, QByteArray(1, '\0'));

    QByteArray ack;
    putU8(ack, 1);                     // SQL interface
    ack.append("\x74\x00\x00\x04", 4); // TDS 7.4
    putBVarChar(ack, QStringLiteral("Microsoft SQL Server"));
    ack += versionBytes(version);
    putU8(out, 0xAD);
    putU16(out, quint16(ack.size()));
    out += ack;

    const QString size = QString::number(packetSize);
    out += envChange(4, bVarChar(size), bVarChar(size));
    return out + done(DoneFinal);
}

QByteArray resultSet(const ResultSet& set) {
    QByteArray out;
    putU8(out, 0x81);
    putU16(out, quint16(set.columns.size()));
    QList<bool> maxText;
    for (qsizetype i = 0; i < set.columns.size(); ++i) {
        const Column& column = set.columns[i];
        maxText << (column.type != ColumnType::Int && hasLongText(set, i));
        putU32(out, 0); // user type
        putU16(out, 1); // nullable
        if (column.type == ColumnType::Int) {
            putU8(out, 0x26); // INTN, so that NULL can be sent
            putU8(out, 4);
        } else {
            putU8(out, 0xE7);
            putU16(out, maxText[i] ? nvarcharMax : nvarcharMaxBytes);
            out.append(collation, 5);
        }
        putBVarChar(out, column.name);
    }
    for (const QList<QVariant>& row : set.rows) {
        putU8(out, 0xD1);
        for (qsizetype i = 0; i < set.columns.size(); ++i) {
            const QVariant value = i < row.size() ? row[i] : QVariant();
            if (set.columns[i].type == ColumnType::Int) {
                if (value.isNull()) {
                    putU8(out, 0);
                } else {
                    putU8(out, 4);
                    putU32(out, quint32(value.toInt()));
                }
            } else if (maxText[i]) {
                putMaxText(out, value);
            } else if (value.isNull()) {
                putU16(out, 0xFFFF);
            } else {
                const QByteArray text = utf16(value.toString()).left(nvarcharMaxBytes);
                putU16(out, quint16(text.size()));
                out += text;
            }
        }
    }
    return out + done(DoneCount | DoneMore, 0xC1, quint64(set.rows.size()));
}

QByteArray transactionChange(TransactionRequest kind, quint64 descriptor) {
    QByteArray value;
    putU8(value, 8);
    putU64(value, descriptor);
    const QByteArray empty(1, '\0');
    switch (kind) {
    case TransactionRequest::Begin:
        return envChange(8, value, empty);
    case TransactionRequest::Commit:
        return envChange(9, empty, value);
    case TransactionRequest::Rollback:
        return envChange(10, empty, value);
    }
    return {};
}

} // namespace quenlor::sim::tds
