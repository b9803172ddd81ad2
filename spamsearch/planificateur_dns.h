#pragma once
// The DNS query scheduler: a bounded pool of query sockets works through the
// lookups that wait in the IP test cache, times each attempt out, retries it,
// judges each answer against the server's codes and reports to its owner.
#include "spamsearch/message_dns.h"
#include "spamsearch/un_dns.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <functional>
#include <vector>

class TCacheTestsIP;
class TWSocketDNS;

class TPlanificateurDNS : public QObject {
public:
    explicit TPlanificateurDNS(TCacheTestsIP& cache);
    ~TPlanificateurDNS() override;

    // Starts waiting lookups and handles time-outs.
    void LancerRecherches();
    // Every working socket lets its record go (the cache is about to be emptied).
    void LibererSockets();

    int NbMaxSocketDNS() const { return m_nbMaxSocketDNS; }
    void setNbMaxSocketDNS(int valeur) { m_nbMaxSocketDNS = valeur < 1 ? 1 : valeur; }
    bool FreeSocket() const { return m_freeSocket; }
    void setFreeSocket(bool valeur);
    quint32 TimeOutRecherche() const { return m_timeOutRecherche; }
    void setTimeOutRecherche(quint32 ms) { m_timeOutRecherche = ms; }
    int NbTentativeRecherche() const { return m_nbTentativeRecherche; }
    void setNbTentativeRecherche(int n) { m_nbTentativeRecherche = n < 0 ? 0 : n; }
    QByteArray DNSPrincipal() const { return m_dnsPrincipal; }
    void setDNSPrincipal(const QByteArray& adresse) { m_dnsPrincipal = adresse; }
    quint16 PortDNS() const { return m_portDNS; }
    void setPortDNS(quint16 port) { m_portDNS = port; }
    int NbSocketDNS() const { return int(m_socketsTravail.size()); }
    int NbSocketDNSFree() const { return int(m_socketsLibres.size()); }
    int PicSocketDNS() const { return m_picSockets; } // most sockets that worked at once

    // A lookup reached a final state (listed, not listed, abandoned).
    std::function<void(TUneRechercheDNS& x, bool bPartiel)> OnReponseDNS;
    // An attempt timed out, before the retry decision.
    std::function<void(TUneRechercheDNS& x)> OnTimeOut;
    // The pool went idle after some sockets worked.
    std::function<void()> OnInactif;

private:
    TWSocketDNS* prendreSocket();
    void libererSocket(TWSocketDNS* socket);
    void demarrerTentative(TWSocketDNS* socket, PUneRechercheDNS recherche, bool premiere);
    void finTentative(TWSocketDNS& socket, int erreur, const messagedns::TReponseDNS& reponse);
    void compterTentative(TWSocketDNS& socket);
    void reveiller();

    TCacheTestsIP& m_cache;
    std::vector<TWSocketDNS*> m_socketsTravail;
    std::vector<TWSocketDNS*> m_socketsLibres;
    int m_picSockets = 0;
    int m_nbMaxSocketDNS = 35;
    bool m_freeSocket = true;
    quint32 m_timeOutRecherche = 10000;
    int m_nbTentativeRecherche = 3;
    QByteArray m_dnsPrincipal;
    quint16 m_portDNS = 53;
    bool m_reveilPoste = false;
    bool m_dansLancer = false;
    QTimer m_timer;
};
