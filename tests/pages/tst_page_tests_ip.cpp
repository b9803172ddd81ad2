// The IP-test page's rows and commands over the program's own engine; the
// manual test against a real dnsmasq on loopback.

#include "pages/page_dns.h"
#include "pages/page_tests_ip.h"
#include "tests/support/dnsmasq_peer.h"
#include "tests/support/moteur/banc_moteur.h"

#include <QSignalSpy>
#include <QtTest>

using testsupport::TBancMoteur;
using namespace Qt::Literals::StringLiterals;

class TstPageTestsIP : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void ligne_data();
    void ligne();
    void separateurs();
    void suppression();
    void testManuelContreDnsmasq();

private:
    testsupport::TDnsmasqPeer m_dns;
};

void TstPageTestsIP::initTestCase() {
    m_dns.ajouter("99.2.0.192.bl.test", "127.0.0.2");
    m_dns.ajouter("2.0.0.127.bl.test", "127.0.0.2");
    QString erreur;
    QVERIFY2(m_dns.demarrer(&erreur), qPrintable(erreur));
}

void TstPageTestsIP::ligne_data() {
    QTest::addColumn<int>("etat");
    QTest::addColumn<QByteArray>("reponse");
    QTest::addColumn<bool>("serveur");
    QTest::addColumn<QString>("texte");
    QTest::addColumn<int>("couleur");
    const QString date = u" - testé le 04/03/2026 05:06:07 (nb test=3)"_s;
    QTest::newRow("waiting") << int(erPasCherche) << QByteArray() << true
                             << u"192.0.2.7 : bl - pas cherché"_s << int(TMorceau::mcNormal);
    QTest::newRow("running") << int(erEnCours) << QByteArray() << true
                             << u"192.0.2.7 : bl - Recherche ...."_s << int(TMorceau::mcVert);
    QTest::newRow("listed") << int(erSpam) << QByteArray("127.0.0.2") << true
                            << u"192.0.2.7 : bl - Spam (127.0.0.2)"_s + date
                            << int(TMorceau::mcRouge);
    QTest::newRow("not listed, merged")
        << int(erPasSpam) << QByteArray() << false << u"192.0.2.7 - Pas spam"_s + date
        << int(TMorceau::mcBleu);
    QTest::newRow("timed out") << int(erTimeOut) << QByteArray() << true
                               << u"192.0.2.7 : bl - TimeOut"_s + date << int(TMorceau::mcJaune);
    QTest::newRow("abandoned") << int(erAbandon) << QByteArray() << true
                               << u"192.0.2.7 : bl - TimeOut"_s + date << int(TMorceau::mcJaune);
    QTest::newRow("unknown state")
        << 9 << QByteArray() << false << u"192.0.2.7 - pas cherché"_s + date
        << int(TMorceau::mcNormal);
}

void TstPageTestsIP::ligne() {
    QFETCH(int, etat);
    QFETCH(QByteArray, reponse);
    QFETCH(bool, serveur);
    QFETCH(QString, texte);
    QFETCH(int, couleur);
    TUnDNS s;
    s.Nom = "bl";
    TUneRechercheDNS r;
    r.IP = ChaineVersIP("192.0.2.7");
    r.Serveur = serveur ? &s : nullptr;
    r.Etat = quint8(etat);
    r.Reponse = reponse;
    r.NbUtilisation = 3;
    r.DateReponse = datetime::encoder(2026, 3, 4, 5, 6, 7);
    const TLigneRecherche l = TPageTestsIP::Ligne(r, nullptr);
    QCOMPARE(l.Texte(), texte);
    QVERIFY(!l.Separateur);
    // The state (with its answer) is the coloured run; the rest is plain.
    QVERIFY(l.Morceaux.size() >= 2);
    QCOMPARE(int(l.Morceaux[1].Couleur), couleur);
    QVERIFY(l.Morceaux[1].Texte.endsWith(
        reponse.isEmpty() ? QString() : u"("_s + QLatin1String(reponse) + u")"_s));
    for (int i = 0; i < l.Morceaux.size(); ++i)
        if (i != 1) QCOMPARE(l.Morceaux[i].Couleur, TMorceau::mcNormal);
}

void TstPageTestsIP::separateurs() {
    TBancMoteur b;
    QVERIFY(b.Demarrer());
    TChercheSPAMs& c = b.Moteur().ChercheSPAMs1;
    b.SansServeursDNSBL();
    TPageDNS dns(c);
    QVERIFY(dns.Ajouter({u"A"_s, u"a.test"_s, {}}).isEmpty());
    QVERIFY(dns.Ajouter({u"B"_s, u"b.test"_s, {}}).isEmpty());
    c.ResultatIP(ChaineVersIP("192.0.2.1"), true);
    c.ResultatIP(ChaineVersIP("192.0.2.2"), true);
    TPageTestsIP page(c);
    QCOMPARE(page.NbRecherche(), 4);
    // Two servers' records of one address share a block; a new address
    // starts with a line.
    const QList<bool> attendu{false, false, true, false};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(page.Ligne(i).Separateur, attendu[i]);
    QVERIFY(page.Ligne(4).Morceaux.isEmpty());
}

