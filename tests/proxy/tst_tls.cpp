// The upstream connection over TLS, against real dovecot servers on loopback
// with certificates of a throw-away authority: POP3S from the first byte, STLS
// on the plain port, servers without STLS under each SecuriteAmont, and every
// kind of certificate that must be refused. Whenever a login is refused, the
// server's own log shows that the password never reached it.

#include "core/config.h"
#include "proxy/moteur.h"
#include "proxy/serveur_proxy.h"
#include "tests/support/autorite_test.h"
#include "tests/support/dovecot_peer.h"
#include "tests/support/moteur/banc_moteur.h"
#include "tests/support/pop3_script_server.h"

#include <QFile>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

using testsupport::TAutoriteTest;
using testsupport::TBancMoteur;
using testsupport::TClientLignes;
using testsupport::TDovecotPeer;
using testsupport::TServeurPOP3Script;

namespace {

const QByteArray kMessage = "From: Bob <bob@example.test>\nTo: alice@example.test\n"
                            "Subject: over TLS\n\nFirst line\n.dot line\nLast line\n";

// A server with STLS that sends a line of its own right behind its answer to
// STLS, in plain text: what a man in the middle would slip in.
class TServeurInjection : public QTcpServer {
public:
    QString certificat, cle;
    QByteArrayList commandes; // each with " (TLS)" when it came encrypted

protected:
    void incomingConnection(qintptr descripteur) override {
        auto* s = new QSslSocket(this);
        s->setSocketDescriptor(descripteur);
        s->setLocalCertificate(certificat);
        s->setPrivateKey(cle);
        connect(s, &QSslSocket::readyRead, s, [this, s] {
            while (s->canReadLine()) {
                const QByteArray l = s->readLine().trimmed();
                commandes << l + (s->isEncrypted() ? " (TLS)" : "");
                if (l == "CAPA") {
                    s->write(s->isEncrypted() ? "+OK\r\nUSER\r\n.\r\n" : "+OK\r\nSTLS\r\n.\r\n");
                } else if (l == "STLS") {
                    s->write("+OK begin TLS\r\n-ERR injected\r\n");
                    s->flush();
                    s->startServerEncryption();
                } else {
                    s->write("+OK fine\r\n");
                }
            }
        });
        s->write("+OK ready\r\n");
    }
};

} // namespace

class TestTls : public QObject {
    Q_OBJECT

    TAutoriteTest m_ca;
    TAutoriteTest::TCertificat m_bon, m_expire, m_autoSigne;
    // Offers STLS and POP3S; the same with an expired or a self-signed
    // certificate; and one without TLS at all.
    TDovecotPeer m_tls, m_expireServeur, m_autoSigneServeur, m_clair;
    std::unique_ptr<TBancMoteur> m_banc;

    // The dovecot log from here on, so each case reads only its own lines.
    struct TJournal {
        TDovecotPeer& peer;
        qsizetype debut;
        explicit TJournal(TDovecotPeer& p) : peer(p), debut(p.journal().size()) {}
        QString texte() const { return peer.journal().mid(debut); }
    };

    static bool demarrer(TDovecotPeer& d, const TAutoriteTest::TCertificat* c) {
        d.ajouterUtilisateur(QStringLiteral("alice"), QStringLiteral("secret"));
        d.ajouterMessage(QStringLiteral("alice"), kMessage);
        if (c) d.activerTls(c->certificat, c->cle);
        QString erreur;
        if (!d.demarrer(&erreur)) {
            qWarning("%s", qPrintable(erreur));
            return false;
        }
        return true;
    }

    TConfig& reglages() { return m_banc->Reglages(); }

    // USER and PASS through the proxy; the answer to PASS.
    QByteArray login(TClientLignes& c, const QByteArray& hote, quint16 port) {
        const QByteArray u = c.commande("USER alice@" + hote + '|' + QByteArray::number(port));
        if (u != "+OK Et maintenant, votre mot de passe") return "USER: " + u;
        return c.commande("PASS secret");
    }

