// The engine's databases and sessions without the network: dropping databases, single-user
// mode, the one transaction, and what a database's state refuses.

#include "sim/EngineFixture.h"

#include <QFile>

#include <algorithm>

namespace quenlor::sim::test {

// ---- dropping databases ----

TEST_F(EngineTest, DropRemovesTheDatabaseAndItsFilesUnlessItIsOffline) {
    build(smallScenario());
    Session s = open(1);
    const QString mdf = file(u"U8SOFT/ZT001/2024/UFDATA.MDF"_s);
    const QString ldf = file(u"U8SOFT/ZT001/2024/UFDATA_log.LDF"_s);
    ASSERT_TRUE(QFile::exists(mdf));
    ASSERT_TRUE(QFile::exists(ldf));

    EXPECT_TRUE(run(u"drop database [ufdata_001_2024]"_s, s).results.isEmpty());
    EXPECT_FALSE(QFile::exists(mdf));
    EXPECT_FALSE(QFile::exists(ldf));
    EXPECT_TRUE(QFile::exists(file(u"U8SOFT/ZT001/2023/UFDATA.MDF"_s)));
    EXPECT_FALSE(engine->database(u"UFDATA_001_2024"_s).has_value());
    EXPECT_EQ(scalar(u"select count(*) from master..sysdatabases where name like 'ufdata%'"_s, s),
              1);

    EXPECT_EQ(texts(run(u"drop database UFDATA_001_2024"_s, s)),
              QStringList{u"Cannot drop the database 'UFDATA_001_2024', because it does not "
                          "exist or you do not have permission."_s});
    EXPECT_EQ(texts(run(u"drop database master"_s, s)),
              QStringList{u"Cannot drop the database 'master' because it is a system database."_s});

    // An offline database leaves its files behind.
    EXPECT_TRUE(run(u"drop database OA_Offline"_s, s).results.isEmpty());
    EXPECT_FALSE(engine->database(u"OA_Offline"_s).has_value());
    EXPECT_TRUE(QFile::exists(file(u"MSSQL/DATA/OA_Offline.mdf"_s)));
    EXPECT_TRUE(QFile::exists(file(u"MSSQL/DATA/OA_Offline_log.ldf"_s)));

    EXPECT_TRUE(run(u"drop database [Acc]]ount]"_s, s).results.isEmpty());
    EXPECT_FALSE(QFile::exists(file(u"Data/Acc]ount.mdf"_s)));
    EXPECT_TRUE(run(u"drop database 测试库"_s, s).results.isEmpty());
    EXPECT_FALSE(QFile::exists(file(u"MSSQL/DATA/测试库_log.ldf"_s)));

    // A catalogue's tables go with it.
    EXPECT_TRUE(run(u"drop database UFSystem"_s, s).results.isEmpty());
    EXPECT_EQ(texts(run(u"select count(*) from UFSystem..UA_Account"_s, s)),
              QStringList{u"Invalid object name 'UFSystem..UA_Account'."_s});
    EXPECT_EQ(scalar(u"select count(*) from Archive..UA_Account"_s, s), 1);
}

TEST_F(EngineTest, DropOfADatabaseInUseIsRefused) {
    build(smallScenario(u"10.50.6000.34"_s, u"zh-CN"_s));
    Session s = open(1);
    Session other = open(2);
    EXPECT_EQ(texts(run(u"drop database Busy"_s, s)),
              QStringList{u"无法删除数据库 \"Busy\"，因为该数据库当前正在使用。"_s});

    EXPECT_TRUE(run(u"use UFDATA_001_2023"_s, other).results.isEmpty());
    EXPECT_EQ(numbers(run(u"drop database UFDATA_001_2023"_s, s)), QList<int>{3702});
    EXPECT_TRUE(run(u"use master"_s, other).results.isEmpty());
    EXPECT_TRUE(run(u"drop database UFDATA_001_2023"_s, s).results.isEmpty());

    // The dropping session itself counts as a user.
    EXPECT_TRUE(run(u"use UFDATA_001_2024"_s, s).results.isEmpty());
    EXPECT_EQ(numbers(run(u"drop database UFDATA_001_2024"_s, s)), QList<int>{3702});
    EXPECT_TRUE(QFile::exists(file(u"U8SOFT/ZT001/2024/UFDATA.MDF"_s)));

    // A session logged in to a database holds it until it closes.
    Session logged = open(3, u"UFDATA_001_2024"_s);
    EXPECT_TRUE(run(u"use master"_s, s).results.isEmpty());
    EXPECT_EQ(numbers(run(u"drop database UFDATA_001_2024"_s, s)), QList<int>{3702});
    engine->closed(logged);
    EXPECT_TRUE(run(u"drop database UFDATA_001_2024"_s, s).results.isEmpty());

    engine->setOtherUsers(u"Busy"_s, 0);
    EXPECT_TRUE(run(u"drop database Busy"_s, s).results.isEmpty());
    EXPECT_EQ(
        texts(run(u"drop database Busy"_s, s)),
        QStringList{u"无法对 数据库'Busy' 执行 删除，因为它不存在，或者您没有所需的权限。"_s});
}

// ---- single-user mode ----

TEST_F(EngineTest, RollbackImmediateEndsTheOtherSessionsInTheDatabase) {
    build(smallScenario());
    Session s = open(1);
    Session a = open(2, u"UFDATA_001_2023"_s);
    Session b = open(3);
    Session elsewhere = open(4, u"UFDATA_001_2024"_s);
    EXPECT_TRUE(run(u"use [UFDATA_001_2023]"_s, b).results.isEmpty());

    const Reply switched =
        run(u"alter database [UFDATA_001_2023] set single_user with rollback immediate "_s, s);
    EXPECT_TRUE(switched.results.isEmpty()) << texts(switched).join(u" | "_s).toStdString();
    QList<int> killed = switched.killSessions;
    std::sort(killed.begin(), killed.end());
    EXPECT_EQ(killed, (QList<int>{2, 3}));
    EXPECT_TRUE(engine->database(u"UFDATA_001_2023"_s)->flags.contains(u"IsSingleUser"_s));
    EXPECT_EQ(scalar(u"select DATABASEPROPERTY('UFDATA_001_2023','IsSingleUser')"_s, s), 1);
    EXPECT_EQ(scalar(u"select status & 4096 from master..sysdatabases where "
                     "name='UFDATA_001_2023'"_s,
                     s),
              4096);
    // With the others gone the drop goes through.
    EXPECT_TRUE(run(u"drop database UFDATA_001_2023"_s, s).results.isEmpty());

    // Connections of other programs are ended the same way.
    const Reply busy = run(u"alter database Busy set single_user with rollback immediate"_s, s);
    EXPECT_TRUE(busy.results.isEmpty());
    EXPECT_TRUE(busy.killSessions.isEmpty());
    EXPECT_EQ(engine->database(u"Busy"_s)->otherUsers, 0);
    EXPECT_TRUE(run(u"alter database Busy set multi_user"_s, s).results.isEmpty());
    EXPECT_FALSE(engine->database(u"Busy"_s)->flags.contains(u"IsSingleUser"_s));
    EXPECT_EQ(scalar(u"select status & 4096 from master..sysdatabases where name='Busy'"_s, s), 0);
    // The session in another database was left alone and still holds it.
    EXPECT_EQ(numbers(run(u"drop database UFDATA_001_2024"_s, s)), QList<int>{3702});
}

TEST_F(EngineTest, SingleUserDatabaseAdmitsOneSessionOnly) {
    build(smallScenario());
    Session s = open(1);
    Session first = open(2);
    Session second = open(3);
    const QString full =
        u"Database 'UFDATA_001_2023' is already open and can only have one user at a time."_s;
    ASSERT_TRUE(run(u"alter database UFDATA_001_2023 set single_user with rollback immediate"_s, s)
                    .results.isEmpty());
    EXPECT_TRUE(run(u"use UFDATA_001_2023"_s, first).results.isEmpty());
    EXPECT_EQ(texts(run(u"use UFDATA_001_2023"_s, second)), QStringList{full});
    EXPECT_EQ(second.database, u"master"_s);
    // The one user held by another program.
    EXPECT_EQ(texts(run(u"use Solo"_s, second)),
              QStringList{u"Database 'Solo' is already open and can only have one user at a "
                          "time."_s});
}

TEST_F(EngineTest, SingleUserSwitchRefusals) {
    build(smallScenario());
    Session s = open(1);
    // Already single-user with its one user connected: even ROLLBACK IMMEDIATE cannot take it.
    EXPECT_EQ(texts(run(u"alter database Solo set single_user with rollback immediate"_s, s)),
              (QStringList{u"Changes to the state or options of database 'Solo' cannot be made "
                           "at this time. The database is in single-user mode, and a user is "
                           "currently connected to it."_s,
                           u"ALTER DATABASE statement failed."_s}));
    EXPECT_EQ(engine->database(u"Solo"_s)->otherUsers, 1);

    EXPECT_EQ(texts(run(u"alter database NoSuch set single_user with rollback immediate"_s, s)),
              (QStringList{u"User does not have permission to alter database 'NoSuch', the "
                           "database does not exist, or the database is not in a state that "
                           "allows access checks."_s,
                           u"ALTER DATABASE statement failed."_s}));
    EXPECT_EQ(texts(run(u"alter database oa_offline set single_user with rollback immediate"_s, s)),
              (QStringList{u"User does not have permission to alter database 'OA_Offline', the "
                           "database does not exist, or the database is not in a state that "
                           "allows access checks."_s,
                           u"ALTER DATABASE statement failed."_s}));
    EXPECT_FALSE(engine->database(u"OA_Offline"_s)->flags.contains(u"IsSingleUser"_s));
    EXPECT_EQ(texts(run(u"alter database Busy set single_user with rollback"_s, s)),
              QStringList{u"Incorrect syntax near 'with'."_s});
    EXPECT_FALSE(engine->database(u"Busy"_s)->flags.contains(u"IsSingleUser"_s));

    // Inside a transaction neither the switch nor a drop is allowed.
    EXPECT_TRUE(run(u"begin tran"_s, s).results.isEmpty());
    EXPECT_EQ(texts(run(u"alter database UFDATA_001_2024 set single_user with rollback "
                        "immediate"_s,
                        s)),
              QStringList{u"ALTER DATABASE statement not allowed within multi-statement "
                          "transaction."_s});
    EXPECT_EQ(texts(run(u"drop database UFDATA_001_2024"_s, s)),
              QStringList{u"DROP DATABASE statement cannot be used inside a user transaction."_s});
    EXPECT_TRUE(run(u"commit"_s, s).results.isEmpty());
    EXPECT_TRUE(QFile::exists(file(u"U8SOFT/ZT001/2024/UFDATA.MDF"_s)));
    EXPECT_FALSE(engine->database(u"UFDATA_001_2024"_s)->flags.contains(u"IsSingleUser"_s));

    // The driver's own transaction requests count the same.
    EXPECT_FALSE(engine->transaction(TransactionRequest::Begin, false, s).has_value());
    EXPECT_EQ(numbers(run(u"drop database UFDATA_001_2024"_s, s)), QList<int>{574});
    EXPECT_FALSE(engine->transaction(TransactionRequest::Rollback, false, s).has_value());
    EXPECT_TRUE(run(u"drop database UFDATA_001_2024"_s, s).results.isEmpty());
}

TEST_F(EngineTest, LegacySingleUserProcedureOnlyOnOldServers) {
    build(smallScenario(u"8.00.2039"_s, u"zh-CN"_s));
    Session s = open(1);
    Session other = open(2, u"UFDATA_001_2023"_s);
    // The program's own spelling: a blank after the name.
    const QString on = u"sp_dboption 'UFDATA_001_2023 ','single user','true'"_s;
    EXPECT_EQ(texts(run(on, s)),
              (QStringList{u"其他用户正使用数据库 'UFDATA_001_2023'，此时无法更改数据库状态"_s,
                           u"ALTER DATABASE 语句失败。"_s}));
    EXPECT_FALSE(engine->database(u"UFDATA_001_2023"_s)->flags.contains(u"IsSingleUser"_s));
    engine->closed(other);
    EXPECT_TRUE(run(on, s).results.isEmpty());
    EXPECT_TRUE(engine->database(u"UFDATA_001_2023"_s)->flags.contains(u"IsSingleUser"_s));
    EXPECT_TRUE(
        run(u"exec sp_dboption N'UFDATA_001_2023','single user','false'"_s, s).results.isEmpty());
    EXPECT_FALSE(engine->database(u"UFDATA_001_2023"_s)->flags.contains(u"IsSingleUser"_s));

    engine.reset();
    QDir(data.path()).removeRecursively();
    build(smallScenario(u"11.0.7001.0"_s, u"en"_s));
    Session modern = open(1);
    EXPECT_EQ(texts(run(u"sp_dboption 'UFDATA_001_2023','single user','true'"_s, modern)),
              QStringList{u"Could not find stored procedure 'sp_dboption'."_s});
    EXPECT_FALSE(engine->database(u"UFDATA_001_2023"_s)->flags.contains(u"IsSingleUser"_s));
}

// ---- transactions ----

TEST_F(EngineTest, RollbackRestoresRowsAndCommitKeepsTheDeletion) {
    build(smallScenario());
    Session s = open(1);
    const Reply deleted = run(u"begin tran; delete UFSystem..UA_UserAccount; "
                              "delete from UFSystem..UA_Period where cAcc_Id='001'"_s,
                              s);
    EXPECT_EQ(rowCounts(deleted), (QList<qint64>{1, 2}));
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Period\""_s), 1);
    EXPECT_TRUE(run(u"rollback"_s, s).results.isEmpty());
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Period\""_s), 3);
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_UserAccount\""_s), 1);

    EXPECT_TRUE(run(u"begin transaction"_s, s).results.isEmpty());
    EXPECT_EQ(
        rowCounts(run(u"update UFSystem..UA_Period set bIsDelete=1 where cAcc_Id='002'"_s, s)),
        QList<qint64>{1});
    EXPECT_TRUE(run(u"commit"_s, s).results.isEmpty());
    EXPECT_FALSE(s.inTransaction);
    EXPECT_EQ(engine->value(u"select bIsDelete from \"UFSystem\".\"UA_Period\" where "
                            "cAcc_Id='002'"_s),
              1);

    // Through the driver's requests: a commit that begins the next transaction at once.
    EXPECT_FALSE(engine->transaction(TransactionRequest::Begin, false, s).has_value());
    run(u"delete UFSystem..UA_UserAccount"_s, s);
    EXPECT_FALSE(engine->transaction(TransactionRequest::Commit, true, s).has_value());
    run(u"delete UFSystem..UA_Period where cAcc_Id='002'"_s, s);
    EXPECT_FALSE(engine->transaction(TransactionRequest::Rollback, false, s).has_value());
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_UserAccount\""_s), 0);
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Period\""_s), 3);
}

