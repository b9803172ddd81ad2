#include "accounts/gestion_comptes_bis.h"

#include "core/config.h"
#include "core/cp1252.h"
#include "core/record_fields.h"
#include "core/safe_save.h"
#include "core/trace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

int TUnCompteBis::drapeaux() const {
    int d = 0;
    if (!FiltreIP) d |= drFiltreIPInactif;
    if (!FiltreBayes) d |= drFiltreBayesInactif;
    if (SupprimerSpam) d |= drSupprimerSpam;
    if (!ConfigGenerale) d |= drConfigParticuliere;
    if (Destinataire) d |= drDestinataire;
    return d;
}

void TUnCompteBis::poserDrapeaux(int valeur) {
    FiltreIP = !(valeur & drFiltreIPInactif);
    FiltreBayes = !(valeur & drFiltreBayesInactif);
    SupprimerSpam = valeur & drSupprimerSpam;
    ConfigGenerale = !(valeur & drConfigParticuliere);
    Destinataire = valeur & drDestinataire;
}

namespace {
QString avecSeparateur(QString rep) {
    if (!rep.isEmpty() && !rep.endsWith(QLatin1Char('/'))) rep += QLatin1Char('/');
    return rep;
}
} // namespace

void TGestionComptesBis::initialiserRepertoires() {
    if (m_repertoiresInitialises) return;
    m_repertoiresInitialises = true;
    m_repTravail = avecSeparateur(QDir::currentPath());
    m_repInstallation = m_repTravail;
    if (OnInitRepertoire) OnInitRepertoire(*this, m_repTravail, m_repInstallation);
    m_repTravail = avecSeparateur(m_repTravail);
    m_repInstallation = avecSeparateur(m_repInstallation);
}

QString TGestionComptesBis::RepertoireTravail() {
    initialiserRepertoires();
    return m_repTravail;
}
QString TGestionComptesBis::RepertoireDonnees() {
    return RepertoireTravail() + QStringLiteral("Donnees/");
}
QString TGestionComptesBis::RepertoireDossiers() {
    return RepertoireTravail() + QStringLiteral("Dossiers/");
}

void TGestionComptesBis::setActive(bool actif) {
    if (actif) {
        initialiserRepertoires();
        Charger();
    } else {
        Sauver();
    }
    m_actif = actif;
}

QByteArray TGestionComptesBis::Serialiser() const {
    QByteArray sortie = fichierqdl::entete(kVersionFichier);
    champs::TEcrivainChamps e;
    for (const auto& c : m_comptes) {
        e.entier(c->Numero)
            .chaine(c->Serveur)
            .chaine(c->Login)
            .entier(c->NbMessages)
            .entier(c->NbSpams)
            .entier(c->NbConnexions)
            .chaine(c->Nom)
            .entier(c->drapeaux())
            .chaine(c->Port)
            .chaine(c->EMail);
        e.ajouterA(sortie);
    }
    return sortie;
}

void TGestionComptesBis::Deserialiser(QByteArrayView contenu) {
    m_courant = nullptr;
    m_comptes.clear();
    for (QByteArrayView ligne : fichierqdl::lignesDonnees(contenu)) {
        champs::TLecteurChamps l(ligne);
        auto c = std::make_unique<TUnCompteBis>();
        c->Numero = l.lireEntier();
        c->Serveur = l.lireChaine();
        c->Login = l.lireChaine();
        c->NbMessages = l.lireEntier();
        c->NbSpams = l.lireEntier();
        c->NbConnexions = l.lireEntier();
        c->Nom = l.lireChaine();
        c->poserDrapeaux(l.lireEntier());
        c->Port = l.lireChaine();
        c->EMail = cp1252::minuscules(l.lireChaine().trimmed());
        if (c->Nom.isEmpty()) c->Nom = c->nomParDefaut();
        m_comptes.push_back(std::move(c));
    }
    Trier();
}

bool TGestionComptesBis::Charger() {
    const QString chemin = CheminFichier();
    QDir().mkpath(RepertoireDonnees());
    m_courant = nullptr;
    m_comptes.clear();
    QByteArray contenu;
    bool depuisBak = false;
    // An unreadable file is kept: the list stays empty and no save replaces it.
    switch (m_fichier.Lire(chemin, contenu, nullptr, &depuisBak)) {
    case sauvegarde::TEtatLecture::Absent:
        return true;
    case sauvegarde::TEtatLecture::Illisible:
        return false;
    case sauvegarde::TEtatLecture::Lu:
        break;
    }
    if (depuisBak)
        Trace(QLatin1String(kNomFichier) + QStringLiteral(" : ") +
              QFileInfo(sauvegarde::cheminBak(chemin)).fileName());
    Deserialiser(contenu);
    return true;
}

