// Relay addresses taken from the Received lines of a message header.
#include "spamsearch/cherche_spams.h"
#include "spamsearch/extraction_ip.h"

#include <QtTest>

namespace {

// Header lines separated by '|', walked as the session walks them: the field
// name follows the lines, and only the Received lines are scanned.
TAdressesRelais relaisDe(const QByteArray& entete,
                         const std::function<bool(TAdresseIP)>& estIPInternet) {
    TAdressesRelais relais;
    QByteArray champ;
    for (const QByteArray& ligne : entete.split('|')) {
        champ = NomChampEntete(ligne, champ);
        if (champ == "received") ExtraireIPLigne(ligne, relais, estIPInternet);
    }
    return relais;
}

} // namespace

class TestExtraction : public QObject {
    Q_OBJECT
private slots:
    void extraction_data();
    void extraction();
    void douzeAdressesGardentLesDixPremieres();
    void nomDeChamp_data();
    void nomDeChamp();
};

void TestExtraction::extraction_data() {
    // Header lines separated by '|'; expected addresses in order, separated by ' '.
    QTest::addColumn<QByteArray>("entete");
    QTest::addColumn<QByteArray>("attendu");
    QTest::newRow("one bracketed")
        << QByteArray("Received: from x ([203.0.113.5]) by y") << QByteArray("203.0.113.5");
    QTest::newRow("ignored does not end scan")
        << QByteArray("Received: from a ([10.0.0.1]) (198.51.100.7) by y")
        << QByteArray("198.51.100.7");
    QTest::newRow("first public wins")
        << QByteArray("Received: from [192.0.2.1] (192.0.2.2)") << QByteArray("192.0.2.1");
    QTest::newRow("folded continuation")
        << QByteArray("Received: from mx.example|\tby relay ([198.51.100.9])")
        << QByteArray("198.51.100.9");
    QTest::newRow("three parts") << QByteArray("Received: from [1.2.3] by y") << QByteArray();
    QTest::newRow("five parts") << QByteArray("Received: from [1.2.3.4.5] by y") << QByteArray();
    QTest::newRow("unclosed") << QByteArray("Received: from (1.2.3.4 by y") << QByteArray();
    QTest::newRow("mismatched brackets")
        << QByteArray("Received: from (1.2.3.4] by y") << QByteArray();
    QTest::newRow("at end of line")
        << QByteArray("Received: from x [1.2.3.4]") << QByteArray("1.2.3.4");
    QTest::newRow("port after colon")
        << QByteArray("Received: from x [1.2.3.4:25]") << QByteArray();
    QTest::newRow("ipv6 literal") << QByteArray("Received: from x [IPv6:2001:db8::1]")
                                  << QByteArray();
    QTest::newRow("octet above 255")
        << QByteArray("Received: from x [1.2.3.300] [5.6.7.8]") << QByteArray("5.6.7.8");
    QTest::newRow("same address twice stored once")
        << QByteArray("Received: from [192.0.2.1]|Received: from [192.0.2.1] (192.0.2.3)")
        << QByteArray("192.0.2.1");
    QTest::newRow("order top down")
        << QByteArray("Received: from [192.0.2.10]|Received: from [192.0.2.11]")
        << QByteArray("192.0.2.10 192.0.2.11");
    QTest::newRow("case of field name")
        << QByteArray("RECEIVED : from [192.0.2.4]") << QByteArray("192.0.2.4");
    QTest::newRow("other field") << QByteArray("X-Originating-IP: [192.0.2.5]") << QByteArray();
    QTest::newRow("other field folded")
        << QByteArray("Received: by x|X-Foo: bar|\t[192.0.2.6]") << QByteArray();
    QTest::newRow("no received") << QByteArray("From: a@b|Subject: [192.0.2.7]") << QByteArray();
    QTest::newRow("shortest line") << QByteArray("[1.2.3.4]") << QByteArray();
}

void TestExtraction::extraction() {
    QFETCH(QByteArray, entete);
    QFETCH(QByteArray, attendu);
    TChercheSPAMs c;
    c.DefinirListe(lfIgnorerIP, "127.*\r\n10.*\r\n192.168.*\r\n");
    const TAdressesRelais relais =
        relaisDe(entete, [&](TAdresseIP ip) { return c.EstIPInternet(ip); });
    QList<QByteArray> obtenu;
    for (int i = 0; i < relais.nb; ++i)
        obtenu.append(IPVersChaine(relais[i]));
    QCOMPARE(obtenu.join(' '), attendu);
}

void TestExtraction::douzeAdressesGardentLesDixPremieres() {
    QByteArrayList lignes;
    for (int i = 1; i <= 12; ++i)
        lignes << "Received: from h ([198.51.100." + QByteArray::number(i) + "])";
    TAdressesRelais relais = relaisDe(lignes.join('|'), nullptr);
    QCOMPARE(relais.nb, kMaxAdressesRelais);
    QCOMPARE(IPVersChaine(relais[9]), QByteArray("198.51.100.10"));
    // Full: the next address is dropped, and nothing is added past the array.
    QVERIFY(!ExtraireIPLigne("Received: [198.51.100.200]", relais, nullptr));
    QCOMPARE(relais.nb, kMaxAdressesRelais);
    relais.vider();
    QCOMPARE(relais.nb, 0);
}

void TestExtraction::nomDeChamp_data() {
    QTest::addColumn<QByteArray>("ligne");
    QTest::addColumn<QByteArray>("attendu");
    QTest::newRow("field") << QByteArray("Received: x") << QByteArray("received");
    QTest::newRow("blank around name") << QByteArray("  X-Spam  :") << QByteArray("prev");
    QTest::newRow("continuation tab") << QByteArray("\tfoo: bar") << QByteArray("prev");
    QTest::newRow("no colon") << QByteArray("garbage") << QByteArray("prev");
    QTest::newRow("trimmed") << QByteArray("Subject  : x") << QByteArray("subject");
}

void TestExtraction::nomDeChamp() {
    QFETCH(QByteArray, ligne);
    QFETCH(QByteArray, attendu);
    QCOMPARE(NomChampEntete(ligne, "prev"), attendu);
}

QTEST_GUILESS_MAIN(TestExtraction)
#include "tst_extraction.moc"