TEST_F(EngineTest, OneTransactionAtATimeAndClosingASessionRollsItBack) {
    build(smallScenario());
    Session first = open(1);
    Session second = open(2);
    EXPECT_TRUE(run(u"begin tran"_s, first).results.isEmpty());
    EXPECT_EQ(rowCounts(run(u"delete UFSystem..UA_UserAccount"_s, first)), QList<qint64>{1});

    const QString refusal =
        u"The simulated server runs one transaction at a time; session 1 holds it."_s;
    EXPECT_EQ(texts(run(u"begin tran"_s, second)), QStringList{refusal});
    const std::optional<Message> byRequest =
        engine->transaction(TransactionRequest::Begin, false, second);
    ASSERT_TRUE(byRequest.has_value());
    EXPECT_EQ(byRequest->number, 50001);
    EXPECT_EQ(byRequest->text, refusal);

    // Nor does a change of any other kind from the second session go through meanwhile.
    Reply dropped;
    EXPECT_NO_THROW(dropped = run(u"drop database Archive"_s, second));
    EXPECT_EQ(texts(dropped), QStringList{refusal});
    EXPECT_TRUE(engine->database(u"Archive"_s).has_value());

    engine->closed(first);
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_UserAccount\""_s), 1);
    EXPECT_TRUE(run(u"begin tran"_s, second).results.isEmpty());
    EXPECT_TRUE(run(u"rollback"_s, second).results.isEmpty());
}

