#pragma once
// A private dnsmasq serving a test blacklist zone on a loopback address,
// started and stopped by the test itself.
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace testsupport {

class TDnsmasqPeer {
public:
    // Names under `zone` answer NXDOMAIN unless added with ajouter().
    explicit TDnsmasqPeer(QByteArray zone = QByteArrayLiteral("bl.test"));
    ~TDnsmasqPeer();

    // A full name and the IPv4 address it answers with. Before demarrer().
    void ajouter(const QByteArray& nom, const QByteArray& adresse);
    // Starts it on a free loopback address (port 53 as root, a high port
    // otherwise) and waits until it answers; false with the reason otherwise.
    bool demarrer(QString* erreur);
    void arreter();

    QHostAddress adresse() const { return m_adresse; }
    quint16 port() const { return m_port; }
    QByteArray zone() const { return m_zone; }

private:
    bool essayer(const QHostAddress& adresse, quint16 port, QString* erreur);
    bool repond(int delaiMs);

    QByteArray m_zone;
    QList<QPair<QByteArray, QByteArray>> m_enregistrements;
    std::unique_ptr<QTemporaryDir> m_rep;
    std::unique_ptr<QProcess> m_processus;
    QHostAddress m_adresse;
    quint16 m_port = 0;
};

} // namespace testsupport
