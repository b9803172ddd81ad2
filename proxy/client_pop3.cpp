#include "proxy/client_pop3.h"

#include "core/cp1252.h"
#include "core/trace.h"
#include "i18n/resources.h"

#include <QFile>
#include <QNetworkProxy>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <exception>

namespace {

// "STLS" as a line of the CAPA answer (capability names are case-insensitive).
bool estStls(const QByteArray& ligne) {
    const QByteArray mot = ligne.trimmed().split(' ').first();
    return cp1252::egauxSansCasse(mot, "STLS");
}

} // namespace

TClientPOP3::TClientPOP3(QObject* parent) : QObject(parent) {
    // Without a TLS backend a plain socket does, and Qt does not complain of
    // the missing backend at each connection.
    if (QSslSocket::supportsSsl()) {
        m_tls = new QSslSocket(this);
        m_socket = m_tls;
        connect(m_tls, &QSslSocket::encrypted, this, &TClientPOP3::surChiffre);
        connect(m_tls, &QSslSocket::sslErrors, this, &TClientPOP3::surErreursTls);
    } else {
        m_socket = new QTcpSocket(this);
    }
    // Straight to the mail server: asking the desktop's proxy settings costs
    // more than the whole relay of a message.
    m_socket->setProxy(QNetworkProxy::NoProxy);
    connect(m_socket, &QTcpSocket::connected, this, &TClientPOP3::surConnexion);
    connect(m_socket, &QTcpSocket::readyRead, this, &TClientPOP3::surDonnees);
    connect(m_socket, &QTcpSocket::disconnected, this, &TClientPOP3::surDeconnexion);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket->state() == QAbstractSocket::ConnectedState) return; // disconnected follows
        surDeconnexion();
    });
}

TClientPOP3::~TClientPOP3() {
    // No event may reach a session that is being freed.
    OnRequestDone = nullptr;
    OnLigneServeur = nullptr;
    OnDebutMessage = nullptr;
    OnLigneMessage = nullptr;
    OnFinEntete = nullptr;
    OnFinMessage = nullptr;
    ++m_generation;
    m_socket->abort();
}

