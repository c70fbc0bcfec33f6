// The simulator on its own, for what the end-to-end runs never reach: its T-SQL rules as pure
// functions (the server's LIKE and its comparison of texts in the corners the program relies on,
// and the full join turned round so that the database list is probed by its key); its protocol
// through the program's real path (OdbcConnector, the FreeTDS driver, TCP on 127.0.0.1) with a
// refused login and reply shapes the program's statements never produce, and packets no driver
// sends through a raw socket; and the engine's answers to statements the program never sends, on
// the shipped server with the most troubles: the refusals a database's state, its server's
// version or a transaction causes.

#include "platform/odbc/OdbcApi.h"
#include "platform/odbc/OdbcConnector.h"
#include "sim/Engine.h"
#include "sim/NameIndex.h"
#include "sim/Scenario.h"
#include "sim/SqlTranslator.h"
#include "sim/TdsProtocol.h"
#include "sim/TdsServer.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

namespace quenlor::sim::test {
namespace {

using namespace Qt::StringLiterals;
using namespace quenlor::sim::sql;
using namespace quenlor::odbc;

enum class Kind { Like, Compare, Translate };

struct Rule {
    const char* name;
    Kind kind;
    const char16_t* a; // LIKE: the value (its pattern may escape with "!"); or the text compared
    const char16_t* b; // the pattern; the text a is compared with; or the statement
    const char16_t* expected; // "1"/"0" a match; "-1"/"0"/"1" a's order; the engine's statement
};

const Rule kRules[] = {
    {"BracketedUnderscoreIsLiteral", Kind::Like, u"UFDATAX001X2024", u"ufdata[_]001[_]%", u"0"},
    {"ChineseWithClassesAndUnderscores", Kind::Like, u"第001号演示账套",
     u"第[0-9][0-9][0-9]号__账套", u"1"},
    {"ChineseInANegatedClass", Kind::Like, u"测试库", u"[^测]%", u"0"},
    {"PercentBacktracksAndFails", Kind::Like, u"aXbXd", u"a%b%c", u"0"},
    {"PatternsTrailingBlankCounts", Kind::Like, u"ufdata_001_2024", u"UFDATA_001_2024 ", u"0"},
    {"EscapedUnderscoreIsNoWildcard", Kind::Like, u"axb", u"a!_b", u"0"},
    // A '%' per character once took a stack frame each, and a failing tail tried every split.
    {"PercentPerCharacterNeedsNoDeepStack", Kind::Like, u"<a*150000>", u"<%a*150000>", u"1"},
    {"ManyPercentsBeforeAFailingTail", Kind::Like, u"<a*3000>", u"<%a*60>%b", u"0"},
    {"TrailingBlanksOfChinese", Kind::Compare, u"测试库", u"测试库  ", u"0"},
    {"CaseIgnoredBesideChinese", Kind::Compare, u"账套_Test", u"账套_TEST", u"0"},
    {"OrderIgnoresCaseOfTheFirstLetter", Kind::Compare, u"Admin", u"b", u"-1"},
    {"FullJoinProbesTheSecondTableFirst", Kind::Translate, nullptr,
     u"select 1 from master..sysdatabases as a full outer join UFSystem..UA_Period b on a.name=b.x",
     u"select 1 from \"UFSystem\".\"UA_Period\" b full outer join \"master\".\"sysdatabases\" as a "
     u"on \"a\".\"name\"=\"b\".\"x\""},
    // A WHERE that needs a row of the first table keeps no row the second table has alone.
    {"FullJoinWhoseWhereNeedsTheFirstTableIsALeftJoin", Kind::Translate, nullptr,
     u"select 1 from master..sysdatabases a full join UFSystem..UA_Period as b on a.name=b.x "
     u"where (a.name='(' or b.y=1) and b.bIsDelete=0 order by 1",
     u"select 1 from \"UFSystem\".\"UA_Period\" as b left join \"master\".\"sysdatabases\" a on "
     u"\"a\".\"name\"=\"b\".\"x\" where (\"a\".\"name\"='(' COLLATE tsql or \"b\".\"y\"=1) and "
     u"\"b\".\"bIsDelete\"=0 order by 1"},
    {"FullJoinWithAnOrAtTheTopOfItsWhereStaysFull", Kind::Translate, nullptr,
     u"select 1 from master..sysdatabases a full join UFSystem..UA_Period as b on a.name=b.x "
     u"where b.bIsDelete=0 or a.name like 'x%'",
     u"select 1 from \"UFSystem\".\"UA_Period\" as b full join \"master\".\"sysdatabases\" a on "
     u"\"a\".\"name\"=\"b\".\"x\" where \"b\".\"bIsDelete\"=0 or \"a\".\"name\" like 'x%' COLLATE "
     u"tsql"},
};

// "<text*N>" stands for text N times.
QString expanded(QAnyStringView text) {
    static const QRegularExpression repeat(u"<([^*>]*)\\*(\\d+)>"_s);
    QString out = text.toString();
    for (QRegularExpressionMatch m; (m = repeat.match(out)).hasMatch();)
        out.replace(m.capturedStart(), m.capturedLength(),
                    m.captured(1).repeated(m.captured(2).toInt()));
    return out;
}

int order(const QString& a, const QString& b) {
    const QByteArray x = a.toUtf8(), y = b.toUtf8();
    const int c = compareText(x.constData(), int(x.size()), y.constData(), int(y.size()));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

TEST(SqlRules, AsTheServerAppliesThem) {
    for (const Rule& row : kRules) {
        SCOPED_TRACE(row.name);
        const QString a = expanded(row.a), b = expanded(row.b);
        const QString expected = QString::fromUtf16(row.expected);
        if (row.kind == Kind::Translate) {
            const TableResolver resolve = [](const QString& db, const QString&, const QString& t) {
                return TableTarget{db, t};
            };
            EXPECT_EQ(translate(b, resolve).sql, expected);
        } else if (row.kind == Kind::Compare) {
            EXPECT_EQ(QString::number(order(a, b)), expected);
            EXPECT_EQ(order(b, a), -expected.toInt());
        } else if (b.contains(u'!')) {
            EXPECT_EQ(QString::number(likeMatch(a, b, u'!')), expected);
        } else {
            // Without ESCAPE the engine matches on the bytes of the texts.
            const QByteArray v = a.toUtf8(), p = b.toUtf8();
            EXPECT_EQ(QString::number(likeMatch(a, b)), expected);
            EXPECT_EQ(likeMatchUtf8(v.data(), int(v.size()), p.data(), int(p.size())),
                      likeMatch(a, b));
        }
    }
}

// The names a LIKE pattern can match, looked up in the database list's index, are the least and
// the greatest of the names the LIKE itself accepts, whatever their case, script or class.
TEST(SqlRules, NameIndexBoundsHoldEveryNameTheLikeAccepts) {
    const QStringList names = {u"UFDATA_001_2021"_s, u"ufdata_001_2022"_s, u"UFDATA_0010_2021"_s,
                               u"UFDATA_002_1999"_s, u"UFDATAx001_2023"_s, u"UFMeta_001"_s,
                               u"账套_001"_s,        u"账套A"_s,           u"master"_s};
    NameIndex index;
    for (const QString& name : names)
        index.add(name);
    for (const char* pattern : {"ufdata_001_[12][0-9][0-9][0-9]", "UFDATA_00_%", "%001%", "账套_%",
                                "[^u]%", "ufdata_00[^1]_%", "nothing%", "MASTER"}) {
        SCOPED_TRACE(pattern);
        const QString p = QString::fromUtf8(pattern);
        QStringList accepted;
        std::copy_if(names.begin(), names.end(), std::back_inserter(accepted),
                     [&](const QString& name) { return likeMatch(name, p); });
        std::sort(accepted.begin(), accepted.end(),
                  [](const QString& a, const QString& b) { return order(a, b) < 0; });
        const auto bounds = index.likeBounds(p);
        ASSERT_EQ(bounds.has_value(), !accepted.isEmpty());
        if (bounds) {
            EXPECT_EQ((QStringList{bounds->first, bounds->second}),
                      (QStringList{accepted.first(), accepted.last()}));
        }
    }
}

// Rows as one line: "; " between rows, "," between values, texts quoted.
QString shownRows(const QList<QList<QVariant>>& rows) {
    QStringList out;
    for (const QList<QVariant>& row : rows) {
        QStringList cells;
        for (const QVariant& v : row)
            cells << (v.isNull()                         ? u"NULL"_s
                      : v.typeId() == QMetaType::QString ? u'\'' + v.toString() + u'\''
                                                         : v.toString());
        out << cells.join(u',');
    }
    return out.join(u"; "_s);
}

// A reply as one line, " / " between its results: a result set's rows, "N rows" for a change,
// "#N" for a message, "begin", "commit" or "rollback" where the session's transaction changed.
QString shown(const Reply& reply) {
    QStringList results;
    for (const Result& r : reply.results) {
        if (const auto* count = std::get_if<RowCount>(&r)) {
            results << QString::number(count->rows) + u" rows"_s;
        } else if (const auto* m = std::get_if<Message>(&r)) {
            results << u'#' + QString::number(m->number);
        } else if (const auto* change = std::get_if<TransactionChange>(&r)) {
            results << QStringList{u"begin"_s, u"commit"_s, u"rollback"_s}[int(change->request)];
        } else {
            results << shownRows(std::get<ResultSet>(r).rows);
        }
    }
    return results.join(u" / "_s);
}

// A reply the server is scripted to give, sent as the batch named like the row, and what the
// program reads from it: the columns and rows of its query, or the number of the error thrown.
struct Exchange {
    const char* name;
    QList<Result> reply;
    const char* read;
};

const QList<Exchange> kExchanges = {
    // The rows after it show that the connection goes on.
    {"ErrorAfterAResult",
     {ResultSet{{Column{u"x"_s}}, {{u"first"_s}}}, Message{3702, 1, 16, u"无法删除"_s}},
     "#3702"},
    // The last column holds a text longer than 4,000 characters.
    {"TextsIntegersNullsAndEmptyTexts",
     {ResultSet{{Column{u"name"_s}, Column{u"选择"_s, ColumnType::Int}, Column{u"备注"_s}},
                {{u"账套_测试"_s, 6, QVariant()},
                 {u""_s, QVariant(), expanded(u"<系统*2500>")},
                 {QVariant(), -2147483647 - 1, u""_s}}}},
     "name,选择,备注: '账套_测试',6,NULL; '',NULL,'<系统*2500>'; NULL,-2147483648,''"},
    // Longer than an ERROR token's 16-bit length can carry.
    {"ErrorTooLongForItsToken", {Message{50000, 1, 16, QString(40000, u'x')}}, "#50000"},
    {"ResultAfterCountsAndAMessage",
     {RowCount{3}, Message{0, 1, 0, u"note"_s}, RowCount{0},
      ResultSet{{Column{u"x"_s}}, {{u"after"_s}}}},
     "x: 'after'"},
    {"UseHRDB", {}, ": "}, // switches the session to HRDB
    {"BeginTran", {TransactionChange{TransactionRequest::Begin}}, ": "},
    {"RollbackTran", {TransactionChange{TransactionRequest::Rollback}}, ": "},
};

// "Pause" takes a millisecond. "LongStatement" runs until its client cancels it and another session
// has been answered (a minute at most), and says when it starts.
std::atomic_bool longStarted = false, otherServed = false;

Reply script(const QString& sql, Session& session) {
    if (sql == u"UseHRDB"_s)
        session.database = u"HRDB"_s;
    if (sql == u"Pause"_s) // a millisecond's work
        QThread::msleep(1);
    for (int i = 0; sql == u"LongStatement"_s && i < 6000; ++i) {
        longStarted = true;
        if (session.cancelled() && otherServed)
            return Reply({RowCount{1}});
        QThread::msleep(10);
    }
    for (const Exchange& row : kExchanges) {
        if (sql == QLatin1String(row.name))
            return Reply(row.reply);
    }
    return Reply({Message{50000, 1, 16, u"unscripted: "_s + sql}});
}

std::unique_ptr<TdsServer> scriptedServer() {
    ServerConfig config;
    config.password = u"Secret#1"_s;
    config.handler = script;
    config.version = u"8.00.2039"_s;
    auto server = std::make_unique<TdsServer>(config);
    EXPECT_TRUE(server->start());
    return server;
}

TEST(TdsServer, RepliesReachTheProgramAsItReadsThem) {
    const std::unique_ptr<TdsServer> server = scriptedServer();
    OdbcConnector::Options options = OdbcConnector::platformDefaults();
    options.loginTimeoutSeconds = 5;
    const QString address = u"127.0.0.1,%1"_s.arg(server->port());
    const auto db = OdbcConnector(options).open({address, u"master"_s, u"sa"_s, u"Secret#1"_s});
    ASSERT_TRUE(db);
    try {
        (void)OdbcConnector(options).open({address, u"master"_s, u"sa"_s, u"Secret#2"_s});
        ADD_FAILURE() << "a wrong password was let in";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number, 18456);
    }
    for (const Exchange& row : kExchanges) {
        SCOPED_TRACE(row.name);
        QString read;
        try {
            const QueryResult result = db->query(QString::fromLatin1(row.name));
            read = result.columns.join(u',') + u": "_s + shownRows(result.rows);
        } catch (const DbError& e) {
            read = u'#' + QString::number(e.number);
            // The server's text arrives whole, or cut and marked so when it is too long.
            if (const auto* m = std::get_if<Message>(&row.reply.last())) {
                EXPECT_TRUE(e.description.endsWith(m->text) || e.description.endsWith(u"x..."_s))
                    << e.description.left(200).toStdString();
            }
        }
        EXPECT_EQ(read, expanded(row.read));
    }
}

TEST(TdsServer, TheDriverLearnsTheVersionAndTheDatabaseAndTransactionABatchSwitchedTo) {
    const std::unique_ptr<TdsServer> server = scriptedServer();
    const std::vector<SQLWCHAR> connect = toWide(OdbcConnector().connectionString(
        {u"127.0.0.1,%1"_s.arg(server->port()), u"master"_s, u"sa"_s, u"Secret#1"_s}));
    SQLHDBC dbc = nullptr;
    SQLHSTMT statement = nullptr;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, environment(), &dbc)));
    ASSERT_TRUE(
        SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr, const_cast<SQLWCHAR*>(connect.data()),
                                        SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    SQLWCHAR version[32] = {}, database[32] = {};
    SQLGetInfoW(dbc, SQL_DBMS_VER, version, sizeof version, nullptr);
    EXPECT_EQ(fromWide(version, -1), u"08.00.2039"_s);
    std::vector<SQLWCHAR> use = toWide(u"UseHRDB"_s);
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &statement);
    SQLExecDirectW(statement, use.data(), SQL_NTS);
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    SQLGetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, database, sizeof database, nullptr);
    EXPECT_EQ(fromWide(database, -1), u"HRDB"_s);
    // The transaction a batch began is named by the driver's next batches, until one ends it.
    for (const auto& [sql, inTransaction] : {std::pair{u"BeginTran"_s, false},
                                             {u"UseHRDB"_s, true},
                                             {u"RollbackTran"_s, true},
                                             {u"UseHRDB"_s, false}}) {
        std::vector<SQLWCHAR> text = toWide(sql);
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &statement);
        SQLExecDirectW(statement, text.data(), SQL_NTS);
        SQLFreeHandle(SQL_HANDLE_STMT, statement);
        EXPECT_EQ(server->sessions().value(0).requestTransaction != 0, inTransaction)
            << sql.toStdString();
    }
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
}

