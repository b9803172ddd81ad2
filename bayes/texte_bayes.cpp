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
    QByteArray r;
    r.reserve(s.size() + 2);
    qsizetype debut = 0;
    bool dansBalise = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '<') {
            if (!dansBalise) {
                dansBalise = true;
                if (debut < i) {
                    r.append(QByteArrayView(s).sliced(debut, i - debut));
                    r.append("\r\n");
                }
            }
        } else if (c == '>') {
            dansBalise = false;
            debut = i + 1;
        } else if ((c == '\r' || c == '\n') && i == debut) {
            debut = i + 1;
        }
    }
    return r;
}

QByteArray assemblerTexte(const QByteArrayList& valeursEntete, const QByteArrayList& plain,
                          const QByteArrayList& html, int32_t& finTexte, int32_t& finEntetes) {
    QByteArray r;
    qsizetype taille = 2;
    for (const QByteArrayList* l : {&valeursEntete, &plain, &html})
        for (const QByteArray& v : *l)
            taille += v.size() + 2;
    r.reserve(taille + 2);
    for (const QByteArray& v : valeursEntete) {
        r.append(v);
        r.append("\r\n");
    }
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
    return r;
}

} // namespace bayes
