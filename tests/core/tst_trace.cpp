// The trace of connections (colours, bound, prefixes), the debug log
// (line format, rotation, banners) and the password masking of traced commands.

#include "core/masquer_mot_de_passe.h"
#include "core/trace.h"
#include "i18n/resources.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QString g_timeOut;
struct TTraductionTest : ressources::TTraducteur {
    QString Ressource(const char* cle, const char16_t*) override {
        if (qstrcmp(cle, "princ16") == 0 && !g_timeOut.isEmpty()) return g_timeOut;
        if (qstrcmp(cle, "princ15") == 0 && !g_timeOut.isEmpty())
            return QStringLiteral("session %d");
        return {};
    }
    QString Fenetre(QStringView, QStringView, const QString& defaut) override { return defaut; }
} traduction;

QByteArray contenu(const QString& chemin) {
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TstTrace : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void couleurs_data();
    void couleurs();
    void timeOutTraduit();
    void prefixes();
    void borne();
    void format_data();
    void format();
    void exceptionGardee();
    void masquage_data();
    void masquage();

    void sansModeDebugAucunFichier();
    void journalDebug();
    void rotation();
};

void TstTrace::init() {
    TTrace::instance().effacer();
    TTrace::instance().OnLigne = nullptr;
    debuglog::activer(false);
}

void TstTrace::cleanup() {
    debuglog::activer(false);
    ressources::installer(nullptr);
    g_timeOut.clear();
}

void TstTrace::couleurs_data() {
    QTest::addColumn<QString>("texte");
    QTest::addColumn<int>("couleur");
    const auto c = [](TCouleurTrace t) { return int(t); };
    QTest::newRow("client command") << QStringLiteral("> RETR 1") << c(TCouleurTrace::Olive);
    QTest::newRow("line to client") << QStringLiteral("< +OK 2 320") << c(TCouleurTrace::Pourpre);
    QTest::newRow("server line not relayed")
        << QStringLiteral("<< +OK") << c(TCouleurTrace::Marine);
    QTest::newRow("server error is red, not navy")
        << QStringLiteral("<< -ERR mot de passe") << c(TCouleurTrace::Rouge);
    QTest::newRow("client error line")
        << QStringLiteral("< -ERR inconnu") << c(TCouleurTrace::Rouge);
    QTest::newRow("DNSBL activity") << QStringLiteral(" + 1.2.3.4 liste") << c(TCouleurTrace::Bleu);
    QTest::newRow("plus without leading space")
        << QStringLiteral("+ 1.2.3.4") << c(TCouleurTrace::Defaut);
    QTest::newRow("-ERR without > or <")
        << QStringLiteral("serveur : -ERR") << c(TCouleurTrace::Defaut);
    QTest::newRow("TIME OUT anywhere")
        << QStringLiteral("> x TIME OUT y") << c(TCouleurTrace::Rouge);
    QTest::newRow("TIME OUT on plain text")
        << QStringLiteral("recherche TIME OUT") << c(TCouleurTrace::Rouge);
    QTest::newRow("empty") << QString() << c(TCouleurTrace::Defaut);
    QTest::newRow("other") << QStringLiteral("Close") << c(TCouleurTrace::Defaut);
}

void TstTrace::couleurs() {
    QFETCH(QString, texte);
    QFETCH(int, couleur);
    QCOMPARE(int(TTrace::couleur(texte)), couleur);
}

void TstTrace::timeOutTraduit() {
    g_timeOut = QStringLiteral("DELAI DEPASSE");
    ressources::installer(&traduction);
    QCOMPARE(TTrace::couleur(QStringLiteral("a DELAI DEPASSE")), TCouleurTrace::Rouge);
    QCOMPARE(TTrace::couleur(QStringLiteral("a TIME OUT")), TCouleurTrace::Defaut);
    Trace(3, QStringLiteral("x"));
    QVERIFY(TTrace::instance().lignes().back().prefixe.endsWith(QStringLiteral(" : session 3 : ")));
}