TEST(TdsServer, ACancelledStatementHoldsUpNoOtherSessionAndClosedSessionsAreForgotten) {
    const std::unique_ptr<TdsServer> server = scriptedServer();
    OdbcConnector::Options options = OdbcConnector::platformDefaults();
    options.loginTimeoutSeconds = 5;
    options.queryTimeoutSeconds = 1;
    const auto open = [&] {
        return OdbcConnector(options).open(
            {u"127.0.0.1,%1"_s.arg(server->port()), u"master"_s, u"sa"_s, u"Secret#1"_s});
    };
    const std::unique_ptr<Database> cancelled = open();
    std::thread running([&] {
        EXPECT_THROW((void)cancelled->query(u"LongStatement"_s), DbError);
        EXPECT_EQ(cancelled->query(u"ResultAfterCountsAndAMessage"_s).rows.size(), 1);
    });
    for (int i = 0; i < 1000 && !longStarted; ++i)
        QThread::msleep(10);
    std::unique_ptr<Database> other = open();
    EXPECT_EQ(other->query(u"TextsIntegersNullsAndEmptyTexts"_s).rows.size(), 3);
    otherServed = true;
    other.reset();
    running.join();
    for (int i = 0; i < 500 && server->sessions().size() > 1; ++i)
        QThread::msleep(10);
    EXPECT_EQ(server->sessions().size(), 1) << "the closed session is still kept";
}

