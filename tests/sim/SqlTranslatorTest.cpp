// The simulator's T-SQL rewriting as pure functions: tokens, statements, table resolution, the
// server's LIKE and its comparison of texts.

#include "sim/SqlTranslator.h"
#include "support/QtPrinters.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <utility>

using namespace Qt::StringLiterals;
using namespace quenlor::sim::sql;

namespace {

// One letter per token, in the order of TokenKind: Space, Comment, String, QuotedName, Word,
// Number, Variable, Symbol.
QString kinds(const QList<Token>& tokens) {
    QString out;
    for (const Token& t : tokens)
        out += QLatin1Char("_CSQWNVY"[int(t.kind)]);
    return out;
}

QStringList texts(const QList<Token>& tokens) {
    QStringList out;
    for (const Token& t : tokens) {
        if (t.kind != TokenKind::Space)
            out << t.text;
    }
    return out;
}

// A resolver that knows master's sysdatabases and every table of UFSystem, the session's own
// database, and records every question.
struct Catalogue {
    QList<QStringList> asked;

    std::optional<TableTarget> resolve(const QString& database, const QString& owner,
                                       const QString& object) {
        asked << QStringList{database, owner, object};
        const QString db = database.isEmpty() ? u"UFSystem"_s : database;
        if (db.compare(u"master"_s, Qt::CaseInsensitive) == 0 &&
            object.compare(u"sysdatabases"_s, Qt::CaseInsensitive) == 0)
            return TableTarget{u"main"_s, u"sysdatabases"_s};
        if (db.compare(u"UFSystem"_s, Qt::CaseInsensitive) == 0)
            return TableTarget{u"UFSystem"_s, object};
        return std::nullopt;
    }

