// The engine assembled on the controller: every component loads from the home
// at start-up, the listener's events drive the controller's timers, and
// shutdown saves each file in its order without losing what was on disk.

#include "accounts/gestion_comptes_bis.h"
#include "core/controleur.h"
#include "core/trace.h"
#include "i18n/traduction.h"
#include "proxy/mon_wsocket.h"
#include "proxy/moteur.h"
#include "proxy/serveur_proxy.h"
#include "tests/support/moteur/banc_moteur.h"
#include "tests/support/pop3_script_server.h"
#include "tests/support/serveur_dns_test.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using testsupport::TClientLignes;
using testsupport::TServeurPOP3Script;

namespace {

using testsupport::TEngin;
using testsupport::TMaison;

qsizetype position(const QStringList& journal, const char* etape) {
    return journal.indexOf(QLatin1String(etape));
}

} // namespace

class TestMoteur : public QObject {
    Q_OBJECT
private slots:
    // Headless too, the language is chosen from the settings before any text,
    // and the greeting on the wire follows it.
    void langueAuDemarrage() {
        testsupport::TBancMoteur b({{"LanguageDefaut", "0"}, {"LanguageForce", "en"}});
        QVERIFY(QDir().mkpath(b.Reps().Language()));
        QVERIFY(QFile::copy(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Language/kelvarin.en.lang"),
                            b.Reps().Language() + QStringLiteral("kelvarin.en.lang")));
        QVERIFY(b.Demarrer());
        QVERIFY(b.Controleur().Journal().indexOf(QStringLiteral("ChoisirLangue")) <
                b.Controleur().Journal().indexOf(QStringLiteral("LireConfig")));
        testsupport::TClientLignes c;
        QVERIFY(c.connecter(b.Port()));
        QCOMPARE(c.ligne(), QByteArray("+OK Welcome to Kelvarin"));
        QCOMPARE(c.commande("USER alice"), QByteArray("-ERR Expected format=username@server"));
        b.Arreter();
        Traduction().ChoixAuDemarrage(false, QString());
    }

    void demarrageEtArret() {
        TMaison m;
        // An account already on disk must survive the start-up.
        m.creerCompte("pop.old.test", "ancien");
        QCOMPARE(m.comptesSurDisque(), QList<QByteArray>{"ancien@pop.old.test"});

        TEngin e(m.reps);
        QVERIFY(e.demarrer());
        TMoteur& mo = e.moteur;
        const QStringList& j = e.controleur.Journal();
        const char* ordre[] = {"ActiverChercheSPAMs", "ActiverComptes",       "CreerBaseBayes",
                               "LireConfig",          "ConfigVersComposants", "ConfigRecherche",
                               "PreparerDecodeurs",   "ReglerModeBayes",      "OuvrirEcoute"};
        for (size_t i = 1; i < std::size(ordre); ++i)
            QVERIFY2(position(j, ordre[i - 1]) >= 0 &&
                         position(j, ordre[i - 1]) < position(j, ordre[i]),
                     ordre[i]);

        QCOMPARE(mo.GestionComptesBis1.Count(), 1);
        QVERIFY(mo.ServeurProxy().Ecoute());
        QVERIFY(mo.FiltreBayes());
        QCOMPARE(mo.ChercheSPAMs1.RepertoireDonnees(), m.reps.Donnees());
        QCOMPARE(mo.MonDossierBisSynchro.RepertoireDossiers(), m.reps.Dossiers());
        QCOMPARE(mo.MonDossierBis1.RepertoireDossiers(), m.reps.Dossiers());
        QCOMPARE(mo.MonMimeDecodeReception.RepDestination(), m.reps.Tmp());
        QCOMPARE(mo.MonMimeDecodeAffichage.RepDestination(), m.reps.Tmp());
        QVERIFY(QFileInfo(m.reps.Tmp()).isDir());
        QVERIFY(mo.ChercheSPAMs1.NbServeur() > 0);

        // Things to save: a new account, a learnt message, a higher DNSBL number.
        mo.GestionComptesBis1.ChercherOuCreer("pop.new.test", "nouveau");
        mo.FiltreBayes()->AppliquerTexte(mo.FiltreBayes()->DocReception,
                                         "Subject: cheap pills\r\n\r\nbuy cheap pills now", 23, 44,
                                         {}, true, true);
        QVERIFY(mo.FiltreBayes()->Base().Modifie);
        mo.ChercheSPAMs1.setNumeroDNSMini(4000);
        QVERIFY(mo.MessagesFictifs.Ajouter(1, 1, 10));
        QTest::qWait(20); // distinct time stamps between the saves

        e.controleur.Arreter();
        const char* arret[] = {"DesactiverComptes", "DesactiverChercheSPAMs", "SauverConfig",
                               "LibererBase",       "LibererSessions",        "LibererReemissions"};
        for (size_t i = 1; i < std::size(arret); ++i)
            QVERIFY2(position(j, arret[i - 1]) < position(j, arret[i]), arret[i]);
        QVERIFY(!mo.FiltreBayes());
        QVERIFY(!mo.ServeurProxy().Ecoute());
        QCOMPARE(mo.MessagesFictifs.Count(), 0);

        QCOMPARE(m.comptesSurDisque(),
                 (QList<QByteArray>{"nouveau@pop.new.test", "ancien@pop.old.test"}));
        for (const char* f :
             {"Donnees/comptesspam.qdl", "Donnees/dns.qdl", "kelvarin.ini", "Donnees/bayes.qdl"})
            QVERIFY2(QFileInfo::exists(m.reps.Travail + QLatin1String(f)), f);
        QVERIFY(m.date(QStringLiteral("Donnees/comptesspam.qdl")) <=
                m.date(QStringLiteral("Donnees/dns.qdl")));
        QVERIFY(m.date(QStringLiteral("Donnees/dns.qdl")) <=
                m.date(QStringLiteral("kelvarin.ini")));
        QVERIFY(m.date(QStringLiteral("kelvarin.ini")) <=
                m.date(QStringLiteral("Donnees/bayes.qdl")));
        QFile ini(m.reps.Ini());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(ini.readAll().contains("NumeroDNSMini=4000"));
    }

