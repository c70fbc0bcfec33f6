#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>

#include <optional>
#include <utility>
#include <vector>

namespace quenlor::sim {

// The server's database names, sorted, for the listings' joins of the database list with a
// LIKE pattern per account ("name like 'ufdata_'+cacc_id+'_[12][0-9][0-9][0-9]'"): instead of
// comparing every name with every account's pattern, the engine looks up the names a pattern can
// match and searches the database list's index between the first and the last of them; the
// LIKE itself still decides each row.
class NameIndex {
public:
    void add(const QString& name);
    void remove(const QString& name);

    // The least and the greatest name, in the server's order of names, that the LIKE pattern
    // (without an escape character) matches; nullopt when it matches none.
    std::optional<std::pair<QString, QString>> likeBounds(const QString& pattern);

private:
    struct Entry {
        QString folded; // case-folded character by character, as LIKE compares
        QString name;
        QByteArray utf8; // the name as the engine holds it
    };
    using Iterator = std::vector<Entry>::const_iterator;

    void sort();
    // Adds to m_found the entries of [from, to), which share their first depth characters, that
    // the pattern's elements from p on may match.
    void walk(Iterator from, Iterator to, qsizetype depth, QStringView pattern);

    std::vector<Entry> m_entries;
    bool m_sorted = true;
    std::vector<std::pair<Iterator, Iterator>> m_found;
    // The bounds of the patterns asked about since the names last changed: a statement asks
    // for the same pattern's first and last name, and again for each row it evaluates them on.
    QHash<QString, std::optional<std::pair<QString, QString>>> m_bounds;
};

} // namespace quenlor::sim
