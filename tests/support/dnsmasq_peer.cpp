#include "tests/support/dnsmasq_peer.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QUdpSocket>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace testsupport {

TDnsmasqPeer::TDnsmasqPeer(QByteArray zone) : m_zone(std::move(zone)) {}

TDnsmasqPeer::~TDnsmasqPeer() {
    arreter();
}

void TDnsmasqPeer::ajouter(const QByteArray& nom, const QByteArray& adresse) {
    m_enregistrements.append({nom, adresse});
}

bool TDnsmasqPeer::demarrer(QString* erreur) {
    QString programme = QStandardPaths::findExecutable(QStringLiteral("dnsmasq"));
    if (programme.isEmpty())
        programme = QStandardPaths::findExecutable(
            QStringLiteral("dnsmasq"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (programme.isEmpty()) {
        if (erreur) *erreur = QStringLiteral("dnsmasq not found (apt-get install dnsmasq-base)");
        return false;
    }
    const bool root = ::geteuid() == 0;
    QString derniere;
    for (int essai = 0; essai < 8; ++essai) {
        auto* alea = QRandomGenerator::global();
        QHostAddress adresse;
        quint16 port;
        if (root) {
            adresse = QHostAddress(QStringLiteral("127.53.%1.%2")
                                       .arg(alea->bounded(1, 255))
                                       .arg(alea->bounded(2, 255)));
            port = 53;
        } else {
            adresse = QHostAddress(QStringLiteral("127.0.0.1"));
            port = quint16(alea->bounded(20000, 60000));
        }
        if (essayer(adresse, port, &derniere)) return true;
    }
    if (erreur) *erreur = derniere;
    return false;
}

bool TDnsmasqPeer::essayer(const QHostAddress& adresse, quint16 port, QString* erreur) {
    arreter();
    m_rep = std::make_unique<QTemporaryDir>();
    const QString rep = m_rep->path();
    QStringList args{QStringLiteral("--keep-in-foreground"),
                     QStringLiteral("--conf-file=/dev/null"),
                     QStringLiteral("--no-resolv"),
                     QStringLiteral("--no-hosts"),
                     QStringLiteral("--no-poll"),
                     QStringLiteral("--no-negcache"),
                     QStringLiteral("--bind-interfaces"),
                     QStringLiteral("--listen-address=") + adresse.toString(),
                     QStringLiteral("--port=") + QString::number(port),
                     QStringLiteral("--local=/") + QString::fromLatin1(m_zone) + QLatin1Char('/'),
                     QStringLiteral("--pid-file=") + rep + QStringLiteral("/dnsmasq.pid"),
                     QStringLiteral("--log-facility=") + rep + QStringLiteral("/dnsmasq.log")};
    for (const auto& e : m_enregistrements)
        args << QStringLiteral("--host-record=") + QString::fromLatin1(e.first) + QLatin1Char(',') +
                    QString::fromLatin1(e.second);
    if (::geteuid() == 0)
        args << QStringLiteral("--user=nobody") << QStringLiteral("--group=nogroup");
    m_processus = std::make_unique<QProcess>();
    m_processus->setProcessChannelMode(QProcess::MergedChannels);
    m_processus->start(
        QStandardPaths::findExecutable(
            QStringLiteral("dnsmasq"),
            {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin")}),
        args);
    if (!m_processus->waitForStarted(5000)) {
        if (erreur) *erreur = QStringLiteral("dnsmasq: ") + m_processus->errorString();
        m_processus.reset();
        return false;
    }
    m_adresse = adresse;
    m_port = port;
    if (repond(5000)) return true;
    if (erreur) {
        m_processus->waitForFinished(200);
        *erreur = QStringLiteral("dnsmasq did not answer on %1:%2: %3")
                      .arg(adresse.toString())
                      .arg(port)
                      .arg(QString::fromLocal8Bit(m_processus->readAll()));
    }
    arreter();
    return false;
}

bool TDnsmasqPeer::repond(int delaiMs) {
    // A query for the zone's own name: any answer means it is serving.
    QByteArray requete = QByteArray::fromHex("abcd01000001000000000000");
    for (const QByteArray& label : m_zone.split('.')) {
        requete.append(char(label.size()));
        requete.append(label);
    }
    requete.append(QByteArray::fromHex("0000010001"));
    QUdpSocket socket;
    socket.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    QElapsedTimer chrono;
    chrono.start();
    while (chrono.elapsed() < delaiMs) {
        if (m_processus->state() != QProcess::Running) return false;
        socket.writeDatagram(requete, m_adresse, m_port);
        if (socket.waitForReadyRead(100)) {
            const QNetworkDatagram dg = socket.receiveDatagram();
            if (dg.data().startsWith("\xab\xcd")) return true;
        }
    }
    return false;
}

void TDnsmasqPeer::arreter() {
    if (m_processus) {
        if (m_processus->state() != QProcess::NotRunning) {
            m_processus->terminate();
            if (!m_processus->waitForFinished(3000)) {
                m_processus->kill();
                m_processus->waitForFinished(3000);
            }
        }
        m_processus.reset();
    }
    m_rep.reset();
}

} // namespace testsupport
