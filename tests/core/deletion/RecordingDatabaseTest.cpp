#include "core/deletion/RecordingDatabase.h"

#include "support/TestState.h"

namespace quenlor {
namespace {

// Only a single SELECT reaches the server; every other statement, however it is sent, and each
// transaction boundary is recorded in order and answered empty.
TEST(RecordingDatabase, OnlyPlainReadsReachTheServer) {
    const std::tuple<const char*, bool, bool> rows[] = {
        {"select name from master..sysdatabases where name='a;b--[c]'", true, true},
        {"  -- why\n/* and how */ SELECT 1 as [x;y]", true, true},
        {"select * into t from master..sysdatabases", true, false},
        {"select 1; drop database [x]", true, false},
        {"select 1 /* */ drop database [x]", true, false},
        {"delete UFSystem..UA_Account where cAcc_Id='001'", true, false},
        {"exec sp_dboption 'x','single user','true'", true, false},
        {"drop database [x]", false, false},
    };
    test::FakeServer server;
    test::FakeDatabase inner(server, QStringLiteral("master"));
    RecordingDatabase dry(inner);
    QStringList sent, kept;
    dry.beginTrans();
    for (const auto& [sql, asQuery, reaches] : rows) {
        const QString text = QString::fromUtf8(sql);
        asQuery ? (void)dry.query(text) : dry.execute(text);
        (reaches ? sent : kept) << text;
    }
    dry.commitTrans();
    for (QString& s : sent)
        s.prepend("master: ");
    EXPECT_EQ(server.log, sent);
    EXPECT_EQ(dry.recorded(),
              QStringList{"BEGIN TRANSACTION"} + kept + QStringList{"COMMIT TRANSACTION"});
}

} // namespace
} // namespace quenlor
