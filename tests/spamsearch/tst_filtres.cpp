// Pattern matching of the filter lists, address conversions, list files.
#include "core/cp1252.h"
#include "spamsearch/cherche_spams.h"
#include "spamsearch/regexp_filtre.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QByteArray l1(const char* s) {
    return cp1252::depuisLatin(s);
}
} // namespace

class TestFiltres : public QObject {
    Q_OBJECT
private slots:
    void joker_data();
    void joker();
    void jokerSansRetourExponentiel();
    void cidr_data();
    void cidr();
    void chaineVersIP_data();
    void chaineVersIP();
    void ipVersChaine();
    void regExp_data();
    void regExp();
    void regExpLimite();
    void testerListe();
    void ignoreParDefautEtEvenement();
    void fichiersListes();
    void fichierIllisibleConserve();
};

void TestFiltres::joker_data() {
    QTest::addColumn<QByteArray>("motif");
    QTest::addColumn<QByteArray>("valeur");
    QTest::addColumn<bool>("attendu");
    const QByteArray mu = l1("µ");
    QTest::newRow("star-empty") << QByteArray("*") << QByteArray() << true;
    QTest::newRow("empty-pattern") << QByteArray() << QByteArray() << false;
    QTest::newRow("empty-pattern-value") << QByteArray() << QByteArray("a") << false;
    QTest::newRow("*b b") << QByteArray("*b") << QByteArray("b") << true;
    QTest::newRow("*b bb") << QByteArray("*b") << QByteArray("bb") << true;
    QTest::newRow("*b ba") << QByteArray("*b") << QByteArray("ba") << false;
    QTest::newRow("a*b ab") << QByteArray("a*b") << QByteArray("ab") << true;
    QTest::newRow("a* a") << QByteArray("a*") << QByteArray("a") << true;
    QTest::newRow("a**b") << QByteArray("a**b") << QByteArray("axxb") << true;
    QTest::newRow("anchored") << QByteArray("abc") << QByteArray("abcd") << false;
    QTest::newRow("? one") << QByteArray("a?c") << QByteArray("abc") << true;
    QTest::newRow("? not zero") << QByteArray("a?c") << QByteArray("ac") << false;
    QTest::newRow("# digit") << QByteArray("a#c") << QByteArray("a5c") << true;
    QTest::newRow("# letter") << QByteArray("a#c") << QByteArray("abc") << false;
    QTest::newRow("mu b") << mu << QByteArray("b") << true;
    QTest::newRow("mu Z") << mu << QByteArray("Z") << true;
    QTest::newRow("mu a") << mu << QByteArray("a") << false;
    QTest::newRow("mu y") << mu << QByteArray("y") << false;
    QTest::newRow("mu e-acute") << mu << l1("é") << false;
    QTest::newRow("mu 1") << mu << QByteArray("1") << false;
    QTest::newRow("escaped star") << QByteArray("\\*") << QByteArray("*") << true;
    QTest::newRow("escaped star x") << QByteArray("\\*") << QByteArray("x") << false;
    QTest::newRow("a*\\? abc?") << QByteArray("a*\\?") << QByteArray("abc?") << true;
    QTest::newRow("a*\\? abcd") << QByteArray("a*\\?") << QByteArray("abcd") << false;
    QTest::newRow("trailing backslash") << QByteArray("a\\") << QByteArray("a\\") << true;
    QTest::newRow("escaped mu") << QByteArray("\\") + mu << mu << true;
    QTest::newRow("case-sensitive")
        << QByteArray("Offre*") << QByteArray("offre speciale") << false;
    QTest::newRow("cidr text is a wildcard")
        << QByteArray("cidr:1.2.3.0/24") << QByteArray("1.2.3.4") << false;
    QTest::newRow("high bytes") << l1("*é*") << l1("café noir") << true;
}

void TestFiltres::joker() {
    QFETCH(QByteArray, motif);
    QFETCH(QByteArray, valeur);
    QFETCH(bool, attendu);
    QCOMPARE(CorrespondFiltre(valeur, motif, false), attendu);
}

void TestFiltres::jokerSansRetourExponentiel() {
    // A backtracking matcher needs ages for this; the walk used here is quadratic at worst.
    const QByteArray valeur(20000, 'a');
    QElapsedTimer t;
    t.start();
    QVERIFY(!CorrespondFiltre(valeur, "*a*a*a*a*a*a*a*a*b", false));
    QVERIFY(CorrespondFiltre(valeur + 'b', "*a*a*a*a*a*a*a*a*b", false));
    QVERIFY2(t.elapsed() < 5000, "wildcard match took too long"); // a hang guard, not a benchmark
}

