#pragma once

#include "sim/TdsServer.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The byte-level pieces of TDS 7.4 the simulator reads and writes.
namespace quenlor::sim::tds {

enum PacketType : quint8 {
    SqlBatch = 0x01,
    Rpc = 0x03,
    TabularResult = 0x04,
    Attention = 0x06,
    TransactionManager = 0x0E,
    Login7 = 0x10,
    PreLogin = 0x12,
};

enum DoneStatus : quint16 {
    DoneFinal = 0x00,
    DoneMore = 0x01,
    DoneError = 0x02,
    DoneCount = 0x10,
    DoneAttention = 0x20,
};

struct Login {
    QString user;
    QString password;
    QString database;
    quint32 packetSize = 4096;
};

// Splits one message into packets of at most packetSize bytes, each naming the session.
QByteArray packets(quint8 type, const QByteArray& body, int packetSize, int spid = 0);

// version is the server's product version, "major.minor.build[.revision]".
QByteArray preLoginResponse(const QString& version);
// nullopt when the message is too short or its offsets point outside it.
std::optional<Login> parseLogin7(const QByteArray& body);
QString decodePassword(const QByteArray& obfuscated);
// The statement text after the ALL_HEADERS block; nullopt when the block is malformed.
std::optional<QString> batchText(const QByteArray& body);
// The transaction descriptor the ALL_HEADERS block names; 0 when none.
quint64 headerTransaction(const QByteArray& body);
// The request kind of a transaction-manager message, with its "begin a new one" flag.
std::optional<TransactionRequest> transactionRequest(const QByteArray& body, bool* beginNew);

QByteArray done(quint16 status, quint16 command = 0, quint64 rows = 0);
QByteArray message(const Message& msg, const QString& serverName);
QByteArray loginSuccess(const QString& database, quint32 packetSize, const QString& version);
QByteArray databaseChange(const QString& database, const QString& before);
QByteArray resultSet(const ResultSet& set);
QByteArray transactionChange(TransactionRequest kind, quint64 descriptor);

} // namespace quenlor::sim::tds