    // The peer's log shows this connection gone and no login of alice.
    static bool motDePasseJamaisRecu(const TJournal& j) {
        if (!QTest::qWaitFor([&] { return j.texte().contains(QLatin1String("Disconnected")); },
                             10000)) {
            qWarning("no disconnection in the log:\n%s", qPrintable(j.texte()));
            return false;
        }
        if (j.texte().contains(QLatin1String("user=<alice>"))) {
            qWarning("alice reached the server:\n%s", qPrintable(j.texte()));
            return false;
        }
        return true;
    }

    // The session's trace line about the upstream connection.
    QString ligneChiffrement() const {
        for (const QString& t : m_banc->Traces)
            if (t.contains(QLatin1String("Connexion au serveur"))) return t;
        return QString();
    }

private slots:
    void initTestCase() {
        QVERIFY2(QSslSocket::supportsSsl(), "no TLS backend for Qt Network");
        QVERIFY2(m_ca.valide(), qPrintable(m_ca.erreur()));
        m_bon = m_ca.signe(QStringLiteral("localhost"), {QStringLiteral("DNS:localhost")});
        m_expire = m_ca.signe(QStringLiteral("expire"), {QStringLiteral("DNS:localhost")}, true);
        m_autoSigne =
            m_ca.autoSigne(QStringLiteral("autosigne"), {QStringLiteral("DNS:localhost")});
        QVERIFY2(m_bon.ok && m_expire.ok && m_autoSigne.ok, qPrintable(m_ca.erreur()));
        QVERIFY(demarrer(m_tls, &m_bon));
        QVERIFY(demarrer(m_expireServeur, &m_expire));
        QVERIFY(demarrer(m_autoSigneServeur, &m_autoSigne));
        QVERIFY(demarrer(m_clair, nullptr));
    }

    void init() {
        TPointsAcces points;
        points.PortTlsImplicite = m_tls.portPop3s();
        m_banc = std::make_unique<TBancMoteur>(
            TBancMoteur::TCles{{"CertificatsAmont", m_ca.ca().toLocal8Bit()}}, points);
        QVERIFY(m_banc->Demarrer());
        m_banc->SansServeursDNSBL();
    }
    void cleanup() { m_banc.reset(); }

    void cleanupTestCase() {
        for (TDovecotPeer* d : {&m_tls, &m_expireServeur, &m_autoSigneServeur, &m_clair})
            d->arreter();
    }

    // TLS from the first byte on the POP3S port, then a whole message through it.
    void tlsImplicite() {
        QCOMPARE(reglages().CertificatsAmont, m_ca.ca().toLocal8Bit());
        const TJournal j(m_tls);
        auto c = m_banc->Client();
        QVERIFY(c);
        QCOMPARE(login(*c, "localhost", m_tls.portPop3s()), QByteArray("+OK Logged in."));
        QVERIFY2(
            ligneChiffrement().contains(QStringLiteral("Connexion au serveur chiffrée : TLSv1.")),
            qPrintable(ligneChiffrement()));
        QVERIFY(c->commande("STAT").startsWith("+OK 1 "));
        QVERIFY(c->commande("RETR 1").startsWith("+OK"));
        const QByteArray m = c->jusquAuPoint();
        QVERIFY2(m.contains("\r\nFirst line\r\n..dot line\r\nLast line\r\n"), m.constData());
        QCOMPARE(c->commande("QUIT").left(3), QByteArray("+OK"));
        QTRY_VERIFY(j.texte().contains(QLatin1String("Login: user=<alice>")));
        // dovecot says "TLS" for a login over TLS, "secured" for loopback in plain text.
        QVERIFY2(j.texte().contains(QLatin1String(", TLS")), qPrintable(j.texte()));
    }