// All sessions share the engine's one transaction, so a change from another session while it is
// open would go with its rollback: it is refused instead of being silently lost.
TEST_F(EngineTest, AnotherSessionsChangeDuringATransactionIsRefusedNotLost) {
    build(smallScenario());
    Session first = open(1);
    Session second = open(2);
    EXPECT_TRUE(run(u"begin tran"_s, first).results.isEmpty());
    EXPECT_EQ(rowCounts(run(u"delete UFSystem..UA_Period where cAcc_Id='002'"_s, first)),
              QList<qint64>{1});
    const Reply refused = run(u"delete UFSystem..UA_UserAccount"_s, second);
    ASSERT_EQ(refused.results.size(), 1);
    EXPECT_EQ(std::get<Message>(refused.results[0]).number, 50001);
    // Reading is still allowed, and sees the first session's uncommitted change.
    EXPECT_EQ(select(u"select count(*) from UFSystem..UA_Period"_s, second),
              (QList<QList<QVariant>>{{2}}));
    EXPECT_TRUE(run(u"rollback"_s, first).results.isEmpty());
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Period\""_s), 3);
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_UserAccount\""_s), 1);
    EXPECT_EQ(rowCounts(run(u"delete UFSystem..UA_UserAccount"_s, second)), QList<qint64>{1});
}

