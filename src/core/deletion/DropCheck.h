#pragma once

#include <QString>
#include <QStringList>

namespace quenlor {

class Database;

// What the server says, before anything changes, about the databases a row would drop.
struct DropCheck {
    // Why a drop would fail, naming the database ("数据库“X”不存在"); empty when none would.
    QString refusal;
    // The files the server leaves on disk when it drops an offline database, one line per
    // database: "X：file、file".
    QStringList filesLeft;
};

// Checks the databases that `condition` selects from master..sysdatabases for what makes a drop
// fail: in single-user mode and used by another connection; a state the server refuses to drop
// in; the source of a database snapshot; a member of an availability group; published for
// replication; not the current login's to drop. `named` is a database the row names itself:
// refused when the condition finds nothing. A check that cannot be made refuses too.
[[nodiscard]] DropCheck CheckDrops(const QString& condition, const QString& named, Database* conn);

} // namespace quenlor