void TstTrace::prefixes() {
    QList<TLigneTrace> recues;
    TTrace::instance().OnLigne = [&](const TLigneTrace& l) { recues.append(l); };
    Trace(QString());
    Trace(12, QStringLiteral("> USER a@b"));
    TraceFormat(-1, QStringLiteral("%s=%d%%"), QStringLiteral("n"), 5);
    TraceFormat(2, QStringLiteral("port %s : %s"), QByteArray("110"), QByteArray("\xe9t\xe9"));
    QCOMPARE(recues.size(), 4);
    QCOMPARE(recues[3].texte, QStringLiteral("port 110 : été"));
    const QRegularExpression heure(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d : $"));
    QVERIFY2(heure.match(recues[0].prefixe).hasMatch(), qPrintable(recues[0].prefixe));
    QCOMPARE(recues[0].texte, QString());
    QCOMPARE(recues[0].couleur, TCouleurTrace::Defaut);
    QVERIFY(recues[1].prefixe.endsWith(QStringLiteral(" : socket n°12 : ")));
    QCOMPARE(recues[1].couleur, TCouleurTrace::Olive);
    QCOMPARE(recues[2].texte, QStringLiteral("n=5%"));
}

void TstTrace::borne() {
    auto& t = TTrace::instance();
    for (int i = 1; i <= 800; ++i)
        Trace(QString::number(i));
    QCOMPARE(t.lignes().size(), size_t(800));
    Trace(QStringLiteral("801"));
    // The 801st line trims to the 700 newest, then takes its place.
    QCOMPARE(t.lignes().size(), size_t(701));
    QCOMPARE(t.lignes().front().texte, QStringLiteral("101"));
    QCOMPARE(t.lignes().back().texte, QStringLiteral("801"));
    for (int i = 802; i <= 2000; ++i)
        Trace(QString::number(i));
    QVERIFY(t.lignes().size() <= 800);
    QCOMPARE(t.lignes().back().texte, QStringLiteral("2000"));
    t.effacer();
    QVERIFY(t.lignes().empty());
}

// A handler that throws leaves one "Exception : place : error" line and the caller goes on.
void TstTrace::exceptionGardee() {
    struct TAutre {};
    QList<TLigneTrace> recues;
    TTrace::instance().OnLigne = [&](const TLigneTrace& l) { recues.append(l); };
    bool suite = false;
    Garde(u"TWSocketDNS.lire", [] {
        throw std::runtime_error("r\xc3\xa9ponse tronqu\xc3\xa9"
                                 "e");
    });
    Garde(7, u"ClientDataAvailable", [] { throw TAutre{}; });
    Garde(u"Timer", [&] { suite = true; });
    TraceException(u"TStockageConfig.Ouvrir", u"");
    QVERIFY(suite);
    QCOMPARE(recues.size(), 3);
    QCOMPARE(recues[0].texte, QStringLiteral("Exception : TWSocketDNS.lire : réponse tronquée"));
    QCOMPARE(recues[1].texte, QStringLiteral("Exception : ClientDataAvailable : ?"));
    QVERIFY(recues[1].prefixe.endsWith(QStringLiteral(" : socket n°7 : ")));
    QCOMPARE(recues[2].texte, QStringLiteral("Exception : TStockageConfig.Ouvrir : "));
}

void TstTrace::format_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("valeurs");
    QTest::addColumn<QString>("attendu");
    QTest::newRow("in order") << QStringLiteral("%s : %d")
                              << QStringList{QStringLiteral("a"), QStringLiteral("7")}
                              << QStringLiteral("a : 7");
    QTest::newRow("missing value")
        << QStringLiteral("port %s et %s") << QStringList{QStringLiteral("110")}
        << QStringLiteral("port 110 et ");
    QTest::newRow("percent sign") << QStringLiteral("100%%") << QStringList{}
                                  << QStringLiteral("100%");
    QTest::newRow("trailing percent")
        << QStringLiteral("x%") << QStringList{} << QStringLiteral("x%");
    QTest::newRow("other letter kept")
        << QStringLiteral("%x%s") << QStringList{QStringLiteral("1")} << QStringLiteral("%x1");
    QTest::newRow("value with %s inside")
        << QStringLiteral("%s%s") << QStringList{QStringLiteral("%s"), QStringLiteral("b")}
        << QStringLiteral("%sb");
}

void TstTrace::format() {
    QFETCH(QString, format);
    QFETCH(QStringList, valeurs);
    QFETCH(QString, attendu);
    QCOMPARE(Format(format, valeurs), attendu);
}

void TstTrace::masquage_data() {
    QTest::addColumn<QByteArray>("ligne");
    QTest::addColumn<QByteArray>("tracee");
    QTest::newRow("PASS") << QByteArray("PASS secret") << QByteArray("PASS s*****");
    QTest::newRow("pass lower case") << QByteArray("pass ab") << QByteArray("pass a*");
    QTest::newRow("one character") << QByteArray("PASS x") << QByteArray("PASS x");
    QTest::newRow("empty password") << QByteArray("PASS ") << QByteArray("PASS ");
    QTest::newRow("no argument") << QByteArray("PASS") << QByteArray("PASS");
    QTest::newRow("spaces inside the password")
        << QByteArray("PASS a b c") << QByteArray("PASS a****");
    QTest::newRow("8-bit password") << QByteArray("PASS \xe9t\xe9") << QByteArray("PASS \xe9**");
    QTest::newRow("RPOP") << QByteArray("RPOP motdepasse") << QByteArray("RPOP m*********");
    QTest::newRow("AUTH initial response") << QByteArray("AUTH PLAIN AGFsaWNlAHNlY3JldA==")
                                           << QByteArray("AUTH PLAIN A") + QByteArray(19, '*');
    QTest::newRow("AUTH mechanism only") << QByteArray("AUTH LOGIN") << QByteArray("AUTH LOGIN");
    QTest::newRow("AUTH alone") << QByteArray("AUTH") << QByteArray("AUTH");
    QTest::newRow("USER untouched") << QByteArray("USER a@b") << QByteArray("USER a@b");
    QTest::newRow("PASSE is another word") << QByteArray("PASSE x1") << QByteArray("PASSE x1");
    QTest::newRow("APOP untouched") << QByteArray("APOP u 0123") << QByteArray("APOP u 0123");
}

