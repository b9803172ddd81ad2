#include "mime/mon_string_list.h"

#include <algorithm>
#include <cstring>

void TMonStringList::setTexte(QByteArrayView texte) {
    clear();
    const char* p = texte.data();
    const qsizetype n = texte.size();
    reserve(std::count(p, p + n, '\n') + 1);
    // The next CR and LF, looked up with memchr: -1 when there is none further.
    const auto chercher = [p, n](char c, qsizetype debut) -> qsizetype {
        const void* t = debut < n ? std::memchr(p + debut, c, size_t(n - debut)) : nullptr;
        return t ? static_cast<const char*>(t) - p : -1;
    };
    qsizetype cr = -2, lf = -2;
    qsizetype debut = 0;
    for (;;) {
        if (cr != -1 && cr < debut) cr = chercher('\r', debut);
        if (lf != -1 && lf < debut) lf = chercher('\n', debut);
        qsizetype i = cr < 0 ? lf : (lf < 0 ? cr : std::min(cr, lf));
        if (i < 0) break;
        append(QByteArray(p + debut, i - debut));
        if (p[i] == '\r' && i + 1 < n && p[i + 1] == '\n') ++i;
        debut = i + 1;
    }
    if (debut < n) append(QByteArray(p + debut, n - debut));
}

QByteArray TMonStringList::Texte() const {
    QByteArray r;
    qsizetype taille = 0;
    for (const QByteArray& l : *this)
        taille += l.size() + 2;
    r.reserve(taille);
    for (const QByteArray& l : *this) {
        r += l;
        r += "\r\n";
    }
    return r;
}
