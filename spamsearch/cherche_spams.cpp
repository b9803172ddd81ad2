#include "spamsearch/cherche_spams.h"

#include "core/record_fields.h"
#include "core/safe_save.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "spamsearch/regexp_filtre.h"
#include "spamsearch/socket_dns.h"

#include <QDir>
#include <algorithm>
#include <limits>

namespace {

constexpr int kVersionFichier = 1;
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

QList<QByteArray> decouperLignes(QByteArrayView texte) {
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

QByteArray minusculesAscii(QByteArrayView s) {
    QByteArray r = s.toByteArray();
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return r;
}

void traceException(const char* lieu, const std::exception& e) {
    Trace(QStringLiteral("Exception : ") + QLatin1String(lieu) + QStringLiteral(" : ") +
          QString::fromUtf8(e.what()));
}

QList<QByteArray> codesDe(std::initializer_list<const char*> codes) {
    QList<QByteArray> l;
    for (const char* c : codes)
        l.append(QByteArray(c));
    return l;
}

} // namespace

TChercheSPAMs::TChercheSPAMs(QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        try {
            LancerRecherches();
        } catch (const std::exception& e) {
            traceException("TChercheSPAMs.Timer", e);
        }
    });
}

TChercheSPAMs::~TChercheSPAMs() {
    m_timer.stop();
    for (TWSocketDNS* s : m_socketsTravail)
        s->OnTermine = nullptr;
    // The sockets are children of this object and go with it.
    m_socketsTravail.clear();
    m_socketsLibres.clear();
    m_recherches.clear();
    m_serveurs.clear();
}

QString TChercheSPAMs::NomFichierListe(TListeFiltre liste) {
    return QString::fromLatin1(kNomsFichiers[liste]);
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
    QByteArray texte;
    for (const QByteArray& l : m_listes[size_t(liste)])
        texte.append(l).append("\r\n");
    return texte;
}

void TChercheSPAMs::DefinirListe(TListeFiltre liste, QByteArrayView texte) {
    m_listes[size_t(liste)] = decouperLignes(texte);
}

void TChercheSPAMs::ChargerListes() {
    for (int i = 0; i < lfNombre; ++i) {
        QList<QByteArray>& liste = m_listes[size_t(i)];
        liste.clear();
        m_listeProtegee[size_t(i)] = false;
        QByteArray contenu;
        QString erreur;
        const QString nom = NomFichierListe(TListeFiltre(i));
        switch (sauvegarde::lire(chemin(nom), contenu, &erreur)) {
        case sauvegarde::TEtatLecture::Lu:
            liste = decouperLignes(contenu);
            break;
        case sauvegarde::TEtatLecture::Illisible:
            // Kept as it is: the next save must not replace it with nothing.
            m_listeProtegee[size_t(i)] = true;
            Trace(Res("cspam01", u"Fichier illisible, conservé : %s")
                      .replace(QStringLiteral("%s"), nom) +
                  QStringLiteral(" (") + erreur + QLatin1Char(')'));
            [[fallthrough]];
        case sauvegarde::TEtatLecture::Absent:
            if (i == lfIgnorerIP) liste = codesDe({"127.*", "10.*", "192.168.*"});
            break;
        }
    }
}

void TChercheSPAMs::SauverListes() {
    for (int i = 0; i < lfNombre; ++i) {
        const QString nom = NomFichierListe(TListeFiltre(i));
        if (m_listeProtegee[size_t(i)]) {
            Trace(Res("cspam02", u"Fichier non enregistré, il n'a pas pu être lu : %s")
                      .replace(QStringLiteral("%s"), nom));
            continue;
        }
        QString erreur;
        if (!sauvegarde::sauver(chemin(nom), Liste(TListeFiltre(i)), &erreur))
            Trace(Res("cspam03", u"Erreur d'écriture de %s : ").replace(QStringLiteral("%s"), nom) +
                  erreur);
    }
}

