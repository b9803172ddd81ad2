#pragma once
// One DNS query socket of the lookup pool: sends the query of one attempt over
// UDP and reports the answer (or a failure) once.
#include "spamsearch/message_dns.h"
#include "spamsearch/un_dns.h"

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>
#include <functional>

class TWSocketDNS : public QObject {
public:
    // Starts from a random query identifier, so that a forged answer has to guess it.
    explicit TWSocketDNS(QObject* parent);

    // Sends a new query for `nom`; false when the name cannot be encoded, the
    // server is not an address or the send fails.
    bool envoyer(QByteArrayView nom, const QHostAddress& serveur, quint16 port);
    // Stops listening for the current query (a late answer is then ignored).
    void abandonner();

    quint32 TickDebut = 0;
    int NbTentative = 0;
    bool Fin = true;
    PUneRechercheDNS Recherche = nullptr;
    quint16 DernierIdentifiant() const { return m_identifiant; }

    // Raised once per query: error code (0 for an answer; the DNS code or a
    // socket failure otherwise) and the answer read.
    std::function<void(TWSocketDNS&, int, const messagedns::TReponseDNS&)> OnTermine;

private:
    void lire();

    QUdpSocket* m_socket;
    quint16 m_identifiant = 0;
    bool m_attente = false;
    QByteArray m_nom;
    QHostAddress m_serveur;
    quint16 m_port = 53;
};