bool TClientPOP3::Connecte() const {
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

bool TClientPOP3::Chiffre() const {
    return m_tls && m_tls->isEncrypted();
}

bool TClientPOP3::ChargerCertificats(const QString& chemin, QList<QSslCertificate>& certificats,
                                     QString& erreur) {
    certificats.clear();
    QFile f(chemin);
    if (!f.open(QIODevice::ReadOnly)) {
        erreur = f.errorString();
        return false;
    }
    const QByteArray pem = f.readAll();
    if (!QSslSocket::supportsSsl()) {
        erreur = Res("tls01", u"pas de TLS sur cette machine");
        return false;
    }
    certificats = QSslCertificate::fromData(pem, QSsl::Pem);
    if (certificats.isEmpty()) {
        erreur = Res("tls02", u"aucun certificat PEM dans le fichier");
        return false;
    }
    return true;
}

bool TClientPOP3::verifierDemarrage(const char* commande, bool transactionRequise) {
    if (Occupe()) {
        m_erreur = QStringLiteral("POP3 component not ready");
        return false;
    }
    if (!Connecte()) {
        m_erreur = QStringLiteral("POP3 component not connected");
        return false;
    }
    if (transactionRequise && m_etat != TEtatPOP3::epTransaction) {
        m_erreur = QStringLiteral("-ERR ") + QLatin1String(commande) +
                   QStringLiteral(" command invalid now");
        return false;
    }
    return true;
}

bool TClientPOP3::demarrer(TRequetePOP3 requete, const QByteArray& ligne, bool multiLigne) {
    m_requete = requete;
    m_multiLigne = multiLigne;
    m_dansDonnees = false;
    m_octetsReponse = 0;
    m_erreur.clear();
    envoyer(ligne);
    return true;
}

void TClientPOP3::envoyer(const QByteArray& ligne) {
    m_socket->write(ligne + "\r\n");
    // Out now rather than at the loop's next turn: the server's answer is what
    // the client waits for. Never blocks.
    m_socket->flush();
}

bool TClientPOP3::Login() {
    if (Occupe()) {
        m_erreur = QStringLiteral("POP3 component not ready");
        return false;
    }
    if (m_socket->state() != QAbstractSocket::UnconnectedState) {
        m_erreur = QStringLiteral("pop3 component already connected");
        return false;
    }
    const quint16 port = pop3::resoudrePort(Port);
    if (port == 0) {
        m_erreur = QStringLiteral("unknown port: ") + cp1252::versUnicode(Port);
        return false;
    }
    if (Host.trimmed().isEmpty()) {
        m_erreur = QStringLiteral("no host");
        return false;
    }
    m_erreur.clear();
    m_erreurTls.clear();
    m_entree.clear();
    m_dejaCherche = 0;
    m_requete = TRequetePOP3::rqLogin;
    m_phase = TPhaseLogin::plConnexion;
    m_multiLigne = false;
    m_dansCapa = false;
    m_stlsOffert = false;
    m_etat = TEtatPOP3::epDeconnecte;
    const QString hote = cp1252::versUnicode(Host.trimmed());
    m_tlsImplicite = port == PortTlsImplicite && SecuriteAmont != saTexteClair;
    if (SecuriteAmont != saTexteClair && m_tls) {
        // Verified against the system's authorities and the name the user
        // gave; never switched off.
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        conf.setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (!CertificatsAmont.isEmpty()) {
            // The system's store is read once: parsing it costs more than
            // the handshake itself.
            static const QList<QSslCertificate> systeme = QSslConfiguration::systemCaCertificates();
            conf.setCaCertificates(systeme + CertificatsAmont);
        }
        m_tls->setSslConfiguration(conf);
        m_tls->setPeerVerifyName(hote);
    }
    if (m_tlsImplicite) {
        if (!m_tls) {
            // Answered like any failed login, after the caller has returned.
            const quint64 generation = m_generation;
            QTimer::singleShot(0, this, [this, generation] {
                if (generation == m_generation && m_requete == TRequetePOP3::rqLogin)
                    refuserLogin(Res("tls01", u"pas de TLS sur cette machine"));
            });
            return true;
        }
        m_tls->connectToHostEncrypted(hote, port, hote);
    } else {
        m_socket->connectToHost(hote, port);
    }
    return true;
}

bool TClientPOP3::Stat() {
    if (!verifierDemarrage("STAT", true)) return false;
    return demarrer(TRequetePOP3::rqStat, "STAT", false);
}

bool TClientPOP3::List() {
    if (!verifierDemarrage("LIST", true)) return false;
    if (MsgNum > 0)
        return demarrer(TRequetePOP3::rqList, "LIST " + QByteArray::number(MsgNum), false);
    return demarrer(TRequetePOP3::rqList, "LIST", true);
}

bool TClientPOP3::Uidl() {
    if (!verifierDemarrage("UIDL", true)) return false;
    if (MsgNum > 0)
        return demarrer(TRequetePOP3::rqUidl, "UIDL " + QByteArray::number(MsgNum), false);
    return demarrer(TRequetePOP3::rqUidl, "UIDL", true);
}

bool TClientPOP3::Retr() {
    if (!verifierDemarrage("RETR", true)) return false;
    m_entete.effacer();
    return demarrer(TRequetePOP3::rqRetr, "RETR " + QByteArray::number(MsgNum), true);
}

bool TClientPOP3::Top() {
    if (!verifierDemarrage("TOP", true)) return false;
    m_entete.effacer();
    return demarrer(TRequetePOP3::rqTop,
                    "TOP " + QByteArray::number(MsgNum) + ' ' + QByteArray::number(MsgLines), true);
}

bool TClientPOP3::Dele() {
    if (!verifierDemarrage("DELE", true)) return false;
    return demarrer(TRequetePOP3::rqDele, "DELE " + QByteArray::number(MsgNum), false);
}

bool TClientPOP3::Noop() {
    if (!verifierDemarrage("NOOP", true)) return false;
    return demarrer(TRequetePOP3::rqNoop, "NOOP", false);
}

bool TClientPOP3::RSet() {
    if (!verifierDemarrage("RSET", true)) return false;
    return demarrer(TRequetePOP3::rqRSet, "RSET", false);
}

bool TClientPOP3::Last() {
    if (!verifierDemarrage("LAST", true)) return false;
    return demarrer(TRequetePOP3::rqLast, "LAST", false);
}

bool TClientPOP3::Quit() {
    if (Occupe()) {
        m_erreur = QStringLiteral("POP3 component not ready");
        return false;
    }
    if (!Connecte()) {
        // Nothing to say to nobody: the request simply ends, outside the caller's stack.
        m_requete = TRequetePOP3::rqQuit;
        const quint64 generation = m_generation;
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == m_generation && m_requete == TRequetePOP3::rqQuit) terminer(erAucune);
        });
        return true;
    }
    return demarrer(TRequetePOP3::rqQuit, "QUIT", false);
}