bool TChercheSPAMs::TesterListe(int type, QByteArrayView valeur) const {
    const TListesType l = listesDuType(type);
    if (l.simple < 0) return false;
    const bool cidr = type == tlNoireIP || type == tlBlancheIP;
    for (const QByteArray& motif : m_listes[size_t(l.simple)])
        if (::CorrespondFiltre(valeur, motif, cidr)) return true;
    if (l.regexp >= 0 && OnTestRegExp) {
        const QByteArray v = valeur.toByteArray();
        auto* moi = const_cast<TChercheSPAMs*>(this);
        for (const QByteArray& expression : m_listes[size_t(l.regexp)]) {
            bool verifier = false;
            OnTestRegExp(*moi, v, expression, verifier);
            if (verifier) return true;
        }
    }
    return false;
}

bool TChercheSPAMs::ListeRenseignee(int type) const {
    const TListesType l = listesDuType(type);
    if (l.simple < 0) return false;
    if (!m_listes[size_t(l.simple)].isEmpty()) return true;
    return l.regexp >= 0 && !m_listes[size_t(l.regexp)].isEmpty();
}

bool TChercheSPAMs::EstIPInternet(TAdresseIP ip) {
    const QByteArray texte = IPVersChaine(ip);
    for (const QByteArray& motif : m_listes[lfIgnorerIP])
        if (::CorrespondFiltre(texte, motif, true)) return false;
    bool verifier = true;
    if (OnIPInternet) OnIPInternet(*this, ip, verifier);
    return verifier;
}

// ---------------------------------------------------------------- DNSBL servers

PUnDNS TChercheSPAMs::Serveur(int index) const {
    if (index < 0 || size_t(index) >= m_serveurs.size()) return nullptr;
    return m_serveurs[size_t(index)].get();
}

PUnDNS TChercheSPAMs::TrouverServeurNom(QByteArrayView nom) const {
    const QByteArray cherche = minusculesAscii(nom);
    for (const auto& s : m_serveurs)
        if (minusculesAscii(s->Nom) == cherche) return s.get();
    return nullptr;
}

PUnDNS TChercheSPAMs::TrouverServeurNumero(qint32 numero) const {
    for (const auto& s : m_serveurs)
        if (s->Numero == numero) return s.get();
    return nullptr;
}

qint32 TChercheSPAMs::PlusGrandNumero() const {
    qint32 n = 0;
    for (const auto& s : m_serveurs)
        n = qMax(n, s->Numero);
    return n;
}

qint32 TChercheSPAMs::NumeroSuivant() {
    const qint64 plusGrand = PlusGrandNumero();
    qint64 n = qMax<qint64>(1, qMax<qint64>(plusGrand + 1, qint64(m_numeroDNSMini) + 1));
    n = qMin<qint64>(n, std::numeric_limits<qint32>::max());
    m_numeroDNSMini = qint32(n - 1);
    return qint32(n);
}

void TChercheSPAMs::setNumeroDNSMini(qint32 valeur) {
    NumeroSuivant();
    if (valeur > m_numeroDNSMini) m_numeroDNSMini = valeur;
}

void TChercheSPAMs::TrierServeurs() {
    std::stable_sort(m_serveurs.begin(), m_serveurs.end(), [](const auto& a, const auto& b) {
        return minusculesAscii(a->Nom) < minusculesAscii(b->Nom);
    });
}

PUnDNS TChercheSPAMs::AjouterServeur(const QByteArray& nom, const QByteArray& zone,
                                     const QList<QByteArray>& codes, bool actif) {
    if (TrouverServeurNom(nom)) return nullptr;
    auto s = std::make_unique<TUnDNS>();
    s->Numero = NumeroSuivant();
    s->Nom = nom;
    s->Zone = zone;
    s->Codes = codes;
    s->Actif = actif;
    PUnDNS p = s.get();
    m_serveurs.push_back(std::move(s));
    TrierServeurs();
    return p;
}

