// Windows-1252 text and the record lines of the data files.

#include "core/cp1252.h"
#include "core/record_fields.h"

#include <QtTest>

class TstTexte : public QObject {
    Q_OBJECT
private slots:
    void allerRetourTousLesOctets();
    void versCodePage_data();
    void versCodePage();
    void casse_data();
    void casse();
    void comparaisonSansCasse();

    void echappements_data();
    void echappements();
    void entiers_data();
    void entiers();
    void champsSuccessifs();
    void ecrivain();
    void lignesDonnees_data();
    void lignesDonnees();
    void enteteVersionnee();
};

void TstTexte::allerRetourTousLesOctets() {
    QByteArray tous;
    for (int i = 0; i < 256; ++i)
        tous.append(static_cast<char>(i));
    const QString texte = cp1252::versUnicode(tous);
    QCOMPARE(texte.size(), 256);
    QCOMPARE(cp1252::depuisUnicode(texte), tous);
    QCOMPARE(texte[0x80], QChar(0x20AC));
    QCOMPARE(texte[0x9F], QChar(0x0178));
    QCOMPARE(texte[0xE9], QChar(0x00E9));
}

void TstTexte::versCodePage_data() {
    QTest::addColumn<QString>("texte");
    QTest::addColumn<QByteArray>("attendu");
    QTest::newRow("ascii") << QStringLiteral("PASS x") << QByteArray("PASS x");
    QTest::newRow("accents") << QStringLiteral("Démarrage") << QByteArray("D\xe9marrage");
    QTest::newRow("euro, oe, quotes") << QStringLiteral("€œ“”") << QByteArray("\x80\x9c\x93\x94");
    QTest::newRow("cyrillic") << QStringLiteral("Жx") << QByteArray("?x");
    QTest::newRow("outside the plane is one ?") << QString::fromUtf8("a\xF0\x9F\x98\x80"
                                                                     "b")
                                                << QByteArray("a?b");
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QByteArray("?");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TstTexte::versCodePage() {
    QFETCH(QString, texte);
    QFETCH(QByteArray, attendu);
    QCOMPARE(cp1252::depuisUnicode(texte), attendu);
}

void TstTexte::casse_data() {
    QTest::addColumn<QByteArray>("majuscules");
    QTest::addColumn<QByteArray>("minuscules");
    QTest::newRow("ascii") << QByteArray("SUBJECT: X-Y") << QByteArray("subject: x-y");
    QTest::newRow("latin-1 capitals")
        << QByteArray("\xc9\xc0\xd6\xde") << QByteArray("\xe9\xe0\xf6\xfe");
    QTest::newRow("code page pairs")
        << QByteArray("\x8a\x8c\x8e\x9f") << QByteArray("\x9a\x9c\x9e\xff");
    // The multiplication and division signs and the sharp s have no case.
    QTest::newRow("no case") << QByteArray("\xd7\xf7\xdf"
                                           "1@[")
                             << QByteArray("\xd7\xf7\xdf"
                                           "1@[");
}

void TstTexte::casse() {
    QFETCH(QByteArray, majuscules);
    QFETCH(QByteArray, minuscules);
    QCOMPARE(cp1252::minuscules(majuscules), minuscules);
    QCOMPARE(cp1252::majuscules(minuscules), majuscules);
    QByteArray enPlace = majuscules;
    cp1252::enMinuscules(enPlace);
    QCOMPARE(enPlace, minuscules);
}

void TstTexte::comparaisonSansCasse() {
    QVERIFY(cp1252::egauxSansCasse("Re\xc7u", "rE\xe7U"));
    QVERIFY(!cp1252::egauxSansCasse("abc", "abcd"));
    QVERIFY(cp1252::commenceParSansCasse("CONTENT-TYPE: text", "content-type:"));
    QVERIFY(!cp1252::commenceParSansCasse("Cont", "content-type:"));
    QCOMPARE(cp1252::chercherSansCasse("xx\xc9T\xc9 \xe9t\xe9", "\xe9T\xe9", 3), 6);
    QCOMPARE(cp1252::chercherSansCasse("abc", "C"), 2);
    QCOMPARE(cp1252::chercherSansCasse("abc", "abcd"), -1);
    QCOMPARE(cp1252::chercherSansCasse("abc", "", 3), 3);
    QCOMPARE(cp1252::chercherSansCasse("abc", "", 4), -1);

    // The order of the folded texts, bytes unsigned, a prefix first: every pair.
    const QByteArrayList textes{"",     "a",    "A", "ab",   "aB",   "abc",
                                "b",    "Z",    "z", "\xe9", "\xc9", "\xe9t\xe9",
                                "\x80", "\x7f", "[", "_",    "\xff", "\xdf"};
    for (const QByteArray& a : textes)
        for (const QByteArray& b : textes) {
            const int attendu =
                QByteArrayView(cp1252::minuscules(a)).compare(cp1252::minuscules(b));
            const int obtenu = cp1252::comparerSansCasse(a, b);
            QVERIFY2((attendu < 0) == (obtenu < 0) && (attendu == 0) == (obtenu == 0),
                     (a.toHex() + " / " + b.toHex()).constData());
        }
}

void TstTexte::echappements_data() {
    QTest::addColumn<QByteArray>("brut");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("relu");
    QTest::newRow("line ends and tab") << QByteArray("a\r\nb\tc")
                                       << QByteArray("a\x02\x01"
                                                     "b\x03"
                                                     "c")
                                       << QByteArray("a\r\nb\tc");
    QTest::newRow("other controls become _")
        << QByteArray("x\x00y\x1b", 4) << QByteArray("x_y_") << QByteArray("x_y_");
    QTest::newRow("8-bit kept") << QByteArray("\xe9\x80\xff") << QByteArray("\xe9\x80\xff")
                                << QByteArray("\xe9\x80\xff");
    QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray();
}

void TstTexte::echappements() {
    QFETCH(QByteArray, brut);
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, relu);
    QCOMPARE(champs::coder(brut), code);
    QCOMPARE(champs::decoder(code), relu);
    QVERIFY(!champs::coder(brut).contains('\t'));
    QVERIFY(!champs::coder(brut).contains('\n'));
}