void TestFiltres::cidr_data() {
    QTest::addColumn<QByteArray>("motif");
    QTest::addColumn<QByteArray>("valeur");
    QTest::addColumn<bool>("attendu");
    QTest::newRow("/16 in") << QByteArray("cidr:192.168.0.0/16") << QByteArray("192.168.255.1")
                            << true;
    QTest::newRow("/16 out") << QByteArray("cidr:192.168.0.0/16") << QByteArray("192.169.0.1")
                             << false;
    QTest::newRow("capitals") << QByteArray("CIDR:192.168.0.0/16") << QByteArray("192.168.1.1")
                              << true;
    QTest::newRow("no slash") << QByteArray("cidr:10.0.0.0") << QByteArray("10.0.0.0") << false;
    QTest::newRow("/32 same") << QByteArray("cidr:1.2.3.4/32") << QByteArray("1.2.3.4") << true;
    QTest::newRow("/32 other") << QByteArray("cidr:1.2.3.4/32") << QByteArray("1.2.3.5") << false;
    QTest::newRow("/0 all") << QByteArray("cidr:0.0.0.0/0") << QByteArray("203.0.113.9") << true;
    QTest::newRow("negative all") << QByteArray("cidr:9.9.9.9/-3") << QByteArray("1.1.1.1") << true;
    QTest::newRow("not an address")
        << QByteArray("cidr:0.0.0.0/0") << QByteArray("bonjour") << false;
    QTest::newRow("bits not integer")
        << QByteArray("cidr:10.0.0.0/8x") << QByteArray("10.1.1.1") << false;
    QTest::newRow("bits empty") << QByteArray("cidr:10.0.0.0/") << QByteArray("10.1.1.1") << false;
    QTest::newRow("/1 top bit") << QByteArray("cidr:128.0.0.0/1") << QByteArray("200.1.1.1")
                                << true;
    QTest::newRow("/31") << QByteArray("cidr:10.0.0.2/31") << QByteArray("10.0.0.3") << true;
    QTest::newRow("huge bits saturate")
        << QByteArray("cidr:1.2.3.4/9999999999") << QByteArray("1.2.3.4") << true;
    QTest::newRow("wildcard still works") << QByteArray("10.*") << QByteArray("10.2.3.4") << true;
}

void TestFiltres::cidr() {
    QFETCH(QByteArray, motif);
    QFETCH(QByteArray, valeur);
    QFETCH(bool, attendu);
    QCOMPARE(CorrespondFiltre(valeur, motif, true), attendu);
}

void TestFiltres::chaineVersIP_data() {
    QTest::addColumn<QByteArray>("texte");
    QTest::addColumn<QByteArray>("attendu"); // dotted, or "0"
    QTest::newRow("plain") << QByteArray("192.0.2.1") << QByteArray("192.0.2.1");
    QTest::newRow("one to three digits")
        << QByteArray("255.100.10.9") << QByteArray("255.100.10.9");
    QTest::newRow("zeros") << QByteArray("0.0.0.1") << QByteArray("0.0.0.1");
    QTest::newRow("three parts") << QByteArray("1.2.3") << QByteArray("0");
    QTest::newRow("five parts") << QByteArray("1.2.3.4.5") << QByteArray("0");
    QTest::newRow("256 first") << QByteArray("256.1.1.1") << QByteArray("0");
    QTest::newRow("256 last") << QByteArray("1.2.3.256") << QByteArray("0");
    QTest::newRow("empty part") << QByteArray("1..2.3") << QByteArray("1.0.2.3");
    QTest::newRow("trailing text") << QByteArray("1.2.3.4abc") << QByteArray("1.2.3.4");
    QTest::newRow("overflowing digits")
        << QByteArray("1.2.3.99999999999999999999") << QByteArray("0");
    QTest::newRow("leading zeros") << QByteArray("001.002.003.004") << QByteArray("1.2.3.4");
    QTest::newRow("empty") << QByteArray() << QByteArray("0");
    QTest::newRow("leading blank") << QByteArray(" 1.2.3.4") << QByteArray("0");
}

void TestFiltres::chaineVersIP() {
    QFETCH(QByteArray, texte);
    QFETCH(QByteArray, attendu);
    const TAdresseIP ip = ChaineVersIP(texte);
    QCOMPARE(ip == 0 ? QByteArray("0") : IPVersChaine(ip), attendu);
}

