#pragma once
// Record lines of the data files: TAB-separated fields, escaped text fields,
// the lenient integer reader, comment and "VERSION=" skipping, CR LF ends.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstring>
#include <limits>

namespace champs {

// LF -> 0x01, CR -> 0x02, TAB -> 0x03, any other byte below 0x20 -> '_'.
QByteArray coder(QByteArrayView texte);
// 0x01 -> LF, 0x02 -> CR, 0x03 -> TAB.
QByteArray decoder(QByteArrayView texte);

// Reads the fields of one record line from left to right.
class TLecteurChamps {
public:
    explicit TLecteurChamps(QByteArrayView ligne) : m_ligne(ligne) {}
    // Skips blanks, TABs, CR and LF, takes an optional sign and decimal digits
    // (none reads as 0) and consumes one TAB after them. Saturates instead of overflowing.
    // Inline: the knowledge base reads millions of them at each load.
    qint64 lireEntier64() {
        const char* const d = m_ligne.data();
        const qsizetype n = m_ligne.size();
        qsizetype i = m_pos;
        while (i < n && static_cast<unsigned char>(d[i]) <= ' ' &&
               (d[i] == ' ' || d[i] == '\t' || d[i] == '\r' || d[i] == '\n'))
            ++i;
        bool negatif = false;
        if (i < n && (d[i] == '-' || d[i] == '+')) {
            negatif = d[i] == '-';
            ++i;
        }
        // Up to 18 digits cannot overflow; longer numbers take the saturating path.
        const qsizetype limite = n - i > 18 ? i + 18 : n;
        qint64 valeur = 0;
        while (i < limite && static_cast<unsigned char>(d[i] - '0') < 10)
            valeur = valeur * 10 + (d[i++] - '0');
        if (i < n && static_cast<unsigned char>(d[i] - '0') < 10) valeur = suiteSaturee(valeur, i);
        if (i < n && d[i] == '\t') ++i;
        m_pos = i;
        return negatif ? -valeur : valeur;
    }
    int lireEntier() { // same, saturated to the int range
        const qint64 v = lireEntier64();
        if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
        if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
        return static_cast<int>(v);
    }
    // Runs to the next TAB (consumed) or the end of the line; escapes decoded.
    QByteArray lireChaine();
    // Same without decoding the escapes.
    QByteArrayView lireBrut() {
        const qsizetype debut = m_pos;
        const char* const d = m_ligne.data();
        const auto* tab = static_cast<const char*>(
            debut < m_ligne.size() ? std::memchr(d + debut, '\t', size_t(m_ligne.size() - debut))
                                   : nullptr);
        if (!tab) {
            m_pos = m_ligne.size();
            return m_ligne.sliced(debut);
        }
        m_pos = (tab - d) + 1;
        return m_ligne.sliced(debut, (tab - d) - debut);
    }
    bool fin() const { return m_pos >= m_ligne.size(); }
    qsizetype position() const { return m_pos; }
    QByteArrayView reste() const { return m_ligne.sliced(m_pos); }

private:
    // The digits from `i` on, saturated at the qint64 maximum.
    qint64 suiteSaturee(qint64 valeur, qsizetype& i) const;

    QByteArrayView m_ligne;
    qsizetype m_pos = 0;
};

// Builds one record line: fields joined by TAB, ended by CR LF.
class TEcrivainChamps {
public:
    TEcrivainChamps& entier(qint64 valeur);
    TEcrivainChamps& chaine(QByteArrayView texte); // escaped
    TEcrivainChamps& brut(QByteArrayView texte);   // as is
    // The line with its CR LF; the writer is then empty again.
    QByteArray ligne();
    void ajouterA(QByteArray& sortie); // appends the line with its CR LF

private:
    void separer();
    QByteArray m_ligne;
    bool m_vide = true;
};

} // namespace champs

namespace fichierqdl {

// The three header lines of a versioned data file, each ended by CR LF.
QByteArray entete(int version);

// The data lines of a file: split on LF, a trailing CR dropped, empty lines and
// lines beginning with ';' skipped anywhere, and the first remaining line skipped
// when it begins with "VERSION=". The views point into `contenu`.
QList<QByteArrayView> lignesDonnees(QByteArrayView contenu);

} // namespace fichierqdl