void TChercheSPAMs::SupprimerServeur(QByteArrayView nom) {
    PUnDNS s = TrouverServeurNom(nom);
    if (!s) return;
    std::vector<bool> aSupprimer(m_recherches.size(), false);
    for (size_t i = 0; i < m_recherches.size(); ++i) {
        TUneRechercheDNS& r = *m_recherches[i];
        if (r.Serveur != s) continue;
        if (r.Etat == erPasCherche)
            aSupprimer[i] = true;
        else
            r.Serveur = nullptr;
    }
    supprimerRecherches(aSupprimer);
    const qint32 numero = s->Numero;
    m_serveurs.erase(std::find_if(m_serveurs.begin(), m_serveurs.end(),
                                  [s](const auto& p) { return p.get() == s; }));
    if (OnServeurRetire) OnServeurRetire(*this, numero);
}

void TChercheSPAMs::ModifierServeur(PUnDNS serveur, const QByteArray& nom, const QByteArray& zone,
                                    const QList<QByteArray>& codes) {
    if (!serveur) return;
    serveur->Nom = nom;
    serveur->Zone = zone;
    serveur->Codes = codes;
    TrierServeurs();
}

QString TChercheSPAMs::ErreurServeur(PUnDNS serveur, QByteArrayView nom,
                                     QByteArrayView zone) const {
    if (nom.trimmed().isEmpty() || zone.trimmed().isEmpty())
        return Res("cdns01", u"Le nom et l'adresse sont obligatoires");
    const bool memeNom =
        serveur && minusculesAscii(serveur->Nom) == minusculesAscii(nom) && serveur->Nom == nom;
    if (!memeNom) {
        PUnDNS autre = TrouverServeurNom(nom);
        if (autre && autre != serveur) return Res("cdns02", u"Un serveur existe déja avec ce nom");
    }
    return {};
}

void TChercheSPAMs::DefinirActifServeur(PUnDNS serveur, bool actif) {
    if (!serveur || serveur->Actif == actif) return;
    serveur->Actif = actif;
    if (!actif && OnServeurRetire) OnServeurRetire(*this, serveur->Numero);
}

void TChercheSPAMs::AjusterCorrection(qint32 numero, bool versPasSpam) {
    PUnDNS s = TrouverServeurNumero(numero);
    if (!s) return;
    if (versPasSpam) {
        if (s->NbCorrection < std::numeric_limits<qint32>::max()) ++s->NbCorrection;
    } else if (s->NbCorrection > 0) {
        --s->NbCorrection;
    }
}

void TChercheSPAMs::RAZVitesse() {
    for (auto& s : m_serveurs) {
        s->TempsRAZ = 0;
        s->NbTestRAZ = 0;
    }
}

void TChercheSPAMs::RAZCompteurs() {
    for (auto& s : m_serveurs) {
        s->NbTest = s->NbSpam = s->NbFauxPositif = s->NbTimeOut = s->NbCorrection = 0;
        s->TempsRAZ = 0;
        s->NbTestRAZ = 0;
    }
}

void TChercheSPAMs::remplirServeursDefaut() {
    // Zones of services that no longer exist lie under ".invalid": a zone that
    // changes hands may answer for every address and list the whole Internet.
    struct TDefaut {
        const char* nom;
        const char* zone;
        bool actif;
        QList<QByteArray> codes;
    };
    QList<QByteArray> ahbl;
    for (int i = 2; i <= 13; ++i)
        ahbl.append("127.0.0." + QByteArray::number(i));
    ahbl.append("127.0.0.127");
    QList<QByteArray> fiveTen{"127.0.0.2"};
    for (int i = 4; i <= 12; ++i)
        fiveTen.append("127.0.0." + QByteArray::number(i));
    const TDefaut defauts[] = {
        {"Spamhaus SBL+XBL", "sbl-xbl.spamhaus.org", true,
         codesDe({"127.0.0.2", "127.0.0.4", "127.0.0.5", "127.0.0.6"})},
        {"CHI-KOR", "chi-kor.invalid", true, // service closed
         codesDe({"127.0.0.156", "127.0.1.152", "127.0.1.154"})},
        {"DSBL", "list.dsbl.invalid", true, codesDe({"127.0.0.2"})},         // closed
        {"SPEWS", "spews.invalid", false, codesDe({"127.0.0.2"})},           // closed
        {"dsbu", "unconfirmed.dsbl.invalid", false, codesDe({"127.0.0.2"})}, // closed
        // Only 127.0.0.2 means listed: queries that come through a public or
        // rate-limited resolver are answered 127.255.255.x, which would
        // otherwise mark nearly every message as spam.
        {"cbl", "cbl.abuseat.org", true, codesDe({"127.0.0.2"})},
        {"ahbl", "dnsbl.ahbl.invalid", true, ahbl},                       // closed
        {"Five-Ten-SG", "blackholes.five-ten-sg.invalid", true, fiveTen}, // closed
        {"Messagelabs", "messagelabs.invalid", true, {}},                 // no public zone
        {"psbl", "psbl.surriel.com", true, codesDe({"127.0.0.2"})},
        {"drblv", "drblv.invalid", true, codesDe({"127.0.0.2"})}, // closed
    };
    for (const TDefaut& d : defauts)
        AjouterServeur(QByteArray(d.nom), QByteArray(d.zone), d.codes, d.actif);
}

