#include "spamsearch/cherche_spams.h"

#include <QDir>

TChercheSPAMs::TChercheSPAMs(QObject* parent) : QObject(parent) {
    m_planificateur.OnReponseDNS = [this](TUneRechercheDNS& x, bool partiel) {
        if (OnReponseDNS) OnReponseDNS(*this, x, partiel);
    };
    m_planificateur.OnTimeOut = [this](TUneRechercheDNS& x) {
        if (OnTimeOut) OnTimeOut(*this, x);
    };
    m_planificateur.OnInactif = [this] {
        ReduireRecherches();
        if (OnRecherchesTerminees) OnRecherchesTerminees(*this);
    };
}

TChercheSPAMs::~TChercheSPAMs() = default;

QString TChercheSPAMs::NomFichierListe(TListeFiltre liste) {
    return TListesFiltres::NomFichier(liste);
}

QString TChercheSPAMs::chemin(const QString& nom) const {
    return m_repDonnees + nom;
}

// ---------------------------------------------------------------- lifecycle

void TChercheSPAMs::setActive(bool actif) {
    if (actif == m_active) return;
    if (actif) {
        QString travail = QDir::currentPath() + QLatin1Char('/');
        QString installation = travail;
        if (OnInitRepertoire) OnInitRepertoire(*this, travail, installation);
        if (!travail.endsWith(QLatin1Char('/'))) travail += QLatin1Char('/');
        m_repTravail = travail;
        m_repDonnees = travail + QStringLiteral("Donnees/");
        m_repDossiers = travail + QStringLiteral("Dossiers/");
        QDir().mkpath(m_repDonnees);
        QDir().mkpath(m_repDossiers);
        ChargerServeurs();
        ChargerRecherches();
        ChargerListes();
        m_active = true;
    } else {
        SauverTout();
        m_active = false;
    }
}

void TChercheSPAMs::SauverTout() {
    if (m_repDonnees.isEmpty()) return;
    SauverServeurs();
    SauverRecherches();
    SauverListes();
}

// ---------------------------------------------------------------- lists

QByteArray TChercheSPAMs::Liste(TListeFiltre liste) const {
    return m_listes.Texte(liste);
}

void TChercheSPAMs::DefinirListe(TListeFiltre liste, QByteArrayView texte) {
    m_listes.Definir(liste, texte);
}

void TChercheSPAMs::ChargerListes() {
    m_listes.Charger(m_repDonnees);
}

void TChercheSPAMs::SauverListes() {
    m_listes.Sauver(m_repDonnees);
}

bool TChercheSPAMs::TesterListe(int type, QByteArrayView valeur) const {
    if (!OnTestRegExp) return m_listes.Tester(type, valeur, nullptr);
    auto* moi = const_cast<TChercheSPAMs*>(this);
    return m_listes.Tester(type, valeur, [moi](const QByteArray& v, const QByteArray& expression) {
        bool verifier = false;
        moi->OnTestRegExp(*moi, v, expression, verifier);
        return verifier;
    });
}

bool TChercheSPAMs::ListeRenseignee(int type) const {
    return m_listes.Renseignee(type);
}

bool TChercheSPAMs::EstIPInternet(TAdresseIP ip) {
    if (m_listes.Ignoree(ip)) return false;
    bool verifier = true;
    if (OnIPInternet) OnIPInternet(*this, ip, verifier);
    return verifier;
}

// ---------------------------------------------------------------- DNSBL servers

PUnDNS TChercheSPAMs::Serveur(int index) const {
    return m_serveurs.Serveur(index);
}

PUnDNS TChercheSPAMs::TrouverServeurNom(QByteArrayView nom) const {
    return m_serveurs.TrouverNom(nom);
}

PUnDNS TChercheSPAMs::TrouverServeurNumero(qint32 numero) const {
    return m_serveurs.TrouverNumero(numero);
}

qint32 TChercheSPAMs::PlusGrandNumero() const {
    return m_serveurs.PlusGrandNumero();
}

qint32 TChercheSPAMs::NumeroSuivant() {
    return m_serveurs.NumeroSuivant();
}

void TChercheSPAMs::setNumeroDNSMini(qint32 valeur) {
    m_serveurs.setNumeroMini(valeur);
}

