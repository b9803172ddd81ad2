#include "spamsearch/planificateur_dns.h"

#include "core/cp1252.h"
#include "core/trace.h"
#include "spamsearch/cache_tests_ip.h"
#include "spamsearch/socket_dns.h"

#include <QHostAddress>
#include <algorithm>

TPlanificateurDNS::TPlanificateurDNS(TCacheTestsIP& cache) : m_cache(cache) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this,
            [this] { Garde(u"TChercheSPAMs.Timer", [this] { LancerRecherches(); }); });
}

TPlanificateurDNS::~TPlanificateurDNS() {
    m_timer.stop();
    for (TWSocketDNS* s : m_socketsTravail)
        s->OnTermine = nullptr;
    // The sockets are children of this object and go with it.
    m_socketsTravail.clear();
    m_socketsLibres.clear();
}

void TPlanificateurDNS::setFreeSocket(bool valeur) {
    m_freeSocket = valeur;
    if (valeur) {
        for (TWSocketDNS* s : m_socketsLibres)
            s->deleteLater();
        m_socketsLibres.clear();
    }
}

TWSocketDNS* TPlanificateurDNS::prendreSocket() {
    TWSocketDNS* s = nullptr;
    if (!m_socketsLibres.empty()) {
        s = m_socketsLibres.back();
        m_socketsLibres.pop_back();
    } else {
        s = new TWSocketDNS(this);
        s->OnTermine = [this](TWSocketDNS& socket, int erreur,
                              const messagedns::TReponseDNS& reponse) {
            Garde(u"TChercheSPAMs.DnsLookupDone", [&] { finTentative(socket, erreur, reponse); });
        };
    }
    m_socketsTravail.push_back(s);
    m_picSockets = qMax(m_picSockets, int(m_socketsTravail.size()));
    return s;
}

void TPlanificateurDNS::libererSocket(TWSocketDNS* socket) {
    m_socketsTravail.erase(std::find(m_socketsTravail.begin(), m_socketsTravail.end(), socket));
    socket->abandonner();
    socket->Recherche = nullptr;
    if (m_freeSocket)
        socket->deleteLater(); // never inside its own event
    else
        m_socketsLibres.push_back(socket);
}

void TPlanificateurDNS::LibererSockets() {
    const std::vector<TWSocketDNS*> sockets = m_socketsTravail;
    for (TWSocketDNS* s : sockets)
        libererSocket(s);
}

void TPlanificateurDNS::compterTentative(TWSocketDNS& socket) {
    PUneRechercheDNS r = socket.Recherche;
    if (!r || !r->Serveur) return;
    quint32 duree = tick::ecoule(socket.TickDebut, tick::GetTickCount());
    if (duree == 0) duree = 1;
    r->Serveur->NbTest++;
    r->Serveur->NbTestRAZ++;
    r->Serveur->TempsRAZ += duree;
}

void TPlanificateurDNS::demarrerTentative(TWSocketDNS* socket, PUneRechercheDNS recherche,
                                          bool premiere) {
    socket->Fin = false;
    socket->Recherche = recherche;
    socket->NbTentative = premiere ? 1 : socket->NbTentative + 1;
    socket->TickDebut = tick::GetTickCount();
    recherche->Etat = erEnCours;
    bool envoye = false;
    if (recherche->Serveur) {
        const QByteArray nom = IPVersChaineInverse(recherche->IP) + '.' + recherche->Serveur->Zone;
        const QHostAddress serveur(cp1252::versUnicode(m_dnsPrincipal));
        envoye = ChaineVersIP(m_dnsPrincipal) != 0 && socket->envoyer(nom, serveur, m_portDNS);
    }
    if (!envoye) finTentative(*socket, -1, messagedns::TReponseDNS{});
}

void TPlanificateurDNS::finTentative(TWSocketDNS& socket, int erreur,
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
        const PUneRechercheDNS res = m_cache.ResultatIP(r->IP, false);
        partiel =
            !(res && (res->Etat == erSpam || res->Etat == erPasSpam || res->Etat == erAbandon));
    }
    if (OnReponseDNS) OnReponseDNS(*r, partiel);
    reveiller();
}

void TPlanificateurDNS::reveiller() {
    if (m_reveilPoste) return;
    m_reveilPoste = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_reveilPoste = false;
            Garde(u"TChercheSPAMs.Reveil", [this] { LancerRecherches(); });
        },
        Qt::QueuedConnection);
}

void TPlanificateurDNS::LancerRecherches() {
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
        if (OnTimeOut) OnTimeOut(*r);
        if (!auTravail(s)) continue;
        if (s->NbTentative > m_nbTentativeRecherche) {
            compterTentative(*s);
            r->Etat = erAbandon;
            s->Fin = true;
            if (OnReponseDNS) OnReponseDNS(*r, false);
            libererSocket(s);
            continue;
        }
        const PUneRechercheDNS res = m_cache.ResultatIP(r->IP, false);
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
        m_cache.ParcourirAttentes([this](TUneRechercheDNS& r) {
            if (int(m_socketsTravail.size()) >= m_nbMaxSocketDNS) return false;
            demarrerTentative(prendreSocket(), &r, true);
            return true;
        });
    }

    if (!m_socketsTravail.empty()) {
        const quint32 maintenant2 = tick::GetTickCount();
        quint32 plusVieux = 0;
        for (TWSocketDNS* s : m_socketsTravail)
            if (!s->Fin) plusVieux = qMax(plusVieux, tick::ecoule(s->TickDebut, maintenant2));
        const quint32 reste = plusVieux >= m_timeOutRecherche ? 0 : m_timeOutRecherche - plusVieux;
        m_timer.start(int(qMin<quint32>(reste + 100, 0x7FFFFFFF)));
    } else if (travaillaient && OnInactif) {
        OnInactif();
    }
}
