#include "bayes/texte_bayes.h"

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
    QByteArray r;
    r.reserve(n + 2);
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
                r.append(v.sliced(debut, ouvre - debut));
                r.append("\r\n");
            }
            i = ouvre + 1;
        } else {
            // A '>' outside a tag: the text starts after it.
            i = debut = ferme + 1;
        }
    }
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
        for (const QByteArray& l : plain) {
            r.append(l);
            r.append("\r\n");
        }
        r.append("\r\n");
    }
    finTexte = static_cast<int32_t>(r.size());
    if (!html.isEmpty()) r.append(texteVisibleHtml(html));
}

} // namespace bayes