void TChercheSPAMs::ChargerServeurs() {
    for (auto& r : m_recherches)
        r->Serveur = nullptr;
    m_serveurs.clear();
    m_serveursProteges = false;
    if (!m_repDonnees.isEmpty()) {
        QDir().mkpath(m_repDonnees);
        QDir().mkpath(m_repDossiers);
    }
    QByteArray contenu;
    QString erreur;
    const QString fichier = chemin(QStringLiteral("dns.qdl"));
    switch (sauvegarde::lire(fichier, contenu, &erreur)) {
    case sauvegarde::TEtatLecture::Lu:
        for (QByteArrayView ligne : fichierqdl::lignesDonnees(contenu)) {
            champs::TLecteurChamps l(ligne);
            auto s = std::make_unique<TUnDNS>();
            s->Numero = l.lireEntier();
            s->Nom = l.lireChaine();
            s->Zone = l.lireChaine();
            s->NbTest = l.lireEntier();
            s->NbSpam = l.lireEntier();
            s->NbFauxPositif = l.lireEntier();
            s->NbTimeOut = l.lireEntier();
            const int nbCodes = l.lireEntier();
            // A damaged count cannot make us read past the line.
            for (int i = 0; i < nbCodes && !l.fin(); ++i)
                s->Codes.append(l.lireChaine());
            s->NbCorrection = l.lireEntier();
            s->Actif = (l.lireEntier() % 2) == 0;
            m_serveurs.push_back(std::move(s));
        }
        break;
    case sauvegarde::TEtatLecture::Illisible:
        m_serveursProteges = true;
        Trace(Res("cspam01", u"Fichier illisible, conservé : %s")
                  .replace(QStringLiteral("%s"), QStringLiteral("dns.qdl")) +
              QStringLiteral(" (") + erreur + QLatin1Char(')'));
        break;
    case sauvegarde::TEtatLecture::Absent:
        break;
    }
    if (m_serveurs.empty()) remplirServeursDefaut();
    TrierServeurs();
}

void TChercheSPAMs::SauverServeurs() {
    if (m_serveursProteges) {
        Trace(Res("cspam02", u"Fichier non enregistré, il n'a pas pu être lu : %s")
                  .replace(QStringLiteral("%s"), QStringLiteral("dns.qdl")));
        return;
    }
    QByteArray contenu = fichierqdl::entete(kVersionFichier);
    champs::TEcrivainChamps e;
    for (const auto& s : m_serveurs) {
        e.entier(s->Numero).chaine(s->Nom).chaine(s->Zone);
        e.entier(s->NbTest).entier(s->NbSpam).entier(s->NbFauxPositif).entier(s->NbTimeOut);
        e.entier(s->Codes.size());
        for (const QByteArray& c : s->Codes)
            e.chaine(c);
        e.brut({}).entier(s->NbCorrection).entier(s->Actif ? 0 : 1);
        e.ajouterA(contenu);
    }
    QString erreur;
    if (!sauvegarde::sauver(chemin(QStringLiteral("dns.qdl")), contenu, &erreur))
        Trace(Res("cspam03", u"Erreur d'écriture de %s : ")
                  .replace(QStringLiteral("%s"), QStringLiteral("dns.qdl")) +
              erreur);
}