TEST_F(EngineTest, CommitOrRollbackWithoutATransactionIsAnError) {
    build(smallScenario());
    Session s = open(1);
    EXPECT_EQ(texts(run(u"rollback"_s, s)),
              QStringList{u"The ROLLBACK TRANSACTION request has no corresponding BEGIN "
                          "TRANSACTION."_s});
    EXPECT_EQ(texts(run(u"commit"_s, s)),
              QStringList{u"The COMMIT TRANSACTION request has no corresponding BEGIN "
                          "TRANSACTION."_s});
    EXPECT_EQ(numbers(run(u"begin tran; commit; commit"_s, s)), QList<int>{3902});
}

// ---- refusals by the database's state ----

TEST_F(EngineTest, ReadOnlyDatabaseRefusesWritesButAnswersReads) {
    build(smallScenario());
    Session s = open(1);
    const QString refused = u"Failed to update database \"Archive\" because the database is "
                            "read-only."_s;
    for (const QString& sql :
         {u"delete Archive..UA_Account"_s,
          u"update Archive..UA_Account set cAcc_Name='x' where cAcc_Id='009'"_s,
          u"insert into Archive..UA_Account (cAcc_Id) values ('010')"_s}) {
        const Reply reply = run(sql, s);
        EXPECT_EQ(numbers(reply), QList<int>{3906}) << sql.toStdString();
        EXPECT_EQ(texts(reply), QStringList{refused}) << sql.toStdString();
    }
    EXPECT_EQ(select(u"select cAcc_Id, cAcc_Name from Archive..UA_Account"_s, s),
              (QList<QList<QVariant>>{{u"009"_s, u"Old"_s}}));
    // Reading the read-only one while writing another is fine.
    EXPECT_EQ(rowCounts(run(u"delete UFSystem..UA_UserAccount where cAccCode in (select cAcc_Id "
                            "from Archive..UA_Account)"_s,
                            s)),
              QList<qint64>{0});
}

