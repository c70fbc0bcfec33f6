#include "platform/odbc/OdbcConnector.h"

#include "platform/odbc/OdbcApi.h"
#include "platform/odbc/OdbcDatabase.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <utility>

namespace quenlor {

namespace {

// "ODBC Driver 18 for SQL Server" -> 18; 0 for any other name.
int odbcDriverGeneration(const QString& driver) {
    static const QRegularExpression pattern(QStringLiteral("^ODBC Driver (\\d+) for SQL Server$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(driver.trimmed());
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// "SQL Server Native Client 11.0" -> 1100; 0 for any other name.
int nativeClientVersion(const QString& driver) {
    static const QRegularExpression pattern(
        QStringLiteral("^SQL Server Native Client (\\d+)\\.(\\d+)$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(driver.trimmed());
    return match.hasMatch() ? match.captured(1).toInt() * 100 + match.captured(2).toInt() : 0;
}

#ifndef _WIN32
QString findFreeTds() {
    // Registration in odbcinst.ini cannot be relied on, so the driver is always named by path.
    QStringList candidates;
#ifdef QUENLOR_FREETDS_DRIVER
    candidates << QStringLiteral(QUENLOR_FREETDS_DRIVER);
#endif
    candidates << QStringLiteral("/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so")
               << QStringLiteral("/usr/lib/aarch64-linux-gnu/odbc/libtdsodbc.so")
               << QStringLiteral("/usr/lib64/libtdsodbc.so")
               << QStringLiteral("/usr/lib/odbc/libtdsodbc.so")
               << QStringLiteral("/usr/local/lib/libtdsodbc.so");
    for (const QString& path : std::as_const(candidates)) {
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}
#endif

} // namespace

bool protectConnectionValue(const QString& value, BraceRule rule, QString& out) {
    if (value.contains(QChar(u'\0')))
        return false;
    switch (rule) {
    case BraceRule::DoubledCloseBrace: {
        QString inner = value;
        inner.replace(QLatin1Char('}'), QLatin1String("}}"));
        out = QLatin1Char('{') + inner + QLatin1Char('}');
        return true;
    }
    case BraceRule::NoEscape:
        // FreeTDS ends a braced value at its first "}", so only values without one can be
        // braced; a value with one can only go bare, where ";" would end it and leading braces
        // or blanks would be read differently.
        if (!value.contains(QLatin1Char('}'))) {
            out = QLatin1Char('{') + value + QLatin1Char('}');
            return true;
        }
        if (value.contains(QLatin1Char(';')) || value.startsWith(QLatin1Char('{')) ||
            value.trimmed() != value)
            return false;
        out = value;
        return true;
    }
    return false;
}

QString chooseSqlServerDriver(const QStringList& installedDrivers) {
    QString best;
    int bestGeneration = 0;
    for (const QString& name : installedDrivers) {
        const int generation = odbcDriverGeneration(name);
        if (generation > bestGeneration) {
            bestGeneration = generation;
            best = name.trimmed();
        }
    }
    if (bestGeneration > 0)
        return best;
    int bestVersion = 0;
    for (const QString& name : installedDrivers) {
        const int version = nativeClientVersion(name);
        if (version > bestVersion) {
            bestVersion = version;
            best = name.trimmed();
        }
    }
    if (bestVersion > 0)
        return best;
    return QStringLiteral("SQL Server");
}

OdbcConnector::OdbcConnector() : m_options(platformDefaults()) {}

OdbcConnector::OdbcConnector(Options options) : m_options(std::move(options)) {
    if (m_options.driver.isEmpty()) {
        const Options defaults = platformDefaults();
        m_options.driver = defaults.driver;
        m_options.braces = defaults.braces;
        m_options.extra = defaults.extra;
    }
}

OdbcConnector::Options OdbcConnector::platformDefaults() {
    Options options;
#ifdef _WIN32
    QStringList installed;
    try {
        installed = odbc::installedDrivers();
    } catch (const DbError&) {
        // No driver manager to ask: the driver every Windows has.
    }
    options.driver = chooseSqlServerDriver(installed);
    options.braces = BraceRule::DoubledCloseBrace;
    // These encrypt by default, and the ERP servers present self-signed certificates.
    if (odbcDriverGeneration(options.driver) >= 18)
        options.extra = QStringLiteral("TrustServerCertificate=yes;");
#else
    options.driver = findFreeTds();
    options.braces = BraceRule::NoEscape;
    options.extra = QStringLiteral("TDS_Version=7.4;ClientCharset=UTF-8;");
#endif
    return options;
}

QString OdbcConnector::connectionString(const ConnectionParams& params) const {
    if (m_options.driver.isEmpty())
        throw DbError{QString(), 0,
                      QStringLiteral("找不到 SQL Server 的 ODBC 驱动程序（FreeTDS 的 "
                                     "libtdsodbc.so），无法连接数据库。")};

    struct Item {
        const char* key;
        const QString& value;
        const char* label;
    };
    const Item items[] = {
        {"DRIVER", m_options.driver, "数据库驱动程序路径"},
        {"SERVER", params.server, "服务器"},
        {"DATABASE", params.database, "数据库"},
        {"UID", params.user, "登录名"},
        {"PWD", params.password, "口令"},
    };
    QString text;
    for (const Item& item : items) {
        QString protectedValue;
        // The message names the item only: the value may be the password.
        if (!protectConnectionValue(item.value, m_options.braces, protectedValue))
            throw DbError{QString(), 0,
                          QStringLiteral("无法把%1安全地传给数据库驱动程序：其中含有驱动程序"
                                         "不能原样接收的字符。")
                              .arg(QString::fromUtf8(item.label))};
        text += QLatin1String(item.key) + QLatin1Char('=') + protectedValue + QLatin1Char(';');
    }
    return text + m_options.extra;
}

std::unique_ptr<Database> OdbcConnector::open(const ConnectionParams& params) {
    return OdbcDatabase::connect(connectionString(params), m_options.loginTimeoutSeconds,
                                 m_options.queryTimeoutSeconds);
}

} // namespace quenlor