// What the server sends until its first packet is whole, the connection ends or it stays silent.
QByteArray firstPacket(QTcpSocket& socket) {
    QByteArray reply;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(3000)) {
        reply += socket.readAll();
        if (reply.size() >= 8 && reply.size() >= qFromBigEndian<quint16>(reply.constData() + 2))
            break;
    }
    return reply;
}

TEST(TdsServer, PacketsNoDriverSendsAreRefusedOrEndTheConnection) {
    // name, type, length as the header gives it (8 is the header alone), how many such packets
    // (all but a single one leave the message open), and whether the server answers with an
    // error or ends the connection
    const std::tuple<const char*, quint8, quint16, int, bool> packets[] = {
        {"BatchBeforeLogin", 0x01, 8, 1, true},
        {"LengthShorterThanTheHeader", 0x01, 4, 1, false},
        {"PreLoginOfMegabytes", 0x12, 32768, 64, false},
        {"LoginOfMegabytes", 0x10, 32768, 64, false},
    };
    for (const auto& [name, type, length, count, refused] : packets) {
        SCOPED_TRACE(name);
        const std::unique_ptr<TdsServer> server = scriptedServer();
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, server->port());
        ASSERT_TRUE(socket.waitForConnected(3000));
        QByteArray packet(std::max<int>(length, 8), '\0');
        packet[0] = char(type);
        packet[1] = char(count == 1 ? 0x01 : 0x00);
        qToBigEndian(length, packet.data() + 2);
        for (int i = 0; i < count; ++i)
            socket.write(packet);
        const QByteArray reply = firstPacket(socket);
        if (!refused) {
            EXPECT_TRUE(reply.isEmpty());
            EXPECT_TRUE(socket.state() == QAbstractSocket::UnconnectedState ||
                        socket.waitForDisconnected(3000));
            continue;
        }
        ASSERT_GE(reply.size(), 21) << "the server stayed silent";
        EXPECT_EQ(quint8(reply[0]), 0x04);
        EXPECT_EQ(qFromBigEndian<quint16>(reply.constData() + 4), server->sessions().value(0).id);
        EXPECT_EQ(quint8(reply[8]), 0xAA) << "not an ERROR token";
        // The closing DONE carries the error flag.
        EXPECT_EQ(quint8(reply[reply.size() - 13]), 0xFD);
        EXPECT_EQ(quint8(reply[reply.size() - 12]) & 0x02, 0x02);
    }
}