// ---------------------------------------------------------------- DNS engine

PUneRechercheDNS TChercheSPAMs::ResultatIP(TAdresseIP ip, bool creer, bool* cree) {
    if (cree) *cree = false;
    size_t i = 0;
    while (i < m_recherches.size() && m_recherches[i]->IP != ip)
        ++i;
    if (i == m_recherches.size()) {
        if (creer) {
            for (const auto& s : m_serveurs) {
                if (!s->Actif) continue;
                auto r = std::make_unique<TUneRechercheDNS>();
                r->IP = ip;
                r->Serveur = s.get();
                m_recherches.push_back(std::move(r));
            }
            if (cree) *cree = true;
        }
        return nullptr;
    }
    PUneRechercheDNS resultat = m_recherches[i].get();
    if (resultat->Etat == erSpam) return resultat;
    for (++i; i < m_recherches.size() && m_recherches[i]->IP == ip; ++i) {
        PUneRechercheDNS r = m_recherches[i].get();
        if (r->Etat == erPasCherche || r->Etat == erEnCours) {
            resultat = r;
        } else if (r->Etat == erSpam) {
            return r;
        } else if (r->Etat == erPasSpam) {
            if (resultat->Etat == erTimeOut || resultat->Etat == erAbandon) resultat = r;
        }
    }
    return resultat;
}

void TChercheSPAMs::setFreeSocket(bool valeur) {
    m_freeSocket = valeur;
    if (valeur) {
        for (TWSocketDNS* s : m_socketsLibres)
            s->deleteLater();
        m_socketsLibres.clear();
    }
}

TWSocketDNS* TChercheSPAMs::prendreSocket() {
    TWSocketDNS* s = nullptr;
    if (!m_socketsLibres.empty()) {
        s = m_socketsLibres.back();
        m_socketsLibres.pop_back();
    } else {
        s = new TWSocketDNS(this);
        s->OnTermine = [this](TWSocketDNS& socket, int erreur,
                              const messagedns::TReponseDNS& reponse) {
            try {
                finTentative(socket, erreur, reponse);
            } catch (const std::exception& e) {
                traceException("TChercheSPAMs.DnsLookupDone", e);
            }
        };
    }
    m_socketsTravail.push_back(s);
    m_picSockets = qMax(m_picSockets, int(m_socketsTravail.size()));
    return s;
}

void TChercheSPAMs::libererSocket(TWSocketDNS* socket) {
    m_socketsTravail.erase(std::find(m_socketsTravail.begin(), m_socketsTravail.end(), socket));
    socket->abandonner();
    socket->Recherche = nullptr;
    if (m_freeSocket)
        socket->deleteLater(); // never inside its own event
    else
        m_socketsLibres.push_back(socket);
}

void TChercheSPAMs::compterTentative(TWSocketDNS& socket) {
    PUneRechercheDNS r = socket.Recherche;
    if (!r || !r->Serveur) return;
    quint32 duree = tick::ecoule(socket.TickDebut, tick::GetTickCount());
    if (duree == 0) duree = 1;
    r->Serveur->NbTest++;
    r->Serveur->NbTestRAZ++;
    r->Serveur->TempsRAZ += duree;
}

void TChercheSPAMs::demarrerTentative(TWSocketDNS* socket, PUneRechercheDNS recherche,
                                      bool premiere) {
    socket->Fin = false;
    socket->Recherche = recherche;
    socket->NbTentative = premiere ? 1 : socket->NbTentative + 1;
    socket->TickDebut = tick::GetTickCount();
    recherche->Etat = erEnCours;
    bool envoye = false;
    if (recherche->Serveur) {
        const QByteArray nom = IPVersChaineInverse(recherche->IP) + '.' + recherche->Serveur->Zone;
        const QHostAddress serveur(QString::fromLatin1(m_dnsPrincipal));
        envoye = ChaineVersIP(m_dnsPrincipal) != 0 && socket->envoyer(nom, serveur, m_portDNS);
    }
    if (!envoye) finTentative(*socket, -1, messagedns::TReponseDNS{});
}