void TstTexte::entiers_data() {
    QTest::addColumn<QByteArray>("ligne");
    QTest::addColumn<qint64>("valeur");
    QTest::addColumn<int>("valeur32");
    QTest::addColumn<QByteArray>("reste");
    QTest::newRow("plain") << QByteArray("42\tx") << qint64(42) << 42 << QByteArray("x");
    QTest::newRow("blanks before")
        << QByteArray(" \t\r\n 7\tx") << qint64(7) << 7 << QByteArray("x");
    QTest::newRow("minus") << QByteArray("-15\t") << qint64(-15) << -15 << QByteArray();
    QTest::newRow("plus") << QByteArray("+3") << qint64(3) << 3 << QByteArray();
    QTest::newRow("no digits") << QByteArray("\tabc") << qint64(0) << 0 << QByteArray("abc");
    QTest::newRow("sign only") << QByteArray("-x") << qint64(0) << 0 << QByteArray("x");
    QTest::newRow("letters after digits stay")
        << QByteArray("12ab\tc") << qint64(12) << 12 << QByteArray("ab\tc");
    QTest::newRow("one TAB consumed")
        << QByteArray("5\t\t9") << qint64(5) << 5 << QByteArray("\t9");
    QTest::newRow("above int") << QByteArray("3000000000\t") << qint64(3000000000LL)
                               << std::numeric_limits<int>::max() << QByteArray();
    QTest::newRow("below int") << QByteArray("-3000000000") << qint64(-3000000000LL)
                               << std::numeric_limits<int>::min() << QByteArray();
    QTest::newRow("overflow saturates")
        << QByteArray("99999999999999999999999\tz") << std::numeric_limits<qint64>::max()
        << std::numeric_limits<int>::max() << QByteArray("z");
    QTest::newRow("empty") << QByteArray() << qint64(0) << 0 << QByteArray();
}

