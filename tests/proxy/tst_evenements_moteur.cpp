// The engine's events as the views receive them: the program's own assembly in
// a temporary home, a real dovecot upstream, and one spy per signal.

#include "bayes/filtre_bayes.h"
#include "core/config.h"
#include "core/controleur.h"
#include "core/trace.h"
#include "proxy/moteur.h"
#include "proxy/serveur_proxy.h"
#include "tests/support/dovecot_peer.h"
#include "tests/support/kelvarin_process.h"
#include "tests/support/pop3_script_server.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

namespace {
struct TEngin {
    QTemporaryDir dir;
    TRepertoires reps;
    std::unique_ptr<TControleur> controleur;
    std::unique_ptr<TMoteur> moteur;
    explicit TEngin(const QByteArray& port = "0") {
        Config() = TConfig();
        reps.Installation = reps.Travail = dir.path() + QLatin1Char('/');
        QFile ini(reps.Ini());
        if (ini.open(QIODevice::WriteOnly))
            ini.write("[Init]\r\nPortEcoute=" + port +
                      "\r\nAdresseVersion=" + testsupport::kAdresseVersionTest + "\r\n");
        controleur = std::make_unique<TControleur>(reps);
        moteur = std::make_unique<TMoteur>(*controleur);
        controleur->TimerSauve().setInterval(60000);
        controleur->TimerQuit().setInterval(100);
    }
    ~TEngin() {
        moteur.reset();
        controleur.reset();
        Config() = TConfig();
    }
    bool demarrer() {
        if (!controleur->Demarrer()) return false;
        return QTest::qWaitFor([this] { return controleur->DemarrageDiffereFait(); }, 5000);
    }
};
} // namespace

class TstEvenementsMoteur : public QObject {
    Q_OBJECT
    testsupport::TDovecotPeer m_peer;

private slots:
    void initTestCase() {
        m_peer.ajouterUtilisateur(QStringLiteral("alice"), QStringLiteral("secret"));
        m_peer.ajouterMessage(QStringLiteral("alice"),
                              "From: bob@exemple.org\nSubject: Bonjour\n\nA bientot.\n");
        m_peer.ajouterMessage(QStringLiteral("alice"), "To: alice@exemple.org\n\nPromo !\n");
        QString erreur;
        QVERIFY2(m_peer.demarrer(&erreur), qPrintable(erreur));
    }
    void cleanupTestCase() { m_peer.arreter(); }

    void uneReleve() {
        TEngin e;
        QVERIFY(e.demarrer());
        TEvenementsMoteur& ev = e.moteur->Evenements;
        QSignalSpy ouvertes(&ev, &TEvenementsMoteur::SessionOuverte);
        QSignalSpy changees(&ev, &TEvenementsMoteur::SessionChangee);
        QSignalSpy commandes(&ev, &TEvenementsMoteur::CommandeClient);
        QSignalSpy juges(&ev, &TEvenementsMoteur::MessageJuge);
        QSignalSpy fermees(&ev, &TEvenementsMoteur::SessionFermee);
        QSignalSpy lignes(&ev, &TEvenementsMoteur::LigneTrace);
        // The console's hook (--trace) keeps getting every line as well.
        int console = 0;
        TTrace::instance().OnLigne = [&console](const TLigneTrace&) { ++console; };
        {
            testsupport::TClientLignes c;
            QVERIFY(c.connecter(e.moteur->ServeurProxy().PortLocal()));
            QVERIFY(c.ligne().startsWith("+OK"));
            QCOMPARE(ouvertes.size(), 1);
            QVERIFY(c.commande("USER alice@127.0.0.1|" + QByteArray::number(m_peer.port()))
                        .startsWith("+OK"));
            QVERIFY(c.commande("PASS secret").startsWith("+OK"));
            QCOMPARE(changees.size(), 1);
            for (int n = 1; n <= 2; ++n) {
                QVERIFY(c.commande("RETR " + QByteArray::number(n)).startsWith("+OK"));
                QVERIFY(!c.jusquAuPoint().isNull());
            }
            QVERIFY(c.commande("QUIT").startsWith("+OK"));
            QCOMPARE(commandes.size(), 5);
            QCOMPARE(juges.size(), 2);
            QCOMPARE(juges[0][1].toBool(), false);
            QCOMPARE(juges[1][1].toBool(), true); // neither subject nor sender
            QVERIFY(c.attendreFermeture());
        }
        QTRY_COMPARE(fermees.size(), 1);
        TTrace::instance().OnLigne = nullptr;
        QVERIFY(lignes.size() > 5);
        QCOMPARE(console, int(lignes.size()));

        // The knowledge base's save shows its state, then idle.
        QSignalSpy etats(&ev, &TEvenementsMoteur::EtatBase);
        QVERIFY(e.moteur->FiltreBayes());
        e.moteur->FiltreBayes()->SauverBase();
        QVERIFY(etats.size() >= 2);
        QCOMPARE(etats.first()[0].toInt(), int(TEvenementsMoteur::ebSauvegarde));
        QCOMPARE(etats.last()[0].toInt(), int(TEvenementsMoteur::ebRepos));
    }

    // A warning goes to a view when one listens, else to the trace.
    void avertissement() {
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
        {
            TEngin e(QByteArray::number(occupant.serverPort()));
            QSignalSpy avertis(&e.moteur->Evenements, &TEvenementsMoteur::Avertissement);
            QVERIFY(e.demarrer());
            QCOMPARE(avertis.size(), 1);
            QVERIFY(
                avertis[0][0].toString().startsWith(QStringLiteral("Impossible d'ouvrir le port")));
        }
        TTrace::instance().effacer();
        TEngin e(QByteArray::number(occupant.serverPort()));
        QVERIFY(e.demarrer());
        bool trace = false;
        for (const TLigneTrace& l : TTrace::instance().lignes())
            trace = trace || l.texte.startsWith(QStringLiteral("Impossible d'ouvrir le port"));
        QVERIFY(trace);
    }
};

QTEST_GUILESS_MAIN(TstEvenementsMoteur)
#include "tst_evenements_moteur.moc"