    // An engine dropped without the controller's shutdown still saves.
    void destructionSansArret() {
        TMaison m;
        {
            TEngin e(m.reps);
            QVERIFY(e.demarrer());
            e.moteur.GestionComptesBis1.ChercherOuCreer("pop.x.test", "perdu");
        }
        QCOMPARE(m.comptesSurDisque(), QList<QByteArray>{"perdu@pop.x.test"});
    }

    // A session drives the controller's timers; the save timer's work reaches
    // the disk and drops the knowledge base from memory (headless).
    void timersDesSessions() {
        TMaison m;
        TEngin e(m.reps);
        e.controleur.TimerSauve().setInterval(100);
        QVERIFY(e.demarrer());
        TServeurPOP3Script amont;
        QVERIFY(amont.demarrer());

        TClientLignes c;
        QVERIFY(c.connecter(e.moteur.ServeurProxy().PortLocal()));
        QVERIFY(c.ligne().startsWith("+OK"));
        QVERIFY(c.commande("USER alice@127.0.0.1|" + QByteArray::number(amont.port()))
                    .startsWith("+OK"));
        QCOMPARE(c.commande("PASS secret"), QByteArray("+OK logged in"));
        e.controleur.TimerSauve().start();
        QCOMPARE(c.commande("NOOP"), QByteArray("+OK"));
        QVERIFY(!e.controleur.TimerSauve().isActive()); // a command stops it

        QVERIFY(c.commande("QUIT").startsWith("+OK"));
        // The mail client hangs up once it has the answer.
        c.socket().disconnectFromHost();
        QTRY_VERIFY(e.controleur.Journal().contains(QStringLiteral("SauverComptes")));
        QVERIFY(e.controleur.Journal().contains(QStringLiteral("LibererBaseSiCachee")));
        QCOMPARE(m.comptesSurDisque(), QList<QByteArray>{"alice@127.0.0.1"});
        QTRY_COMPARE(e.moteur.ServeurProxy().NbSessions(), 0);
    }

    // A client that sent QUIT and waits for an upstream that is not there is
    // closed by TimerQuit.
    void timerQuitFermeLaSession() {
        TMaison m;
        TEngin e(m.reps);
        e.controleur.TimerQuit().setInterval(100);
        QVERIFY(e.demarrer());
        TClientLignes c;
        QVERIFY(c.connecter(e.moteur.ServeurProxy().PortLocal()));
        QVERIFY(c.ligne().startsWith("+OK"));
        c.envoyer("QUIT\r\n");
        QTRY_VERIFY(e.controleur.TimerQuit().isActive() ||
                    c.socket().state() == QAbstractSocket::UnconnectedState);
        QVERIFY(c.attendreFermeture());
        QVERIFY(e.controleur.Journal().contains(QStringLiteral("TimerQuit")));
    }