void TestFiltres::ipVersChaine() {
    const TAdresseIP ip = ChaineVersIP("192.0.2.1");
    QCOMPARE(ip, TAdresseIP(0x010200C0)); // first octet in the low byte
    QCOMPARE(IPVersChaineInverse(ip), QByteArray("1.2.0.192"));
    QCOMPARE(IPVersChaineInverse(ChaineVersIP("255.100.10.0")), QByteArray("0.10.100.255"));
    QCOMPARE(IPVersHote(ip), quint32(0xC0000201));
}

void TestFiltres::regExp_data() {
    QTest::addColumn<QByteArray>("expression");
    QTest::addColumn<QByteArray>("valeur");
    QTest::addColumn<bool>("attendu");
    QTest::newRow("unanchored") << QByteArray("via[gq]ra") << QByteArray("buy viagra now") << true;
    QTest::newRow("case-sensitive") << QByteArray("Viagra") << QByteArray("viagra") << false;
    QTest::newRow("asks for caseless") << QByteArray("(?i)Viagra") << QByteArray("VIAGRA") << true;
    QTest::newRow("not multi-line") << QByteArray("^b") << QByteArray("a\nb") << false;
    QTest::newRow("invalid") << QByteArray("(abc") << QByteArray("(abc") << false;
    QTest::newRow("empty") << QByteArray() << QByteArray("x") << false;
    QTest::newRow("cp1252 bytes") << l1("caf[ée]") << l1("un café") << true;
    QTest::newRow("catastrophic hits the limit")
        << QByteArray("^(a+)+$") << QByteArray(QByteArray(40, 'a') + 'b') << false;
}

void TestFiltres::regExp() {
    QFETCH(QByteArray, expression);
    QFETCH(QByteArray, valeur);
    QFETCH(bool, attendu);
    QCOMPARE(CorrespondRegExp(valeur, expression), attendu);
}

void TestFiltres::regExpLimite() {
    // The same search succeeds with room and fails once it needs more steps than allowed.
    const QByteArray valeur = QByteArray(2000, 'a') + 'x';
    QVERIFY(CorrespondRegExp(valeur, "(?:a|b)*?x"));
    QVERIFY(!CorrespondRegExp(valeur, "(?:a|b)*?x", 50));
}

void TestFiltres::testerListe() {
    TChercheSPAMs c;
    c.DefinirListe(lfNoireSujet, "\r\nOffre*\r\n");
    c.DefinirListe(lfNoireSujetRegExp, "gratuit\nsans\\s+frais");
    c.DefinirListe(lfNoireEmetteur, "cidr:1.2.3.0/24");
    c.DefinirListe(lfNoireIP, "cidr:1.2.3.0/24");
    QCOMPARE(c.LignesListe(lfNoireSujet).size(), 2); // the blank line stays
    QVERIFY(c.TesterListe(tlNoireSujet, "Offre du jour"));
    QVERIFY(!c.TesterListe(tlNoireSujet, "")); // a blank line never matches
    // Without a handler the expression lists are not consulted.
    QVERIFY(!c.TesterListe(tlNoireSujet, "tout gratuit"));
    int appels = 0;
    c.OnTestRegExp = [&](TChercheSPAMs&, const QByteArray& v, const QByteArray& e, bool& b) {
        ++appels;
        QVERIFY(!b);
        b = CorrespondRegExp(v, e);
    };
    QVERIFY(c.TesterListe(tlNoireSujet, "tout gratuit"));
    QCOMPARE(appels, 1); // the first matching line ends the walk
    QVERIFY(c.TesterListe(tlNoireSujet, "sans   frais"));
    QVERIFY(!c.TesterListe(tlBlancheSujet, "gratuit"));
    // CIDR only for the IP kinds.
    QVERIFY(c.TesterListe(tlNoireIP, "1.2.3.99"));
    QVERIFY(!c.TesterListe(tlNoireEmetteur, "1.2.3.99"));
    QVERIFY(!c.TesterListe(42, "x"));

    QVERIFY(c.ListeRenseignee(tlNoireIP));
    QVERIFY(!c.ListeRenseignee(tlBlancheIP));
    c.DefinirListe(lfBlancheEnteteRegExp, "x");
    QVERIFY(c.ListeRenseignee(tlBlancheEntete));
    QCOMPARE(c.ListeNoireSujetRegExp(), QByteArray("gratuit\r\nsans\\s+frais\r\n"));
    c.setListeBlancheIP("cidr:5.6.0.0/16\r");
    QVERIFY(c.TesterListe(tlBlancheIP, "5.6.7.8"));
}

