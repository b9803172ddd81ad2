#include "spamsearch/listes_filtres.h"

#include "core/trace.h"
#include "i18n/resources.h"

namespace {

const char* const kNomsFichiers[lfNombre] = {
    "listenoire-ip.qdl",         "listenoire-mail.qdl",        "listenoire-mail-re.qdl",
    "listenoire-sujet.qdl",      "listenoire-sujet-re.qdl",    "listeblanche-ip.qdl",
    "listeblanche-mail.qdl",     "listeblanche-mail-re.qdl",   "listeblanche-sujet.qdl",
    "listeblanche-sujet-re.qdl", "listenoire-entete.qdl",      "listenoire-entete-re.qdl",
    "listeblanche-entete.qdl",   "listeblanche-entete-re.qdl", "ignorer-ip.qdl"};

// Plain and expression list of each kind; -1 where there is none.
struct TListesType {
    int simple;
    int regexp;
};
TListesType listesDuType(int type) {
    switch (type) {
    case tlNoireIP:
        return {lfNoireIP, -1};
    case tlNoireEmetteur:
        return {lfNoireEmetteur, lfNoireEmetteurRegExp};
    case tlNoireSujet:
        return {lfNoireSujet, lfNoireSujetRegExp};
    case tlBlancheIP:
        return {lfBlancheIP, -1};
    case tlBlancheEmetteur:
        return {lfBlancheEmetteur, lfBlancheEmetteurRegExp};
    case tlBlancheSujet:
        return {lfBlancheSujet, lfBlancheSujetRegExp};
    case tlNoireEntete:
        return {lfNoireEntete, lfNoireEnteteRegExp};
    case tlBlancheEntete:
        return {lfBlancheEntete, lfBlancheEnteteRegExp};
    default:
        return {-1, -1};
    }
}

} // namespace

QList<QByteArray> TListesFiltres::DecouperLignes(QByteArrayView texte) {
    QList<QByteArray> lignes;
    qsizetype debut = 0;
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const char c = texte[i];
        if (c != '\r' && c != '\n') continue;
        lignes.append(texte.sliced(debut, i - debut).toByteArray());
        if (c == '\r' && i + 1 < texte.size() && texte[i + 1] == '\n') ++i;
        debut = i + 1;
    }
    if (debut < texte.size()) lignes.append(texte.sliced(debut).toByteArray());
    return lignes;
}

QString TListesFiltres::NomFichier(TListeFiltre liste) {
    return QString::fromLatin1(kNomsFichiers[liste]);
}

QByteArray TListesFiltres::Texte(TListeFiltre liste) const {
    QByteArray texte;
    for (const QByteArray& l : m_listes[liste])
        texte.append(l).append("\r\n");
    return texte;
}

void TListesFiltres::Definir(TListeFiltre liste, QByteArrayView texte) {
    m_listes[liste] = DecouperLignes(texte);
}

void TListesFiltres::Charger(const QString& repDonnees) {
    for (int i = 0; i < lfNombre; ++i) {
        QList<QByteArray>& liste = m_listes[size_t(i)];
        liste.clear();
        QByteArray contenu;
        switch (m_fichiers[size_t(i)].Lire(repDonnees + NomFichier(TListeFiltre(i)), contenu)) {
        case sauvegarde::TEtatLecture::Lu:
            liste = DecouperLignes(contenu);
            break;
        case sauvegarde::TEtatLecture::Illisible:
        case sauvegarde::TEtatLecture::Absent:
            if (i == lfIgnorerIP) liste = {"127.*", "10.*", "192.168.*"};
            break;
        }
    }
}

void TListesFiltres::Sauver(const QString& repDonnees) {
    for (int i = 0; i < lfNombre; ++i) {
        TFichierProtege& fichier = m_fichiers[size_t(i)];
        const QString nom = NomFichier(TListeFiltre(i));
        fichier.SauverOuTracer(repDonnees + nom, Texte(TListeFiltre(i)));
    }
}

bool TListesFiltres::Tester(int type, QByteArrayView valeur,
                            const TTesteurRegExp& testerRegExp) const {
    const TListesType l = listesDuType(type);
    if (l.simple < 0) return false;
    const bool cidr = type == tlNoireIP || type == tlBlancheIP;
    for (const QByteArray& motif : m_listes[size_t(l.simple)])
        if (CorrespondFiltre(valeur, motif, cidr)) return true;
    if (l.regexp >= 0 && testerRegExp && !m_listes[size_t(l.regexp)].isEmpty()) {
        const QByteArray v = valeur.toByteArray();
        for (const QByteArray& expression : m_listes[size_t(l.regexp)])
            if (testerRegExp(v, expression)) return true;
    }
    return false;
}

bool TListesFiltres::Renseignee(int type) const {
    const TListesType l = listesDuType(type);
    if (l.simple < 0) return false;
    if (!m_listes[size_t(l.simple)].isEmpty()) return true;
    return l.regexp >= 0 && !m_listes[size_t(l.regexp)].isEmpty();
}

bool TListesFiltres::Ignoree(TAdresseIP ip) const {
    const QByteArray texte = IPVersChaine(ip);
    for (const QByteArray& motif : m_listes[lfIgnorerIP])
        if (CorrespondFiltre(texte, motif, true)) return true;
    return false;
}
