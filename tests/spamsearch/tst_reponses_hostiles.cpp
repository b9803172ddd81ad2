// DNS answers that are short, foreign, looping or misleading, from a scripted
// UDP server on loopback; and the timing rules of the engine.
#include "core/date_time.h"
#include "core/trace.h"
#include "spamsearch/cherche_spams.h"
#include "spamsearch/message_dns.h"

#include <QDir>
#include <QFile>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>
#include <functional>

namespace {

QByteArray o16(quint16 v) {
    QByteArray b;
    b.append(char(v >> 8)).append(char(v & 0xFF));
    return b;
}

// The question section of a query (name, type, class).
QByteArray questionDe(const QByteArray& requete) {
    return requete.mid(12);
}

QByteArray enteteReponse(const QByteArray& requete, quint16 drapeaux, quint16 nbReponses,
                         int decalageId = 0) {
    return o16(quint16(((quint8(requete[0]) << 8) | quint8(requete[1])) + decalageId)) +
           o16(drapeaux) + o16(1) + o16(nbReponses) + o16(0) + o16(0);
}

QByteArray enregistrementA(const char* ip, const QByteArray& nom = o16(0xC00C)) {
    const TAdresseIP a = ChaineVersIP(ip);
    QByteArray rr = nom + o16(1) + o16(1) + o16(0) + o16(60) + o16(4);
    for (int i = 0; i < 4; ++i)
        rr.append(char((a >> (8 * i)) & 0xFF));
    return rr;
}

QByteArray enregistrementCNAME() {
    const QByteArray cible("\x05"
                           "alias\xC0\x0C",
                           8);
    return o16(0xC00C) + o16(5) + o16(1) + o16(0) + o16(60) + o16(quint16(cible.size())) + cible;
}

// Replies to each query with the datagrams a script builds from it; a datagram
// prefixed with "OTHER:" goes out from another port.
class TServeurScripte : public QObject {
public:
    std::function<QList<QByteArray>(const QByteArray&)> script;
    QUdpSocket socket;
    QUdpSocket autre;
    int nbRequetes = 0;
    TServeurScripte() {
        socket.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        autre.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        connect(&socket, &QUdpSocket::readyRead, this, [this] {
            while (socket.hasPendingDatagrams()) {
                const QNetworkDatagram dg = socket.receiveDatagram();
                ++nbRequetes;
                if (!script) continue;
                for (const QByteArray& d : script(dg.data())) {
                    if (d.startsWith("OTHER:"))
                        autre.writeDatagram(d.mid(6), dg.senderAddress(), quint16(dg.senderPort()));
                    else
                        socket.writeDatagram(d, dg.senderAddress(), quint16(dg.senderPort()));
                }
            }
        });
    }
};

struct TBanc {
    QTemporaryDir rep;
    TChercheSPAMs c;
    TServeurScripte serveur;
    QList<QPair<int, bool>> reponses; // state, bPartiel
    explicit TBanc(const QByteArray& lignesServeurs) {
        QDir().mkpath(rep.path() + QStringLiteral("/Donnees"));
        QFile f(rep.path() + QStringLiteral("/Donnees/dns.qdl"));
        if (f.open(QIODevice::WriteOnly)) f.write("VERSION=1\r\n" + lignesServeurs);
        f.close();
        c.OnInitRepertoire = [this](TChercheSPAMs&, QString& t, QString&) { t = rep.path(); };
        c.setActive(true);
        c.setDNSPrincipal("127.0.0.1");
        c.setPortDNS(serveur.socket.localPort());
        c.OnReponseDNS = [this](TChercheSPAMs&, TUneRechercheDNS& r, bool partiel) {
            reponses.append({r.Etat, partiel});
        };
    }
};

quint32 g_tick = 0;
quint32 tickTest() {
    return g_tick;
}

} // namespace

class TestReponsesHostiles : public QObject {
    Q_OBJECT
private slots:
    void requete();
    void reponses_data();
    void reponses();
    void listeAilleursPendantUnSilence();
    void expirationAuTraversDuRebouclage();
    void exceptionDansUnGestionnaire();
};

