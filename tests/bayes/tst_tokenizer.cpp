// Cutting the Bayesian text into tokens, per zone, and laying out that text.
#include "bayes/bayes_doc.h"
#include "bayes/mon_bayes_db.h"
#include "bayes/texte_bayes.h"
#include "tests/bayes/bayes_test_util.h"

#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

using namespace bayestest;

class TstTokenizer : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_rep.isValid());
        m_base = std::make_unique<TMonBayesDB>(m_rep.filePath(QStringLiteral("bayes.qdl")),
                                               m_rep.path() + QLatin1Char('/'));
    }

    // Header values, plain lines and HTML lines laid out as a message gives
    // them, then tokenized.
    void messages_data() {
        QTest::addColumn<QByteArrayList>("entetes");
        QTest::addColumn<QByteArrayList>("plain");
        QTest::addColumn<QByteArrayList>("html");
        QTest::addColumn<QByteArray>("sujet");
        QTest::addColumn<QByteArray>("ignores");
        QTest::addColumn<QString>("attendu");
        QTest::addColumn<bool>("sansTexte");

        const QByteArrayList x = lignes({"x"});
        const QByteArrayList rien;
        QTest::newRow("two words in plain text")
            << x << lignes({"Hello World"}) << rien << QByteArray() << QByteArray()
            << u"hello=0,1,0 world=0,1,0"_qs << false;
        QTest::newRow("numeric-only runs are dropped")
            << x << lignes({"12.50 -3 +33-1 1,5 v1.2 3com a+b"}) << rien << QByteArray()
            << QByteArray() << u"3com=0,1,0 a+b=0,1,0 v1.2=0,1,0"_qs << false;
        QTest::newRow("non-initial characters cannot start a word")
            << x << lignes({"$100 .net ..ab"}) << rien << QByteArray() << QByteArray()
            << u"net=0,1,0"_qs << false;
        QTest::newRow("trailing non-initial characters are stripped")
            << x << lignes({"abc.def. foo_ abc/"}) << rien << QByteArray() << QByteArray()
            << u"abc=0,1,0 abc.def=0,1,0 foo=0,1,0"_qs << false;
        QTest::newRow("30 bytes kept, 31 dropped before stripping")
            << x
            << QByteArrayList{QByteArray(26, 'k') + "@:=-", QByteArray(29, 'y') + "..",
                              QByteArray(31, 'z')}
            << rien << QByteArray() << QByteArray()
            << QString::fromLatin1(QByteArray(26, 'k') + "@:=-=0,1,0") << false;
        QTest::newRow("accented letters: some join words, others split them")
            << x << lignes({"naïve café señor"}) << rien << QByteArray() << QByteArray()
            << u"café=0,1,0 naïve=0,1,0"_qs << false;
        QTest::newRow("case folded, accented capitals too")
            << x << lignes({"FREE free", "CAFÉ"}) << rien << QByteArray() << QByteArray()
            << u"café=0,1,0 free=0,2,0"_qs << false;
        QTest::newRow("ignored words count in headers, not in the body")
            << lignes({"Viagra offer"}) << lignes({"VIAGRA now"}) << rien << QByteArray()
            << QByteArray("viagra") << u"now=0,1,0 offer=1,0,0 viagra=1,0,0"_qs << false;
        // The zone offsets do not count the subject prefix: with a subject, the
        // header values already fall in zone 1 and the plain text in zone 2.
        QTest::newRow("subject prefix shifts the zones")
            << lignes({"Viagra offer"}) << lignes({"viagra now"}) << rien << QByteArray("Viagra")
            << QByteArray("viagra") << u"now=0,0,1 offer=0,1,0 viagra=2,0,0"_qs << false;
        QTest::newRow("html text between tags only")
            << x << rien << lignes({"<p>Win</p>", "<b>cash</b> now"}) << QByteArray()
            << QByteArray() << u"cash=0,0,1 win=0,0,1"_qs << true;
        QTest::newRow("no plain text")
            << x << rien << rien << QByteArray() << QByteArray() << QString() << true;
        QTest::newRow("two blank plain lines are dropped")
            << x << lignes({"", " \t"}) << rien << QByteArray() << QByteArray() << QString()
            << true;
        QTest::newRow("four blank plain lines are kept")
            << x << lignes({"", "", "", ""}) << rien << QByteArray() << QByteArray() << QString()
            << false;
    }
    void messages() {
        QFETCH(QByteArrayList, entetes);
        QFETCH(QByteArrayList, plain);
        QFETCH(QByteArrayList, html);
        QFETCH(QByteArray, sujet);
        QFETCH(QByteArray, ignores);
        QFETCH(QString, attendu);
        QFETCH(bool, sansTexte);
        m_base->SetMotsIgnores(ignores);
        int32_t finTexte = -1, finEntetes = -1;
        const QByteArray texte = bayes::assemblerTexte(entetes, plain, html, finTexte, finEntetes);
        TBayesDoc doc(m_base.get());
        doc.Analyser(texte, finEntetes, PrefixeSujet(sujet), finTexte);
        QCOMPARE(decrire(doc), attendu);
        QCOMPARE(doc.SansTexte, sansTexte);
    }

    // The tokenizer on raw text with explicit offsets.
    void brut_data() {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<int>("finEntetes");
        QTest::addColumn<int>("finTexte");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("text ends inside a word")
            << QByteArray("hello wor") << 100 << 200 << u"hello=1,0,0 wor=1,0,0"_qs;
        QTest::newRow("repeats counted per zone, listed once in token order")
            << QByteArray("zzz abc_ abc\r\nabc zzz\r\nabc ab_c abc zzz") << 5 << 20
            << u"abc=2,1,2 ab_c=0,0,1 zzz=1,1,1"_qs;
        QTest::newRow("zones change at line ends only")
            << QByteArray("aaa\r\nbbb\r\nccc ddd") << 5 << 10
            << u"aaa=1,0,0 bbb=0,1,0 ccc=0,0,1 ddd=0,0,1"_qs;
        QTest::newRow("bytes from 0x80 to 0xDF separate words")
            << QByteArray("abc\x80"
                          "def\xC0"
                          "ghi\xDF"
                          "jkl\xE1mno\xF1pqr")
            << 1000 << 2000 << u"abc=1,0,0 defàghi=1,0,0 jkl=1,0,0 mno=1,0,0 pqr=1,0,0"_qs;
    }
    void brut() {
        QFETCH(QByteArray, texte);
        QFETCH(int, finEntetes);
        QFETCH(int, finTexte);
        QFETCH(QString, attendu);
        TBayesDoc doc(m_base.get());
        doc.Analyser(texte, finEntetes, {}, finTexte);
        QCOMPARE(decrire(doc), attendu);
    }

    // Thousands of distinct tokens, each twice, then a short message on the
    // same document: every token counted once per occurrence and in token
    // order, however far the message's index had to grow.
    void beaucoupDeMots() {
        TBayesDoc doc(m_base.get());
        for (int n : {5000, 40000, 3}) {
            QByteArray texte;
            QByteArrayList attendus;
            for (int passe = 0; passe < 2; ++passe) {
                for (int k = 0; k < n; ++k) {
                    // Scattered over the key space, and "_" between letters in order.
                    const int i = passe == 0 ? (k * 7919) % n : n - 1 - k;
                    QByteArray mot = "m" + QByteArray::number(i * 2654435761u % 1000003u) + "_x";
                    texte += mot + ' ';
                    if (passe == 0) attendus.append(mot);
                }
            }
            doc.Analyser(texte, 0, {}, int32_t(texte.size()));
            std::sort(attendus.begin(), attendus.end(),
                      [](const QByteArray& a, const QByteArray& b) {
                          return bayes::comparerMots(a, b) < 0;
                      });
            attendus.erase(std::unique(attendus.begin(), attendus.end()), attendus.end());
            const auto& el = doc.Elements();
            QCOMPARE(qsizetype(el.size()), attendus.size());
            for (size_t i = 0; i < el.size(); ++i) {
                QCOMPARE(QByteArray(el[i]->Mot), attendus[qsizetype(i)]);
                const TCompteMot& c = el[i]->CoteSpam;
                QCOMPARE(c.EnTete + c.Texte + c.Html, 2);
            }
        }
    }

    // Every byte, placed between two words, either joins them or separates them
    // as the character table says (after lowering: "À" joins like "à").
    void classesDeCaracteres() {
        const QByteArray mot = w("$+-.0123456789:=@_abcdefghijklmnopqrstuvwxyzàâäçèéêëîïôöùûüÿ");
        TBayesDoc doc(m_base.get());
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            doc.Analyser(QByteArray("abc") + c + "def", 100, {}, 200);
            const unsigned char bas = cp1252::minuscule(static_cast<unsigned char>(b));
            const bool joint = mot.contains(static_cast<char>(bas));
            const QString attendu = joint ? QStringLiteral("abc") + cp1252::versUnicode(bas) +
                                                QStringLiteral("def=1,0,0")
                                          : QStringLiteral("abc=1,0,0 def=1,0,0");
            QVERIFY2(decrire(doc) == attendu, qPrintable(QString::number(b)));
        }
    }

    void htmlVisible_data() {
        QTest::addColumn<QByteArrayList>("html");
        QTest::addColumn<QByteArray>("attendu");
        QTest::newRow("runs between tags")
            << lignes({"<p>Win</p>", "<b>cash</b> now"}) << QByteArray("Win\r\ncash\r\n");
        QTest::newRow("stray > cuts the run") << lignes({"abc>def<x>"}) << QByteArray("def\r\n");
        QTest::newRow("< inside a tag changes nothing")
            << lignes({"<a title=\"x<y\">link</a>"}) << QByteArray("link\r\n");
        QTest::newRow("line breaks after a tag dropped")
            << lignes({"<br>", "", "line<br>"}) << QByteArray("line\r\n");
        QTest::newRow("entities kept as they are")
            << lignes({"<i>a &amp; b</i>"}) << QByteArray("a &amp; b\r\n");
        QTest::newRow("no tag, nothing") << lignes({"plain words"}) << QByteArray();
        QTest::newRow("text after the last tag dropped")
            << lignes({"<p>x</p>tail"}) << QByteArray("x\r\n");
        QTest::newRow("unclosed tag ends the text")
            << lignes({"a<b", "c>d"}) << QByteArray("a\r\n");
        QTest::newRow("line breaks after a stray > dropped")
            << lignes({"a>", "", "b<i>"}) << QByteArray("b\r\n");
    }
    void htmlVisible() {
        QFETCH(QByteArrayList, html);
        QFETCH(QByteArray, attendu);
        QCOMPARE(bayes::texteVisibleHtml(html), attendu);
    }

    void prefixeSujet() {
        QCOMPARE(PrefixeSujet("Hi you"), QByteArray("Hi you\r\nHi you"));
        QCOMPARE(PrefixeSujet(""), QByteArray());
    }

    // Ignore lists: case-insensitive in code page 1252, saved and reloaded.
    void listesIgnorees() {
        m_base->SetMotsIgnores(w("Zèbre\r\nfoo\r\n"));
        m_base->SetEntetesIgnorees("received\r\nX-Spam-Status");
        QVERIFY(m_base->MotIgnore(w("ZÈBRE")));
        QVERIFY(m_base->MotIgnore("FOO"));
        QVERIFY(!m_base->MotIgnore("fo"));
        QVERIFY(m_base->EnteteIgnoree("x-spam-status"));
        QVERIFY(m_base->SauverListesIgnorees());
        m_base->SetMotsIgnores({});
        m_base->ChargerListesIgnorees();
        QCOMPARE(m_base->GetMotsIgnores(), w("foo\r\nZèbre"));
        QVERIFY(m_base->EnteteIgnoree("RECEIVED"));
        // The tokens can be dropped without losing the lists.
        m_base->Vider();
        QVERIFY(m_base->MotIgnore("foo"));
        QCOMPARE(m_base->NbSpamAppris, 0);
    }

private:
    QTemporaryDir m_rep;
    std::unique_ptr<TMonBayesDB> m_base;
};

QTEST_GUILESS_MAIN(TstTokenizer)
#include "tst_tokenizer.moc"
