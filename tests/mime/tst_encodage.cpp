// Charset tables, encoded header words, the byte decoders, file-name cleaning
// and the address split.

#include "core/cp1252.h"
#include "mime/adresse.h"
#include "mime/encodage_decodage.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

QString u8(const char* s) {
    return QString::fromUtf8(s);
}
QByteArray latin(const char* utf8) {
    return cp1252::depuisLatin(utf8);
}
QString repertoireTables() {
    return QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage");
}

} // namespace

class TstEncodage : public QObject {
    Q_OBJECT

    TEncodageDecodage m_tables; // the shipped tables
    TEncodageDecodage m_sansTables;

private slots:
    void initTestCase() {
        m_tables.ChargerCharsets(repertoireTables());
        m_sansTables.ChargerCharsets(QStringLiteral("/nonexistent/Encodage"));
    }

    void tablesLivrees() {
        // Every shipped file loads, plus the two Unicode entries.
        QVERIFY(m_tables.Charsets().size() >= 30);
        for (const char* nom :
             {"iso-8859-1", "iso-8859-2", "iso-8859-15", "windows-1250", "windows-1258", "koi8-r",
              "koi8-u", "ibm850", "macintosh", "latin2", "cp1251", "utf-8", "utf-7"})
            QVERIFY2(m_tables.Chercher(nom), nom);
        QCOMPARE(m_tables.Chercher("utf-8")->TypeCharset, tcUTF8);
        QCOMPARE(m_tables.Chercher("koi8-r")->TypeCharset, tcFichier);
        // A missing directory leaves only the Unicode entries.
        QCOMPARE(m_sansTables.Charsets().size(), size_t(2));
        QVERIFY(!m_sansTables.Chercher("iso-8859-1"));
    }

