// The IP test cache: combined results, reduction, sort orders, "recherche.qdl".
#include "core/date_time.h"
#include "core/trace.h"
#include "spamsearch/cherche_spams.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

using testsupport::ecrireFichier;
using testsupport::lireFichier;

namespace {

// A component on a temporary data directory with two servers, A (1) and B (2).
struct TBanc {
    QTemporaryDir rep;
    TChercheSPAMs c;
    PUnDNS a = nullptr;
    PUnDNS b = nullptr;
    TBanc() {
        ecrireFichier(rep.path() + QStringLiteral("/Donnees/dns.qdl"),
                      "VERSION=1\r\n1\tA\ta.test\t0\t0\t0\t0\t0\t\t0\t0\r\n"
                      "2\tB\tb.test\t0\t0\t0\t0\t0\t\t0\t0\r\n");
        c.OnInitRepertoire = [this](TChercheSPAMs&, QString& t, QString&) { t = rep.path(); };
        c.setActive(true);
        a = c.TrouverServeurNumero(1);
        b = c.TrouverServeurNumero(2);
    }
    // Queues one record per server and gives them these states, answers and ages (hours).
    void groupe(const char* ip, quint8 etatA, quint8 etatB, double heuresA = 1,
                double heuresB = 1) {
        const int debut = c.NbRecherche();
        c.ResultatIP(ChaineVersIP(ip), true);
        const TDateTime maintenant = datetime::maintenant();
        const quint8 etats[2] = {etatA, etatB};
        const double heures[2] = {heuresA, heuresB};
        for (int i = 0; i < 2; ++i) {
            TUneRechercheDNS* r = c.Recherche(debut + i);
            r->Etat = etats[i];
            r->Reponse = etats[i] == erSpam ? QByteArray("127.0.0.") + QByteArray::number(2 + i)
                                            : QByteArray("inexistant");
            r->NbUtilisation = 10 + i;
            r->DateReponse =
                (etats[i] == erSpam || etats[i] == erPasSpam) ? maintenant - heures[i] / 24.0 : 0;
        }
    }
};

} // namespace

class TestCache : public QObject {
    Q_OBJECT
private slots:
    void resultatCombine_data();
    void resultatCombine();
    void reduction();
    void expirationParLePremier();
    void tris();
    void ecritureLectureIdentiques();
    void fichierAbime();
    void fichierIllisibleConserve();
    void suppressionEtTestManuel();
    void triPendantLesRecherches();
    void gestionnairesQuiRelancent();
};

void TestCache::resultatCombine_data() {
    QTest::addColumn<int>("etatA");
    QTest::addColumn<int>("etatB");
    QTest::addColumn<int>("attendu"); // index of the record returned
    QTest::newRow("3 then 1") << 3 << 1 << 1;
    QTest::newRow("5 then 3") << 5 << 3 << 1;
    QTest::newRow("3 then 2") << 3 << 2 << 1;
    QTest::newRow("2 first") << 2 << 1 << 0;
    QTest::newRow("3 then 5") << 3 << 5 << 0;
    QTest::newRow("4 then 5") << 4 << 5 << 0;
    QTest::newRow("1 then 3") << 1 << 3 << 0;
}

void TestCache::resultatCombine() {
    QFETCH(int, etatA);
    QFETCH(int, etatB);
    QFETCH(int, attendu);
    TBanc banc;
    banc.groupe("203.0.113.9", quint8(etatA), quint8(etatB));
    bool cree = true;
    QCOMPARE(banc.c.ResultatIP(ChaineVersIP("203.0.113.9"), true, &cree),
             banc.c.Recherche(attendu));
    QVERIFY(!cree); // an existing record, whatever its state, prevents creation
    QCOMPARE(banc.c.NbRecherche(), 2);
}