    // STLS on the plain port, or plain text, by setting and by what the server offers.
    void parSecurite_data() {
        QTest::addColumn<int>("securite");
        QTest::addColumn<bool>("serveurTls");
        QTest::addColumn<QByteArray>("reponse");
        QTest::addColumn<QString>("trace");
        const QString chiffre = QStringLiteral("Connexion au serveur chiffrée : TLSv1.");
        const QString sansStls =
            QStringLiteral("Connexion au serveur non chiffrée : le serveur ne propose pas STLS");
        const QString clair = QStringLiteral(
            "Connexion au serveur non chiffrée : texte clair demandé par les options");
        QTest::newRow("STLS offered, 0") << 0 << true << QByteArray("+OK Logged in.") << chiffre;
        QTest::newRow("STLS offered, 1") << 1 << true << QByteArray("+OK Logged in.") << chiffre;
        QTest::newRow("STLS offered, 2") << 2 << true << QByteArray("+OK Logged in.") << clair;
        QTest::newRow("no STLS, 0") << 0 << false << QByteArray("+OK Logged in.") << sansStls;
        QTest::newRow("no STLS, 1")
            << 1 << false
            << QByteArray("-ERR Erreur : le serveur ne propose pas STLS et TLS est exig\xe9")
            << QStringLiteral("Connexion au serveur refusée : le serveur ne propose pas STLS et "
                              "TLS est exigé");
        QTest::newRow("no STLS, 2") << 2 << false << QByteArray("+OK Logged in.") << clair;
    }
    void parSecurite() {
        QFETCH(int, securite);
        QFETCH(bool, serveurTls);
        QFETCH(QByteArray, reponse);
        QFETCH(QString, trace);
        reglages().SecuriteAmont = securite;
        TDovecotPeer& peer = serveurTls ? m_tls : m_clair;
        const TJournal j(peer);
        auto c = m_banc->Client();
        QVERIFY(c);
        QCOMPARE(login(*c, "localhost", peer.port()), reponse);
        QVERIFY2(m_banc->TraceContient(trace), qPrintable(m_banc->Traces.join(u'\n')));
        if (!reponse.startsWith("+OK")) {
            QVERIFY(motDePasseJamaisRecu(j));
            // The mail client may try again: the session is still there.
            QVERIFY(c->connecte());
            return;
        }
        QVERIFY(c->commande("STAT").startsWith("+OK 1 "));
        QCOMPARE(c->commande("QUIT").left(3), QByteArray("+OK"));
        QTRY_VERIFY(j.texte().contains(QLatin1String("Login: user=<alice>")));
        const bool tls = trace.contains(QStringLiteral("chiffrée : TLS"));
        QVERIFY2(j.texte().contains(tls ? QLatin1String(", TLS") : QLatin1String(", secured")),
                 qPrintable(j.texte()));
    }

    // Certificates that must be refused, on either TLS path, under the default
    // setting: the mail client gets the TLS error, nothing falls back to plain text.
    void certificatRefuse_data() {
        QTest::addColumn<QString>("serveur");
        QTest::addColumn<QByteArray>("hote");
        QTest::addColumn<bool>("pop3s");
        QTest::addColumn<bool>("autorite");
        QTest::addColumn<QString>("erreur");
        // Qt's texts of the verification errors.
        const QString nom = QStringLiteral("host name did not match");
        QTest::newRow("wrong name, STLS")
            << "tls" << QByteArray("127.0.0.1") << false << true << nom;
        QTest::newRow("wrong name, POP3S")
            << "tls" << QByteArray("127.0.0.1") << true << true << nom;
        QTest::newRow("unknown authority") << "tls" << QByteArray("localhost") << true << false
                                           << QStringLiteral("issuer certificate");
        QTest::newRow("expired") << "expire" << QByteArray("localhost") << false << true
                                 << QStringLiteral("expired");
        QTest::newRow("self-signed") << "autosigne" << QByteArray("localhost") << false << true
                                     << QStringLiteral("self-signed");
    }
    void certificatRefuse() {
        QFETCH(QString, serveur);
        QFETCH(QByteArray, hote);
        QFETCH(bool, pop3s);
        QFETCH(bool, autorite);
        QFETCH(QString, erreur);
        TDovecotPeer& peer = serveur == QLatin1String("tls")      ? m_tls
                             : serveur == QLatin1String("expire") ? m_expireServeur
                                                                  : m_autoSigneServeur;
        if (!autorite) reglages().CertificatsAmont.clear();
        const TJournal j(peer);
        auto c = m_banc->Client();
        QVERIFY(c);
        const QByteArray r = login(*c, hote, pop3s ? peer.portPop3s() : peer.port());
        QVERIFY2(r.startsWith("-ERR Erreur : ") && QString::fromLatin1(r).contains(erreur),
                 r.constData());
        QVERIFY2(m_banc->TraceContient(QStringLiteral("Connexion au serveur refusée : ")),
                 qPrintable(m_banc->Traces.join(u'\n')));
        QVERIFY(motDePasseJamaisRecu(j));
        // The same session then logs in where the certificate is good.
        reglages().CertificatsAmont = m_ca.ca().toLocal8Bit();
        QCOMPARE(login(*c, "localhost", m_tls.port()), QByteArray("+OK Logged in."));
    }