void TestFiltres::ignoreParDefautEtEvenement() {
    QTemporaryDir rep;
    TChercheSPAMs c;
    c.OnInitRepertoire = [&](TChercheSPAMs&, QString& travail, QString& installation) {
        travail = rep.path();
        installation = rep.path();
    };
    c.setActive(true);
    QCOMPARE(c.Liste(lfIgnorerIP), QByteArray("127.*\r\n10.*\r\n192.168.*\r\n"));
    for (const char* prive : {"127.0.0.1", "10.1.2.3", "192.168.0.5"})
        QVERIFY2(!c.EstIPInternet(ChaineVersIP(prive)), prive);
    QVERIFY(c.EstIPInternet(ChaineVersIP("192.169.0.5")));
    c.OnIPInternet = [](TChercheSPAMs&, TAdresseIP ip, bool& b) {
        QVERIFY(b);
        b = ip != ChaineVersIP("192.169.0.5");
    };
    QVERIFY(!c.EstIPInternet(ChaineVersIP("192.169.0.5")));
    QVERIFY(c.EstIPInternet(ChaineVersIP("192.169.0.6")));
    c.DefinirListe(lfIgnorerIP, "cidr:203.0.113.0/24");
    QVERIFY(!c.EstIPInternet(ChaineVersIP("203.0.113.7")));
}

void TestFiltres::fichiersListes() {
    QTemporaryDir rep;
    const QString donnees = rep.path() + QStringLiteral("/Donnees/");
    QDir().mkpath(donnees);
    {
        QFile f(donnees + QStringLiteral("ignorer-ip.qdl"));
        QVERIFY(f.open(QIODevice::WriteOnly)); // exists but empty: no defaults
    }
    {
        QFile f(donnees + QStringLiteral("listenoire-sujet.qdl"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Offre*\n; not a comment\r\n\r\n  spaced  \r\nlast");
    }
    auto activer = [&](TChercheSPAMs& c) {
        c.OnInitRepertoire = [&](TChercheSPAMs&, QString& t, QString&) { t = rep.path(); };
        c.setActive(true);
    };
    {
        TChercheSPAMs c;
        activer(c);
        QVERIFY(c.LignesListe(lfIgnorerIP).isEmpty());
        QCOMPARE(c.LignesListe(lfNoireSujet),
                 (QList<QByteArray>{"Offre*", "; not a comment", "", "  spaced  ", "last"}));
        QVERIFY(QDir(rep.path() + QStringLiteral("/Dossiers")).exists());
        c.DefinirListe(lfBlancheEmetteurRegExp, l1("é@x\r\n"));
        c.setActive(false);
    }
    for (int i = 0; i < lfNombre; ++i) // every list is written, empty ones too
        QVERIFY(QFile::exists(donnees + TChercheSPAMs::NomFichierListe(TListeFiltre(i))));
    QFile f(donnees + QStringLiteral("listenoire-sujet.qdl"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("Offre*\r\n; not a comment\r\n\r\n  spaced  \r\nlast\r\n"));
    TChercheSPAMs c2;
    activer(c2);
    QCOMPARE(c2.LignesListe(lfBlancheEmetteurRegExp), QList<QByteArray>{l1("é@x")});
}

void TestFiltres::fichierIllisibleConserve() {
    // Root reads any file, so a directory stands in the file's place.
    QTemporaryDir rep;
    const QString donnees = rep.path() + QStringLiteral("/Donnees/");
    QDir().mkpath(donnees + QStringLiteral("listenoire-ip.qdl")); // cannot be read as a file
    TChercheSPAMs c;
    c.OnInitRepertoire = [&](TChercheSPAMs&, QString& t, QString&) { t = rep.path(); };
    c.setActive(true);
    QVERIFY(c.LignesListe(lfNoireIP).isEmpty());
    c.setActive(false);
    QVERIFY(QFileInfo(donnees + QStringLiteral("listenoire-ip.qdl")).isDir()); // left alone
    QVERIFY(QFile::exists(donnees + QStringLiteral("listenoire-mail.qdl")));
}

QTEST_GUILESS_MAIN(TestFiltres)
#include "tst_filtres.moc"