    TableResolver resolver() {
        return [this](const QString& database, const QString& owner, const QString& object) {
            return resolve(database, owner, object);
        };
    }
};

bool utf8Like(const QString& value, const QString& pattern) {
    const QByteArray v = value.toUtf8();
    const QByteArray p = pattern.toUtf8();
    return likeMatchUtf8(v.constData(), int(v.size()), p.constData(), int(p.size()));
}

int compare(const QString& a, const QString& b) {
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    const int c = compareText(x.constData(), int(x.size()), y.constData(), int(y.size()));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace

TEST(SqlTokens, LiteralsNamesCommentsVariablesNumbersAndTwoCharacterOperators) {
    const QList<Token> tokens = tokenize(
        u"select N'it''s',[a]]b],\"q\"\"r\",@@SPID,12.5 -- to the end\n/* block; */x<>y>=1"_s);
    EXPECT_EQ(kinds(tokens), u"W_SYQYQYVYN_C_CWYWYN"_s);
    EXPECT_EQ(texts(tokens),
              (QStringList{u"select"_s, u"'it''s'"_s, u","_s, u"[a]]b]"_s, u","_s, u"\"q\"\"r\""_s,
                           u","_s, u"@@SPID"_s, u","_s, u"12.5"_s, u"-- to the end"_s,
                           u"/* block; */"_s, u"x"_s, u"<>"_s, u"y"_s, u">="_s, u"1"_s}));

    // Chinese letters make words, as the listings' column aliases need.
    const QList<Token> alias = tokenize(u"a.name as 数据库,账套号"_s);
    EXPECT_EQ(texts(alias),
              (QStringList{u"a"_s, u"."_s, u"name"_s, u"as"_s, u"数据库"_s, u","_s, u"账套号"_s}));

    // An unterminated literal or name runs to the end instead of being lost.
    EXPECT_EQ(texts(tokenize(u"select 'open"_s)), (QStringList{u"select"_s, u"'open"_s}));
    EXPECT_EQ(kinds(tokenize(u"[open"_s)), u"Q"_s);
}

TEST(SqlTokens, BatchesSplitOnlyAtSemicolonsOutsideLiteralsNamesAndComments) {
    EXPECT_EQ(splitStatements(u"use [a;b];select ';' -- c;d\n ;; /* e;f */ ;\n"
                              "delete x where y='1;2'"_s),
              (QStringList{u"use [a;b]"_s, u"select ';'"_s, u"delete x where y='1;2'"_s}));
    EXPECT_TRUE(splitStatements(u" ; -- only a comment\n;"_s).isEmpty());

    EXPECT_EQ(leadingWords(u"  /* note */ alter database [x] set single_user"_s, 3),
              (QStringList{u"ALTER"_s, u"DATABASE"_s, u"[X]"_s}));
    EXPECT_EQ(leadingWords(u"commit"_s, 3), QStringList{u"COMMIT"_s});

    EXPECT_EQ(unquoteName(Token{TokenKind::QuotedName, u"[a]]b]"_s}), u"a]b"_s);
    EXPECT_EQ(unquoteName(Token{TokenKind::QuotedName, u"\"x\"\"y\""_s}), u"x\"y"_s);
    EXPECT_EQ(unquoteName(Token{TokenKind::QuotedName, u"[测试库]"_s}), u"测试库"_s);
    EXPECT_EQ(unquoteName(Token{TokenKind::Word, u"plain"_s}), u"plain"_s);
}

TEST(SqlTranslation, TablePositionsAreResolvedAndOtherDottedNamesQuoted) {
    Catalogue cat;
    const Translation t =
        translate(u"select a.name,p.[iYear] from master..sysdatabases as a inner join "
                  "UFSystem.dbo.UA_Period p on p.cAcc_Id=a.name left join [UA_Account] on 1=1"_s,
                  cat.resolver());
    EXPECT_TRUE(t.invalidObject.isEmpty());
    EXPECT_TRUE(t.syntaxNear.isEmpty());
    EXPECT_EQ(t.sql, u"select \"a\".\"name\",\"p\".\"iYear\" from \"main\".\"sysdatabases\" as a "
                     "inner join \"UFSystem\".\"UA_Period\" p on \"p\".\"cAcc_Id\"=\"a\".\"name\" "
                     "left join \"UFSystem\".\"UA_Account\" on 1=1"_s);
    EXPECT_EQ(cat.asked, (QList<QStringList>{{u"master"_s, QString(), u"sysdatabases"_s},
                                             {u"UFSystem"_s, u"dbo"_s, u"UA_Period"_s},
                                             {QString(), QString(), u"UA_Account"_s}}));
}

TEST(SqlTranslation, DeleteWithoutFromConcatenationFunctionsAndGlobals) {
    Catalogue cat;
    EXPECT_EQ(translate(u"delete UFSystem..ua_holdauth where cacc_id=N'001'"_s, cat.resolver()).sql,
              u"delete FROM \"UFSystem\".\"ua_holdauth\" where cacc_id='001' COLLATE tsql"_s);
    EXPECT_EQ(translate(u"DELETE FROM ufsystem..UA_Task"_s, cat.resolver()).sql,
              u"DELETE FROM \"UFSystem\".\"UA_Task\""_s);
    EXPECT_EQ(translate(u"update ufsystem..UA_Period set bIsDelete=1"_s, cat.resolver()).sql,
              u"update \"UFSystem\".\"UA_Period\" set bIsDelete=1"_s);
    EXPECT_EQ(
        translate(u"insert into [UFSystem]..[UA_Role] values (N'r', 'x')"_s, cat.resolver()).sql,
        u"insert into \"UFSystem\".\"UA_Role\" values ('r' COLLATE tsql, 'x' COLLATE tsql)"_s);

    // Text concatenation; an addition of two number literals stays one. Literals and the text
    // functions' results carry the server's comparison rule.
    EXPECT_EQ(
        translate(u"select 'ufdata_'+cacc_id+'_'+cast(iyear as varchar(4)), 1 + 2"_s,
                  cat.resolver())
            .sql,
        u"select 'ufdata_' COLLATE tsql||cacc_id||'_' COLLATE tsql||cast(iyear as varchar(4)), "
        "1 + 2"_s);
    EXPECT_EQ(
        translate(u"select isnull(DATABASEPROPERTY(name,'IsOffline'),0), "
                  "left(s,len(s)-1), Right(s,1), SERVERPROPERTY('edition'), "
                  "@@version, @@SPID, db_name(), charindex('a',s), getdate()"_s,
                  cat.resolver())
            .sql,
        u"select ifnull(tsql_databaseproperty(name,'IsOffline' COLLATE tsql),0) COLLATE tsql, "
        "tsql_left(s,tsql_len(s)-1) COLLATE tsql, tsql_right(s,1) COLLATE tsql, "
        "tsql_serverproperty('edition' COLLATE tsql), tsql_version(), tsql_spid(), "
        "tsql_db_name(), tsql_charindex('a' COLLATE tsql,s), "
        "tsql_getdate()"_s);
    // A word the engine renames is left alone where it is no function call.
    EXPECT_EQ(translate(u"select a.name from UFSystem..T a left join UFSystem..U b on 1=1"_s,
                        cat.resolver())
                  .sql,
              u"select \"a\".\"name\" from \"UFSystem\".\"T\" a left join \"UFSystem\".\"U\" b "
              "on 1=1"_s);
    EXPECT_EQ(cat.asked.size(), 6);
}

TEST(SqlTranslation, UnresolvedObjectsAreReportedAsWrittenAndUnknownVariablesRefused) {
    Catalogue cat;
    const Translation missing = translate(
        u"select * from UFSystem..UA_Account a join nodb..UA_Period b on 1=1"_s, cat.resolver());
    EXPECT_EQ(missing.invalidObject, u"nodb..UA_Period"_s);

    const Translation bracketed =
        translate(u"delete [No Such].dbo.[Odd]]Name] where 1=1"_s, cat.resolver());
    EXPECT_EQ(bracketed.invalidObject, u"[No Such].dbo.[Odd]]Name]"_s);
    EXPECT_EQ(cat.asked.last(), (QStringList{u"No Such"_s, u"dbo"_s, u"Odd]Name"_s}));

    const Translation variable = translate(u"select @count"_s, cat.resolver());
    EXPECT_EQ(variable.syntaxNear, u"@count"_s);
    EXPECT_TRUE(variable.invalidObject.isEmpty());
}

TEST(SqlTranslation, TablesListedWithCommasAreEachResolved) {
    Catalogue cat;
    const Translation t =
        translate(u"select count(*) from UFSystem..UA_Account a, UFSystem..UA_Period p where "
                  "a.cAcc_Id=p.cAcc_Id"_s,
                  cat.resolver());
    EXPECT_TRUE(t.invalidObject.isEmpty()) << t.invalidObject.toStdString();
    EXPECT_EQ(t.sql, u"select count(*) from \"UFSystem\".\"UA_Account\" a, "
                     "\"UFSystem\".\"UA_Period\" p where \"a\".\"cAcc_Id\"=\"p\".\"cAcc_Id\""_s);
    EXPECT_EQ(cat.asked.size(), 2);
}

TEST(SqlTranslation, FullJoinProbesTheSecondTableFirst) {
    Catalogue cat;
    EXPECT_EQ(translate(u"select name from master..sysdatabases full join ufsystem..ua_account "
                        "on name like 'ufdata_'+cacc_id+'%' where 1=1"_s,
                        cat.resolver())
                  .sql,
              u"select name from \"UFSystem\".\"ua_account\" full join \"main\".\"sysdatabases\" "
              "on name like 'ufdata_' COLLATE tsql||cacc_id||'%' COLLATE tsql where 1=1"_s);
    EXPECT_EQ(translate(u"select 1 from master..sysdatabases as a full outer join "
                        "UFSystem..UA_Period b on a.name=b.x"_s,
                        cat.resolver())
                  .sql,
              u"select 1 from \"UFSystem\".\"UA_Period\" b full outer join "
              "\"main\".\"sysdatabases\" as a on \"a\".\"name\"=\"b\".\"x\""_s);
}

// Each case through both matchers: the one on text and the one on the engine's bytes.
template <std::size_t N> void expectLike(const std::tuple<QString, QString, bool> (&cases)[N]) {
    for (const auto& [value, pattern, matches] : cases) {
        EXPECT_EQ(likeMatch(value, pattern), matches)
            << value.toStdString() << " LIKE " << pattern.toStdString();
        EXPECT_EQ(utf8Like(value, pattern), matches)
            << value.toStdString() << " LIKE " << pattern.toStdString() << " (bytes)";
    }
}

TEST(SqlLike, CharacterClassesRangesNegationAndLiteralUnderscore) {
    // value, pattern, matches
    const std::tuple<QString, QString, bool> cases[] = {
        {u"UFDATA_001_2024"_s, u"ufdata_[0-9][0-9][0-9]_[12][0-9][0-9][0-9]"_s, true},
        {u"UFDATA_0A1_2024"_s, u"ufdata_[0-9][0-9][0-9]_[12][0-9][0-9][0-9]"_s, false},
        {u"UFDATA_001_3024"_s, u"ufdata_[0-9][0-9][0-9]_[12][0-9][0-9][0-9]"_s, false},
        {u"UFDATAX001X2024"_s, u"ufdata_001_2024"_s, true},
        {u"UFDATAX001X2024"_s, u"ufdata[_]001[_]%"_s, false},
        {u"UFDATA_001_2024"_s, u"ufdata[_]001[_]%"_s, true},
        {u"UFMeta_001"_s, u"UFMeta[_]001"_s, true},
        {u"abc"_s, u"a[^b]c"_s, false},
        {u"axc"_s, u"a[^b]c"_s, true},
        {u"aBc"_s, u"a[^b]c"_s, false},
        {u"q"_s, u"[A-Z]"_s, true},
        {u"Q"_s, u"[a-z]"_s, true},
        {u"-"_s, u"[a-]"_s, true},
        {u"ab"_s, u"a"_s, false},
        {u"a"_s, u"ab"_s, false},
        {u"a[b"_s, u"a[b"_s, true},
        {u""_s, u"%"_s, true},
        {u""_s, u"_"_s, false},
    };
    expectLike(cases);
}

TEST(SqlLike, ChineseTextPercentBacktrackingTrailingBlanksAndEscape) {
    const std::tuple<QString, QString, bool> cases[] = {
        {u"第001号演示账套"_s, u"第%号%账套"_s, true},
        {u"第001号演示账套"_s, u"第[0-9][0-9][0-9]号__账套"_s, true},
        {u"第001号演示账套"_s, u"第%[^0-9]号%"_s, false},
        {u"测试库"_s, u"[测试]试_"_s, true},
        {u"测试库"_s, u"[^测]%"_s, false},
        {u"abcabd"_s, u"%ab_"_s, true},
        {u"abcabd"_s, u"%abc"_s, false},
        {u"aXbXc"_s, u"a%b%c"_s, true},
        {u"aXbXd"_s, u"a%b%c"_s, false},
        {u"ufdata_001_2024   "_s, u"UFDATA_001_2024"_s, true},
        {u"ufdata_001_2024   "_s, u"%2024"_s, true},
        {u"ufdata_001_2024"_s, u"UFDATA_001_2024 "_s, false},
        {u"账套   "_s, u"账套"_s, true},
        {u"year"_s, u"%YEAR%"_s, true},
        {u"iYear"_s, u"%year%"_s, true},
        {u"cAcc_Id"_s, u"%year%"_s, false},
    };
    expectLike(cases);

    // ESCAPE: the character after it is literal, %, _ and [ included.
    EXPECT_TRUE(likeMatch(u"100%"_s, u"100!%"_s, u'!'));
    EXPECT_FALSE(likeMatch(u"1000"_s, u"100!%"_s, u'!'));
    EXPECT_TRUE(likeMatch(u"a_b"_s, u"a!_b"_s, u'!'));
    EXPECT_FALSE(likeMatch(u"axb"_s, u"a!_b"_s, u'!'));
    EXPECT_TRUE(likeMatch(u"x[1]"_s, u"%![1]"_s, u'!'));
    EXPECT_TRUE(likeMatch(u"A_B_C"_s, u"%!_c"_s, u'!'));
}

TEST(SqlCompare, CaseAndTrailingBlanksDoNotCountAndOrderIsConsistent) {
    const std::pair<QString, QString> equal[] = {
        {u"UFSystem"_s, u"ufsystem"_s},
        {u"cAcc_Id"_s, u"CACC_ID   "_s},
        {u"UFDATA_001_2024 "_s, u"ufdata_001_2024"_s},
        {u"测试库"_s, u"测试库  "_s},
        {u"账套_Test"_s, u"账套_TEST"_s},
        {u""_s, u"   "_s},
    };
    for (const auto& [a, b] : equal) {
        EXPECT_EQ(compare(a, b), 0) << a.toStdString() << " = " << b.toStdString();
        EXPECT_EQ(compare(b, a), 0) << b.toStdString() << " = " << a.toStdString();
    }

    const std::pair<QString, QString> less[] = {
        {u"Admin"_s, u"b"_s},
        {u"a"_s, u"B"_s},
        {u"UFDATA_001"_s, u"ufdata_001_2024"_s},
        {u"abc"_s, u"abc x"_s},
        {u"账套"_s, u"账套号"_s},
        {u"A账"_s, u"b账"_s},
        {u"UFDATA"_s, u"测试库"_s},
    };
    for (const auto& [a, b] : less) {
        EXPECT_EQ(compare(a, b), -1) << a.toStdString() << " < " << b.toStdString();
        EXPECT_EQ(compare(b, a), 1) << b.toStdString() << " > " << a.toStdString();
    }
    // Blanks inside a text are significant; only the trailing ones are padding.
    EXPECT_NE(compare(u"a b"_s, u"ab"_s), 0);
    EXPECT_NE(compare(u" ab"_s, u"ab"_s), 0);
}