TEST_F(EngineTest, DeletingAReferencedRowIsRefusedAndTheTransactionGoesOn) {
    build(smallScenario());
    Session s = open(1);
    EXPECT_TRUE(run(u"begin tran"_s, s).results.isEmpty());
    const Reply refused = run(u"delete UFSystem..UA_Account where cAcc_Id='001'"_s, s);
    EXPECT_EQ(numbers(refused), QList<int>{547});
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Account\""_s), 2);

    const Reply ordered = run(u"delete UFSystem..UA_Period where cAcc_Id='001'; delete "
                              "UFSystem..UA_UserAccount where cAccCode='001'; delete "
                              "UFSystem..UA_Account where cAcc_Id='001'"_s,
                              s);
    EXPECT_EQ(rowCounts(ordered), (QList<qint64>{2, 1, 1}));
    EXPECT_TRUE(numbers(ordered).isEmpty());
    EXPECT_TRUE(run(u"rollback"_s, s).results.isEmpty());
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Account\""_s), 2);
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Period\""_s), 3);
}

TEST_F(EngineTest, OfflineDatabasesAndLogins) {
    build(smallScenario());
    Session s = open(1);
    const QString offline = u"Database 'OA_Offline' cannot be opened because it is offline."_s;
    EXPECT_EQ(texts(run(u"select * from OA_Offline..anything"_s, s)), QStringList{offline});
    EXPECT_EQ(texts(run(u"use oa_offline"_s, s)), QStringList{offline});
    EXPECT_EQ(s.database, u"master"_s);

    Session wrong;
    wrong.id = 2;
    wrong.user = u"sa"_s;
    wrong.password = u"quenlor#2026"_s;
    std::optional<Message> refused = engine->login(wrong);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->number, 18456);
    EXPECT_EQ(refused->text, u"Login failed for user 'sa'."_s);

    for (const QString& database : {u"OA_Offline"_s, u"NoSuch"_s}) {
        Session into;
        into.id = 3;
        into.user = u"sa"_s;
        into.password = kPassword;
        into.database = database;
        refused = engine->login(into);
        ASSERT_TRUE(refused.has_value());
        EXPECT_EQ(refused->number, 4060);
        EXPECT_EQ(refused->text, u"Cannot open database \"%1\" requested by the login. The "
                                 "login failed."_s.arg(database));
    }
    Session named = open(4, u"ufsystem"_s);
    EXPECT_EQ(named.database, u"UFSystem"_s);
    EXPECT_EQ(scalar(u"select count(*) from UA_User"_s, named), 6);
}

} // namespace quenlor::sim::test