void TstTexte::entiers() {
    QFETCH(QByteArray, ligne);
    QFETCH(qint64, valeur);
    QFETCH(int, valeur32);
    QFETCH(QByteArray, reste);
    champs::TLecteurChamps l64(ligne);
    QCOMPARE(l64.lireEntier64(), valeur);
    QCOMPARE(l64.reste().toByteArray(), reste);
    champs::TLecteurChamps l32(ligne);
    QCOMPARE(l32.lireEntier(), valeur32);
}

void TstTexte::champsSuccessifs() {
    champs::TLecteurChamps l("12\tsujet\x03"
                             "avec tab\t\t-4\tfin");
    QCOMPARE(l.lireEntier(), 12);
    QCOMPARE(l.lireChaine(), QByteArray("sujet\tavec tab"));
    QCOMPARE(l.lireChaine(), QByteArray()); // empty field between two TABs
    QCOMPARE(l.lireEntier(), -4);
    QCOMPARE(l.lireBrut().toByteArray(), QByteArray("fin"));
    QVERIFY(l.fin());
    QCOMPARE(l.lireChaine(), QByteArray());
    QCOMPARE(l.lireEntier(), 0);
}

void TstTexte::ecrivain() {
    champs::TEcrivainChamps e;
    e.entier(-7).chaine("a\tb\r\n").brut("\x03");
    QCOMPARE(e.ligne(), QByteArray("-7\ta\x03"
                                   "b\x02\x01\t\x03\r\n"));
    QByteArray sortie("x");
    e.entier(1).ajouterA(sortie);
    QCOMPARE(sortie, QByteArray("x1\r\n"));
    // Written then read back gives the same fields.
    const QByteArray texte("d\xe9"
                           "but\tmilieu\r\nfin");
    const QByteArray ligne = e.entier(9).chaine(texte).entier(-1).ligne();
    champs::TLecteurChamps l(QByteArrayView(ligne).chopped(2));
    QCOMPARE(l.lireEntier(), 9);
    QCOMPARE(l.lireChaine(), texte);
    QCOMPARE(l.lireEntier(), -1);
}

void TstTexte::lignesDonnees_data() {
    QTest::addColumn<QByteArray>("contenu");
    QTest::addColumn<QList<QByteArray>>("lignes");
    using L = QList<QByteArray>;
    QTest::newRow("header skipped") << fichierqdl::entete(3) + "a\r\nb\r\n" << L{"a", "b"};
    QTest::newRow("comments and blanks anywhere")
        << QByteArray("; x\r\n\r\nVERSION=1\r\na\r\n;c\r\n\r\nb") << L{"a", "b"};
    QTest::newRow("VERSION= only as first data line")
        << QByteArray("a\r\nVERSION=2\r\n") << L{"a", "VERSION=2"};
    QTest::newRow("LF only") << QByteArray("VERSION=2\na\nb\n") << L{"a", "b"};
    QTest::newRow("no version line") << QByteArray("a\tb\r\n") << L{"a\tb"};
    QTest::newRow("lone CR kept inside") << QByteArray("a\rb\r\n") << L{"a\rb"};
    QTest::newRow("empty") << QByteArray() << L{};
}

void TstTexte::lignesDonnees() {
    QFETCH(QByteArray, contenu);
    QFETCH(QList<QByteArray>, lignes);
    QList<QByteArray> lu;
    for (QByteArrayView v : fichierqdl::lignesDonnees(contenu))
        lu.append(v.toByteArray());
    QCOMPARE(lu, lignes);
}

void TstTexte::enteteVersionnee() {
    const QByteArray e = fichierqdl::entete(2);
    QVERIFY(e.startsWith("; Une ligne commen\xe7"
                         "ant par ; est en commentaire\r\n"));
    QVERIFY(e.endsWith("\r\nVERSION=2\r\n"));
    QCOMPARE(e.count("\r\n"), 3);
}

QTEST_GUILESS_MAIN(TstTexte)
#include "tst_texte.moc"
