// The DNS query engine against a real dnsmasq on loopback and a silent server.
#include "core/trace.h"
#include "spamsearch/cherche_spams.h"
#include "tests/support/dnsmasq_peer.h"

#include <QDir>
#include <QFile>
#include <QNetworkDatagram>
#include <QSet>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

namespace {

struct TEvenements {
    QList<QPair<TAdresseIP, bool>> reponses; // address, bPartiel
    QList<int> etats;                        // the record's state when reported
    int timeOuts = 0;
    void brancher(TChercheSPAMs& c) {
        c.OnReponseDNS = [this](TChercheSPAMs&, TUneRechercheDNS& r, bool partiel) {
            reponses.append({r.IP, partiel});
            etats.append(r.Etat);
        };
        c.OnTimeOut = [this](TChercheSPAMs&, TUneRechercheDNS&) { ++timeOuts; };
    }
};

// A component whose table holds the given "name<TAB>zone<TAB>codes..." servers.
void preparer(TChercheSPAMs& c, QTemporaryDir& rep, const QList<QByteArray>& serveurs) {
    QDir().mkpath(rep.path() + QStringLiteral("/Donnees"));
    QFile f(rep.path() + QStringLiteral("/Donnees/dns.qdl"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("VERSION=1\r\n");
    int n = 0;
    for (const QByteArray& s : serveurs) {
        QList<QByteArray> champs = s.split('\t');
        const QList<QByteArray> codes = champs.mid(2);
        QByteArray ligne = QByteArray::number(++n) + '\t' + champs[0] + '\t' + champs[1] +
                           "\t0\t0\t0\t0\t" + QByteArray::number(codes.size()) + '\t';
        for (const QByteArray& code : codes)
            ligne += code + '\t';
        f.write(ligne + "\t0\t0\r\n");
    }
    f.close();
    c.OnInitRepertoire = [&rep](TChercheSPAMs&, QString& t, QString&) { t = rep.path(); };
    c.setActive(true);
}

// Trace lines that name the address: the engine leaves them to the owner's option.
QStringList tracesDe(const char* ip) {
    QStringList l;
    for (const TLigneTrace& t : TTrace::instance().lignes())
        if (t.texte.contains(QLatin1String(ip))) l << t.texte;
    return l;
}

quint16 identifiant(const QByteArray& requete) {
    return quint16((quint8(requete[0]) << 8) | quint8(requete[1]));
}

} // namespace

class TestMoteurDNS : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void reponses_data();
    void reponses();
    void serveurMuet();
    void identifiantsAleatoires();
    void unSocketALaFois();
    void socketsGardesPourReutilisation();
    void serveurInactifGardeSesRecherches();
    void adresseDNSInvalide();

private:
    testsupport::TDnsmasqPeer m_dnsmasq;
};

void TestMoteurDNS::initTestCase() {
    m_dnsmasq.ajouter("99.2.0.192.bl.test", "127.0.0.2");
    m_dnsmasq.ajouter("98.2.0.192.bl.test", "127.0.0.4");
    QString erreur;
    QVERIFY2(m_dnsmasq.demarrer(&erreur), qPrintable(erreur)); // a peer that fails is a failure
}

void TestMoteurDNS::cleanupTestCase() {
    m_dnsmasq.arreter();
}

void TestMoteurDNS::reponses_data() {
    QTest::addColumn<QByteArray>("ip");
    QTest::addColumn<int>("etat");
    QTest::addColumn<QByteArray>("reponse");
    QTest::addColumn<int>("nbSpam");
    QTest::addColumn<int>("nbFauxPositif");
    QTest::newRow("listed") << QByteArray("192.0.2.99") << int(erSpam) << QByteArray("127.0.0.2")
                            << 1 << 0;
    QTest::newRow("not listed") << QByteArray("192.0.2.1") << int(erPasSpam)
                                << QByteArray("inexistant") << 0 << 0;
    QTest::newRow("code outside") << QByteArray("192.0.2.98") << int(erPasSpam)
                                  << QByteArray("127.0.0.4") << 0 << 1;
}

void TestMoteurDNS::reponses() {
    QFETCH(QByteArray, ip);
    QFETCH(int, etat);
    QFETCH(QByteArray, reponse);
    QFETCH(int, nbSpam);
    QFETCH(int, nbFauxPositif);
    QTemporaryDir rep;
    TChercheSPAMs c;
    preparer(c, rep, {"T\tbl.test\t127.0.0.2"});
    c.setDNSPrincipal(m_dnsmasq.adresse().toString().toLatin1());
    c.setPortDNS(m_dnsmasq.port());
    c.setTimeOutRecherche(3000);
    TEvenements ev;
    ev.brancher(c);
    bool cree = false;
    QVERIFY(!c.ResultatIP(ChaineVersIP(ip), true, &cree));
    QVERIFY(cree);
    c.LancerRecherches();
    PUneRechercheDNS r = c.Recherche(0);
    QCOMPARE(r->Etat, quint8(erEnCours));
    QTRY_COMPARE(ev.reponses.size(), 1);
    QCOMPARE(r->Etat, quint8(etat));
    QCOMPARE(r->Reponse, reponse);
    QVERIFY(r->DateReponse > 0);
    QCOMPARE(ev.reponses[0].second, false); // the only server has answered
    PUnDNS s = c.TrouverServeurNumero(1);
    QCOMPARE(s->NbTest, 1);
    QCOMPARE(s->NbTestRAZ, 1);
    QVERIFY(s->TempsRAZ >= 1);
    QCOMPARE(s->NbSpam, nbSpam);
    QCOMPARE(s->NbFauxPositif, nbFauxPositif);
    QCOMPARE(s->NbTimeOut, 0);
    QTRY_COMPARE(c.NbSocketDNS(), 0);
}

void TestMoteurDNS::serveurMuet() {
    QUdpSocket muet; // receives the queries, never answers
    QVERIFY(muet.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    QTemporaryDir rep;
    TChercheSPAMs c;
    preparer(c, rep, {"M\tbl.test"});
    c.setDNSPrincipal("127.0.0.1");
    c.setPortDNS(muet.localPort());
    c.setTimeOutRecherche(150);
    c.setNbTentativeRecherche(3);
    TEvenements ev;
    ev.brancher(c);
    TTrace::instance().effacer();
    c.ResultatIP(ChaineVersIP("192.0.2.1"), true);
    c.LancerRecherches();
    QTRY_COMPARE_WITH_TIMEOUT(ev.reponses.size(), 1, 10000);
    QCOMPARE(ev.etats, QList<int>{erAbandon});
    QCOMPARE(ev.reponses[0].second, false);
    QCOMPARE(ev.timeOuts, 4);
    QCOMPARE(tracesDe("192.0.2.1"), QStringList());
    PUnDNS s = c.TrouverServeurNumero(1);
    QCOMPARE(s->NbTimeOut, 4);
    QCOMPARE(s->NbTest, 4);
    QCOMPARE(s->NbSpam, 0);
    QCOMPARE(c.NbSocketDNS(), 0);
    // The idle pool ran the reduction: an abandoned lookup has no date and is dropped.
    QCOMPARE(c.NbRecherche(), 0);

    // The four queries as sent: one socket, so consecutive ids; recursion desired,
    // one A/IN question.
    QList<QByteArray> requetes;
    while (muet.hasPendingDatagrams())
        requetes.append(muet.receiveDatagram().data());
    QCOMPARE(requetes.size(), 4);
    const QByteArray question = QByteArray("\x01"
                                           "1\x01"
                                           "2\x01"
                                           "0\x03"
                                           "192\x02"
                                           "bl\x04"
                                           "test\x00\x00\x01\x00\x01",
                                           23);
    quint16 id = identifiant(requetes[0]);
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && ++id == 0) id = 1; // 0 is never used
        QByteArray attendu("\x00\x00\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 12);
        attendu[0] = char(id >> 8);
        attendu[1] = char(id & 0xFF);
        QCOMPARE(requetes[i], attendu + question);
    }
}

void TestMoteurDNS::identifiantsAleatoires() {
    // A forged answer has to guess the identifier: new sockets do not all start
    // from the same one.
    QUdpSocket muet;
    QVERIFY(muet.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    QTemporaryDir rep;
    TChercheSPAMs c;
    QList<QByteArray> serveurs;
    for (int i = 0; i < 8; ++i)
        serveurs << "S" + QByteArray::number(i) + "\tbl.test";
    preparer(c, rep, serveurs);
    c.setDNSPrincipal("127.0.0.1");
    c.setPortDNS(muet.localPort());
    c.setTimeOutRecherche(60000);
    c.ResultatIP(ChaineVersIP("192.0.2.1"), true);
    c.LancerRecherches();
    QCOMPARE(c.NbSocketDNS(), 8);
    QSet<quint16> ids;
    int recues = 0;
    QVERIFY(QTest::qWaitFor([&] {
        while (muet.hasPendingDatagrams()) {
            const QByteArray requete = muet.receiveDatagram().data();
            if (requete.size() < 12) continue;
            ids.insert(identifiant(requete));
            ++recues;
        }
        return recues == 8;
    }));
    QVERIFY2(ids.size() > 1, "every socket started from the same identifier");
}

void TestMoteurDNS::unSocketALaFois() {
    QTemporaryDir rep;
    TChercheSPAMs c;
    preparer(c, rep, {"T\tbl.test\t127.0.0.2"});
    c.setDNSPrincipal(m_dnsmasq.adresse().toString().toLatin1());
    c.setPortDNS(m_dnsmasq.port());
    c.setNbMaxSocketDNS(0);
    QCOMPARE(c.NbMaxSocketDNS(), 1);
    TEvenements ev;
    ev.brancher(c);
    const QList<QByteArray> ips{"192.0.2.5", "192.0.2.99", "192.0.2.7"};
    for (const QByteArray& ip : ips)
        c.ResultatIP(ChaineVersIP(ip), true);
    c.LancerRecherches();
    QCOMPARE(c.NbSocketDNS(), 1);
    QCOMPARE(c.Recherche(1)->Etat, quint8(erPasCherche));
    QTRY_COMPARE(ev.reponses.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(IPVersChaine(ev.reponses[i].first), ips[i]); // in list order
    QCOMPARE(c.PicSocketDNS(), 1);
}

void TestMoteurDNS::socketsGardesPourReutilisation() {
    QTemporaryDir rep;
    TChercheSPAMs c;
    preparer(c, rep, {"T\tbl.test\t127.0.0.2", "U\tbl.test"});
    c.setDNSPrincipal(m_dnsmasq.adresse().toString().toLatin1());
    c.setPortDNS(m_dnsmasq.port());
    c.setFreeSocket(false);
    c.setNbMaxSocketDNS(5);
    TEvenements ev;
    ev.brancher(c);
    for (int i = 1; i <= 4; ++i)
        c.ResultatIP(ChaineVersIP("192.0.2." + QByteArray::number(i)), true);
    c.LancerRecherches();
    QCOMPARE(c.NbSocketDNS(), 5);
    QTRY_COMPARE(ev.reponses.size(), 8);
    QTRY_COMPARE(c.NbSocketDNS(), 0);
    QCOMPARE(c.NbSocketDNSFree(), 5);
    // Two servers both answering "inexistant": the first answer is partial.
    QList<bool> partiels;
    for (const auto& r : ev.reponses)
        if (r.first == ChaineVersIP("192.0.2.1")) partiels << r.second;
    QCOMPARE(partiels, (QList<bool>{true, false}));
    // A second burst reuses the parked sockets.
    c.ResultatIP(ChaineVersIP("192.0.2.99"), true);
    c.LancerRecherches();
    QCOMPARE(c.NbSocketDNSFree(), 3);
    QTRY_COMPARE(ev.reponses.size(), 10);
    QTRY_COMPARE(c.NbSocketDNSFree(), 5);
    QCOMPARE(c.PicSocketDNS(), 5);
}

void TestMoteurDNS::serveurInactifGardeSesRecherches() {
    QTemporaryDir rep;
    TChercheSPAMs c;
    preparer(c, rep, {"T\tbl.test\t127.0.0.2"});
    c.setDNSPrincipal(m_dnsmasq.adresse().toString().toLatin1());
    c.setPortDNS(m_dnsmasq.port());
    TEvenements ev;
    ev.brancher(c);
    c.ResultatIP(ChaineVersIP("192.0.2.99"), true);
    c.DefinirActifServeur(c.TrouverServeurNumero(1), false);
    c.LancerRecherches();
    QTRY_COMPARE(ev.reponses.size(), 1);
    QCOMPARE(c.Recherche(0)->Etat, quint8(erSpam));
    bool cree = false;
    c.ResultatIP(ChaineVersIP("192.0.2.50"), true, &cree); // no active server: nothing queued
    QVERIFY(cree);
    QCOMPARE(c.NbRecherche(), 1);
}

void TestMoteurDNS::adresseDNSInvalide() {
    QTemporaryDir rep;
    TChercheSPAMs c;
    preparer(c, rep, {"T\tbl.test"});
    TEvenements ev;
    ev.brancher(c);
    TTrace::instance().effacer();
    for (const QByteArray& adresse :
         {QByteArray(), QByteArray("pas.une.adresse"), QByteArray("::1")}) {
        c.setDNSPrincipal(adresse);
        c.SupprimerTestsIP(ChaineVersIP("192.0.2.99"));
        c.ResultatIP(ChaineVersIP("192.0.2.99"), true);
        c.LancerRecherches();
        QCOMPARE(c.Recherche(c.NbRecherche() - 1)->Etat, quint8(erPasSpam));
        QCOMPARE(c.Recherche(c.NbRecherche() - 1)->Reponse, QByteArray("inexistant"));
        QTRY_COMPARE(c.NbSocketDNS(), 0);
    }
    QCOMPARE(tracesDe("192.0.2.99"), QStringList());
}

QTEST_GUILESS_MAIN(TestMoteurDNS)
#include "tst_moteur_dns.moc"