    void dnsMachineRelueALAccept_data() {
        QTest::addColumn<QByteArray>("dnsAuto");
        QTest::addColumn<QByteArray>("adresse");
        QTest::addColumn<QByteArray>("attendue");
        QTest::newRow("automatic")
            << QByteArray("1") << QByteArray("192.0.2.53") << QByteArray("127.0.0.9");
        QTest::newRow("set by hand")
            << QByteArray("0") << QByteArray("192.0.2.53") << QByteArray("192.0.2.53");
    }
    void dnsMachineRelueALAccept() {
        // The machine may change networks between two mail checks: each
        // accept reads its DNS server again unless one is set by hand.
        QFETCH(QByteArray, dnsAuto);
        QFETCH(QByteArray, adresse);
        QByteArray machine = "127.0.0.8";
        TPointsAcces points;
        points.ServeurDNSMachine = [&machine] { return machine; };
        testsupport::TBancMoteur b({{"DNSAuto", dnsAuto}, {"AdresseDNS", adresse}}, points);
        QVERIFY(b.Demarrer());
        machine = "127.0.0.9";
        auto c = b.Client();
        QVERIFY(c);
        QTEST(b.Reglages().AdresseDNS, "attendue");
        QTEST(b.Moteur().ChercheSPAMs1.DNSPrincipal(), "attendue");
    }

    // The port is taken: the warning is given and the engine keeps running.
    void portOccupe() {
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
        TMaison m({{"PortEcoute", QByteArray::number(occupant.serverPort())}});
        TEngin e(m.reps);
        QString avertissement;
        e.controleur.OnAvertissement = [&](const QString& t) { avertissement = t; };
        QVERIFY(e.demarrer());
        QVERIFY(avertissement.startsWith(QStringLiteral("Impossible d'ouvrir le port ") +
                                         QString::number(occupant.serverPort())));
        QVERIFY(!e.moteur.ServeurProxy().Ecoute());
        QCOMPARE(e.moteur.GestionComptesBis1.Active(), true);
    }

    // A DNSBL server leaves the lookups while a session waits for the
    // lookup queued for it: that session is judged at once, another session
    // is left alone.
    void serveurRetireRevoitLesSessions() {
        testsupport::TServeurDNSTest dns;
        QVERIFY(dns.demarrer());
        TPointsAcces points;
        points.PortDNS = dns.port();
        testsupport::TBancMoteur b({{"NbSocket", "1"}, {"TimeOutRecherche", "600000"}}, points);
        QVERIFY(b.Demarrer());
        b.SansServeursDNSBL();
        TChercheSPAMs& cherche = b.Moteur().ChercheSPAMs1;
        cherche.AjouterServeur("a", "a.test", {}, true);
        cherche.AjouterServeur("b", "b.test", {}, true);
        // b goes once a has answered, before its own lookup is sent.
        auto reponse = cherche.OnReponseDNS;
        cherche.OnReponseDNS = [&](TChercheSPAMs& c, TUneRechercheDNS& x, bool partiel) {
            reponse(c, x, partiel);
            if (partiel && c.TrouverServeurNom("b")) c.SupprimerServeur("b");
        };
        TServeurPOP3Script amont;
        amont.messages = {"Received: from r (r [203.0.113.5])\r\nFrom: a@b.test\r\n"
                          "Subject: s\r\n\r\ntext\r\n"};
        QVERIFY(amont.demarrer());
        auto attend = b.Client();
        auto autre = b.Client();
        QVERIFY(attend && autre);
        QVERIFY(attend->commande("USER alice@127.0.0.1|" + QByteArray::number(amont.port()))
                    .startsWith("+OK"));
        QCOMPARE(attend->commande("PASS secret"), QByteArray("+OK logged in"));
        QVERIFY(attend->commande("RETR 1").startsWith("+OK"));
        const QByteArray recu = attend->jusquAuPoint();
        QVERIFY(!cherche.TrouverServeurNom("b"));
        QVERIFY(recu.contains("Subject: s\r\nX-Kelvarin: ok\r\n"));
        QCOMPARE(dns.questions, QByteArrayList{"5.113.0.203.a.test"});
        QCOMPARE(autre->commande("CAPA"), QByteArray("-ERR CAPA pas connu"));
    }
};

QTEST_GUILESS_MAIN(TestMoteur)
#include "tst_moteur.moc"