void TestCache::reduction() {
    TBanc banc;
    TChercheSPAMs& c = banc.c;
    banc.groupe("198.51.100.1", erPasSpam, erSpam);    // merged: listed by B
    banc.groupe("198.51.100.2", erPasSpam, erPasSpam); // merged: clean, no server
    banc.groupe("198.51.100.3", erSpam, erPasSpam);    // keeps A
    banc.groupe("198.51.100.4", erPasSpam, erAbandon); // clean
    c.ResultatIP(ChaineVersIP("198.51.100.5"), true);  // waiting: untouched
    int reductions = 0;
    c.OnReduireListeSpams = [&](TChercheSPAMs&) { ++reductions; };
    c.ReduireRecherches();
    QCOMPARE(reductions, 1);
    QCOMPARE(c.NbRecherche(), 4 + 2);
    auto resultat = [&](const char* ip) { return c.ResultatIP(ChaineVersIP(ip), false); };
    PUneRechercheDNS r1 = resultat("198.51.100.1");
    QCOMPARE(r1->Etat, quint8(erSpam));
    QCOMPARE(r1->Serveur, banc.b);
    QCOMPARE(r1->Reponse, QByteArray("127.0.0.3"));
    QCOMPARE(r1->NbUtilisation, 10); // the first record's
    PUneRechercheDNS r2 = resultat("198.51.100.2");
    QCOMPARE(r2->Etat, quint8(erPasSpam));
    QCOMPARE(r2->Serveur, nullptr);
    QVERIFY(r2->Reponse.isEmpty());
    QCOMPARE(resultat("198.51.100.3")->Serveur, banc.a);
    QCOMPARE(resultat("198.51.100.4")->Serveur, nullptr);
    // The waiting group stays together at the end.
    QCOMPARE(c.Recherche(4)->IP, ChaineVersIP("198.51.100.5"));
    QCOMPARE(c.Recherche(5)->IP, ChaineVersIP("198.51.100.5"));
    c.ReduireRecherches();
    QCOMPARE(reductions, 1); // nothing removed, no event
}

void TestCache::expirationParLePremier() {
    TBanc banc;
    TChercheSPAMs& c = banc.c;
    c.setNbHeureMemoIP(6);
    banc.groupe("198.51.100.7", erSpam, erPasSpam, 7, 1);       // answered seven hours ago
    banc.groupe("198.51.100.8", erAbandon, erSpam);             // first has no date
    banc.groupe("198.51.100.9", erPasSpam, erSpam, 1, 9);       // first recent: kept
    QVERIFY(c.ResultatIP(ChaineVersIP("198.51.100.7"), false)); // still found before reduction
    c.ReduireRecherches();
    QVERIFY(!c.ResultatIP(ChaineVersIP("198.51.100.7"), false));
    QVERIFY(!c.ResultatIP(ChaineVersIP("198.51.100.8"), false));
    QCOMPARE(c.ResultatIP(ChaineVersIP("198.51.100.9"), false)->Etat, quint8(erSpam));
    QCOMPARE(c.NbRecherche(), 1);
}

void TestCache::tris() {
    TBanc banc;
    TChercheSPAMs& c = banc.c;
    banc.groupe("10.0.0.2", erPasSpam, erPasSpam, 1);
    banc.groupe("9.0.0.1", erPasSpam, erPasSpam, 3);
    banc.groupe("192.0.2.1", erPasSpam, erPasSpam, 2);
    c.ReduireRecherches();
    QCOMPARE(c.TriRecherches(), trTriDate);
    QCOMPARE(IPVersChaine(c.Recherche(0)->IP), QByteArray("9.0.0.1")); // oldest first
    QCOMPARE(IPVersChaine(c.Recherche(2)->IP), QByteArray("10.0.0.2"));
    c.setTriRecherches(trTriIP);
    QCOMPARE(IPVersChaine(c.Recherche(0)->IP), QByteArray("9.0.0.1"));
    QCOMPARE(IPVersChaine(c.Recherche(1)->IP), QByteArray("10.0.0.2"));
    QCOMPARE(IPVersChaine(c.Recherche(2)->IP), QByteArray("192.0.2.1"));
    // Equal dates: descending address.
    const TDateTime d = c.Recherche(0)->DateReponse;
    for (int i = 0; i < 3; ++i)
        c.Recherche(i)->DateReponse = d;
    c.setTriRecherches(trTriDate);
    QCOMPARE(IPVersChaine(c.Recherche(0)->IP), QByteArray("192.0.2.1"));
    QCOMPARE(IPVersChaine(c.Recherche(2)->IP), QByteArray("9.0.0.1"));
}

