#include "spamsearch/message_dns.h"

namespace messagedns {
namespace {

quint16 lire16(QByteArrayView d, qsizetype pos) {
    return quint16((quint8(d[pos]) << 8) | quint8(d[pos + 1]));
}

void ecrire16(QByteArray& d, quint16 v) {
    d.append(char(v >> 8));
    d.append(char(v & 0xFF));
}

// Names compare without regard to ASCII case only, as DNS does: a byte above
// 0x7F is part of a label, not a letter, so the code page's mapping is wrong here.
char minuscule(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

// Reads a possibly compressed name starting at pos into `nom` (dotted, lower
// case). `suite` receives the offset after the name in the record. Pointers
// must go backwards, so no loop can form; the hop count is bounded as well.
bool lireNom(QByteArrayView d, qsizetype pos, QByteArray* nom, qsizetype& suite) {
    qsizetype p = pos;
    bool saute = false;
    int sauts = 0;
    qsizetype longueur = 0;
    for (;;) {
        if (p >= d.size()) return false;
        const quint8 l = quint8(d[p]);
        if (l == 0) {
            if (!saute) suite = p + 1;
            return true;
        }
        if ((l & 0xC0) == 0xC0) {
            if (p + 1 >= d.size()) return false;
            const qsizetype cible = ((l & 0x3F) << 8) | quint8(d[p + 1]);
            if (cible >= p || ++sauts > 64) return false;
            if (!saute) suite = p + 2;
            saute = true;
            p = cible;
            continue;
        }
        if ((l & 0xC0) != 0) return false; // reserved label types
        if (p + 1 + l > d.size()) return false;
        longueur += l + 1;
        if (longueur > 255) return false;
        if (nom) {
            if (!nom->isEmpty()) nom->append('.');
            for (qsizetype i = p + 1; i <= p + l; ++i)
                nom->append(minuscule(d[i]));
        }
        p += 1 + l;
    }
}

bool memesNoms(QByteArrayView a, QByteArrayView b) {
    if (a.endsWith('.')) a.chop(1);
    if (b.endsWith('.')) b.chop(1);
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (minuscule(a[i]) != minuscule(b[i])) return false;
    return true;
}

} // namespace

QByteArray construireRequete(quint16 identifiant, QByteArrayView nom) {
    if (nom.endsWith('.')) nom.chop(1);
    if (nom.isEmpty() || nom.size() > 253) return {};
    QByteArray d;
    d.reserve(int(nom.size()) + 18);
    ecrire16(d, identifiant);
    ecrire16(d, 0x0100); // standard query, recursion desired
    ecrire16(d, 1);      // one question
    ecrire16(d, 0);
    ecrire16(d, 0);
    ecrire16(d, 0);
    qsizetype debut = 0;
    while (debut <= nom.size()) {
        qsizetype fin = nom.indexOf('.', debut);
        if (fin < 0) fin = nom.size();
        const qsizetype l = fin - debut;
        if (l < 1 || l > 63) return {};
        d.append(char(l));
        d.append(nom.sliced(debut, l));
        debut = fin + 1;
    }
    d.append('\0');
    ecrire16(d, 1); // A
    ecrire16(d, 1); // IN
    return d;
}

TLecture lireReponse(QByteArrayView d, quint16 identifiant, QByteArrayView nom,
                     TReponseDNS& reponse) {
    reponse = TReponseDNS{};
    if (d.size() > kTailleMaxReponse) d = d.first(kTailleMaxReponse);
    if (d.size() < 12) return TLecture::Ignoree;
    if (lire16(d, 0) != identifiant) return TLecture::Ignoree;
    const quint16 drapeaux = lire16(d, 2);
    if ((drapeaux & 0x8000) == 0) return TLecture::Ignoree;
    if (lire16(d, 4) != 1) return TLecture::Ignoree;
    QByteArray question;
    qsizetype pos = 0;
    if (!lireNom(d, 12, &question, pos) || !memesNoms(question, nom)) return TLecture::Ignoree;
    if (pos + 4 > d.size() || lire16(d, pos) != 1 || lire16(d, pos + 2) != 1)
        return TLecture::Ignoree;
    pos += 4;

    reponse.codeRetour = drapeaux & 0x000F;
    if (reponse.codeRetour != 0) return TLecture::Reponse;
    const int annonces = qMin<int>(lire16(d, 6), kMaxEnregistrements);
    for (int i = 0; i < annonces; ++i) {
        qsizetype apres = 0;
        if (!lireNom(d, pos, nullptr, apres)) break;
        if (apres + 10 > d.size()) break;
        const quint16 type = lire16(d, apres);
        const quint16 classe = lire16(d, apres + 2);
        const quint16 taille = lire16(d, apres + 8);
        const qsizetype donnees = apres + 10;
        if (donnees + taille > d.size()) break;
        ++reponse.nbReponses;
        if (type == 1 && classe == 1 && taille == 4) {
            if (reponse.nbAdresses++ == 0) {
                reponse.premiereAdresse = TAdresseIP(quint8(d[donnees])) |
                                          (TAdresseIP(quint8(d[donnees + 1])) << 8) |
                                          (TAdresseIP(quint8(d[donnees + 2])) << 16) |
                                          (TAdresseIP(quint8(d[donnees + 3])) << 24);
            }
        }
        pos = donnees + taille;
    }
    return TLecture::Reponse;
}

} // namespace messagedns
