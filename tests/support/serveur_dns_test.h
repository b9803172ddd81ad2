#pragma once
// A small DNS server of the test on 127.0.0.1 port 0 for the DNSBL queries:
// each name of `adresses` is answered with that address, every other name with
// NXDOMAIN; names in `muets` get no answer; every answer waits `retardMs`.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUdpSocket>

namespace testsupport {

class TServeurDNSTest : public QObject {
public:
    QHash<QByteArray, QByteArray> adresses;
    QSet<QByteArray> muets;
    QList<QByteArray> questions; // every name asked, in order
    int retardMs = 0;

    bool demarrer();
    quint16 port() const { return m_socket.localPort(); }

private:
    void lire();
    QUdpSocket m_socket;
};

} // namespace testsupport
