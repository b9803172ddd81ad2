#include "mime/mon_string_list.h"

void TMonStringList::setTexte(QByteArrayView texte) {
    clear();
    qsizetype debut = 0;
    const qsizetype n = texte.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = texte[i];
        if (c != '\r' && c != '\n') continue;
        append(texte.sliced(debut, i - debut).toByteArray());
        if (c == '\r' && i + 1 < n && texte[i + 1] == '\n') ++i;
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