void TstTrace::masquage() {
    QFETCH(QByteArray, ligne);
    QFETCH(QByteArray, tracee);
    QCOMPARE(MasquerMotDePasse(ligne), tracee);
}

void TstTrace::sansModeDebugAucunFichier() {
    QTemporaryDir dir;
    const QString debug = dir.filePath(QStringLiteral("debug.txt"));
    QFile ancien(debug);
    QVERIFY(ancien.open(QIODevice::WriteOnly));
    ancien.write("run precedent\r\n");
    ancien.close();
    debuglog::definirChemin(debug);
    debuglog::rearmerRotation();
    QVERIFY(debuglog::ouvrir());
    Trace(QStringLiteral("x"));
    debuglog::ligne(QStringLiteral("Patienter"), QStringLiteral("y"));
    debuglog::fermer();
    QCOMPARE(contenu(debug), QByteArray("run precedent\r\n"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("debug.old.txt"))));
}

void TstTrace::journalDebug() {
    QTemporaryDir dir;
    const QString debug = dir.filePath(QStringLiteral("debug.txt"));
    debuglog::definirChemin(debug);
    debuglog::activer(true);
    debuglog::rearmerRotation();
    QVERIFY(debuglog::ouvrir());
    Trace(4, QStringLiteral("> PASS s***"));
    Trace(QString());
    debuglog::ligne(QStringLiteral("Patienter"), QStringLiteral("Destruction"));
    Trace(QStringLiteral("accentué €"));
    debuglog::fermer();

    const QList<QByteArray> l = contenu(debug).split('\n');
    QCOMPARE(l[0], QByteArray(54, '*') + '\r');
    QVERIFY(l[1].startsWith("D\xe9marrage : "));
    QCOMPARE(l[2], QByteArray("\r"));
    const QRegularExpression ligne(
        QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d : socket n°4 : > PASS s\\*\\*\\*\r$"));
    QVERIFY2(ligne.match(QString::fromLatin1(l[3])).hasMatch(), l[3].constData());
    QVERIFY(l[4].endsWith(" : \r")); // empty text, no origin
    QVERIFY(l[5].endsWith(" : Patienter : Destruction\r"));
    QVERIFY(l[6].endsWith(" : accentu\xe9 \x80\r")); // Windows-1252 bytes
    QCOMPARE(l[7], QByteArray("\r"));
    QVERIFY(l[8].startsWith("Arr\xeat : "));
    QCOMPARE(l[9], QByteArray(54, '*') + '\r');
    QCOMPARE(l.size(), 11);
    QVERIFY(l[10].isEmpty());
}

void TstTrace::rotation() {
    QTemporaryDir dir;
    const QString debug = dir.filePath(QStringLiteral("debug.txt"));
    const QString vieux = dir.filePath(QStringLiteral("debug.old.txt"));
    QFile f(debug);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("run 1\r\n");
    f.close();
    QFile g(vieux);
    QVERIFY(g.open(QIODevice::WriteOnly));
    g.write("run 0\r\n");
    g.close();

    debuglog::definirChemin(debug);
    debuglog::activer(true);
    debuglog::rearmerRotation();
    QVERIFY(debuglog::ouvrir());
    // The previous run moves aside; the one before is gone.
    QCOMPARE(contenu(vieux), QByteArray("run 1\r\n"));
    QVERIFY(contenu(debug).startsWith(QByteArray(54, '*')));
    Trace(QStringLiteral("a"));
    // A second opening in the same run appends: no second rotation.
    QVERIFY(debuglog::ouvrir());
    QCOMPARE(contenu(vieux), QByteArray("run 1\r\n"));
    QCOMPARE(contenu(debug).count(QByteArray(54, '*')), 2);

    // A log that cannot be written reports it (the caller beeps); the program goes on.
    debuglog::definirChemin(dir.filePath(QStringLiteral("absent/debug.txt")));
    debuglog::rearmerRotation();
    QVERIFY(!debuglog::ouvrir());
    Trace(QStringLiteral("toujours vivant"));
    QCOMPARE(TTrace::instance().lignes().back().texte, QStringLiteral("toujours vivant"));
}

QTEST_GUILESS_MAIN(TstTrace)
#include "tst_trace.moc"