    // A home server's own certificate becomes trusted through CertificatsAmont.
    void autoSigneAccepte() {
        reglages().CertificatsAmont = m_autoSigne.certificat.toLocal8Bit();
        auto c = m_banc->Client();
        QVERIFY(c);
        QCOMPARE(login(*c, "localhost", m_autoSigneServeur.port()), QByteArray("+OK Logged in."));
        QVERIFY2(ligneChiffrement().contains(QStringLiteral("chiffrée : TLSv1.")),
                 qPrintable(m_banc->Traces.join(u'\n')));
    }

    // A file of authorities that cannot be used is traced and adds nothing:
    // verification stays on.
    void certificatsIllisibles_data() {
        QTest::addColumn<QString>("contenu"); // null: no file
        QTest::addColumn<QString>("trace");
        QTest::newRow("missing") << QString() << QStringLiteral("illisibles : ");
        QTest::newRow("not PEM") << QStringLiteral("not a certificate\n")
                                 << QStringLiteral("illisibles : aucun certificat PEM");
    }
    void certificatsIllisibles() {
        QFETCH(QString, contenu);
        QFETCH(QString, trace);
        const QString chemin = m_ca.dossier() + QStringLiteral("/illisible.pem");
        QFile::remove(chemin);
        if (!contenu.isNull()) {
            QFile f(chemin);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(contenu.toLatin1());
        }
        reglages().CertificatsAmont = chemin.toLocal8Bit();
        const TJournal j(m_tls);
        auto c = m_banc->Client();
        QVERIFY(c);
        QVERIFY(login(*c, "localhost", m_tls.port()).startsWith("-ERR Erreur : "));
        QVERIFY2(m_banc->TraceContient(QStringLiteral("Certificats de confiance ") + chemin +
                                       QLatin1Char(' ') + trace),
                 qPrintable(m_banc->Traces.join(u'\n')));
        QVERIFY(motDePasseJamaisRecu(j));
    }

    // Plain text that follows the answer to STLS is not the server's: it is
    // dropped, and the login goes on over TLS.
    void stlsSansInjection() {
        TServeurInjection s;
        s.certificat = m_bon.certificat;
        s.cle = m_bon.cle;
        QVERIFY(s.listen(QHostAddress::LocalHost, 0));
        auto c = m_banc->Client();
        QVERIFY(c);
        QCOMPARE(login(*c, "localhost", s.serverPort()), QByteArray("+OK fine"));
        QCOMPARE(s.commandes, (QByteArrayList{"CAPA", "STLS", "CAPA (TLS)", "USER alice (TLS)",
                                              "PASS secret (TLS)"}));
    }

    // A server that lists STLS and then refuses it gets no password: an offer
    // of TLS is never turned into plain text.
    void stlsRefuse() {
        TServeurPOP3Script s;
        s.OnCommande = [](QTcpSocket& client, const QByteArray& ligne) {
            if (ligne == "CAPA") {
                TServeurPOP3Script::envoyer(client, "+OK\r\nUSER\r\nSTLS\r\n.\r\n");
                return true;
            }
            if (ligne == "STLS") {
                TServeurPOP3Script::envoyer(client, "-ERR not now\r\n");
                return true;
            }
            return false;
        };
        QVERIFY(s.demarrer());
        auto c = m_banc->Client();
        QVERIFY(c);
        QCOMPARE(login(*c, "127.0.0.1", s.port()), QByteArray("-ERR Erreur : -ERR not now"));
        QCOMPARE(s.commandes, (QList<QByteArray>{"CAPA", "STLS"}));
    }
};

QTEST_GUILESS_MAIN(TestTls)
#include "tst_tls.moc"
