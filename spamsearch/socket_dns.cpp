#include "spamsearch/socket_dns.h"

#include "core/trace.h"

#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QRandomGenerator>

TWSocketDNS::TWSocketDNS(QObject* parent)
    : QObject(parent), m_socket(new QUdpSocket(this)),
      m_identifiant(quint16(QRandomGenerator::system()->bounded(0x10000))) {
    m_socket->setProxy(QNetworkProxy::NoProxy); // no proxy lookup per query socket
    connect(m_socket, &QUdpSocket::readyRead, this,
            [this] { Garde(u"TWSocketDNS.lire", [this] { lire(); }); });
}

bool TWSocketDNS::envoyer(QByteArrayView nom, const QHostAddress& serveur, quint16 port) {
    m_attente = false;
    ++m_identifiant;
    if (m_identifiant == 0) m_identifiant = 1;
    const QByteArray requete = messagedns::construireRequete(m_identifiant, nom);
    if (requete.isEmpty() || serveur.isNull() ||
        serveur.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    if (m_socket->state() != QAbstractSocket::BoundState &&
        !m_socket->bind(QHostAddress(QHostAddress::AnyIPv4), 0))
        return false;
    // Datagrams of an earlier query may still wait: drop them.
    while (m_socket->hasPendingDatagrams())
        m_socket->receiveDatagram(messagedns::kTailleMaxReponse);
    m_nom = nom.toByteArray();
    m_serveur = serveur;
    m_port = port;
    if (m_socket->writeDatagram(requete, serveur, port) != requete.size()) return false;
    m_attente = true;
    return true;
}

void TWSocketDNS::abandonner() {
    m_attente = false;
}

void TWSocketDNS::lire() {
    while (m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram dg = m_socket->receiveDatagram(messagedns::kTailleMaxReponse);
        if (!m_attente) continue;
        // Only the server asked may answer.
        if (dg.senderPort() != m_port ||
            !dg.senderAddress().isEqual(m_serveur, QHostAddress::ConvertV4MappedToIPv4))
            continue;
        messagedns::TReponseDNS reponse;
        if (messagedns::lireReponse(dg.data(), m_identifiant, m_nom, reponse) ==
            messagedns::TLecture::Ignoree)
            continue;
        m_attente = false;
        if (OnTermine) OnTermine(*this, 0, reponse); // a DNS error code is an answer without record
        return;
    }
}