void TestReponsesHostiles::requete() {
    QCOMPARE(messagedns::construireRequete(0x1234, "1.2.0.192.z").toHex(),
             QByteArray("123401000001000000000000"
                        "01310132013003313932017a0000010001"));
    QVERIFY(messagedns::construireRequete(1, "a..b").isEmpty());
    QVERIFY(messagedns::construireRequete(1, QByteArray(64, 'a') + ".z").isEmpty());
    QVERIFY(messagedns::construireRequete(1, "").isEmpty());
    QVERIFY(!messagedns::construireRequete(1, "z.").isEmpty());
}

void TestReponsesHostiles::reponses_data() {
    // Each row: datagrams sent in answer to the query, then the record's outcome.
    using TScript = std::function<QList<QByteArray>(const QByteArray&)>;
    QTest::addColumn<TScript>("script");
    QTest::addColumn<int>("etat");
    QTest::addColumn<QByteArray>("reponse");
    const auto valide = [](const QByteArray& q) {
        return enteteReponse(q, 0x8180, 1) + questionDe(q) + enregistrementA("127.0.0.2");
    };
    QTest::newRow("plain A") << TScript([=](const QByteArray& q) { return QList{valide(q)}; })
                             << int(erSpam) << QByteArray("127.0.0.2");
    QTest::newRow("too short, then valid") << TScript([=](const QByteArray& q) {
        return QList{q.left(5), valide(q)};
    }) << int(erSpam) << QByteArray("127.0.0.2");
    QTest::newRow("wrong id, then valid") << TScript([=](const QByteArray& q) {
        return QList{enteteReponse(q, 0x8180, 1, 1) + questionDe(q) + enregistrementA("127.0.0.9"),
                     valide(q)};
    }) << int(erSpam) << QByteArray("127.0.0.2");
    QTest::newRow("not a response, then valid") << TScript([=](const QByteArray& q) {
        return QList{enteteReponse(q, 0x0100, 1) + questionDe(q) + enregistrementA("127.0.0.9"),
                     valide(q)};
    }) << int(erSpam) << QByteArray("127.0.0.2");
    QTest::newRow("other question, then valid") << TScript([=](const QByteArray& q) {
        QByteArray autre = questionDe(q);
        autre[1] = '7';
        return QList{enteteReponse(q, 0x8180, 1) + autre + enregistrementA("127.0.0.9"), valide(q)};
    }) << int(erSpam) << QByteArray("127.0.0.2");
    QTest::newRow("other source, then valid") << TScript([=](const QByteArray& q) {
        return QList{QByteArray("OTHER:") + enteteReponse(q, 0x8180, 1) + questionDe(q) +
                         enregistrementA("127.0.0.9"),
                     valide(q)};
    }) << int(erSpam) << QByteArray("127.0.0.2");
    QTest::newRow("question pointer loop, then valid") << TScript([=](const QByteArray& q) {
        return QList{enteteReponse(q, 0x8180, 0) + o16(0xC00C) + o16(1) + o16(1), valide(q)};
    }) << int(erSpam) << QByteArray("127.0.0.2");
    QTest::newRow("CNAME first") << TScript([=](const QByteArray& q) {
        return QList{
            enteteReponse(q, 0x8180, 2) + questionDe(q) + enregistrementCNAME() +
            enregistrementA("127.0.0.2", o16(0xC000 | quint16(12 + questionDe(q).size() + 12)))};
    }) << int(erSpam) << QByteArray("127.0.0.2");
    QTest::newRow("CNAME only") << TScript([=](const QByteArray& q) {
        return QList{enteteReponse(q, 0x8180, 1) + questionDe(q) + enregistrementCNAME()};
    }) << int(erPasSpam) << QByteArray("inexistant");
    QTest::newRow("answer name loops") << TScript([=](const QByteArray& q) {
        const quint16 ici = quint16(12 + questionDe(q).size());
        return QList{enteteReponse(q, 0x8180, 1) + questionDe(q) +
                     enregistrementA("127.0.0.2", o16(0xC000 | ici))};
    }) << int(erPasSpam) << QByteArray("inexistant");
    QTest::newRow("forward pointer") << TScript([=](const QByteArray& q) {
        return QList{enteteReponse(q, 0x8180, 1) + questionDe(q) +
                     enregistrementA("127.0.0.2", o16(0xC1FF))};
    }) << int(erPasSpam) << QByteArray("inexistant");
    QTest::newRow("rdata past the end") << TScript([=](const QByteArray& q) {
        return QList{(enteteReponse(q, 0x8180, 1) + questionDe(q) + enregistrementA("127.0.0.2"))
                         .chopped(2)};
    }) << int(erPasSpam) << QByteArray("inexistant");
    QTest::newRow("count says fifty, one present") << TScript([=](const QByteArray& q) {
        return QList{enteteReponse(q, 0x8180, 50) + questionDe(q) + enregistrementA("127.0.0.2")};
    }) << int(erSpam) << QByteArray("127.0.0.2");
    QTest::newRow("A of wrong length") << TScript([=](const QByteArray& q) {
        QByteArray rr =
            o16(0xC00C) + o16(1) + o16(1) + o16(0) + o16(60) + o16(16) + QByteArray(16, '\x7f');
        return QList{enteteReponse(q, 0x8180, 1) + questionDe(q) + rr};
    }) << int(erPasSpam) << QByteArray("inexistant");
    QTest::newRow("NXDOMAIN") << TScript([=](const QByteArray& q) {
        return QList{enteteReponse(q, 0x8183, 0) + questionDe(q)};
    }) << int(erPasSpam) << QByteArray("inexistant");
    QTest::newRow("SERVFAIL with an answer") << TScript([=](const QByteArray& q) {
        return QList{enteteReponse(q, 0x8182, 1) + questionDe(q) + enregistrementA("127.0.0.2")};
    }) << int(erPasSpam) << QByteArray("inexistant");
    QTest::newRow("oversized datagram")
        << TScript([=](const QByteArray& q) { return QList{valide(q) + QByteArray(4000, '\0')}; })
        << int(erSpam) << QByteArray("127.0.0.2");
}

