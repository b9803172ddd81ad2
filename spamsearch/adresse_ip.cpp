#include "spamsearch/adresse_ip.h"

#include "core/cp1252.h"

#include <QVarLengthArray>

#include <vector>

namespace {

// One byte of an address in decimal, without QByteArray::number's generality:
// the header examination formats an address for every relay it meets.
char* ecrireOctetIP(char* p, unsigned v) {
    if (v >= 100) *p++ = char('0' + v / 100);
    if (v >= 10) *p++ = char('0' + v / 10 % 10);
    *p++ = char('0' + v % 10);
    return p;
}

QByteArray formaterIP(TAdresseIP ip, bool inverse) {
    char texte[16];
    char* p = texte;
    for (int i = 0; i < 4; ++i) {
        if (i) *p++ = '.';
        const int octet = inverse ? 3 - i : i;
        p = ecrireOctetIP(p, (ip >> (8 * octet)) & 0xFFu);
    }
    return QByteArray(texte, p - texte);
}

} // namespace

QByteArray IPVersChaine(TAdresseIP ip) {
    return formaterIP(ip, false);
}

QByteArray IPVersChaineInverse(TAdresseIP ip) {
    return formaterIP(ip, true);
}

TAdresseIP ChaineVersIP(QByteArrayView texte) {
    quint32 parts[4] = {0, 0, 0, 0};
    int nbPoints = 0;
    for (const char c : texte) {
        if (c == '.') {
            if (++nbPoints > 3) return 0;
        } else if (c >= '0' && c <= '9') {
            quint32& p = parts[nbPoints];
            if (p <= 255) p = p * 10 + quint32(c - '0'); // stays small: saturates above 255
        } else {
            break;
        }
    }
    if (nbPoints != 3) return 0;
    TAdresseIP ip = 0;
    for (int i = 0; i < 4; ++i) {
        if (parts[i] > 255) return 0;
        ip |= parts[i] << (8 * i);
    }
    return ip;
}

namespace {

bool lireBits(QByteArrayView texte, qint64& bits) {
    // A decimal integer with an optional sign, nothing else; saturated.
    qsizetype i = 0;
    bool negatif = false;
    if (i < texte.size() && (texte[i] == '+' || texte[i] == '-')) negatif = texte[i++] == '-';
    if (i >= texte.size()) return false;
    qint64 v = 0;
    for (; i < texte.size(); ++i) {
        const char c = texte[i];
        if (c < '0' || c > '9') return false;
        if (v < 1000000) v = v * 10 + (c - '0');
    }
    bits = negatif ? -v : v;
    return true;
}

bool correspondCIDR(QByteArrayView valeur, QByteArrayView motif) {
    const qsizetype barre = motif.indexOf('/');
    if (barre < 0) return false;
    qint64 bits = 0;
    if (!lireBits(motif.sliced(barre + 1).first(qMin<qsizetype>(10, motif.size() - barre - 1)),
                  bits))
        return false;
    const quint32 reseau = IPVersHote(ChaineVersIP(motif.sliced(5, barre - 5)));
    const TAdresseIP ip = ChaineVersIP(valeur);
    if (ip == 0) return false;
    const quint32 adresse = IPVersHote(ip);
    if (bits >= 32) return adresse == reseau;
    if (bits <= 0) return true;
    const quint32 masque = ~quint32(0) << (32 - bits);
    return (adresse & masque) == (reseau & masque);
}

enum class TJeton : quint8 { Etoile, Un, Chiffre, Consonne, Litteral };
struct TElement {
    TJeton type;
    char c;
};

bool estConsonne(char c) {
    const unsigned char m = cp1252::majuscule(static_cast<unsigned char>(c));
    if (m < 'A' || m > 'Z') return false;
    return m != 'A' && m != 'E' && m != 'I' && m != 'O' && m != 'U' && m != 'Y';
}

bool correspond(const TElement& e, char c) {
    switch (e.type) {
    case TJeton::Un:
        return true;
    case TJeton::Chiffre:
        return c >= '0' && c <= '9';
    case TJeton::Consonne:
        return estConsonne(c);
    case TJeton::Litteral:
        return e.c == c;
    case TJeton::Etoile:
        break;
    }
    return false;
}

// Every element other than a star matches exactly one byte, so the classic
// "remember the last star" walk is exact and never backtracks further than it.
bool correspondJoker(QByteArrayView valeur, QByteArrayView motif) {
    // A pattern that starts with a plain byte fails at once on another first
    // byte, without building its elements (most header lines of most lists).
    const char premier = motif.isEmpty() ? '*' : motif.front();
    if (premier != '\\' && premier != '*' && premier != '?' && premier != '#' &&
        static_cast<unsigned char>(premier) != 0xB5 &&
        (valeur.isEmpty() || valeur.front() != premier))
        return false;
    // On the stack for any ordinary pattern: one is built per tested value.
    QVarLengthArray<TElement, 128> elements;
    elements.reserve(motif.size());
    for (qsizetype i = 0; i < motif.size(); ++i) {
        const char c = motif[i];
        if (c == '\\' && i + 1 < motif.size()) {
            elements.push_back({TJeton::Litteral, motif[++i]});
        } else if (c == '*') {
            if (elements.empty() || elements.back().type != TJeton::Etoile)
                elements.push_back({TJeton::Etoile, 0});
        } else if (c == '?') {
            elements.push_back({TJeton::Un, 0});
        } else if (c == '#') {
            elements.push_back({TJeton::Chiffre, 0});
        } else if (static_cast<unsigned char>(c) == 0xB5) {
            elements.push_back({TJeton::Consonne, 0});
        } else {
            elements.push_back({TJeton::Litteral, c});
        }
    }
    const size_t n = elements.size();
    size_t p = 0;
    qsizetype v = 0;
    size_t etoile = size_t(-1);
    qsizetype reprise = 0;
    while (v < valeur.size()) {
        if (p < n && elements[p].type == TJeton::Etoile) {
            etoile = p++;
            reprise = v;
        } else if (p < n && correspond(elements[p], valeur[v])) {
            ++p;
            ++v;
        } else if (etoile != size_t(-1)) {
            p = etoile + 1;
            v = ++reprise;
        } else {
            return false;
        }
    }
    while (p < n && elements[p].type == TJeton::Etoile)
        ++p;
    return p == n;
}

} // namespace

bool CorrespondFiltre(QByteArrayView valeur, QByteArrayView motif, bool cidrAutorise) {
    if (motif.isEmpty()) return false;
    if (cidrAutorise && cp1252::commenceParSansCasse(motif, "cidr:"))
        return correspondCIDR(valeur, motif);
    return correspondJoker(valeur, motif);
}
