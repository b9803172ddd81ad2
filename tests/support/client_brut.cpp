#include "tests/support/client_brut.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkProxy>

namespace testsupport {

TClientBrut::TClientBrut(quint16 port) {
    m_s.setProxy(QNetworkProxy::NoProxy);
    m_s.connectToHost(QHostAddress::LocalHost, port);
    m_s.waitForConnected(5000);
}

void TClientBrut::envoyer(const QByteArray& octets) {
    m_s.write(octets);
    m_s.waitForBytesWritten(5000);
}

QByteArray TClientBrut::ligne(int delaiMs, bool* ferme) {
    QElapsedTimer t;
    t.start();
    while (!m_s.canReadLine() && t.elapsed() < delaiMs) {
        if (m_s.state() != QAbstractSocket::ConnectedState && m_s.bytesAvailable() == 0) break;
        m_s.waitForReadyRead(100);
    }
    if (ferme) *ferme = !m_s.canReadLine() && m_s.state() != QAbstractSocket::ConnectedState;
    if (!m_s.canReadLine()) return QByteArray();
    QByteArray l = m_s.readLine();
    while (l.endsWith('\n') || l.endsWith('\r'))
        l.chop(1);
    return l;
}

QByteArray TClientBrut::commande(const QByteArray& texte) {
    envoyer(texte + "\r\n");
    return ligne();
}

QByteArray TClientBrut::jusquAuPoint(int delaiMs) {
    QByteArray r;
    for (QByteArray l = ligne(delaiMs); l != "."; l = ligne(delaiMs)) {
        if (l.isNull()) return {};
        r += (l.startsWith("..") ? l.mid(1) : l) + "\r\n";
    }
    return r;
}

} // namespace testsupport
