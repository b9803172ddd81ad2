// A machine whose Qt has no TLS backend (only the certificate-only one is
// active here): plain POP3 still works, and wherever TLS is needed the login
// fails with a clear answer before any password leaves.

#include "core/config.h"
#include "proxy/moteur.h"
#include "tests/support/moteur/banc_moteur.h"
#include "tests/support/pop3_script_server.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

using testsupport::TBancMoteur;
using testsupport::TClientLignes;
using testsupport::TServeurPOP3Script;

class TestSansTls : public QObject {
    Q_OBJECT

    static QByteArray login(TClientLignes& c, quint16 port) {
        const QByteArray u = c.commande("USER alice@127.0.0.1|" + QByteArray::number(port));
        if (u != "+OK Et maintenant, votre mot de passe") return "USER: " + u;
        return c.commande("PASS secret");
    }

private slots:
    void initTestCase() { QVERIFY(!QSslSocket::supportsSsl()); }

    void parCas_data() {
        QTest::addColumn<int>("securite");
        QTest::addColumn<bool>("pop3s");
        QTest::addColumn<bool>("stls");
        QTest::addColumn<QByteArray>("reponse");
        QTest::addColumn<QByteArrayList>("commandes");
        const QByteArray sansTls = "-ERR Erreur : pas de TLS sur cette machine";
        QTest::newRow("POP3S port") << 0 << true << false << sansTls << QByteArrayList{};
        QTest::newRow("STLS offered") << 0 << false << true << sansTls << QByteArrayList{"CAPA"};
        QTest::newRow("no STLS, 0") << 0 << false << false << QByteArray("+OK logged in")
                                    << QByteArrayList{"CAPA", "USER alice", "PASS secret"};
        QTest::newRow("no STLS, 1")
            << 1 << false << false
            << QByteArray("-ERR Erreur : le serveur ne propose pas STLS et TLS est exig\xe9")
            << QByteArrayList{"CAPA"};
        QTest::newRow("plain only") << 2 << false << true << QByteArray("+OK logged in")
                                    << QByteArrayList{"USER alice", "PASS secret"};
    }
    void parCas() {
        QFETCH(int, securite);
        QFETCH(bool, pop3s);
        QFETCH(bool, stls);
        QFETCH(QByteArray, reponse);
        QFETCH(QByteArrayList, commandes);
        TServeurPOP3Script s;
        s.OnCommande = [stls](QTcpSocket& client, const QByteArray& ligne) {
            if (ligne != "CAPA") return false;
            TServeurPOP3Script::envoyer(client,
                                        stls ? "+OK\r\nSTLS\r\n.\r\n" : "+OK\r\nUSER\r\n.\r\n");
            return true;
        };
        QVERIFY(s.demarrer());
        TPointsAcces points;
        if (pop3s) points.PortTlsImplicite = s.port();
        TBancMoteur banc({{"SecuriteAmont", QByteArray::number(securite)}}, points);
        QVERIFY(banc.Demarrer());
        auto c = banc.Client();
        QVERIFY(c);
        QCOMPARE(login(*c, s.port()), reponse);
        if (!reponse.startsWith("+OK"))
            QVERIFY(banc.TraceContient(QStringLiteral("Connexion au serveur refusée : ")));
        QCOMPARE(s.commandes, commandes);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Before any socket exists: the backend cannot change afterwards.
    if (!QSslSocket::setActiveBackend(QStringLiteral("cert-only"))) {
        qWarning("the certificate-only TLS backend is not available");
        return 1;
    }
    TestSansTls t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_sans_tls.moc"
