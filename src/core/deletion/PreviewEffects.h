#pragma once

#include "core/app/Outcome.h"
#include "core/deletion/RunPreview.h"
#include "core/listing/Selection.h"

namespace quenlor {

class Database;

// The preview of the ticked rows: the run's dry run, then what it would touch. Runs where a
// confirmed run would (the server worker).
[[nodiscard]] RunPreview PreviewRun(const ConfirmedSelection& selection, bool deleteDatabases,
                                    bool backupHistory);

// Fills in what a dry run's statements would touch, as the server stands now: each dropped
// database's state, sizes and other connections (one query for them all), and the rows each
// catalogue delete or update would reach (one count per statement). Only reads reach the server;
// a read that fails ends the description with its failure, naming the query.
[[nodiscard]] Outcome DescribeEffects(RunPreview& preview, Database* conn);

// The table and condition of a catalogue statement ("delete [from] T where C", "update T set …
// where C"); both empty for any other statement.
struct CatalogueTarget {
    QString table;
    QString condition;
};
[[nodiscard]] CatalogueTarget TargetOf(const QString& statement);

} // namespace quenlor
