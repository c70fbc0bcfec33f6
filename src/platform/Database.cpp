#include "platform/Database.h"

namespace quenlor {

int QueryResult::columnIndex(const QString& name) const {
    for (int i = 0; i < columns.size(); ++i) {
        if (columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

} // namespace quenlor
