#pragma once

#include "core/app/Outcome.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace quenlor {

// A database the run would drop, as the server describes it now.
struct DatabaseEffect {
    QString name;
    QString state;      // the server's status word (ONLINE, OFFLINE, …); empty when unknown
    qint64 dataKb = -1; // -1 when the server did not say
    qint64 logKb = -1;
    int otherConnections = -1; // ended by the switch to single-user mode
};

// The catalogue rows one statement of the run would delete (or mark deleted) in one table.
struct CatalogueEffect {
    QString table;
    qint64 rows = -1; // -1 when the statement is no plain delete or update that can be counted
};

// What a confirmed run would do to one ticked row.
struct RowPreview {
    QString label;   // as the run's own messages name it
    QString refusal; // why the run would pass the row over untouched, or empty
    QList<DatabaseEffect> databases;
    QList<CatalogueEffect> catalogue;
    QStringList folders;    // removed when the drops leave them empty
    QStringList statements; // every write, in order, with the transaction boundaries
};

// A dry run of the ticked rows. outcome fails with the run's own refusal when the run would not
// start, or with the read that failed when the server could not be asked; rows then hold what
// was seen up to there.
struct RunPreview {
    Outcome outcome = Outcome::done();
    bool refused = false; // outcome is the run's own refusal: nothing was asked of the server
    bool deleteDatabases = false;
    bool stopsTaskService = false;
    QList<RowPreview> rows;
};

} // namespace quenlor
