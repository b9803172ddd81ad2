#include "tests/support/serveur_dns_test.h"

#include <QNetworkProxy>
#include <QTimer>

namespace testsupport {

bool TServeurDNSTest::demarrer() {
    m_socket.setProxy(QNetworkProxy::NoProxy);
    connect(&m_socket, &QUdpSocket::readyRead, this, &TServeurDNSTest::lire);
    return m_socket.bind(QHostAddress::LocalHost, 0);
}

void TServeurDNSTest::lire() {
    while (m_socket.hasPendingDatagrams()) {
        QHostAddress de;
        quint16 port = 0;
        QByteArray q(int(m_socket.pendingDatagramSize()), '\0');
        m_socket.readDatagram(q.data(), q.size(), &de, &port);
        if (q.size() < 17) continue;
        // The question: labels from offset 12 to the zero byte, then type and class.
        QByteArray nom;
        int i = 12;
        while (i < q.size() && q[i] != 0) {
            const int n = quint8(q[i]);
            if (!nom.isEmpty()) nom += '.';
            nom += q.mid(i + 1, n);
            i += n + 1;
        }
        const int finQuestion = i + 5;
        questions << nom;
        if (muets.contains(nom)) continue;
        QByteArray r = q.left(finQuestion);
        r[2] = char(0x81); // response, recursion desired
        const auto it = adresses.constFind(nom);
        r[3] = char(it == adresses.constEnd() ? 0x83 : 0x80); // NXDOMAIN or no error
        r[6] = 0;
        r[7] = char(it == adresses.constEnd() ? 0 : 1);
        r[8] = r[9] = r[10] = r[11] = 0;
        if (it != adresses.constEnd()) {
            r += QByteArray::fromHex("c00c000100010000003c0004");
            for (const QByteArray& o : it->split('.'))
                r += char(o.toInt());
        }
        if (retardMs > 0)
            QTimer::singleShot(retardMs, this,
                               [this, r, de, port] { m_socket.writeDatagram(r, de, port); });
        else
            m_socket.writeDatagram(r, de, port);
    }
}

} // namespace testsupport