void TestCache::ecritureLectureIdentiques() {
    TBanc banc;
    TChercheSPAMs& c = banc.c;
    banc.groupe("198.51.100.1", erSpam, erPasSpam);
    banc.groupe("198.51.100.2", erAbandon, erTimeOut);
    banc.groupe("198.51.100.3", erEnCours, erPasCherche);
    c.Recherche(1)->Reponse = "tab\there\r\nline";
    c.SauverRecherches();
    const QString fichier = banc.rep.path() + QStringLiteral("/Donnees/recherche.qdl");
    const QByteArray premier = lireFichier(fichier);
    QVERIFY(premier.contains("198.51.100.2\t1\t5\tinexistant\t10\t\r\n")); // no date: ends on TAB
    QVERIFY(premier.contains("tab\x03here\x02\x01line"));

    TChercheSPAMs c2;
    c2.OnInitRepertoire = [&](TChercheSPAMs&, QString& t, QString&) { t = banc.rep.path(); };
    c2.setActive(true);
    QCOMPARE(c2.NbRecherche(), 1); // only states 2 and 3 load; the reduction merged them
    PUneRechercheDNS r = c2.Recherche(0);
    QCOMPARE(r->Etat, quint8(erSpam));
    QCOMPARE(r->Serveur, c2.TrouverServeurNumero(1));
    QCOMPARE(r->NbUtilisation, 10);
    // Written again, then read and written once more: byte for byte the same.
    c2.SauverRecherches();
    const QByteArray deuxieme = lireFichier(fichier);
    TChercheSPAMs c3;
    c3.OnInitRepertoire = c2.OnInitRepertoire;
    c3.setActive(true);
    c3.SauverRecherches();
    QCOMPARE(lireFichier(fichier), deuxieme);
    QCOMPARE(c3.Recherche(0)->DateReponse, c2.Recherche(0)->DateReponse);
}

void TestCache::fichierAbime() {
    QTemporaryDir rep;
    ecrireFichier(rep.path() + QStringLiteral("/Donnees/recherche.qdl"),
                  "VERSION=1\r\n"
                  "198.51.100.1\t99\t3\tinexistant\t4\t01/01/2099 00:00:00\r\n" // unknown server
                  "bogus line\r\n"
                  "198.51.100.2\t-1\t2\t127.0.0.2\t1\tnot a date\r\n"  // date 0: expires
                  "198.51.100.3\t-1\t7\tx\t1\t01/01/2099 00:00:00\r\n" // bad state
                  "198.51.100.4\t-1\t2\r\n");                          // cut short
    TChercheSPAMs c;
    c.OnInitRepertoire = [&](TChercheSPAMs&, QString& t, QString&) { t = rep.path(); };
    c.setActive(true);
    QCOMPARE(c.NbRecherche(), 1);
    QCOMPARE(IPVersChaine(c.Recherche(0)->IP), QByteArray("198.51.100.1"));
    QCOMPARE(c.Recherche(0)->Serveur, nullptr);
    QCOMPARE(c.Recherche(0)->NbUtilisation, 4);
}

void TestCache::fichierIllisibleConserve() {
    // Root reads any file, so a directory stands in the file's place.
    QTemporaryDir rep;
    const QString fichier = rep.path() + QStringLiteral("/Donnees/recherche.qdl");
    QDir().mkpath(fichier);
    TChercheSPAMs c;
    c.OnInitRepertoire = [&](TChercheSPAMs&, QString& t, QString&) { t = rep.path(); };
    c.setActive(true);
    QCOMPARE(c.NbRecherche(), 0);
    c.ResultatIP(ChaineVersIP("198.51.100.1"), true); // something that would be written
    TTrace::instance().effacer();
    c.setActive(false);
    QVERIFY(QFileInfo(fichier).isDir()); // left alone
    QStringList refus;
    for (const TLigneTrace& l : TTrace::instance().lignes())
        if (l.texte.contains(QStringLiteral("recherche.qdl"))) refus << l.texte;
    QCOMPARE(refus.size(), 1); // the refusal, and no write error besides
    QVERIFY(QFile::exists(rep.path() + QStringLiteral("/Donnees/dns.qdl")));
}