// A LOGIN7 message with only a user, a password and an empty database filled in, as one packet.
QByteArray login7(const QString& user, const QString& password) {
    QByteArray body(94, '\0');
    qToLittleEndian<quint32>(0x74000004, body.data() + 4);
    qToLittleEndian<quint32>(4096, body.data() + 8);
    for (int at = 36; at <= 82; at += 4)
        qToLittleEndian<quint16>(94, body.data() + at); // every part empty, just after the table
    const auto add = [&body](int at, const QString& text, bool obfuscate) {
        QByteArray bytes(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        for (char& c : bytes)
            c = obfuscate ? char(quint8((quint8(c) << 4) | (quint8(c) >> 4)) ^ 0xA5) : c;
        qToLittleEndian<quint16>(quint16(body.size()), body.data() + at);
        qToLittleEndian<quint16>(quint16(text.size()), body.data() + at + 2);
        body += bytes;
    };
    add(40, user, false);
    add(44, password, true);
    qToLittleEndian<quint32>(quint32(body.size()), body.data());
    return tds::packets(tds::Login7, body, 4096);
}

TEST(TdsServer, AFailedLoginEndsItsConnectionAndAnUnreadFloodHoldsUpOnlyItsOwn) {
    const std::unique_ptr<TdsServer> server = scriptedServer();
    QTcpSocket refused, flood;
    for (QTcpSocket* socket : {&refused, &flood}) {
        socket->connectToHost(QHostAddress::LocalHost, server->port());
        ASSERT_TRUE(socket->waitForConnected(3000));
        socket->write(login7(u"sa"_s, socket == &refused ? u"secret#1"_s : u"Secret#1"_s));
    }
    // No second LOGIN7 on a connection whose first one failed.
    EXPECT_TRUE(firstPacket(refused).contains(char(0xAA))) << "no ERROR token";
    EXPECT_TRUE(refused.state() == QAbstractSocket::UnconnectedState ||
                refused.waitForDisconnected(3000));
    ASSERT_TRUE(firstPacket(flood).contains(char(0xAD))) << "no LOGINACK";
    // Twenty thousand batches, twenty seconds of work, none of their answers read.
    QByteArray batch(4, '\0');
    batch[0] = 4; // ALL_HEADERS: its length only
    batch += QByteArray(reinterpret_cast<const char*>(u"Pause"), 10);
    for (int i = 0; i < 20000; ++i)
        flood.write(tds::packets(tds::SqlBatch, batch, 4096));
    flood.waitForBytesWritten(1000);
    OdbcConnector::Options options = OdbcConnector::platformDefaults();
    options.loginTimeoutSeconds = 5;
    options.queryTimeoutSeconds = 5;
    const auto other = OdbcConnector(options).open(
        {u"127.0.0.1,%1"_s.arg(server->port()), u"master"_s, u"sa"_s, u"Secret#1"_s});
    EXPECT_EQ(other->query(u"TextsIntegersNullsAndEmptyTexts"_s).rows.size(), 3);
}

struct Statements {
    const char* name;
    const char* expected;                // shown() of the reply
    const char* sql;                     // the batch session 1, in UFSystem, sends
    const char* other = nullptr;         // a batch session 2, in master, sends first
    const char* version = nullptr;       // the server's version, the scenario's when none
    void (*change)(Scenario&) = nullptr; // the scenario's databases as a row wants them
};

const Statements kStatements[] = {
    {"SysDatabasesMissingBefore2005", "#208 / 'UFSystem'",
     "select name from sys.databases; select name from master..sysdatabases where name='ufsystem'",
     nullptr, "8.00.2039"},
    {"OfflineDatabaseCannotBeOpenedOrSwitched", "#942 / #942 / #5011 / #5069 / #5011 / #5069",
     "select * from OA_Archive..anything; use oa_archive; alter database OA_Archive set "
     "single_user with rollback immediate; alter database NoSuch set multi_user"},
    {"NoDropOrSwitchInsideATransaction", "begin / #574 / #226 / rollback / 1",
     "begin tran; drop database HRDB; alter database HRDB set single_user with rollback "
     "immediate; rollback; select count(*) from master..sysdatabases where name='HRDB'"},
    {"NestedBeginTranCountsAndItsCommitUnwindsOneLevel", "begin / 2 / 1 / commit / 0",
     "begin tran; begin tran; select @@trancount; commit; select @@trancount; commit; "
     "select @@trancount"},
    {"SwitchWithOthersInNeedsRollbackImmediate", "#5064 / #5069",
     "alter database HRDB set single_user", "use HRDB"},
    {"SingleUserSwitchWithRollbackImmediateTakesTheDatabaseFromOthers", "1 / 'HRDB'",
     "alter database HRDB set single_user with rollback immediate; select "
     "DATABASEPROPERTY(name,'IsSingleUser') from master..sysdatabases where name='HRDB'; use HRDB; "
     "select db_name()",
     "use HRDB"},
    {"SpDboptionGoneFrom2012On", "#2812", "sp_dboption 'HRDB','single user','true'", nullptr,
     "11.0.7001.0"},
    {"NameOver128CharactersStopsTheBatch", "#103", "select 1; select * from <x*129>..sysobjects"},
    {"StatementsNeedNoSemicolon", "1; 2 / 0 rows / 3",
     "select 1 union select 2 where 1 in (select 1) insert into UA_Account select * from "
     "UA_Account where 0=1 alter database HRDB set single_user with rollback immediate select 3"},
    // The whole batch is parsed first: a syntax error anywhere, and none of it runs.
    {"SyntaxErrorRunsNothing", "#102",
     "select 1; alter database HRDB set single_user with rollback"},
    // A snapshot of it, merge replication and an availability group keep a database (the
    // scenario's databases 1 to 4 are 001's years 2021 to 2024).
    {"SnapshotsReplicationAndAvailabilityGroupsKeepADatabase", "#3709 / #3724 / #3752",
     "drop database UFDATA_001_2021; drop database UFDATA_001_2022; drop database UFDATA_001_2023",
     nullptr, "11.0.7001.0",
     [](Scenario& s) {
         s.databases[4].snapshotOf = u"UFDATA_001_2021"_s;
         s.databases[2].flags << u"IsMergePublished"_s;
         s.databases[3].availabilityGroup = u"AG1"_s;
     }},
    {"SyntaxErrorLeavesWhatComesBeforeItUndone", "1",
     "select count(*) from master..sysdatabases where name='HRDB'",
     "drop database HRDB; select 1 +"},
};

TEST(Engine, AnswersStatementsAsTheServerDoes) {
    Scenario scenario;
    QString error;
    ASSERT_TRUE(
        loadScenario(QDir(scenarioFolder()).filePath(u"realistic.json"_s), &scenario, &error))
        << error.toStdString();
    for (const Statements& row : kStatements) {
        SCOPED_TRACE(row.name);
        Scenario server = scenario;
        if (row.version)
            server.server.productVersion = QString::fromLatin1(row.version);
        if (row.change)
            row.change(server);
        QTemporaryDir data;
        Engine engine(server, data.path());
        // Both sessions log in with the server's own login, its name in capitals; a third, its
        // password in capitals, is refused.
        Session session, other, wrong;
        for (Session* s : {&session, &other, &wrong}) {
            s->id = s == &session ? 1 : (s == &other ? 2 : 3);
            s->user = server.server.user.toUpper();
            s->password = s == &wrong ? server.server.password.toUpper() : server.server.password;
            s->database = s == &session ? u"UFSystem"_s : QString();
            EXPECT_EQ(bool(engine.login(*s)), s == &wrong);
        }
        if (row.other)
            (void)engine.batch(QString::fromUtf8(row.other), other);
        EXPECT_EQ(shown(engine.batch(expanded(row.sql), session)), QString::fromUtf8(row.expected));
    }
}

// A scenario's delay holds its statement back with the engine free for other sessions; a cancel
// ends the wait and the statement does not run.
TEST(Engine, DelayedStatementLeavesTheEngineFreeUntilCancelled) {
    Scenario scenario;
    QString error;
    ASSERT_TRUE(
        loadScenario(QDir(scenarioFolder()).filePath(u"realistic.json"_s), &scenario, &error));
    scenario.server.delays = {{u"^drop database HRDB$"_s, 60000}};
    QTemporaryDir data;
    Engine engine(scenario, data.path());
    Session held, other;
    const QString count = u"select count(*) from master..sysdatabases where name='HRDB'"_s;
    std::thread dropping([&] { (void)engine.batch(u"drop database HRDB"_s, held); });
    while (engine.delayedStatements() == 0)
        std::this_thread::yield();
    EXPECT_EQ(shown(engine.batch(count, other)), "1") << "another session is answered meanwhile";
    held.cancel->store(true);
    dropping.join();
    EXPECT_EQ(shown(engine.batch(count, other)), "1") << "the cancelled drop did not run";
}

} // namespace
} // namespace quenlor::sim::test