void TClientPOP3::Abort() {
    m_requete = TRequetePOP3::rqAucune;
    ++m_generation;
    m_etat = TEtatPOP3::epDeconnecte;
    m_entree.clear();
    m_dejaCherche = 0;
    m_enEntete = false;
    m_socket->abort();
}

void TClientPOP3::terminer(int erreur) {
    const TRequetePOP3 r = m_requete;
    m_requete = TRequetePOP3::rqAucune;
    m_dansDonnees = false;
    if (OnRequestDone) OnRequestDone(r, erreur);
}

void TClientPOP3::fermerPuisTerminer(int erreur) {
    // The request is taken first: closing may report the disconnection at once.
    const TRequetePOP3 r = m_requete;
    m_requete = TRequetePOP3::rqAucune;
    ++m_generation;
    m_etat = TEtatPOP3::epDeconnecte;
    m_entree.clear();
    m_dejaCherche = 0;
    m_enEntete = false;
    m_dansDonnees = false;
    m_socket->abort();
    if (r != TRequetePOP3::rqAucune && OnRequestDone) OnRequestDone(r, erreur);
}

void TClientPOP3::perdue(const QString& raison) {
    if (m_requete != TRequetePOP3::rqAucune) m_erreur = raison;
    // A QUIT whose answer never came has still ended the conversation.
    fermerPuisTerminer(m_requete == TRequetePOP3::rqQuit ? erAucune : erConnexion);
}

void TClientPOP3::surConnexion() {
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // With TLS from the first byte, the greeting comes after the handshake.
    if (m_requete == TRequetePOP3::rqLogin && !m_tlsImplicite) m_phase = TPhaseLogin::plBienvenue;
}

void TClientPOP3::surChiffre() {
    try {
        if (m_requete != TRequetePOP3::rqLogin) return;
        if (m_tlsImplicite) {
            m_phase = TPhaseLogin::plBienvenue;
        } else if (m_phase == TPhaseLogin::plChiffrement) {
            // What the server offers may differ once the connection is private.
            m_phase = TPhaseLogin::plCapaTls;
            m_dansCapa = false;
            envoyer("CAPA");
        }
    } catch (const std::exception& e) {
        TraceException(Tag, u"POP3Encrypted", TexteErreur(e));
    }
}

void TClientPOP3::surErreursTls(const QList<QSslError>& erreurs) {
    // Not ignored: the handshake fails after this, and the reason is these.
    QStringList textes;
    for (const QSslError& e : erreurs)
        textes.append(e.errorString());
    m_erreurTls = textes.join(QStringLiteral(" ; "));
}

void TClientPOP3::refuserLogin(const QString& raison) {
    TraceFormat(Tag, Res("tls03", u"Connexion au serveur refusée : %s"), raison);
    m_erreur = raison;
    fermerPuisTerminer(erConnexion);
}

void TClientPOP3::oublierEntree() {
    // Whatever came in plain text after the answer to STLS could be anyone's;
    // reading of the current buffer stops here.
    ++m_generation;
    m_entree.clear();
    m_dejaCherche = 0;
}

void TClientPOP3::surDeconnexion() {
    if (m_requete == TRequetePOP3::rqAucune) {
        m_etat = TEtatPOP3::epDeconnecte;
        m_entree.clear();
        return;
    }
    QString raison = m_socket->errorString();
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError ||
        m_socket->error() == QAbstractSocket::UnknownSocketError || raison.isEmpty())
        raison = QStringLiteral("connection closed by the server");
    if (m_requete == TRequetePOP3::rqLogin &&
        (m_socket->error() == QAbstractSocket::SslHandshakeFailedError || !m_erreurTls.isEmpty())) {
        // The certificate was refused: the TLS error is the answer.
        if (!m_erreurTls.isEmpty()) raison = m_erreurTls;
        m_erreurTls.clear();
        const quint64 generation = m_generation;
        TraceFormat(Tag, Res("tls03", u"Connexion au serveur refusée : %s"), raison);
        if (generation != m_generation) return;
    }
    perdue(raison);
}

void TClientPOP3::surDonnees() {
    try {
        lireDonnees();
    } catch (const std::exception& e) {
        // Out of memory on a huge answer, most likely: give the operation up.
        TraceException(Tag, u"POP3DataAvailable", TexteErreur(e));
        perdue(TexteErreur(e));
    }
}