void TstPageTestsIP::suppression() {
    TBancMoteur b;
    QVERIFY(b.Demarrer());
    TChercheSPAMs& c = b.Moteur().ChercheSPAMs1;
    b.SansServeursDNSBL();
    TPageDNS dns(c);
    QVERIFY(dns.Ajouter({u"A"_s, u"a.test"_s, {}}).isEmpty());
    QVERIFY(dns.Ajouter({u"B"_s, u"b.test"_s, {}}).isEmpty());
    TPageTestsIP page(c);
    const struct {
        const char* ip;
        quint8 etats[2];
        bool supprime;
    } cas[] = {{"192.0.2.1", {erSpam, erPasSpam}, true},
               {"192.0.2.2", {erAbandon, erAbandon}, true},
               {"192.0.2.3", {erPasCherche, erPasCherche}, false},
               {"192.0.2.4", {erEnCours, erSpam}, false},
               {"192.0.2.5", {erTimeOut, erSpam}, false}};
    for (const auto& x : cas) {
        c.ResultatIP(ChaineVersIP(x.ip), true);
        for (int i = 0; i < 2; ++i)
            c.Recherche(c.NbRecherche() - 2 + i)->Etat = x.etats[i];
    }
    for (const auto& x : cas) {
        int index = -1;
        for (int i = 0; i < c.NbRecherche() && index < 0; ++i)
            if (c.Recherche(i)->IP == ChaineVersIP(x.ip)) index = i;
        QVERIFY(index >= 0);
        const int avant = c.NbRecherche();
        QCOMPARE(page.Supprimer(index), x.supprime);
        // Every finished record of the address goes; the others stay.
        int restent = 0;
        for (int i = 0; i < c.NbRecherche(); ++i)
            if (c.Recherche(i)->IP == ChaineVersIP(x.ip)) ++restent;
        const int finis = x.supprime ? 2 : (x.etats[1] == erSpam ? 1 : 0);
        QCOMPARE(restent, x.supprime ? 0 : 2);
        QCOMPARE(c.NbRecherche(), avant - (x.supprime ? finis : 0));
    }
    QVERIFY(!page.Supprimer(c.NbRecherche()));
}

void TstPageTestsIP::testManuelContreDnsmasq() {
    TPointsAcces points;
    points.PortDNS = m_dns.port();
    TBancMoteur b({{"AdresseDNS", m_dns.adresse().toString().toLatin1()}}, points);
    QVERIFY(b.Demarrer());
    TChercheSPAMs& c = b.Moteur().ChercheSPAMs1;
    b.SansServeursDNSBL();
    TPageDNS dns(c);
    QVERIFY(dns.Ajouter({u"bl"_s, u"bl.test"_s, u"127.0.0.2"_s}).isEmpty());
    TPageTestsIP page(c);
    QSignalSpy modifies(&b.Moteur().Evenements, &TEvenementsMoteur::TestsIPModifies);
    QSignalSpy reduits(&b.Moteur().Evenements, &TEvenementsMoteur::TestsIPReduits);

    // Not an address: nothing happens.
    QVERIFY(!page.TesterIP(u"192.0.2"_s));
    QVERIFY(!page.TesterIP(u"serveur"_s));
    QCOMPARE(page.NbRecherche(), 0);

    // A listed address, then one of the default ignore list (127.*): the
    // manual test looks both up.
    QVERIFY(page.TesterIP(u"192.0.2.99"_s));
    QVERIFY(page.TesterIP(u"127.0.0.2"_s));
    QCOMPARE(page.NbRecherche(), 2);
    QTRY_VERIFY(reduits.size() >= 1 && c.NbSocketDNS() == 0);
    QVERIFY(modifies.size() >= 2); // one per answer
    QCOMPARE(page.NbRecherche(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(c.Recherche(i)->Etat, quint8(erSpam));
        QVERIFY2(page.Ligne(i).Texte().contains(u" : bl - Spam (127.0.0.2) - testé le "_s),
                 qPrintable(page.Ligne(i).Texte()));
    }
    QVERIFY(page.Ligne(1).Separateur);

    // The sorts: by address (first octet first), and by date again.
    page.TriIP();
    QCOMPARE(c.Recherche(0)->IP, ChaineVersIP("127.0.0.2"));
    QCOMPARE(c.Recherche(1)->IP, ChaineVersIP("192.0.2.99"));

    // Testing again replaces the finished records of the address.
    const int avant = reduits.size();
    QVERIFY(page.TesterIP(u"127.0.0.2"_s));
    QCOMPARE(page.NbRecherche(), 2);
    QTRY_VERIFY(reduits.size() > avant && c.NbSocketDNS() == 0);
    QCOMPARE(c.TrouverServeurNom("bl")->NbSpam, 3);
}

QTEST_GUILESS_MAIN(TstPageTestsIP)
#include "tst_page_tests_ip.moc"