void TestReponsesHostiles::reponses() {
    using TScript = std::function<QList<QByteArray>(const QByteArray&)>;
    QFETCH(TScript, script);
    QFETCH(int, etat);
    QFETCH(QByteArray, reponse);
    TBanc banc("1\tA\ta.test\t0\t0\t0\t0\t0\t\t0\t0\r\n");
    banc.serveur.script = script;
    banc.c.setTimeOutRecherche(2000);
    banc.c.ResultatIP(ChaineVersIP("192.0.2.1"), true);
    banc.c.LancerRecherches();
    QTRY_COMPARE(banc.reponses.size(), 1);
    QCOMPARE(banc.reponses[0].first, etat);
    QCOMPARE(banc.c.Recherche(0)->Reponse, reponse);
    QCOMPARE(banc.serveur.nbRequetes, 1); // answered at the first attempt
    QCOMPARE(banc.c.TrouverServeurNumero(1)->NbTimeOut, 0);
}

void TestReponsesHostiles::listeAilleursPendantUnSilence() {
    // A lists at once; B never answers. B's time-out ends it in state 4, no retry, no event.
    TBanc banc("1\tA\ta.test\t0\t0\t0\t0\t0\t\t0\t0\r\n"
               "2\tB\tb.test\t0\t0\t0\t0\t0\t\t0\t0\r\n");
    banc.serveur.script = [](const QByteArray& q) {
        if (!q.contains("\x01"
                        "a\x04test"))
            return QList<QByteArray>{};
        return QList{enteteReponse(q, 0x8180, 1) + questionDe(q) + enregistrementA("127.0.0.2")};
    };
    banc.c.setTimeOutRecherche(150);
    int timeOuts = 0;
    banc.c.OnTimeOut = [&](TChercheSPAMs&, TUneRechercheDNS&) { ++timeOuts; };
    banc.c.ResultatIP(ChaineVersIP("192.0.2.1"), true);
    banc.c.LancerRecherches();
    QTRY_COMPARE(timeOuts, 1);
    QTRY_COMPARE(banc.c.NbSocketDNS(), 0);
    // The idle pool reduced the group to the listing record.
    QCOMPARE(banc.c.NbRecherche(), 1);
    QCOMPARE(banc.c.Recherche(0)->Etat, quint8(erSpam));
    QCOMPARE(banc.reponses, (QList<QPair<int, bool>>{{erSpam, false}}));
    QCOMPARE(timeOuts, 1);
    QCOMPARE(banc.serveur.nbRequetes, 2);
    QCOMPARE(banc.c.TrouverServeurNumero(2)->NbTimeOut, 1);
    QCOMPARE(banc.c.TrouverServeurNumero(2)->NbTest, 1);
}

