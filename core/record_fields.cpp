#include "core/record_fields.h"

#include <limits>

namespace champs {

QByteArray coder(QByteArrayView texte) {
    QByteArray r(texte.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const auto c = static_cast<unsigned char>(texte[i]);
        char o = texte[i];
        if (c == '\n')
            o = '\x01';
        else if (c == '\r')
            o = '\x02';
        else if (c == '\t')
            o = '\x03';
        else if (c < 0x20)
            o = '_';
        r[i] = o;
    }
    return r;
}

QByteArray decoder(QByteArrayView texte) {
    QByteArray r(texte.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < texte.size(); ++i) {
        char o = texte[i];
        if (o == '\x01')
            o = '\n';
        else if (o == '\x02')
            o = '\r';
        else if (o == '\x03')
            o = '\t';
        r[i] = o;
    }
    return r;
}

qint64 TLecteurChamps::suiteSaturee(qint64 valeur, qsizetype& i) const {
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    const qsizetype n = m_ligne.size();
    while (i < n && m_ligne[i] >= '0' && m_ligne[i] <= '9') {
        const int chiffre = m_ligne[i] - '0';
        valeur = valeur > (kMax - chiffre) / 10 ? kMax : valeur * 10 + chiffre;
        ++i;
    }
    return valeur;
}

QByteArray TLecteurChamps::lireChaine() {
    return decoder(lireBrut());
}

void TEcrivainChamps::separer() {
    if (!m_vide) m_ligne.append('\t');
    m_vide = false;
}

TEcrivainChamps& TEcrivainChamps::entier(qint64 valeur) {
    separer();
    m_ligne.append(QByteArray::number(valeur));
    return *this;
}

TEcrivainChamps& TEcrivainChamps::chaine(QByteArrayView texte) {
    separer();
    m_ligne.append(coder(texte));
    return *this;
}

TEcrivainChamps& TEcrivainChamps::brut(QByteArrayView texte) {
    separer();
    m_ligne.append(texte);
    return *this;
}

QByteArray TEcrivainChamps::ligne() {
    QByteArray r = std::move(m_ligne);
    r.append("\r\n");
    m_ligne.clear();
    m_vide = true;
    return r;
}

void TEcrivainChamps::ajouterA(QByteArray& sortie) {
    sortie.append(m_ligne);
    sortie.append("\r\n");
    m_ligne.clear();
    m_vide = true;
}

} // namespace champs

namespace fichierqdl {

QByteArray entete(int version) {
    // The French header lines are part of the file format (Windows-1252 bytes).
    QByteArray r;
    r.append("; Une ligne commen\xe7"
             "ant par ; est en commentaire\r\n");
    r.append("; Premi\xe8"
             "re ligne : indique la version (NE PAS MODIFIER)\r\n");
    r.append("VERSION=");
    r.append(QByteArray::number(version));
    r.append("\r\n");
    return r;
}

QList<QByteArrayView> lignesDonnees(QByteArrayView contenu) {
    QList<QByteArrayView> lignes;
    bool premiere = true;
    qsizetype pos = 0;
    const qsizetype n = contenu.size();
    while (pos < n) {
        qsizetype fin = contenu.indexOf('\n', pos);
        if (fin < 0) fin = n;
        QByteArrayView ligne = contenu.sliced(pos, fin - pos);
        pos = fin + 1;
        if (ligne.endsWith('\r')) ligne.chop(1);
        if (ligne.isEmpty() || ligne[0] == ';') continue;
        if (premiere) {
            premiere = false;
            if (ligne.startsWith("VERSION=")) continue;
        }
        lignes.append(ligne);
    }
    return lignes;
}

} // namespace fichierqdl
