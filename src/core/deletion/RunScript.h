#pragma once

#include "core/app/Outcome.h"
#include "core/deletion/RunPreview.h"

#include <QString>

namespace quenlor {

// The statements of a dry run as a T-SQL script another tool can run: a comment line naming each
// ticked row (and why a refused one is left out), every statement as its own batch ended by GO,
// the transactions where the run opens and commits them. Lines end with CR LF.
[[nodiscard]] QString RunScript(const RunPreview& preview, const QString& server);

// Writes the script as UTF-8 with a byte order mark, replacing the file.
[[nodiscard]] Outcome SaveScript(const QString& path, const QString& script);

} // namespace quenlor
