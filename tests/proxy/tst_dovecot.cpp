// The proxy in front of a real POP3 server (a private dovecot on loopback):
// what a client gets through it is what it gets directly, byte for byte,
// apart from the one empty line the delivery adds before the final ".".

#include "accounts/gestion_comptes_bis.h"
#include "core/config.h"
#include "proxy/serveur_proxy.h"
#include "tests/support/dovecot_peer.h"
#include "tests/support/pop3_script_server.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using testsupport::TClientLignes;

class TestDovecot : public QObject {
    Q_OBJECT

    testsupport::TDovecotPeer m_peer;
    QTemporaryDir m_home;
    TConfig m_reglages; // the defaults of a new installation
    TGestionComptesBis m_comptes;
    std::unique_ptr<TServeurProxy> m_proxy;
    int m_nbMessages = 0;

    std::unique_ptr<TClientLignes> direct() {
        auto c = std::make_unique<TClientLignes>();
        if (!c->connecter(m_peer.port()) || !c->ligne().startsWith("+OK")) return nullptr;
        if (!c->commande("USER alice").startsWith("+OK")) return nullptr;
        if (!c->commande("PASS secret").startsWith("+OK")) return nullptr;
        return c;
    }
    std::unique_ptr<TClientLignes> parProxy() {
        auto c = std::make_unique<TClientLignes>();
        if (!c->connecter(m_proxy->PortLocal()) || !c->ligne().startsWith("+OK")) return nullptr;
        if (!c->commande("USER alice@127.0.0.1|" + QByteArray::number(m_peer.port()))
                 .startsWith("+OK"))
            return nullptr;
        if (!c->commande("PASS secret").startsWith("+OK")) return nullptr;
        return c;
    }
    // A command and its multi-line answer, status line included.
    static QByteArray multi(TClientLignes& c, const QByteArray& commande) {
        const QByteArray statut = c.commande(commande);
        if (!statut.startsWith("+OK")) return statut;
        return statut + "\r\n" + c.jusquAuPoint();
    }

private slots:
    void initTestCase() {
        m_peer.ajouterUtilisateur(QStringLiteral("alice"), QStringLiteral("secret"));
        for (const auto& f : testsupport::messagesFixturesE2e()) {
            m_peer.ajouterMessage(QStringLiteral("alice"), f.second);
            ++m_nbMessages;
        }
        for (const QByteArray& m : testsupport::messagesCorpus(60)) {
            m_peer.ajouterMessage(QStringLiteral("alice"), m);
            ++m_nbMessages;
        }
        QVERIFY2(m_nbMessages > 60, "the corpus is missing (scripts/fetch-corpus.sh)");
        QString erreur;
        QVERIFY2(m_peer.demarrer(&erreur), qPrintable(erreur));
        m_comptes.OnInitRepertoire = [this](TGestionComptesBis&, QString& t, QString& i) {
            t = i = m_home.path();
        };
        m_comptes.setActive(true);
        m_proxy = std::make_unique<TServeurProxy>(m_comptes, m_reglages);
        QVERIFY(m_proxy->Ouvrir("0"));
    }
    void cleanupTestCase() {
        m_proxy.reset();
        m_peer.arreter();
    }

    void listesIdentiques() {
        auto d = direct();
        auto p = parProxy();
        QVERIFY(d && p);
        const QByteArray stat = d->commande("STAT");
        QVERIFY(stat.startsWith("+OK " + QByteArray::number(m_nbMessages) + ' '));
        QCOMPARE(p->commande("STAT"), stat);
        QCOMPARE(multi(*p, "LIST"), multi(*d, "LIST"));
        QCOMPARE(multi(*p, "UIDL"), multi(*d, "UIDL"));
        QCOMPARE(p->commande("LIST 3"), d->commande("LIST 3"));
        QCOMPARE(p->commande("UIDL 2"), d->commande("UIDL 2"));
        QCOMPARE(p->commande("LIST 9999"), d->commande("LIST 9999"));
    }

    void messagesIdentiques() {
        auto d = direct();
        auto p = parProxy();
        QVERIFY(d && p);
        for (int n = 1; n <= m_nbMessages; ++n) {
            const QByteArray cmd = "RETR " + QByteArray::number(n);
            const QByteArray attendu = multi(*d, cmd);
            QVERIFY(!attendu.isEmpty());
            QCOMPARE(multi(*p, cmd), attendu + "\r\n");
        }
        // TOP goes the same way.
        QCOMPARE(multi(*p, "TOP 2 3"), multi(*d, "TOP 2 3") + "\r\n");
        QCOMPARE(p->commande("QUIT").left(3), QByteArray("+OK"));
        QCOMPARE(m_comptes.Chercher("127.0.0.1", "alice")->NbMessages, m_nbMessages + 1);
    }

    // Last: it kills the server.
    void serveurTue() {
        auto p = parProxy();
        QVERIFY(p);
        QVERIFY(p->commande("STAT").startsWith("+OK"));
        m_peer.tuer();
        QVERIFY(p->silence(300));
        const QByteArray r = p->commande("STAT");
        QVERIFY2(r.startsWith("-ERR STAT : "), r.constData());
        // The proxy still serves: a new client is greeted and told the server is gone.
        auto q = std::make_unique<TClientLignes>();
        QVERIFY(q->connecter(m_proxy->PortLocal()));
        QCOMPARE(q->ligne(), QByteArray("+OK Bienvenue sur Kelvarin"));
        QVERIFY(q->commande("USER alice@127.0.0.1|" + QByteArray::number(m_peer.port()))
                    .startsWith("+OK"));
        QVERIFY(q->commande("PASS secret").startsWith("-ERR Erreur : "));
        // The accounts survive a save and a reload.
        QVERIFY(m_comptes.Sauver());
        TGestionComptesBis relu;
        relu.OnInitRepertoire = m_comptes.OnInitRepertoire;
        relu.setActive(true);
        QCOMPARE(relu.Count(), 1);
        QCOMPARE(relu.Compte(0)->NbConnexions, m_comptes.Compte(0)->NbConnexions);
        QCOMPARE(relu.Compte(0)->NbMessages, m_nbMessages + 1);
    }
};

QTEST_GUILESS_MAIN(TestDovecot)
#include "tst_dovecot.moc"
