#include "bayes/texte_bayes.h"

#include <cstring>

QByteArray PrefixeSujet(QByteArrayView sujet) {
    if (sujet.isEmpty()) return {};
    QByteArray r;
    r.reserve(2 * sujet.size() + 2);
    r.append(sujet);
    r.append("\r\n");
    r.append(sujet);
    return r;
}

namespace bayes {

bool plainSansTexte(const QByteArrayList& lignes) {
    if (lignes.size() > 3) return false;
    for (const QByteArray& l : lignes) {
        for (char c : l)
            if (static_cast<unsigned char>(c) > ' ') return false;
    }
    return true;
}

QByteArray texteVisibleHtml(const QByteArrayList& lignes) {
    const QByteArray s = lignes.join("\r\n");
    const QByteArrayView v(s);
    const qsizetype n = v.size();
    // Each run of text ends at a '<' it does not keep, so its CR LF adds at
    // most half the input: written in place, then cut.
    QByteArray r(n + n / 2 + 2, Qt::Uninitialized);
    char* sortie = r.data();
    qsizetype ecrits = 0;
    // The next '<' and '>' at or after i, looked up with memchr rather than
    // byte by byte: -1 when there is none further.
    qsizetype ouvre = -2, ferme = -2;
    qsizetype debut = 0;
    bool dansBalise = false;
    qsizetype i = 0;
    while (i < n) {
        if (ferme != -1 && ferme < i) ferme = v.indexOf('>', i);
        if (dansBalise) {
            // Only a '>' matters inside a tag.
            if (ferme < 0) break;
            dansBalise = false;
            i = debut = ferme + 1;
            continue;
        }
        // Line ends right where the text would start are not part of it.
        if (i == debut) {
            while (i < n && (v[i] == '\r' || v[i] == '\n'))
                ++i;
            debut = i;
            if (i >= n) break;
            if (ferme != -1 && ferme < i) ferme = v.indexOf('>', i);
        }
        if (ouvre != -1 && ouvre < i) ouvre = v.indexOf('<', i);
        if (ouvre < 0 && ferme < 0) break;
        if (ouvre >= 0 && (ferme < 0 || ouvre < ferme)) {
            dansBalise = true;
            if (debut < ouvre) {
                std::memcpy(sortie + ecrits, v.data() + debut, size_t(ouvre - debut));
                ecrits += ouvre - debut;
                sortie[ecrits++] = '\r';
                sortie[ecrits++] = '\n';
            }
            i = ouvre + 1;
        } else {
            // A '>' outside a tag: the text starts after it.
            i = debut = ferme + 1;
        }
    }
    r.truncate(ecrits);
    return r;
}

qsizetype tailleCorps(const QByteArrayList& plain, const QByteArrayList& html) {
    qsizetype taille = 4;
    for (const QByteArrayList* l : {&plain, &html})
        for (const QByteArray& v : *l)
            taille += v.size() + 2;
    return taille;
}

QByteArray assemblerTexte(const QByteArrayList& valeursEntete, const QByteArrayList& plain,
                          const QByteArrayList& html, int32_t& finTexte, int32_t& finEntetes) {
    QByteArray r;
    qsizetype taille = tailleCorps(plain, html);
    for (const QByteArray& v : valeursEntete)
        taille += v.size() + 2;
    r.reserve(taille);
    for (const QByteArray& v : valeursEntete) {
        r.append(v);
        r.append("\r\n");
    }
    ajouterCorps(r, plain, html, finTexte, finEntetes);
    return r;
}

void ajouterCorps(QByteArray& r, const QByteArrayList& plain, const QByteArrayList& html,
                  int32_t& finTexte, int32_t& finEntetes) {
    if (!r.isEmpty()) r.append("\r\n");
    finEntetes = static_cast<int32_t>(r.size());
    if (!plainSansTexte(plain)) {
        // Sized once and written in place: an append per line costs more than its copy.
        qsizetype n = r.size();
        qsizetype taille = n + 2;
        for (const QByteArray& l : plain)
            taille += l.size() + 2;
        r.resize(taille);
        char* d = r.data();
        for (const QByteArray& l : plain) {
            std::memcpy(d + n, l.constData(), size_t(l.size()));
            n += l.size();
            d[n++] = '\r';
            d[n++] = '\n';
        }
        d[n++] = '\r';
        d[n++] = '\n';
    }
    finTexte = static_cast<int32_t>(r.size());
    if (!html.isEmpty()) r.append(texteVisibleHtml(html));
}

} // namespace bayes
