#include "core/cp1252.h"

#include <algorithm>
#include <array>

namespace cp1252 {
namespace {

// 0x80..0x9F; the five undefined positions map to themselves.
constexpr char16_t kHaut[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct Tables {
    std::array<unsigned char, 256> bas{};
    std::array<unsigned char, 256> haut{};
    Tables() {
        for (size_t i = 0; i < 256; ++i) {
            bas[i] = haut[i] = static_cast<unsigned char>(i);
        }
        for (size_t c = 'A'; c <= 'Z'; ++c) {
            bas[c] = static_cast<unsigned char>(c + 32);
            haut[c + 32] = static_cast<unsigned char>(c);
        }
        for (size_t c = 0xC0; c <= 0xDE; ++c) {
            if (c == 0xD7) continue;
            bas[c] = static_cast<unsigned char>(c + 32);
            haut[c + 32] = static_cast<unsigned char>(c);
        }
        const unsigned char paires[][2] = {{0x8A, 0x9A}, {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF}};
        for (const auto& p : paires) {
            bas[p[0]] = p[1];
            haut[p[1]] = p[0];
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

} // namespace

char16_t versUnicode(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) return kHaut[c - 0x80];
    return c;
}

QString versUnicode(QByteArrayView octets) {
    QString r(octets.size(), Qt::Uninitialized);
    QChar* d = r.data();
    for (qsizetype i = 0; i < octets.size(); ++i) {
        d[i] = QChar(versUnicode(static_cast<unsigned char>(octets[i])));
    }
    return r;
}

unsigned char depuisUnicode(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    for (int i = 0; i < 32; ++i) {
        if (kHaut[i] == c) return static_cast<unsigned char>(0x80 + i);
    }
    return '?';
}

QByteArray depuisUnicode(QStringView texte) {
    QByteArray r;
    if (texte.isEmpty()) {
        r.reserve(0);
        return r;
    }
    // Written in place: an append per character costs more than the conversion.
    r.resize(texte.size());
    char* d = r.data();
    qsizetype n = 0;
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const QChar ch = texte[i];
        if (ch.unicode() < 0x80) {
            d[n++] = static_cast<char>(ch.unicode());
            continue;
        }
        if (ch.isHighSurrogate() && i + 1 < texte.size() && texte[i + 1].isLowSurrogate()) {
            ++i; // one character outside the plane: one '?'
            d[n++] = '?';
            continue;
        }
        d[n++] = static_cast<char>(depuisUnicode(ch.unicode()));
    }
    r.truncate(n);
    return r;
}

unsigned char minuscule(unsigned char c) {
    return tables().bas[c];
}
unsigned char majuscule(unsigned char c) {
    return tables().haut[c];
}

void enMinuscules(QByteArray& octets) {
    const auto& t = tables().bas;
    char* d = octets.data();
    for (qsizetype i = 0; i < octets.size(); ++i) {
        d[i] = static_cast<char>(t[static_cast<unsigned char>(d[i])]);
    }
}

QByteArray minuscules(QByteArrayView octets) {
    QByteArray r = octets.toByteArray();
    enMinuscules(r);
    return r;
}

QByteArray majuscules(QByteArrayView octets) {
    QByteArray r(octets.size(), Qt::Uninitialized);
    const auto& t = tables().haut;
    for (qsizetype i = 0; i < octets.size(); ++i) {
        r[i] = static_cast<char>(t[static_cast<unsigned char>(octets[i])]);
    }
    return r;
}

bool egauxSansCasse(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size()) return false;
    const auto& t = tables().bas;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (t[static_cast<unsigned char>(a[i])] != t[static_cast<unsigned char>(b[i])])
            return false;
    }
    return true;
}

int comparerSansCasse(QByteArrayView a, QByteArrayView b) {
    const auto& t = tables().bas;
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char ca = t[static_cast<unsigned char>(a[i])];
        const unsigned char cb = t[static_cast<unsigned char>(b[i])];
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool commenceParSansCasse(QByteArrayView texte, QByteArrayView debut) {
    return texte.size() >= debut.size() && egauxSansCasse(texte.first(debut.size()), debut);
}

qsizetype chercherSansCasse(QByteArrayView texte, QByteArrayView motif, qsizetype depuis) {
    if (depuis < 0) depuis = 0;
    if (motif.isEmpty()) return depuis <= texte.size() ? depuis : -1;
    const auto& t = tables().bas;
    const unsigned char premier = t[static_cast<unsigned char>(motif[0])];
    for (qsizetype i = depuis; i + motif.size() <= texte.size(); ++i) {
        if (t[static_cast<unsigned char>(texte[i])] != premier) continue;
        if (egauxSansCasse(texte.sliced(i, motif.size()), motif)) return i;
    }
    return -1;
}

} // namespace cp1252