bool TGestionComptesBis::Sauver() {
    if (IgnoreModif) return true;
    QDir().mkpath(RepertoireDonnees());
    QString erreur;
    if (!m_fichier.Sauver(CheminFichier(), Serialiser(), &erreur)) {
        // A refusal for an unreadable file is traced by the file itself.
        if (!m_fichier.Protege()) TraceException(QString::fromLatin1(kNomFichier), erreur);
        return false;
    }
    return true;
}

void TGestionComptesBis::Trier() {
    std::stable_sort(m_comptes.begin(), m_comptes.end(), [](const auto& a, const auto& b) {
        const int c = cp1252::comparerSansCasse(a->Nom, b->Nom);
        if (c != 0) return c < 0;
        return a->Numero < b->Numero;
    });
}

PUnCompteBis TGestionComptesBis::Chercher(QByteArrayView serveur, QByteArrayView login) const {
    for (const auto& c : m_comptes)
        if (c->Serveur == serveur && c->Login == login) return c.get();
    return nullptr;
}

qint32 TGestionComptesBis::NumeroCompteMini() const {
    qint32 n = m_numeroMini;
    for (const auto& c : m_comptes)
        n = std::max(n, c->Numero);
    return n;
}

bool TGestionComptesBis::archiveExiste(qint32 numero) {
    const QString base = RepertoireDossiers() + QString::number(numero);
    return QFileInfo::exists(base) || QFileInfo::exists(base + QStringLiteral("-var.qdl")) ||
           QFileInfo::exists(base + QStringLiteral("-fix.qdl"));
}

qint32 TGestionComptesBis::ProchainNumero() {
    qint32 n = NumeroCompteMini();
    do {
        if (n == INT32_MAX) break;
        ++n;
    } while (archiveExiste(n));
    // Remember the number itself, so a deleted last account is never reused.
    m_numeroMini = n;
    return n;
}

PUnCompteBis TGestionComptesBis::ChercherOuCreer(QByteArrayView serveur, QByteArrayView login) {
    PUnCompteBis c = Chercher(serveur, login);
    const bool cree = !c;
    if (cree) {
        auto nouveau = std::make_unique<TUnCompteBis>();
        nouveau->Numero = ProchainNumero();
        nouveau->Serveur = serveur.toByteArray();
        nouveau->Login = login.toByteArray();
        nouveau->Nom = nouveau->nomParDefaut();
        c = nouveau.get();
        m_comptes.push_back(std::move(nouveau));
    }
    Trier();
    // A crash before the next save would hand this number out again.
    if (cree && m_actif) Sauver();
    return c;
}

PUnCompteBis TGestionComptesBis::Connexion(QByteArrayView serveur, QByteArrayView login) {
    PUnCompteBis c = ChercherOuCreer(serveur, login);
    m_courant = c;
    if (c->NbConnexions < INT32_MAX) ++c->NbConnexions;
    return c;
}

void TGestionComptesBis::CompterMessage(bool spam) {
    if (!m_courant) return;
    if (m_courant->NbMessages < INT32_MAX) ++m_courant->NbMessages;
    if (spam && m_courant->NbSpams < INT32_MAX) ++m_courant->NbSpams;
}

void TGestionComptesBis::Retenir(PUnCompteBis compte) {
    if (compte) ++m_utilisations[compte->Numero];
}

void TGestionComptesBis::Relacher(PUnCompteBis compte) {
    if (!compte) return;
    auto it = m_utilisations.find(compte->Numero);
    if (it == m_utilisations.end()) return;
    if (--it.value() <= 0) m_utilisations.erase(it);
}

bool TGestionComptesBis::Supprimer(qint32 numero) {
    if (m_utilisations.value(numero) > 0) return false;
    auto it = std::find_if(m_comptes.begin(), m_comptes.end(),
                           [numero](const auto& c) { return c->Numero == numero; });
    if (it == m_comptes.end()) return false;
    if (m_courant == it->get()) m_courant = nullptr;
    m_comptes.erase(it);
    // Errors while removing the archive are ignored.
    const QString dossiers = RepertoireDossiers();
    const QString n = QString::number(numero);
    QFile::remove(dossiers + n + QStringLiteral("-var.qdl"));
    QFile::remove(dossiers + n + QStringLiteral("-fix.qdl"));
    QDir dossier(dossiers + n);
    if (dossier.exists()) dossier.removeRecursively();
    return true;
}

PUnCompteBis TGestionComptesBis::Compte(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return m_comptes[size_t(index)].get();
}

QByteArray TGestionComptesBis::PortEffectif(const TUnCompteBis* compte) {
    if (compte && !compte->ConfigGenerale && !compte->Port.isEmpty()) return compte->Port;
    if (!Config().PortMail.isEmpty()) return Config().PortMail;
    return QByteArrayLiteral("pop3");
}

bool TGestionComptesBis::SupprimerSpamEffectif(const TUnCompteBis* compte) {
    if (compte && !compte->ConfigGenerale) return compte->SupprimerSpam;
    return Config().SupprimerSpam;
}