void TChercheSPAMs::finTentative(TWSocketDNS& socket, int erreur,
                                 const messagedns::TReponseDNS& reponse) {
    PUneRechercheDNS r = socket.Recherche;
    if (!r || socket.Fin) return;
    if (erreur != 0 || reponse.nbAdresses == 0) {
        r->Etat = erPasSpam;
        r->Reponse = "inexistant";
    } else {
        r->Etat = erSpam;
        r->Reponse = IPVersChaine(reponse.premiereAdresse);
    }
    r->DateReponse = datetime::maintenant();
    if (r->Serveur) {
        if (r->Etat == erSpam) {
            if (r->Serveur->Codes.isEmpty() || r->Serveur->Codes.contains(r->Reponse)) {
                r->Serveur->NbSpam++;
            } else {
                r->Serveur->NbFauxPositif++;
                r->Etat = erPasSpam;
            }
        }
        compterTentative(socket);
    }
    socket.Fin = true;
    bool partiel = false;
    if (r->Etat == erPasSpam) {
        const PUneRechercheDNS res = ResultatIP(r->IP, false);
        partiel =
            !(res && (res->Etat == erSpam || res->Etat == erPasSpam || res->Etat == erAbandon));
    }
    if (OnReponseDNS) OnReponseDNS(*this, *r, partiel);
    reveiller();
}

void TChercheSPAMs::reveiller() {
    if (m_reveilPoste) return;
    m_reveilPoste = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_reveilPoste = false;
            try {
                LancerRecherches();
            } catch (const std::exception& e) {
                traceException("TChercheSPAMs.Reveil", e);
            }
        },
        Qt::QueuedConnection);
}

void TChercheSPAMs::LancerRecherches() {
    // A handler of an event raised below may call back: run again afterwards.
    if (m_dansLancer) {
        reveiller();
        return;
    }
    m_dansLancer = true;
    struct TGarde {
        bool& b;
        ~TGarde() { b = false; }
    } garde{m_dansLancer};

    m_timer.stop();
    const quint32 maintenant = tick::GetTickCount();
    const bool travaillaient = !m_socketsTravail.empty();

    const std::vector<TWSocketDNS*> sockets = m_socketsTravail;
    auto auTravail = [this](TWSocketDNS* s) {
        return std::find(m_socketsTravail.begin(), m_socketsTravail.end(), s) !=
               m_socketsTravail.end();
    };
    for (TWSocketDNS* s : sockets) {
        // A handler raised below may have emptied the cache and released sockets.
        if (!auTravail(s) || !s->Recherche) continue;
        if (s->Fin) {
            libererSocket(s);
            continue;
        }
        if (tick::ecoule(s->TickDebut, maintenant) <= m_timeOutRecherche) continue;
        PUneRechercheDNS r = s->Recherche;
        s->abandonner();
        if (r->Serveur) r->Serveur->NbTimeOut++;
        if (OnTimeOut) OnTimeOut(*this, *r);
        if (!auTravail(s)) continue;
        if (s->NbTentative > m_nbTentativeRecherche) {
            compterTentative(*s);
            r->Etat = erAbandon;
            s->Fin = true;
            if (OnReponseDNS) OnReponseDNS(*this, *r, false);
            libererSocket(s);
            continue;
        }
        const PUneRechercheDNS res = ResultatIP(r->IP, false);
        compterTentative(*s);
        if (res && res->Etat == erSpam) {
            r->Etat = erTimeOut;
            s->Fin = true;
            libererSocket(s);
        } else {
            demarrerTentative(s, r, false);
        }
    }

    if (int(m_socketsTravail.size()) < m_nbMaxSocketDNS) {
        const quint64 generation = m_generation;
        size_t i = qMin(m_premiereAttente, m_recherches.size());
        for (; i < m_recherches.size(); ++i) {
            TUneRechercheDNS* r = m_recherches[i].get();
            if (r->Etat != erPasCherche || !r->Serveur) continue;
            if (int(m_socketsTravail.size()) >= m_nbMaxSocketDNS) break;
            demarrerTentative(prendreSocket(), r, true);
        }
        // Records removed or reordered by a handler meanwhile: rescan next time.
        m_premiereAttente = generation == m_generation ? i : 0;
    }

    if (!m_socketsTravail.empty()) {
        const quint32 maintenant2 = tick::GetTickCount();
        quint32 plusVieux = 0;
        for (TWSocketDNS* s : m_socketsTravail)
            if (!s->Fin) plusVieux = qMax(plusVieux, tick::ecoule(s->TickDebut, maintenant2));
        const quint32 reste = plusVieux >= m_timeOutRecherche ? 0 : m_timeOutRecherche - plusVieux;
        m_timer.start(int(qMin<quint32>(reste + 100, 0x7FFFFFFF)));
    } else if (travaillaient) {
        ReduireRecherches();
    }
}

