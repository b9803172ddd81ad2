// The Bayesian combination chosen in kelvarin.ini reaches the verdict: the same
// message against the same knowledge base, retrieved through the program's own
// assembly, passes with the mean and is caught with chi-square; with evidence
// both ways, chi-square's indicator stays under its spam cut-off and passes.

#include "accounts/gestion_comptes_bis.h"
#include "accounts/mon_dossier_bis.h"
#include "bayes/filtre_bayes.h"
#include "core/config.h"
#include "proxy/moteur.h"
#include "tests/support/moteur/banc_moteur.h"
#include "tests/support/pop3_script_server.h"
#include "tests/support/serveur_dns_test.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using testsupport::TBancMoteur;
using testsupport::TServeurDNSTest;
using testsupport::TServeurPOP3Script;

namespace {

// 10 spam and 1000 good messages learned; four words seen in every spam and in
// 40 good messages each. The mean of s / (s + g) is 20 %; scaled by the numbers
// learned, each word says spam. One word seen in 30 good messages only.
const QByteArray kBase = "*\t10\t1000\r\n"
                         "cheapest\t10\t40\t0\t10\t0\t0\t40\t0\r\n"
                         "discount\t10\t40\t0\t10\t0\t0\t40\t0\r\n"
                         "pharmacy\t10\t40\t0\t10\t0\t0\t40\t0\r\n"
                         "pills\t10\t40\t0\t10\t0\t0\t40\t0\r\n"
                         "tomatoes\t0\t30\t0\t0\t0\t0\t30\t0\r\n";

QByteArray message(const QByteArray& corps) {
    return "Received: from relay (relay [203.0.113.5])\r\n\tby mx; Mon, 1 Jan 2024\r\n"
           "From: x@y.test\r\nSubject: Offre\r\nTo: alice@x.test\r\n\r\n" +
           corps + "\r\n";
}

TPointsAcces versDNS(TServeurDNSTest& dns) {
    TPointsAcces p;
    if (dns.demarrer()) p.PortDNS = dns.port();
    return p;
}

} // namespace

class TestCalculBayes : public QObject {
    Q_OBJECT
private slots:
    void verdictSelonLeCalcul_data() {
        QTest::addColumn<QByteArray>("cle"); // CalculBayes in [Init]; empty: absent
        QTest::addColumn<int>("calcul");
        QTest::addColumn<QByteArray>("corps");
        QTest::addColumn<bool>("spam");
        QTest::addColumn<int>("probaBayes"); // tenths of a percent; -1: 990 or more
        const QByteArray pharmacie = "cheapest pharmacy discount pills";
        QTest::newRow("absent: the mean") << QByteArray() << 0 << pharmacie << false << 200;
        QTest::newRow("0: the mean") << QByteArray("0") << 0 << pharmacie << false << 200;
        QTest::newRow("1: chi-square") << QByteArray("1") << 1 << pharmacie << true << -1;
        // One strong good word against four spam ones: the indicator is 0.71,
        // under the spam cut-off of 0.9, and reads 0.71 / 0.9 / 2 = 39.48 %.
        QTest::newRow("1: chi-square, evidence both ways")
            << QByteArray("1") << 1 << pharmacie + " tomatoes" << false << 394;
        QTest::newRow("0: the mean, evidence both ways")
            << QByteArray("0") << 0 << pharmacie + " tomatoes" << false << 160;
    }
    void verdictSelonLeCalcul() {
        QFETCH(QByteArray, cle);
        QFETCH(int, calcul);
        QFETCH(QByteArray, corps);
        QFETCH(bool, spam);
        QFETCH(int, probaBayes);
        TServeurDNSTest dns;
        TBancMoteur::TCles cles{{"ModeBayes", "5"}};
        if (!cle.isEmpty()) cles.append({"CalculBayes", cle});
        TBancMoteur banc(cles, versDNS(dns));
        QVERIFY(QDir().mkpath(banc.Reps().Donnees()));
        QFile f(banc.Reps().Donnees() + QStringLiteral("bayes.qdl"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kBase);
        f.close();
        QVERIFY(banc.Demarrer());
        banc.SansServeursDNSBL();
        TFiltreBayes* bayes = banc.Moteur().FiltreBayes();
        QVERIFY(bayes);
        QCOMPARE(bayes->CalculBayes, calcul);
        QCOMPARE(int(bayes->DocReception.Calcul), calcul);
        QCOMPARE(banc.Moteur().Reglages().CalculBayes, calcul);

        TServeurPOP3Script amont;
        QVERIFY(amont.demarrer());
        amont.messages = {message(corps)};
        auto c = banc.Client();
        QVERIFY(c);
        QVERIFY(c->commande("USER alice@127.0.0.1|" + QByteArray::number(amont.port()))
                    .startsWith("+OK"));
        QCOMPARE(c->commande("PASS secret"), QByteArray("+OK logged in"));
        QVERIFY(c->commande("RETR 1").startsWith("+OK"));
        const QByteArray recu = c->jusquAuPoint();
        QVERIFY2(recu.contains("Subject: [[**SPAM") == spam, recu.constData());

        TMonDossierBis& archive = banc.Moteur().MonDossierBisSynchro;
        QCOMPARE(archive.NbMessage(), 1);
        QCOMPARE(archive.Message(0)->Spam, spam);
        // Tenths of a percent: the mean's, or chi-square's near certainty.
        if (probaBayes < 0)
            QVERIFY(archive.Message(0)->ProbaBayes >= 990);
        else
            QCOMPARE(archive.Message(0)->ProbaBayes, probaBayes);
    }
};

QTEST_GUILESS_MAIN(TestCalculBayes)
#include "tst_calcul_bayes.moc"