void TClientPOP3::lireDonnees() {
    // In bounded pieces: a server that sent a whole message at once would
    // otherwise leave a line buffer of that size behind, for each session.
    constexpr qint64 kMorceau = 256 * 1024;
    const quint64 generation = m_generation;
    do {
        lireMorceau(std::min(m_socket->bytesAvailable(), kMorceau));
    } while (generation == m_generation && m_socket->bytesAvailable() > 0 &&
             m_entree.size() <= LongueurLigneMax);
}

void TClientPOP3::lireMorceau(qint64 disponible) {
    const quint64 generation = m_generation;
    // Straight into the line buffer, which keeps its capacity from read to read.
    if (disponible > 0) {
        const qsizetype avant = m_entree.size();
        m_entree.resize(avant + qsizetype(disponible));
        const qint64 lu = m_socket->read(m_entree.data() + avant, disponible);
        m_entree.resize(avant + qsizetype(std::max<qint64>(lu, 0)));
    }
    qsizetype debut = 0;
    while (generation == m_generation) {
        // A long line arrives in many pieces: never scan its start again.
        const qsizetype lf = m_entree.indexOf('\n', std::max(debut, m_dejaCherche));
        m_dejaCherche = 0;
        if (lf < 0) {
            m_dejaCherche = m_entree.size() - debut;
            break;
        }
        qsizetype fin = lf;
        if (fin > debut && m_entree[fin - 1] == '\r') --fin;
        // One line buffer reused: a handler that keeps the line shares it,
        // and the next line then gets a buffer of its own.
        m_ligne.resize(fin - debut);
        std::memcpy(m_ligne.data(), m_entree.constData() + debut, size_t(fin - debut));
        debut = lf + 1;
        traiterLigne(m_ligne);
    }
    if (generation != m_generation) return; // aborted meanwhile: the buffer is gone
    if (debut > 0) {
        // The partial line moves to the front; the capacity stays for the next read.
        const qsizetype reste = m_entree.size() - debut;
        std::memmove(m_entree.data(), m_entree.constData() + debut, size_t(reste));
        m_entree.resize(reste);
    }
    if (m_dejaCherche > m_entree.size()) m_dejaCherche = 0;
    if (m_entree.size() > LongueurLigneMax) {
        perdue(QStringLiteral("line longer than %1 bytes").arg(LongueurLigneMax));
    }
}

void TClientPOP3::traiterLigne(const QByteArray& ligne) {
    const quint64 generation = m_generation;
    if (m_requete == TRequetePOP3::rqLogin) {
        traiterLigneLogin(ligne);
        return;
    }
    if (m_dansDonnees) {
        traiterLigneDonnees(ligne);
        return;
    }
    // A status line.
    m_derniereLigne = ligne;
    if (OnLigneServeur) OnLigneServeur(ligne);
    if (generation != m_generation || m_requete == TRequetePOP3::rqAucune) return;
    const bool ok = ligne.startsWith("+OK");
    if (ok && m_requete == TRequetePOP3::rqStat) {
        pop3::analyserReponseStat(ligne, m_nbMessages, m_taille);
    } else if (ok && m_requete == TRequetePOP3::rqList && !m_multiLigne) {
        qint64 n = 0;
        pop3::analyserLigneListe(ligne, n, m_taille);
    }
    if (!ok) {
        m_erreur = cp1252::versUnicode(ligne);
        terminer(erReponseNegative);
        return;
    }
    if (!m_multiLigne) {
        if (m_requete == TRequetePOP3::rqQuit) m_etat = TEtatPOP3::epDeconnecte;
        terminer(erAucune);
        return;
    }
    m_dansDonnees = true;
    if (m_requete == TRequetePOP3::rqRetr || m_requete == TRequetePOP3::rqTop) {
        m_enEntete = true;
        m_tailleEntete = 0;
        if (OnDebutMessage) OnDebutMessage();
    }
}