// ---------------------------------------------------------------- IP test cache

PUneRechercheDNS TChercheSPAMs::Recherche(int index) const {
    if (index < 0 || size_t(index) >= m_recherches.size()) return nullptr;
    return m_recherches[size_t(index)].get();
}

void TChercheSPAMs::viderRecherches() {
    // Working sockets lose their record first.
    const std::vector<TWSocketDNS*> sockets = m_socketsTravail;
    for (TWSocketDNS* s : sockets)
        libererSocket(s);
    m_recherches.clear();
    m_premiereAttente = 0;
    ++m_generation;
}

void TChercheSPAMs::supprimerRecherches(const std::vector<bool>& aSupprimer) {
    size_t j = 0;
    for (size_t i = 0; i < m_recherches.size(); ++i) {
        if (aSupprimer[i]) continue;
        if (i != j) m_recherches[j] = std::move(m_recherches[i]);
        ++j;
    }
    m_recherches.resize(j);
    m_premiereAttente = 0;
    ++m_generation;
}

void TChercheSPAMs::ReduireRecherches() {
    const TDateTime limite = datetime::maintenant() - double(m_nbHeureMemoIP) / 24.0;
    std::vector<bool> aSupprimer(m_recherches.size(), false);
    TUneRechercheDNS* rep = nullptr;
    bool expire = false;
    TAdresseIP x = 0;
    int nbSupprimes = 0;
    for (size_t i = 0; i < m_recherches.size(); ++i) {
        TUneRechercheDNS* s = m_recherches[i].get();
        if (s->Etat == erPasCherche || s->Etat == erEnCours) break;
        if (expire && s->IP == x) {
            aSupprimer[i] = true;
        } else if (rep && rep->IP == s->IP) {
            bool propre;
            if (s->Etat == rep->Etat) {
                propre = s->Etat != erSpam;
            } else if (s->Etat == erSpam) {
                rep->Etat = erSpam;
                rep->Serveur = s->Serveur;
                rep->Reponse = s->Reponse;
                rep->DateReponse = s->DateReponse;
                propre = false;
            } else {
                propre = true;
            }
            aSupprimer[i] = true;
            if (propre && rep->Etat != erSpam) {
                rep->Serveur = nullptr;
                rep->Reponse.clear();
            }
        } else {
            rep = s;
            if (s->DateReponse < limite) {
                aSupprimer[i] = true;
                x = s->IP;
                expire = true;
                rep = nullptr;
            } else {
                expire = false;
            }
        }
        if (aSupprimer[i]) ++nbSupprimes;
    }
    if (nbSupprimes) supprimerRecherches(aSupprimer);
    TrierRecherches();
    if (nbSupprimes && OnReduireListeSpams) OnReduireListeSpams(*this);
}

