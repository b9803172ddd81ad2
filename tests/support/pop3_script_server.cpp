#include "tests/support/pop3_script_server.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace testsupport {

TServeurPOP3Script::TServeurPOP3Script(QObject* parent)
    : QObject(parent), m_serveur(new QTcpServer(this)) {
    connect(m_serveur, &QTcpServer::newConnection, this, &TServeurPOP3Script::surConnexion);
}

TServeurPOP3Script::~TServeurPOP3Script() {
    arreter();
}

bool TServeurPOP3Script::demarrer() {
    return m_serveur->listen(QHostAddress::LocalHost, 0);
}
quint16 TServeurPOP3Script::port() const {
    return m_serveur->serverPort();
}

void TServeurPOP3Script::arreter() {
    m_serveur->close();
    const QList<QTcpSocket*> clients = m_clients;
    m_clients.clear();
    for (QTcpSocket* c : clients) {
        c->disconnect(this);
        c->abort();
        c->deleteLater();
    }
}

void TServeurPOP3Script::diffuser(const QByteArray& octets) {
    for (QTcpSocket* c : m_clients)
        envoyer(*c, octets);
}

void TServeurPOP3Script::envoyer(QTcpSocket& client, const QByteArray& octets) {
    client.write(octets);
    client.flush();
}

QByteArray TServeurPOP3Script::enLigne(const QByteArray& message) {
    QByteArray sortie;
    qsizetype pos = 0;
    while (pos < message.size()) {
        qsizetype lf = message.indexOf('\n', pos);
        if (lf < 0) lf = message.size() - 1;
        if (message[pos] == '.') sortie.append('.');
        sortie.append(QByteArrayView(message).sliced(pos, lf - pos + 1));
        pos = lf + 1;
    }
    if (!sortie.isEmpty() && !sortie.endsWith("\r\n")) sortie.append("\r\n");
    sortie.append(".\r\n");
    return sortie;
}

void TServeurPOP3Script::surConnexion() {
    while (QTcpSocket* c = m_serveur->nextPendingConnection()) {
        ++m_nbConnexions;
        m_clients.append(c);
        connect(c, &QTcpSocket::disconnected, this, [this, c] {
            m_clients.removeAll(c);
            c->deleteLater();
        });
        connect(c, &QTcpSocket::readyRead, this, [this, c] {
            while (c->canReadLine()) {
                QByteArray l = c->readLine();
                while (l.endsWith('\n') || l.endsWith('\r'))
                    l.chop(1);
                commandes.append(l);
                traiter(*c, l);
                if (!m_clients.contains(c)) return;
            }
        });
        envoyer(*c, bienvenue + "\r\n");
    }
}

void TServeurPOP3Script::traiter(QTcpSocket& c, const QByteArray& ligne) {
    if (OnCommande && OnCommande(c, ligne)) return;
    const qsizetype espace = ligne.indexOf(' ');
    const QByteArray mot = (espace < 0 ? ligne : ligne.left(espace)).toUpper();
    const QByteArray arg = espace < 0 ? QByteArray() : ligne.mid(espace + 1);
    const QList<QByteArray> args = arg.split(' ');
    const int n = args.value(0).toInt();
    auto message = [&](int num) -> const QByteArray* {
        return num >= 1 && num <= messages.size() ? &messages[num - 1] : nullptr;
    };
    if (mot == "USER") {
        envoyer(c, arg == login ? "+OK user\r\n" : "-ERR unknown user\r\n");
    } else if (mot == "PASS") {
        envoyer(c, arg == motDePasse ? "+OK logged in\r\n" : "-ERR bad password\r\n");
    } else if (mot == "STAT") {
        qint64 total = 0;
        for (const auto& m : messages)
            total += m.size();
        envoyer(c, "+OK " + QByteArray::number(messages.size()) + ' ' + QByteArray::number(total) +
                       "\r\n");
    } else if (mot == "LIST" || mot == "UIDL") {
        auto valeur = [&](int num) {
            return mot == "LIST" ? QByteArray::number(messages[num - 1].size())
                                 : "uid-" + QByteArray::number(num);
        };
        if (!arg.isEmpty()) {
            envoyer(c, message(n) ? "+OK " + QByteArray::number(n) + ' ' + valeur(n) + "\r\n"
                                  : QByteArray("-ERR no such message\r\n"));
        } else {
            QByteArray r = "+OK\r\n";
            for (int i = 1; i <= messages.size(); ++i)
                r += QByteArray::number(i) + ' ' + valeur(i) + "\r\n";
            envoyer(c, r + ".\r\n");
        }
    } else if (mot == "RETR" || mot == "TOP") {
        const QByteArray* m = message(n);
        if (!m) {
            envoyer(c, "-ERR no such message\r\n");
            return;
        }
        QByteArray texte = *m;
        if (mot == "TOP") {
            const qsizetype fin = texte.indexOf("\r\n\r\n");
            int lignes = args.value(1).toInt();
            qsizetype pos = fin < 0 ? texte.size() : fin + 4;
            while (lignes-- > 0 && pos < texte.size()) {
                const qsizetype lf = texte.indexOf('\n', pos);
                pos = lf < 0 ? texte.size() : lf + 1;
            }
            texte = texte.left(pos);
        }
        envoyer(c, "+OK " + QByteArray::number(m->size()) + " octets\r\n" + enLigne(texte));
    } else if (mot == "DELE" || mot == "NOOP" || mot == "RSET" || mot == "LAST") {
        envoyer(c, "+OK\r\n");
    } else if (mot == "QUIT") {
        envoyer(c, "+OK bye\r\n");
        c.disconnectFromHost();
    } else {
        envoyer(c, "-ERR unknown command\r\n");
    }
}

