#include "core/db/ServerVersion.h"

#include "core/db/QueryHelpers.h"
#include "platform/Database.h"

#include <cmath>

namespace quenlor {

namespace {

const QString kVersionStatement =
    QStringLiteral("SELECT  SERVERPROPERTY('productversion') as productversion,"
                   "SERVERPROPERTY ('edition') as version");

// The numeric value at the start of s, as far as it reads as a decimal number ("1600.1." gives
// 1600.1, "" or "abc" gives 0).
double leadingNumber(QStringView s) {
    qsizetype i = 0;
    while (i < s.size() && s.at(i) == QLatin1Char(' '))
        ++i;
    const qsizetype start = i;
    if (i < s.size() && (s.at(i) == QLatin1Char('+') || s.at(i) == QLatin1Char('-')))
        ++i;
    bool dot = false;
    while (i < s.size() && (s.at(i).isDigit() || (!dot && s.at(i) == QLatin1Char('.')))) {
        if (s.at(i) == QLatin1Char('.'))
            dot = true;
        ++i;
    }
    bool ok = false;
    const double v = s.mid(start, i - start).toString().toDouble(&ok);
    return ok ? v : 0.0;
}

// Rounds half to the even neighbour.
long long roundHalfEven(double v) {
    return static_cast<long long>(std::nearbyint(v));
}

struct Release {
    int major;
    const char* name;
    struct Pack {
        long long fromBuild;
        const char* name; // empty: no service pack
    };
    Pack packs[5];
    // The release covers minor versions from this one up to the next release of the same major
    // (10.50 is 2008 R2, not 2008).
    int fromMinor = 0;
};

// Builds at or above `fromBuild` carry that service pack; below the first range there is none.
constexpr Release kReleases[] = {
    {8, "SQL Server 2000", {{194, ""}, {384, "SP1"}, {534, "SP2"}, {760, "SP3"}, {2039, "SP4"}}},
    {9, "SQL Server 2005", {{1399, ""}, {2047, "SP1"}, {3042, "SP2"}, {4035, "SP3"}, {-1, ""}}},
    {10, "SQL Server 2008", {{1600, ""}, {2531, "SP1"}, {-1, ""}, {-1, ""}, {-1, ""}}},
    {10,
     "SQL Server 2008 R2",
     {{1600, ""}, {2500, "SP1"}, {4000, "SP2"}, {6000, "SP3"}, {-1, ""}},
     50},
};

} // namespace

int majorVersionOf(const QString& productVersion) {
    const qsizetype dot = productVersion.indexOf(QLatin1Char('.'));
    const QStringView head =
        QStringView(productVersion).left(dot < 0 ? productVersion.size() : dot);
    return static_cast<int>(roundHalfEven(leadingNumber(head)));
}

QString GetSqlVersionName(QString& productVersion) {
    if (!productVersion.endsWith(QLatin1Char('.')))
        productVersion += QLatin1Char('.');

    const int major = majorVersionOf(productVersion);
    const qsizetype first = productVersion.indexOf(QLatin1Char('.'));
    const qsizetype second = productVersion.indexOf(QLatin1Char('.'), first + 1);
    const QStringView minorText =
        QStringView(productVersion).mid(first + 1, second < 0 ? -1 : second - first - 1);
    const long long minor = roundHalfEven(leadingNumber(minorText));
    const long long build =
        second < 0 ? 0 : roundHalfEven(leadingNumber(QStringView(productVersion).mid(second + 1)));

    const Release* release = nullptr;
    for (const Release& r : kReleases) {
        if (r.major == major && minor >= r.fromMinor)
            release = &r;
    }
    QString name;
    QString pack;
    if (release) {
        name = QString::fromUtf8(release->name);
        for (const Release::Pack& p : release->packs) {
            if (p.fromBuild >= 0 && build >= p.fromBuild)
                pack = QString::fromUtf8(p.name);
        }
    }
    const QString result = name + QLatin1Char(' ') + pack;
    if (result.trimmed().isEmpty())
        return productVersion;
    return result;
}

QString GetEditionName(const QString& edition) {
    static const struct {
        const char* edition;
        const char* name;
    } kEditions[] = {
        {"Desktop Engine", "MSDE"},       {"Developer Edition", "开发版"},
        {"Enterprise Edition", "企业版"}, {"Enterprise Evaluation Edition", "企业评估版"},
        {"Personal Edition", "个人版"},   {"Standard Edition", "标准版"},
    };
    const QString trimmed = edition.trimmed();
    for (const auto& e : kEditions) {
        if (trimmed == QLatin1String(e.edition))
            return QString::fromUtf8(e.name);
    }
    return edition;
}

Read<QString> GetServerVersionText(Database* conn, int* majorVersion) {
    if (majorVersion)
        *majorVersion = 0;
    try {
        if (!conn || !conn->isOpen())
            throw DbError{QString(), 0, QStringLiteral("连接未打开，无法执行查询。")};
        const QueryResult r = conn->query(kVersionStatement);
        if (r.rows.isEmpty())
            throw DbError{QString(), 0, QStringLiteral("服务器没有返回版本信息。")};
        const int versionColumn = r.columnIndex(QStringLiteral("productversion"));
        const int editionColumn = r.columnIndex(QStringLiteral("version"));
        if (versionColumn < 0 || editionColumn < 0)
            throw DbError{QString(), 0,
                          QStringLiteral("在对应所需名称或序数的集合中，未找到项目。")};
        QString version = NullToStr(r.rows.first().value(versionColumn));
        const QString edition = NullToStr(r.rows.first().value(editionColumn));
        const QString text =
            GetSqlVersionName(version) + QLatin1Char(' ') + GetEditionName(edition);
        if (majorVersion)
            *majorVersion = majorVersionOf(version);
        return {text, Outcome::done()};
    } catch (const DbError& e) {
        return {QString(), Outcome::failed(e)};
    }
}

} // namespace quenlor