    void formatTable() {
        TUnCharset cs;
        const QByteArray fichier = "# comment\r\n"
                                   "   nom test-1\r\n"
                                   "\r\n"
                                   "charset un\r\n"
                                   "charset\tdeux\r\n"
                                   "CHARSET trois\r\n"
                                   "charset quatre # a fourth alias replaces the third\r\n"
                                   "debut 0xA0\r\n"
                                   "0xA1 0x0104 # comment after the value\r\n"
                                   "A2\t0x02D8\r\n"
                                   "0x1A3 0x0141\r\n" // above 255: ignored
                                   "0xA4 0x1g4\r\n"   // "g" reads as 0
                                   "#0xA5 0x0001\r\n"
                                   "0xA6\r\n"; // no value: ignored
        QVERIFY(TEncodageDecodage::LireTable(fichier, cs));
        QCOMPARE(cs.NomCharset, QByteArray("test-1"));
        QCOMPARE(cs.Alias1, QByteArray("un"));
        QCOMPARE(cs.Alias2, QByteArray("deux"));
        QCOMPARE(cs.Alias3, QByteArray("quatre"));
        QCOMPARE(cs.Debut, uint16_t(0xA0));
        QCOMPARE(cs.Table[0xA1], uint16_t(0x0104));
        QCOMPARE(cs.Table[0xA2], uint16_t(0x02D8));
        QCOMPARE(cs.Table[0xA3], uint16_t(0));
        QCOMPARE(cs.Table[0xA4], uint16_t(0x104));
        QCOMPARE(cs.Table[0xA5], uint16_t(0));

        TUnCharset sansNom;
        QVERIFY(!TEncodageDecodage::LireTable("charset x\r\n0xA1 0x41\r\n", sansNom));

        // Through the directory: a file without "nom" and a sub-directory are skipped.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        auto ecrire = [&](const QString& nom, const QByteArray& texte) {
            QFile f(dir.filePath(nom));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(texte);
        };
        ecrire(QStringLiteral("a.qdl"), fichier);
        ecrire(QStringLiteral("b.qdl"), "charset orphelin\r\n");
        ecrire(QStringLiteral("c.txt"), "nom autre\r\n");
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sous.qdl")));
        TEncodageDecodage e;
        e.ChargerCharsets(dir.path());
        QCOMPARE(e.Charsets().size(), size_t(3));
        QVERIFY(e.Chercher("deux"));
        QCOMPARE(e.VersUnicode("a\xA1\xA3\x9F", "test-1"), u8("a\u0104?\u009F"));
    }

    void versUnicode_data() {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("latin1") << QByteArray("caf\xE9") << QByteArray("iso-8859-1") << u8("café");
        QTest::newRow("latin1 C1 as 1252")
            << QByteArray("\x93x\x94 \x80") << QByteArray("iso-8859-1") << u8("“x” €");
        QTest::newRow("latin2 alias") << QByteArray("\xA1\xB3") << QByteArray("latin2") << u8("Ął");
        QTest::newRow("upper-case name")
            << QByteArray("\xA1") << QByteArray("ISO-8859-2") << u8("Ą");
        QTest::newRow("koi8-r") << QByteArray("\xF0\xD2\xC9") << QByteArray("koi8-r") << u8("При");
        QTest::newRow("1251") << QByteArray("\xCF\xF0\xE8") << QByteArray("windows-1251")
                              << u8("При");
        QTest::newRow("iso-8859-15 euro")
            << QByteArray("\xA4") << QByteArray("iso-8859-15") << u8("€");
        QTest::newRow("unmapped byte")
            << QByteArray("a\xAA") << QByteArray("windows-1253") << u8("a?");
        QTest::newRow("unknown charset widens 1252")
            << QByteArray("\xE9\x80") << QByteArray("x-inconnu") << u8("é€");
        QTest::newRow("utf-8") << QByteArray("\xC3\xA9") << QByteArray("utf-8") << u8("é");
        QTest::newRow("utf-7") << QByteArray("+AOk-") << QByteArray("utf-7") << u8("é");
    }
    void versUnicode() {
        QFETCH(QByteArray, texte);
        QFETCH(QByteArray, charset);
        QFETCH(QString, attendu);
        QCOMPARE(m_tables.VersUnicode(texte, charset), attendu);
    }

    void decoderEntete_data() {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("Q latin1") << QByteArray("=?iso-8859-1?Q?Caf=E9_cr=E8me?=")
                                  << u8("Café crème");
        QTest::newRow("B utf-8") << QByteArray("=?utf-8?B?w6k=?=") << u8("é");
        QTest::newRow("lower-case letter") << QByteArray("=?UTF-8?q?caf=C3=A9?=") << u8("café");
        QTest::newRow("blank between words dropped")
            << QByteArray("=?utf-8?Q?a?= =?utf-8?Q?b?=") << u8("ab");
        QTest::newRow("folding blanks between words")
            << QByteArray("=?utf-8?Q?a?=  \r\n =?utf-8?Q?b?=") << u8("ab");
        QTest::newRow("blank before text kept") << QByteArray("=?utf-8?Q?a?= x") << u8("a x");
        QTest::newRow("text glued after word") << QByteArray("=?utf-8?Q?a?=x") << u8("ax");
        QTest::newRow("text around")
            << QByteArray("Re: =?utf-8?Q?=C3=A9t=C3=A9?= chaud") << u8("Re: été chaud");
        QTest::newRow("lone =? kept") << QByteArray("a =? b") << u8("a =? b");
        QTest::newRow("unterminated word") << QByteArray("=?utf-8?Q?abc") << u8("=?utf-8?Q?abc");
        QTest::newRow("no encoding letter") << QByteArray("=?utf-8?abc?=") << u8("=?utf-8?abc?=");
        QTest::newRow("unknown letter") << QByteArray("=?utf-8?X?abc?=") << u8("=?utf-8?X?abc?=");
        QTest::newRow("bad word then good") << QByteArray("=?x =?utf-8?Q?ok?=") << u8("=?x ok");
        QTest::newRow("=5F and _") << QByteArray("=?utf-8?Q?a=5Fb_c?=") << u8("a_b c");
        QTest::newRow("TAB removed") << QByteArray("a\tb") << u8("ab");
        QTest::newRow("plain 1252 bytes") << QByteArray("caf\xE9 \x80") << u8("café €");
        QTest::newRow("koi8-r table") << QByteArray("=?koi8-r?B?8NLJ18XU?=") << u8("Привет");
        QTest::newRow("language suffix") << QByteArray("=?utf-8*fr?Q?=C3=A9?=") << u8("é");
        QTest::newRow("two charsets")
            << QByteArray("=?iso-8859-1?Q?=E9?= =?utf-8?Q?=C3=A9?=") << u8("éé");
        // Each B word decoded alone: its padding never reaches the text.
        QTest::newRow("B words with padding")
            << QByteArray("=?utf-8?B?w6k=?= =?utf-8?B?w6k=?=") << u8("éé");
        QTest::newRow("B character split over words")
            << QByteArray("=?utf-8?B?ww==?= =?utf-8?B?qQ==?=") << u8("é");
        QTest::newRow("Q character split over words")
            << QByteArray("=?utf-8?Q?=C3?= =?utf-8?Q?=A9?=") << u8("é");
        QTest::newRow("utf-7 word") << QByteArray("=?utf-7?Q?Hi_+AOk-?=") << u8("Hi é");
        QTest::newRow("empty payload") << QByteArray("a=?utf-8?Q?"
                                                     "?=b")
                                       << u8("ab");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("= last") << QByteArray("a=") << u8("a=");
        QTest::newRow("= apart from ?") << QByteArray("x = ?y=") << u8("x = ?y=");
        QTest::newRow("word after a lone =") << QByteArray("a= =?utf-8?Q?=C3=A9?=") << u8("a= é");
    }
    void decoderEntete() {
        QFETCH(QByteArray, texte);
        QFETCH(QString, attendu);
        const QString r = m_tables.DecoderEntete(texte);
        QCOMPARE(r, attendu);
        QVERIFY(!r.contains(QChar(0)));
        // The code page form is appended, and only the rewritten values go through text.
        QByteArray octets("avant|");
        m_tables.DecoderEnteteCp1252(texte, octets);
        QCOMPARE(octets, "avant|" + cp1252::depuisUnicode(attendu));
    }

    // Every byte but TAB, with no encoded word, comes back as it was.
    void decoderEnteteCp1252Octets() {
        QByteArray tous;
        for (int c = 0; c < 256; ++c)
            if (c != '\t') tous += char(c);
        QByteArray octets;
        m_tables.DecoderEnteteCp1252(tous, octets);
        QCOMPARE(octets, tous);
        QCOMPARE(octets, cp1252::depuisUnicode(m_tables.DecoderEntete(tous)));
    }

    void charsetSansTable() {
        // No koi8-r table: the base64 bytes are widened from code page 1252.
        QCOMPARE(m_sansTables.DecoderEntete("=?koi8-r?B?8NLJ18XU?="),
                 cp1252::versUnicode("\xF0\xD2\xC9\xD7\xC5\xD4"));
    }

    void base64_data() {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QByteArray>("attendu");
        QTest::newRow("padded") << QByteArray("w6k=") << QByteArray("\xC3\xA9");
        QTest::newRow("three bytes") << QByteArray("QUJD") << QByteArray("ABC");
        QTest::newRow("short group") << QByteArray("QQ") << QByteArray("A");
        QTest::newRow("zero kept as first byte") << QByteArray("AA==") << QByteArray("\0", 1);
        QTest::newRow("trailing zeros dropped") << QByteArray("QQAA") << QByteArray("A");
        QTest::newRow("stray = counts as 0") << QByteArray("QQ==QUJD") << QByteArray("A\0\0ABC", 6);
        QTest::newRow("bad char counts as 0") << QByteArray("Q!JD") << QByteArray("@\x02\x43");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void base64() {
        QFETCH(QByteArray, texte);
        QFETCH(QByteArray, attendu);
        QCOMPARE(DecoderBase64(texte), attendu);
    }

    void q_data() {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QByteArray>("attendu");
        QTest::newRow("hex") << QByteArray("=41=4a=4A") << QByteArray("AJJ");
        QTest::newRow("=00 is CR LF") << QByteArray("a=00b") << QByteArray("a\r\nb");
        QTest::newRow("underscore") << QByteArray("a_b") << QByteArray("a b");
        QTest::newRow("=5F") << QByteArray("=5F") << QByteArray("_");
        QTest::newRow("= not hex") << QByteArray("=G1=") << QByteArray("=G1=");
        QTest::newRow("= cut by end") << QByteArray("x=4") << QByteArray("x=4");
    }
    void q() {
        QFETCH(QByteArray, texte);
        QFETCH(QByteArray, attendu);
        QCOMPARE(DecoderQ(texte), attendu);
    }

    void utf8_data() {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("ascii") << QByteArray("abc") << u8("abc");
        QTest::newRow("2 and 3 bytes") << QByteArray("\xC3\xA9\xE2\x82\xAC") << u8("é€");
        QTest::newRow("4 bytes") << QByteArray("a\xF0\x9F\x98\x80z") << u8("a?z");
        QTest::newRow("lone continuation") << QByteArray("a\x80z") << u8("a?z");
        QTest::newRow("FE FF") << QByteArray("\xFE\xFF") << u8("??");
        QTest::newRow("2 bytes cut by end") << QByteArray("a\xC3") << u8("a?");
        QTest::newRow("3 bytes cut by end") << QByteArray("a\xE2\x82") << u8("a?");
        QTest::newRow("4 bytes cut by end") << QByteArray("a\xF0\x9F") << u8("a?");
        QTest::newRow("6 bytes cut by end") << QByteArray("a\xFC") << u8("a?");
        // A lead byte without its continuation is one "?"; what follows is kept.
        QTest::newRow("2-byte lead then ASCII") << QByteArray("\xC3\x41") << u8("?A");
        QTest::newRow("3-byte lead then ASCII") << QByteArray("\xE2\x82\x41") << u8("?A");
        QTest::newRow("3-byte lead, one ASCII") << QByteArray("\xE2\x41\x42") << u8("?AB");
        QTest::newRow("4-byte lead then ASCII") << QByteArray("\xF0\x9F\x41\x42\x43") << u8("?ABC");
        QTest::newRow("Latin-1 labelled UTF-8") << QByteArray("caf\xE9 ok") << u8("caf? ok");
        QTest::newRow("lead then lead") << QByteArray("\xC3\xC3\xA9") << u8("?é");
    }
    void utf8() {
        QFETCH(QByteArray, texte);
        QFETCH(QString, attendu);
        QCOMPARE(DecoderUTF8(texte), attendu);
    }

    void utf7_data() {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("+-") << QByteArray("+-") << u8("+");
        QTest::newRow("-") << QByteArray("-") << u8("-");
        QTest::newRow("inside") << QByteArray("1 +- 1") << u8("1 + 1");
        QTest::newRow("encoded") << QByteArray("Hi +AOk-!") << u8("Hi é!");
        QTest::newRow("two chars") << QByteArray("+AOkA6Q-x") << u8("ééx");
        QTest::newRow("to the end") << QByteArray("a+AOk") << u8("aé");
        QTest::newRow("final plus") << QByteArray("a+") << u8("a+");
        QTest::newRow("plain") << QByteArray("abc") << u8("abc");
        // UTF-16 units whose low byte is 0 are characters like any other.
        QTest::newRow("U+0100") << QByteArray("+AQA-") << u8("Ā");
        QTest::newRow("U+0100 then more") << QByteArray("+AQAA6Q-x") << u8("Āéx");
        QTest::newRow("U+2000 to the end") << QByteArray("a+IAA") << u8("a\u2000");
        QTest::newRow("NUL unit dropped") << QByteArray("+AAAA6Q-") << u8("é");
    }
    void utf7() {
        QFETCH(QByteArray, texte);
        QFETCH(QString, attendu);
        QCOMPARE(DecoderUTF7(texte), attendu);
    }

    void nomFichier_data() {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QByteArray>("attendu");
        QTest::newRow("quoted") << QByteArray("\"report.pdf\"; size=3") << QByteArray("report.pdf");
        QTest::newRow("separators removed") << QByteArray("a/b\\c.txt") << QByteArray("abc.txt");
        QTest::newRow("signs removed") << QByteArray("w?h*a<t>|:&.doc") << QByteArray("what.doc");
        QTest::newRow("blank runs")
            << QByteArray("  my   file .txt ") << QByteArray("my file .txt");
        QTest::newRow("percent") << QByteArray("a%20b%41") << QByteArray("a bA");
        QTest::newRow("percent not hex") << QByteArray("100%.txt") << QByteArray("100%.txt");
        QTest::newRow("line break cuts") << QByteArray("a.txt\r\nb") << QByteArray("a.txt");
        QTest::newRow("0x01 cuts") << QByteArray("a.txt\x01z") << QByteArray("a.txt");
        QTest::newRow("encoded word")
            << QByteArray("=?utf-8?Q?caf=C3=A9.txt?=") << latin("café.txt");
        QTest::newRow("encoded path")
            << QByteArray("..%2F..%2Fetc%2Fpasswd") << QByteArray("passwd");
        QTest::newRow("encoded backslash")
            << QByteArray("..%5C..%5Cwin.ini") << QByteArray("win.ini");
        QTest::newRow("dot") << QByteArray(".") << QByteArray();
        QTest::newRow("dot dot") << QByteArray("..") << QByteArray();
        QTest::newRow("encoded dot dot") << QByteArray("%2e%2E") << QByteArray();
        QTest::newRow("ends with separator") << QByteArray("a%2F") << QByteArray();
        QTest::newRow("NUL byte") << QByteArray("a%00b.exe") << QByteArray();
        QTest::newRow("empty") << QByteArray("\"\"") << QByteArray();
    }
    void nomFichier() {
        QFETCH(QByteArray, texte);
        QFETCH(QByteArray, attendu);
        QCOMPARE(m_tables.NettoyerNomFichier(texte), attendu);
    }

    void adresse_data() {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QByteArray>("nom");
        QTest::addColumn<QByteArray>("adresse");
        QTest::newRow("quoted name") << QByteArray("\"Jean Dupont\" <jean@ex.fr>")
                                     << QByteArray("Jean Dupont") << QByteArray("jean@ex.fr");
        QTest::newRow("bare name") << QByteArray("Jean Dupont <jean@ex.fr>")
                                   << QByteArray("Jean Dupont") << QByteArray("jean@ex.fr");
        QTest::newRow("bare address")
            << QByteArray("  jean@ex.fr ") << QByteArray() << QByteArray("jean@ex.fr");
        QTest::newRow("brackets only")
            << QByteArray("<jean@ex.fr>") << QByteArray() << QByteArray("jean@ex.fr");
        QTest::newRow("comment after") << QByteArray("jean@ex.fr (Jean D)") << QByteArray("Jean D")
                                       << QByteArray("jean@ex.fr");
        QTest::newRow("comment before stays")
            << QByteArray("(Jean) jean@ex.fr") << QByteArray() << QByteArray("(Jean) jean@ex.fr");
        QTest::newRow("comma in quotes") << QByteArray("\"Dupont, Jean\" <j@ex.fr>")
                                         << QByteArray("Dupont, Jean") << QByteArray("j@ex.fr");
        QTest::newRow("address in quotes")
            << QByteArray("\"a@b.c\" <c@d.e>") << QByteArray("a@b.c") << QByteArray("c@d.e");
        QTest::newRow("brackets in quotes")
            << QByteArray("\"<a@b.c>\" <c@d.e>") << QByteArray("<a@b.c>") << QByteArray("c@d.e");
        QTest::newRow("backslash") << QByteArray("\"Jo \\\"X\\\"\" <j@x.y>")
                                   << QByteArray("Jo \"X\"") << QByteArray("j@x.y");
        QTest::newRow("two addresses keep first")
            << QByteArray("A <a@b.c>, B <c@d.e>") << QByteArray("A") << QByteArray("a@b.c");
        QTest::newRow("comment after brackets")
            << QByteArray("<a@b.c> (x)") << QByteArray("(x)") << QByteArray("a@b.c");
        QTest::newRow("unclosed bracket")
            << QByteArray("A <a@b.c") << QByteArray("A") << QByteArray("a@b.c");
        QTest::newRow("no address") << QByteArray("Undisclosed recipients:;")
                                    << QByteArray("Undisclosed recipients:;") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("lone backslash") << QByteArray("a@b\\") << QByteArray() << QByteArray("a@b");
    }
    void adresse() {
        QFETCH(QByteArray, texte);
        QFETCH(QByteArray, nom);
        QFETCH(QByteArray, adresse);
        QByteArray n, a;
        SeparerAdresse(texte, n, a);
        QCOMPARE(n, nom);
        QCOMPARE(a, adresse);
        QCOMPARE(ExtraireAdresse(texte), adresse);
    }
};

QTEST_GUILESS_MAIN(TstEncodage)
#include "tst_encodage.moc"
