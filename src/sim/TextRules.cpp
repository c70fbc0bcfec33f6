#include "sim/SqlTranslator.h"

#include <algorithm>

// The server's LIKE and its comparison of texts, as the engine registers them: case-insensitive,
// trailing blanks not counted, on bytes for ASCII and by Unicode case folding otherwise.
namespace quenlor::sim::sql {

namespace {

bool isAscii(const char* s, int n) {
    for (int i = 0; i < n; ++i) {
        if (static_cast<unsigned char>(s[i]) >= 0x80)
            return false;
    }
    return true;
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// How characters compare: on bytes for ASCII (the listings compare every database name with a
// pattern per account, and most names are plain ASCII), by Unicode case folding otherwise.
struct AsciiRules {
    static char fold(char c) { return lowerAscii(c); }
    static bool inRange(char c, char lo, char hi) {
        return fold(c) >= fold(lo) && fold(c) <= fold(hi);
    }
};

struct UnicodeRules {
    static QChar fold(QChar c) { return c.toCaseFolded(); }
    static bool inRange(QChar c, QChar lo, QChar hi) {
        return (c >= lo && c <= hi) || (fold(c) >= fold(lo) && fold(c) <= fold(hi));
    }
};

template <typename C, typename Rules> struct Like {
    const C* pEnd;
    C escape; // C() when there is none

    // The end of the pattern element at p, one that is not '%', when it takes the value's
    // character c; nullptr when it does not.
    const C* take(const C* p, C c) const {
        if (escape != C() && *p == escape && p + 1 < pEnd)
            return Rules::fold(c) == Rules::fold(p[1]) ? p + 2 : nullptr;
        if (*p == C(u'_'))
            return p + 1;
        if (*p == C(u'[')) {
            const C* k = p + 1;
            const bool negate = k < pEnd && *k == C(u'^');
            if (negate)
                ++k;
            bool found = false;
            for (bool first = true; k < pEnd && (*k != C(u']') || first); first = false) {
                if (k + 2 < pEnd && k[1] == C(u'-') && k[2] != C(u']')) {
                    found = found || Rules::inRange(c, k[0], k[2]);
                    k += 3;
                } else {
                    found = found || Rules::fold(c) == Rules::fold(*k);
                    ++k;
                }
            }
            // An unclosed '[' is an ordinary character.
            if (k < pEnd)
                return found != negate ? k + 1 : nullptr;
        }
        return Rules::fold(c) == Rules::fold(*p) ? p + 1 : nullptr;
    }

    bool isPercent(const C* p) const {
        return *p == C(u'%') && !(escape == C(u'%') && p + 1 < pEnd);
    }

    // Without recursion: every element but '%' takes one character, so on a mismatch only the
    // last '%' needs to take one more character and the elements after it start again. Earlier
    // '%'s keep their shortest match, which leaves the most room for the rest.
    bool match(const C* v, const C* vEnd, const C* p) const {
        // Trailing blanks of the value do not count.
        const C* vText = vEnd;
        while (vText > v && vText[-1] == C(u' '))
            --vText;
        const C* afterPercent = nullptr; // the pattern after the last '%' met
        const C* resume = nullptr;       // where the value starts after it
        for (;;) {
            if (p == pEnd) {
                if (v >= vText)
                    return true;
            } else if (isPercent(p)) {
                while (p < pEnd && *p == C(u'%'))
                    ++p;
                if (p == pEnd)
                    return true;
                afterPercent = p;
                resume = v;
                continue;
            } else if (v < vEnd) {
                if (const C* next = take(p, *v)) {
                    p = next;
                    ++v;
                    continue;
                }
            }
            if (!afterPercent || resume == vEnd)
                return false;
            p = afterPercent;
            v = ++resume;
        }
    }
};

} // namespace

bool likeMatch(QStringView value, QStringView pattern, QChar escape) {
    const Like<QChar, UnicodeRules> like{pattern.data() + pattern.size(), escape};
    return like.match(value.data(), value.data() + value.size(), pattern.data());
}

bool likeMatchUtf8(const char* value, int valueLength, const char* pattern, int patternLength) {
    if (isAscii(value, valueLength) && isAscii(pattern, patternLength)) {
        const Like<char, AsciiRules> like{pattern + patternLength, '\0'};
        return like.match(value, value + valueLength, pattern);
    }
    const QString v = QString::fromUtf8(value, valueLength);
    const QString p = QString::fromUtf8(pattern, patternLength);
    return likeMatch(v, p);
}

int compareText(const char* a, int aLength, const char* b, int bLength) {
    while (aLength > 0 && a[aLength - 1] == ' ')
        --aLength;
    while (bLength > 0 && b[bLength - 1] == ' ')
        --bLength;
    if (isAscii(a, aLength) && isAscii(b, bLength)) {
        const int n = std::min(aLength, bLength);
        for (int i = 0; i < n; ++i) {
            const char ca = lowerAscii(a[i]);
            const char cb = lowerAscii(b[i]);
            if (ca != cb)
                return ca < cb ? -1 : 1;
        }
        return aLength == bLength ? 0 : (aLength < bLength ? -1 : 1);
    }
    return QString::compare(QString::fromUtf8(a, aLength), QString::fromUtf8(b, bLength),
                            Qt::CaseInsensitive);
}

} // namespace quenlor::sim::sql