void TChercheSPAMs::TrierServeurs() {
    m_serveurs.Trier();
}

PUnDNS TChercheSPAMs::AjouterServeur(const QByteArray& nom, const QByteArray& zone,
                                     const QList<QByteArray>& codes, bool actif) {
    return m_serveurs.Ajouter(nom, zone, codes, actif);
}

void TChercheSPAMs::SupprimerServeur(QByteArrayView nom) {
    PUnDNS s = m_serveurs.TrouverNom(nom);
    if (!s) return;
    m_cache.OublierServeur(s);
    const qint32 numero = s->Numero;
    m_serveurs.Retirer(s);
    if (OnServeurRetire) OnServeurRetire(*this, numero);
}

void TChercheSPAMs::ModifierServeur(PUnDNS serveur, const QByteArray& nom, const QByteArray& zone,
                                    const QList<QByteArray>& codes) {
    m_serveurs.Modifier(serveur, nom, zone, codes);
}

QString TChercheSPAMs::ErreurServeur(PUnDNS serveur, QByteArrayView nom,
                                     QByteArrayView zone) const {
    return m_serveurs.Erreur(serveur, nom, zone);
}

void TChercheSPAMs::DefinirActifServeur(PUnDNS serveur, bool actif) {
    if (!serveur || serveur->Actif == actif) return;
    serveur->Actif = actif;
    if (!actif && OnServeurRetire) OnServeurRetire(*this, serveur->Numero);
}

void TChercheSPAMs::AjusterCorrection(qint32 numero, bool versPasSpam) {
    m_serveurs.AjusterCorrection(numero, versPasSpam);
}

void TChercheSPAMs::RAZVitesse() {
    m_serveurs.RAZVitesse();
}

void TChercheSPAMs::RAZCompteurs() {
    m_serveurs.RAZCompteurs();
}

void TChercheSPAMs::ChargerServeurs() {
    // Records of the cache refer to servers of the table being replaced.
    m_cache.OublierServeurs();
    if (!m_repDonnees.isEmpty()) {
        QDir().mkpath(m_repDonnees);
        QDir().mkpath(m_repDossiers);
    }
    m_serveurs.Charger(chemin(QStringLiteral("dns.qdl")));
}

void TChercheSPAMs::SauverServeurs() {
    m_serveurs.Sauver(chemin(QStringLiteral("dns.qdl")));
}

// ---------------------------------------------------------------- DNS engine

PUneRechercheDNS TChercheSPAMs::ResultatIP(TAdresseIP ip, bool creer, bool* cree) {
    return m_cache.ResultatIP(ip, creer, cree);
}

void TChercheSPAMs::LancerRecherches() {
    m_planificateur.LancerRecherches();
}

// ---------------------------------------------------------------- IP test cache

PUneRechercheDNS TChercheSPAMs::Recherche(int index) const {
    return m_cache.Recherche(index);
}

void TChercheSPAMs::ReduireRecherches() {
    if (m_cache.Reduire() && OnReduireListeSpams) OnReduireListeSpams(*this);
}

void TChercheSPAMs::TrierRecherches() {
    m_cache.Trier();
}

void TChercheSPAMs::setTriRecherches(TTriRecherche tri) {
    if (tri == m_cache.Tri()) return;
    m_cache.setTri(tri);
    if (m_planificateur.NbSocketDNS() == 0) ReduireRecherches();
}

void TChercheSPAMs::SupprimerTestsIP(TAdresseIP ip) {
    m_cache.SupprimerTestsIP(ip);
}

bool TChercheSPAMs::TesterIP(QByteArrayView texte) {
    const TAdresseIP ip = ChaineVersIP(texte);
    if (ip == 0) return false;
    SupprimerTestsIP(ip);
    ResultatIP(ip, true);
    LancerRecherches();
    return true;
}

void TChercheSPAMs::ChargerRecherches() {
    // Working sockets let their records go before the records do.
    m_planificateur.LibererSockets();
    m_cache.Vider();
    m_cache.Charger(chemin(QStringLiteral("recherche.qdl")));
    ReduireRecherches();
}

void TChercheSPAMs::SauverRecherches() {
    m_cache.Sauver(chemin(QStringLiteral("recherche.qdl")));
}