void TestReponsesHostiles::expirationAuTraversDuRebouclage() {
    // The tick counter wraps during the attempt: the time-out still comes on time.
    TBanc banc("1\tA\ta.test\t0\t0\t0\t0\t0\t\t0\t0\r\n");
    g_tick = 0xFFFFFF00u;
    tick::remplacerSource(&tickTest);
    banc.c.setTimeOutRecherche(1000);
    banc.c.setNbTentativeRecherche(0);
    int timeOuts = 0;
    banc.c.OnTimeOut = [&](TChercheSPAMs&, TUneRechercheDNS&) { ++timeOuts; };
    banc.c.ResultatIP(ChaineVersIP("192.0.2.1"), true);
    banc.c.LancerRecherches();
    g_tick += 100; // start + time-out has wrapped, now has not: not due
    banc.c.LancerRecherches();
    QCOMPARE(timeOuts, 0);
    g_tick += 400; // both wrapped, not yet due
    banc.c.LancerRecherches();
    QCOMPARE(timeOuts, 0);
    g_tick += 600; // due
    banc.c.LancerRecherches();
    tick::remplacerSource(nullptr);
    QCOMPARE(timeOuts, 1);
    QCOMPARE(banc.reponses, (QList<QPair<int, bool>>{{erAbandon, false}}));
    QCOMPARE(banc.c.TrouverServeurNumero(1)->TempsRAZ, 1100u);
}

void TestReponsesHostiles::exceptionDansUnGestionnaire() {
    // The owner's handler throws something that is not a std::exception on the first
    // answer: it is traced at the socket's handler and the next lookup is still answered.
    TBanc banc("1\tA\ta.test\t0\t0\t0\t0\t0\t\t0\t0\r\n");
    banc.serveur.script = [](const QByteArray& q) {
        return QList{enteteReponse(q, 0x8180, 1) + questionDe(q) + enregistrementA("127.0.0.2")};
    };
    banc.c.setTimeOutRecherche(2000);
    TTrace::instance().effacer();
    int appels = 0;
    banc.c.OnReponseDNS = [&](TChercheSPAMs&, TUneRechercheDNS& r, bool partiel) {
        banc.reponses.append({r.Etat, partiel});
        if (++appels == 1) throw 42;
    };
    banc.c.ResultatIP(ChaineVersIP("192.0.2.1"), true);
    banc.c.LancerRecherches();
    QTRY_COMPARE(banc.reponses.size(), 1);
    banc.c.ResultatIP(ChaineVersIP("192.0.2.2"), true);
    banc.c.LancerRecherches();
    QTRY_COMPARE(banc.reponses.size(), 2);
    QCOMPARE(banc.reponses[1].first, int(erSpam));
    int lignes = 0;
    for (const TLigneTrace& l : TTrace::instance().lignes())
        lignes += l.texte == QStringLiteral("Exception : TChercheSPAMs.DnsLookupDone : ?");
    QCOMPARE(lignes, 1);
}

QTEST_GUILESS_MAIN(TestReponsesHostiles)
#include "tst_reponses_hostiles.moc"
