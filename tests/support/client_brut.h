#pragma once
// A blocking POP3 line client for the end-to-end suites, which talk to a
// program in another process and so may wait without an event loop.

#include <QByteArray>
#include <QTcpSocket>

namespace testsupport {

class TClientBrut {
public:
    explicit TClientBrut(quint16 port);
    bool connecte() const { return m_s.state() == QAbstractSocket::ConnectedState; }
    void envoyer(const QByteArray& octets);
    // One line without its line end; empty, with `ferme` set, when the peer
    // closed before a whole line came.
    QByteArray ligne(int delaiMs = 10000, bool* ferme = nullptr);
    // Sends the command and CR LF; the first answer line.
    QByteArray commande(const QByteArray& texte);
    // The lines of a multi-line answer up to "." (excluded), undotted, each
    // with CR LF; null when the "." never came.
    QByteArray jusquAuPoint(int delaiMs = 30000);
    void abandonner() { m_s.abort(); }
    QTcpSocket& socket() { return m_s; }

private:
    QTcpSocket m_s;
};

} // namespace testsupport