TClientLignes::TClientLignes(QObject* parent) : QObject(parent), m_socket(new QTcpSocket(this)) {
    connect(m_socket, &QTcpSocket::readyRead, this,
            [this] { m_entree.append(m_socket->readAll()); });
}

TClientLignes::~TClientLignes() {
    m_socket->abort();
}

bool TClientLignes::attendre(const std::function<bool()>& condition, int delaiMs) {
    QDeadlineTimer fin(delaiMs);
    while (!condition()) {
        if (fin.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!condition()) QThread::msleep(1);
    }
    return true;
}

bool TClientLignes::connecter(quint16 port, int delaiMs) {
    m_socket->connectToHost(QHostAddress::LocalHost, port);
    return attendre([this] { return m_socket->state() == QAbstractSocket::ConnectedState; },
                    delaiMs);
}

void TClientLignes::envoyer(const QByteArray& octets) {
    m_socket->write(octets);
    m_socket->flush();
}

QByteArray TClientLignes::ligne(int delaiMs) {
    if (!attendre([this] { return m_entree.contains('\n'); }, delaiMs)) return QByteArray();
    const qsizetype lf = m_entree.indexOf('\n');
    QByteArray l = m_entree.left(lf);
    m_entree.remove(0, lf + 1);
    if (l.endsWith('\r')) l.chop(1);
    if (l.isNull()) l = QByteArray("");
    return l;
}

QByteArray TClientLignes::commande(const QByteArray& texte, int delaiMs) {
    envoyer(texte + "\r\n");
    return ligne(delaiMs);
}

QByteArray TClientLignes::jusquAuPoint(int delaiMs) {
    auto fin = [this]() -> qsizetype {
        if (m_entree.startsWith(".\r\n")) return 0;
        const qsizetype p = m_entree.indexOf("\r\n.\r\n");
        return p < 0 ? -1 : p + 2;
    };
    if (!attendre([&] { return fin() >= 0; }, delaiMs)) return QByteArray();
    const qsizetype p = fin();
    QByteArray corps = m_entree.left(p);
    m_entree.remove(0, p + 3);
    if (corps.isNull()) corps = QByteArray("");
    return corps;
}

bool TClientLignes::attendreFermeture(int delaiMs) {
    return attendre([this] { return m_socket->state() == QAbstractSocket::UnconnectedState; },
                    delaiMs);
}

bool TClientLignes::connecte() const {
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

bool TClientLignes::silence(int delaiMs) {
    const qsizetype avant = m_entree.size();
    attendre([] { return false; }, delaiMs);
    return m_entree.size() == avant;
}

void TClientLignes::abandonner() {
    m_socket->abort();
}

} // namespace testsupport