void TestCache::suppressionEtTestManuel() {
    TBanc banc;
    TChercheSPAMs& c = banc.c;
    c.setDNSPrincipal(QByteArray()); // no server: every lookup ends at once, not listed
    banc.groupe("127.0.0.2", erTimeOut, erTimeOut);
    QVERIFY(c.TesterIP("127.0.0.2")); // all in state 4: found, nothing queued
    QCOMPARE(c.NbRecherche(), 2);
    QCOMPARE(c.NbSocketDNS(), 0);
    QVERIFY(!c.TesterIP("pas une adresse"));

    banc.groupe("127.0.0.3", erSpam, erAbandon);
    c.SupprimerTestsIP(ChaineVersIP("127.0.0.3"));
    QVERIFY(!c.ResultatIP(ChaineVersIP("127.0.0.3"), false));
    // The manual test ignores the ignore list ("127.*") and queues a lookup per server.
    QVERIFY(!c.EstIPInternet(ChaineVersIP("127.0.0.3")));
    QVERIFY(c.TesterIP("127.0.0.3"));
    QCOMPARE(c.NbSocketDNS(), 2);
    QCOMPARE(c.ResultatIP(ChaineVersIP("127.0.0.3"), false)->Reponse, QByteArray("inexistant"));
    QTRY_COMPARE(c.NbSocketDNS(), 0); // released by the deferred wake-up
}

void TestCache::triPendantLesRecherches() {
    TBanc banc;
    TChercheSPAMs& c = banc.c;
    QUdpSocket muet;
    QVERIFY(muet.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    c.setDNSPrincipal("127.0.0.1");
    c.setPortDNS(muet.localPort());
    banc.groupe("192.0.2.1", erPasSpam, erPasSpam, 1);
    banc.groupe("9.0.0.1", erPasSpam, erPasSpam, 2);
    c.ReduireRecherches();
    c.setNbTentativeRecherche(0);
    c.setTimeOutRecherche(300);
    c.ResultatIP(ChaineVersIP("198.51.100.1"), true);
    c.LancerRecherches();
    QCOMPARE(c.NbSocketDNS(), 2);
    c.setTriRecherches(trTriIP); // sockets work: stored, applied at the next reduction
    QCOMPARE(c.TriRecherches(), trTriIP);
    QCOMPARE(IPVersChaine(c.Recherche(0)->IP), QByteArray("9.0.0.1"));
    QCOMPARE(IPVersChaine(c.Recherche(1)->IP), QByteArray("192.0.2.1"));
    QTRY_COMPARE(c.NbSocketDNS(), 0);
    // The abandoned group went with the reduction; the rest is in address order.
    QCOMPARE(c.NbRecherche(), 2);
    QCOMPARE(IPVersChaine(c.Recherche(0)->IP), QByteArray("9.0.0.1"));
}

void TestCache::gestionnairesQuiRelancent() {
    // A session queues the next address from inside the answer event and restarts
    // the scheduler: every lookup still ends, none is started twice.
    TBanc banc;
    TChercheSPAMs& c = banc.c;
    c.setDNSPrincipal(QByteArray()); // each attempt ends at once, not listed
    c.setNbMaxSocketDNS(1);
    int reponses = 0;
    int suivante = 1;
    c.OnReponseDNS = [&](TChercheSPAMs& s, TUneRechercheDNS& r, bool) {
        ++reponses;
        QCOMPARE(r.Etat, quint8(erPasSpam));
        if (suivante < 6) {
            s.ResultatIP(ChaineVersIP("198.51.100." + QByteArray::number(++suivante)), true);
            s.LancerRecherches();
        }
    };
    c.ResultatIP(ChaineVersIP("198.51.100.1"), true);
    c.LancerRecherches();
    QTRY_COMPARE(c.NbSocketDNS(), 0);
    QCOMPARE(reponses, 12); // six addresses, two servers
    QCOMPARE(banc.a->NbTest + banc.b->NbTest, 12);
}

QTEST_GUILESS_MAIN(TestCache)
#include "tst_cache.moc"