void TChercheSPAMs::TrierRecherches() {
    // Records that are waiting or running keep their place after the finished
    // ones, so the groups queued since the last reduction stay together.
    auto finis = std::find_if(m_recherches.begin(), m_recherches.end(), [](const auto& r) {
        return r->Etat == erPasCherche || r->Etat == erEnCours;
    });
    if (m_tri == trTriIP) {
        std::stable_sort(m_recherches.begin(), finis, [](const auto& a, const auto& b) {
            return IPVersHote(a->IP) < IPVersHote(b->IP);
        });
    } else {
        std::stable_sort(m_recherches.begin(), finis, [](const auto& a, const auto& b) {
            if (a->DateReponse != b->DateReponse) return a->DateReponse < b->DateReponse;
            return IPVersHote(a->IP) > IPVersHote(b->IP);
        });
    }
    m_premiereAttente = 0;
    ++m_generation;
}

void TChercheSPAMs::setTriRecherches(TTriRecherche tri) {
    if (tri == m_tri) return;
    m_tri = tri;
    if (m_socketsTravail.empty()) ReduireRecherches();
}

void TChercheSPAMs::SupprimerTestsIP(TAdresseIP ip) {
    std::vector<bool> aSupprimer(m_recherches.size(), false);
    bool un = false;
    for (size_t i = 0; i < m_recherches.size(); ++i) {
        const TUneRechercheDNS& r = *m_recherches[i];
        if (r.IP == ip && (r.Etat == erSpam || r.Etat == erPasSpam || r.Etat == erAbandon))
            aSupprimer[i] = un = true;
    }
    if (un) supprimerRecherches(aSupprimer);
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
    viderRecherches();
    m_recherchesProtegees = false;
    QByteArray contenu;
    QString erreur;
    switch (sauvegarde::lire(chemin(QStringLiteral("recherche.qdl")), contenu, &erreur)) {
    case sauvegarde::TEtatLecture::Lu:
        for (QByteArrayView ligne : fichierqdl::lignesDonnees(contenu)) {
            champs::TLecteurChamps l(ligne);
            auto r = std::make_unique<TUneRechercheDNS>();
            r->IP = ChaineVersIP(l.lireBrut());
            const int numero = l.lireEntier();
            r->Serveur = numero > 0 ? TrouverServeurNumero(numero) : nullptr;
            const int etat = l.lireEntier();
            r->Reponse = l.lireChaine();
            r->NbUtilisation = l.lireEntier();
            r->DateReponse = datetime::lireDate(l.lireBrut());
            if (etat != erSpam && etat != erPasSpam) continue;
            if (r->IP == 0) continue;
            r->Etat = quint8(etat);
            m_recherches.push_back(std::move(r));
        }
        break;
    case sauvegarde::TEtatLecture::Illisible:
        m_recherchesProtegees = true;
        Trace(Res("cspam01", u"Fichier illisible, conservé : %s")
                  .replace(QStringLiteral("%s"), QStringLiteral("recherche.qdl")) +
              QStringLiteral(" (") + erreur + QLatin1Char(')'));
        break;
    case sauvegarde::TEtatLecture::Absent:
        break;
    }
    ReduireRecherches();
}

void TChercheSPAMs::SauverRecherches() {
    if (m_recherchesProtegees) {
        Trace(Res("cspam02", u"Fichier non enregistré, il n'a pas pu être lu : %s")
                  .replace(QStringLiteral("%s"), QStringLiteral("recherche.qdl")));
        return;
    }
    QByteArray contenu = fichierqdl::entete(kVersionFichier);
    champs::TEcrivainChamps e;
    for (const auto& r : m_recherches) {
        e.brut(IPVersChaine(r->IP)).entier(r->Serveur ? r->Serveur->Numero : -1).entier(r->Etat);
        e.chaine(r->Reponse).entier(r->NbUtilisation);
        // A date that cannot be written leaves the field empty: the record then
        // expires at the next start.
        e.brut(r->DateReponse > 0 ? datetime::formaterDate(r->DateReponse) : QByteArray());
        e.ajouterA(contenu);
    }
    QString erreur;
    if (!sauvegarde::sauver(chemin(QStringLiteral("recherche.qdl")), contenu, &erreur))
        Trace(Res("cspam03", u"Erreur d'écriture de %s : ")
                  .replace(QStringLiteral("%s"), QStringLiteral("recherche.qdl")) +
              erreur);
}
