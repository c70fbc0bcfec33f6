#include "core/deletion/RunLog.h"

#include "core/app/ProgramState.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>

namespace quenlor {

namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

constexpr qint64 kRotateAtBytes = 10 * 1024 * 1024;

QString logFile(const QDir& dir, int generation) {
    return dir.filePath(generation == 0 ? S("Quenlor.log") : S("Quenlor.%1.log").arg(generation));
}

} // namespace

QString RunLog::folder() {
    const QString set = state().LogFolder;
    return !set.isEmpty() ? set
                          : QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

void RunLog::write(const QString& event) {
    if (!m_failure.isEmpty())
        return;
    QString line = event;
    // A statement's password comment keeps its name and loses whatever follows it.
    static const QRegularExpression password(S(R"(--password[^\r\n]*)"),
                                             QRegularExpression::CaseInsensitiveOption);
    line.replace(password, S("--password"));
    line.replace(S("\r\n"), S(" ")).replace(u'\n', u' ').replace(u'\r', u' ');
    line = QDateTime::currentDateTime().toString(S("yyyy-MM-dd HH:mm:ss.zzz")) + S("  ") + line +
           S("\r\n");

    const QDir dir(folder());
    const QString path = logFile(dir, 0);
    if (!dir.mkpath(S("."))) {
        m_failure = S("无法创建日志文件夹“%1”").arg(QDir::toNativeSeparators(dir.path()));
        return;
    }
    if (QFileInfo(path).size() >= kRotateAtBytes) {
        QFile::remove(logFile(dir, 2));
        QFile::rename(logFile(dir, 1), logFile(dir, 2));
        QFile::rename(path, logFile(dir, 1));
    }
    QFile file(path);
    const QByteArray bytes = line.toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size())
        m_failure =
            S("无法写入日志文件“%1”：%2").arg(QDir::toNativeSeparators(path), file.errorString());
}

template <typename Step> auto LoggingDatabase::logged(const QString& what, Step step) {
    QElapsedTimer clock;
    clock.start();
    try {
        auto result = step();
        m_log.write(S("语句 成功 %1 ms：%2").arg(clock.elapsed()).arg(what));
        return result;
    } catch (const DbError& e) {
        m_log.write(S("语句 失败 %1 ms：%2 —— %3").arg(clock.elapsed()).arg(what, e.description));
        throw;
    }
}

QueryResult LoggingDatabase::query(const QString& sql) {
    return logged(sql, [&] { return m_inner.query(sql); });
}

void LoggingDatabase::execute(const QString& sql) {
    logged(sql, [&] {
        m_inner.execute(sql);
        return true;
    });
}

void LoggingDatabase::beginTrans() {
    logged(S("BEGIN TRANSACTION"), [&] {
        m_inner.beginTrans();
        return true;
    });
}

void LoggingDatabase::commitTrans() {
    logged(S("COMMIT TRANSACTION"), [&] {
        m_inner.commitTrans();
        return true;
    });
}

void LoggingDatabase::rollbackTrans() {
    logged(S("ROLLBACK TRANSACTION"), [&] {
        m_inner.rollbackTrans();
        return true;
    });
}

} // namespace quenlor