void TClientPOP3::traiterLigneDonnees(const QByteArray& ligne) {
    const quint64 generation = m_generation;
    m_octetsReponse += ligne.size() + 2;
    if (m_octetsReponse > TailleReponseMax) {
        perdue(QStringLiteral("answer larger than %1 bytes").arg(TailleReponseMax));
        return;
    }
    if (OnLigneServeur) OnLigneServeur(ligne);
    if (generation != m_generation || m_requete == TRequetePOP3::rqAucune) return;
    const bool message = m_requete == TRequetePOP3::rqRetr || m_requete == TRequetePOP3::rqTop;
    // Inline tests: this runs for every line of every message.
    const bool pointSeul = ligne.size() == 1 && ligne.front() == '.';
    if (pointSeul) {
        if (message) {
            if (OnFinMessage) OnFinMessage();
            if (generation != m_generation) return;
            m_enEntete = false;
        }
        terminer(erAucune);
        return;
    }
    if (!message) {
        if (m_requete == TRequetePOP3::rqList) {
            qint64 n = 0;
            pop3::analyserLigneListe(ligne, n, m_taille);
        }
        return;
    }
    const bool bourre = ligne.size() >= 2 && ligne.front() == '.' && ligne.at(1) == '.';
    const QByteArray donnee = bourre ? ligne.sliced(1) : ligne;
    if (m_enEntete) {
        if (donnee.isEmpty()) {
            m_enEntete = false;
            if (OnFinEntete) OnFinEntete();
            if (generation != m_generation) return;
        } else {
            m_entete.ajouterLigne(donnee);
            m_tailleEntete += donnee.size() + 2;
        }
    }
    if (OnLigneMessage) OnLigneMessage(donnee);
}

void TClientPOP3::traiterLigneLogin(const QByteArray& ligne) {
    const quint64 generation = m_generation;
    m_derniereLigne = ligne;
    if (OnLigneServeur) OnLigneServeur(ligne);
    if (generation != m_generation || m_requete != TRequetePOP3::rqLogin) return;
    if (m_dansCapa) {
        if (ligne == ".") {
            m_dansCapa = false;
            finCapa();
        } else if (estStls(ligne)) {
            m_stlsOffert = true;
        }
        return;
    }
    const bool ok = ligne.startsWith("+OK");
    if (!ok && (m_phase == TPhaseLogin::plCapa || m_phase == TPhaseLogin::plCapaTls)) {
        // A server without CAPA offers nothing, STLS included.
        finCapa();
        return;
    }
    if (!ok) {
        m_erreur = cp1252::versUnicode(ligne);
        // The next PASS starts over on a fresh connection.
        fermerPuisTerminer(erReponseNegative);
        return;
    }
    switch (m_phase) {
    case TPhaseLogin::plConnexion:
    case TPhaseLogin::plBienvenue:
        if (m_tlsImplicite || SecuriteAmont == saTexteClair) {
            envoyerUser();
        } else {
            m_phase = TPhaseLogin::plCapa;
            m_stlsOffert = false;
            envoyer("CAPA");
        }
        break;
    case TPhaseLogin::plCapa:
    case TPhaseLogin::plCapaTls:
        m_dansCapa = true;
        break;
    case TPhaseLogin::plStls:
        m_phase = TPhaseLogin::plChiffrement;
        oublierEntree();
        m_tls->startClientEncryption();
        break;
    case TPhaseLogin::plChiffrement:
        // Nothing is read between STLS's answer and the end of the handshake.
        break;
    case TPhaseLogin::plUser:
        m_etat = TEtatPOP3::epAttentePass;
        m_phase = TPhaseLogin::plPass;
        envoyer("PASS " + PassWord.trimmed());
        break;
    case TPhaseLogin::plPass:
        m_etat = TEtatPOP3::epTransaction;
        terminer(erAucune);
        break;
    }
}

void TClientPOP3::finCapa() {
    if (m_phase == TPhaseLogin::plCapaTls) {
        envoyerUser();
        return;
    }
    if (m_stlsOffert) {
        if (!m_tls) {
            // Offered but not possible here: never a silent fall back to plain text.
            refuserLogin(Res("tls01", u"pas de TLS sur cette machine"));
            return;
        }
        m_phase = TPhaseLogin::plStls;
        envoyer("STLS");
        return;
    }
    if (SecuriteAmont == saTlsExige) {
        refuserLogin(Res("tls04", u"le serveur ne propose pas STLS et TLS est exigé"));
        return;
    }
    envoyerUser();
}

void TClientPOP3::envoyerUser() {
    if (Chiffre()) {
        const QSslCipher c = m_tls->sessionCipher();
        TraceFormat(Tag, Res("tls05", u"Connexion au serveur chiffrée : %s (%s)"),
                    c.protocolString(), c.name());
    } else {
        const QString raison = SecuriteAmont == saTexteClair
                                   ? Res("tls06", u"texte clair demandé par les options")
                                   : Res("tls07", u"le serveur ne propose pas STLS");
        TraceFormat(Tag, Res("tls08", u"Connexion au serveur non chiffrée : %s"), raison);
    }
    m_etat = TEtatPOP3::epAttenteUser;
    m_phase = TPhaseLogin::plUser;
    envoyer("USER " + UserName.trimmed());
}
