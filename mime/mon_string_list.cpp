#include "mime/mon_string_list.h"

#include <algorithm>

void TMonStringList::setTexte(QByteArrayView texte) {
    clear();
    const qsizetype n = texte.size();
    // The next CR and LF, looked up with memchr: -1 when there is none further.
    qsizetype cr = -2, lf = -2;
    qsizetype debut = 0;
    for (;;) {
        if (cr != -1 && cr < debut) cr = texte.indexOf('\r', debut);
        if (lf != -1 && lf < debut) lf = texte.indexOf('\n', debut);
        qsizetype i = cr < 0 ? lf : (lf < 0 ? cr : std::min(cr, lf));
        if (i < 0) break;
        append(texte.sliced(debut, i - debut).toByteArray());
        if (texte[i] == '\r' && i + 1 < n && texte[i + 1] == '\n') ++i;
        debut = i + 1;
    }
    if (debut < n) append(texte.sliced(debut).toByteArray());
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
