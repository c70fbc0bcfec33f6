#include "sim/NameIndex.h"

#include "sim/SqlTranslator.h"

#include <algorithm>

namespace quenlor::sim {

namespace {

QString folded(const QString& name) {
    QString f = name;
    for (QChar& c : f)
        c = c.toCaseFolded();
    return f;
}

// How many pattern characters the element at the start of pattern spans when it stands for any
// one character ('_' or a closed [...] class; a class is not narrowed further), or 0 when it is
// a literal character. Mirrors how LIKE reads a class: a ']' right after "[" or "[^" belongs to
// it, and an unclosed '[' is an ordinary character.
qsizetype anyCharElement(QStringView pattern) {
    if (pattern.front() == u'_')
        return 1;
    if (pattern.front() != u'[')
        return 0;
    qsizetype k = 1;
    if (k < pattern.size() && pattern[k] == u'^')
        ++k;
    for (bool first = true; k < pattern.size() && (pattern[k] != u']' || first); first = false)
        k += (k + 2 < pattern.size() && pattern[k + 1] == u'-' && pattern[k + 2] != u']') ? 3 : 1;
    return k < pattern.size() ? k + 1 : 0;
}

bool before(const QByteArray& a, const QByteArray& b) {
    return sql::compareText(a.constData(), int(a.size()), b.constData(), int(b.size())) < 0;
}

} // namespace

void NameIndex::add(const QString& name) {
    m_entries.push_back(Entry{folded(name), name, name.toUtf8()});
    m_sorted = false;
    m_bounds.clear();
}

void NameIndex::remove(const QString& name) {
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [&](const Entry& e) { return e.name == name; });
    if (it != m_entries.end())
        m_entries.erase(it);
    m_bounds.clear();
}

void NameIndex::sort() {
    if (m_sorted)
        return;
    std::sort(m_entries.begin(), m_entries.end(),
              [](const Entry& a, const Entry& b) { return a.folded < b.folded; });
    m_sorted = true;
}

void NameIndex::walk(Iterator from, Iterator to, qsizetype depth, QStringView pattern) {
    // An explicit stack: patterns may be far longer than any name.
    struct Step {
        Iterator from, to;
        qsizetype depth;
        QStringView pattern;
    };
    std::vector<Step> steps{{from, to, depth, pattern}};
    while (!steps.empty()) {
        const Step s = steps.back();
        steps.pop_back();
        if (s.from == s.to)
            continue;
        if (s.pattern.isEmpty() || s.pattern.front() == u'%') {
            // The end of the pattern (trailing blanks of a name still match) or a '%': every
            // name of the range may match.
            m_found.emplace_back(s.from, s.to);
            continue;
        }
        // The names of the range that end here sort first; the others by their next character.
        const Iterator longer = std::partition_point(
            s.from, s.to, [&](const Entry& e) { return e.folded.size() <= s.depth; });
        const auto charAt = [&](const Entry& e) { return e.folded[s.depth]; };
        const qsizetype any = anyCharElement(s.pattern);
        if (any == 0) {
            const QChar c = s.pattern.front().toCaseFolded();
            const Iterator first =
                std::partition_point(longer, s.to, [&](const Entry& e) { return charAt(e) < c; });
            const Iterator last =
                std::partition_point(first, s.to, [&](const Entry& e) { return charAt(e) == c; });
            steps.push_back({first, last, s.depth + 1, s.pattern.mid(1)});
            continue;
        }
        for (Iterator run = longer; run != s.to;) {
            const QChar c = charAt(*run);
            const Iterator end =
                std::partition_point(run, s.to, [&](const Entry& e) { return charAt(e) == c; });
            steps.push_back({run, end, s.depth + 1, s.pattern.mid(any)});
            run = end;
        }
    }
}

std::optional<std::pair<QString, QString>> NameIndex::likeBounds(const QString& pattern) {
    if (const auto known = m_bounds.constFind(pattern); known != m_bounds.cend())
        return *known;
    // Kept per pattern, but not without end.
    if (m_bounds.size() >= 10000)
        m_bounds.clear();
    sort();
    m_found.clear();
    walk(m_entries.cbegin(), m_entries.cend(), 0, pattern);
    // The same test as the LIKE of the statements, so that no name it accepts falls outside.
    const QByteArray p = pattern.toUtf8();
    const Entry* least = nullptr;
    const Entry* greatest = nullptr;
    for (const auto& [from, to] : m_found) {
        for (Iterator e = from; e != to; ++e) {
            if (!sql::likeMatchUtf8(e->utf8.constData(), int(e->utf8.size()), p.constData(),
                                    int(p.size())))
                continue;
            if (!least || before(e->utf8, least->utf8))
                least = &*e;
            if (!greatest || before(greatest->utf8, e->utf8))
                greatest = &*e;
        }
    }
    std::optional<std::pair<QString, QString>> bounds;
    if (least)
        bounds.emplace(least->name, greatest->name);
    m_bounds.insert(pattern, bounds);
    return bounds;
}

} // namespace quenlor::sim
