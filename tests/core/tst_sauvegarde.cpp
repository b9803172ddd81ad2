// Safe save of data files and atomic writes of the settings file, including
// a child process killed with SIGKILL at random moments of repeated saves.

#include "core/config.h"
#include "core/safe_save.h"
#include "core/settings.h"
#include "core/stockage_config.h"
#include "tests/support/test_support.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

using testsupport::ecrireFichier;
using testsupport::lireFichier;

namespace {

// One version of a data file: it says its own number and length, so a torn or
// empty copy is recognised.
QByteArray version(int n) {
    QByteArray corps((n % 7) * 20000 + 10, static_cast<char>('a' + n % 26));
    return "DEBUT " + QByteArray::number(n) + ' ' + QByteArray::number(corps.size()) + "\r\n" +
           corps + "\r\nFIN " + QByteArray::number(n) + "\r\n";
}

bool versionEntiere(const QByteArray& c) {
    if (!c.startsWith("DEBUT ")) return false;
    const qsizetype finLigne = c.indexOf("\r\n");
    const QList<QByteArray> t = c.mid(6, finLigne - 6).split(' ');
    if (t.size() != 2) return false;
    const int n = t[0].toInt();
    return c == version(n);
}

// Child modes: save forever until killed.
int boucleSauver(const char* mode, const QString& chemin) {
    std::fprintf(stdout, "pret\n");
    std::fflush(stdout);
    if (std::strcmp(mode, "donnees") == 0) {
        for (int n = 1;; ++n)
            sauvegarde::sauver(chemin, version(n));
    }
    TStockageConfig ini;
    if (!ini.Ouvrir(chemin)) return 2;
    TConfig c;
    for (int n = 1;; ++n) {
        c.CptResume = n;
        c.NumLocal = n;
        c.DerniereVersion = QByteArray((n % 5) * 3000, 'v');
        SauverConfig(ini, c, n, n);
    }
}

} // namespace

class TstSauvegarde : public QObject {
    Q_OBJECT
private slots:
    void ecrivainEnEchec_data();
    void ecrivainEnEchec();
    void sauvegardeRemplace();
    void lecture_data();
    void lecture();
    void repertoireAbsent();
    void coupuresBrutales_data();
    void coupuresBrutales();
};

void TstSauvegarde::ecrivainEnEchec_data() {
    QTest::addColumn<int>("octets");
    QTest::newRow("nothing written") << 0;
    QTest::newRow("one byte") << 1;
    QTest::newRow("half") << 5000;
    QTest::newRow("all but the end reported") << 10000;
}

void TstSauvegarde::ecrivainEnEchec() {
    QFETCH(int, octets);
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("dns.qdl"));
    const QByteArray ancien = version(3);
    ecrireFichier(chemin, ancien);
    const QByteArray nouveau(10000, 'n');
    QString erreur;
    const bool ok = sauvegarde::sauverAvec(
        chemin,
        [&](QIODevice& d) {
            d.write(nouveau.left(octets));
            return false; // the disk filled up, say
        },
        &erreur);
    QVERIFY(!ok);
    QCOMPARE(lireFichier(chemin), ancien);
    QVERIFY(!QFile::exists(sauvegarde::cheminBak(chemin)));
    QVERIFY(!QFile::exists(sauvegarde::cheminTemporaire(chemin)));
}

void TstSauvegarde::sauvegardeRemplace() {
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("comptesspam.qdl"));
    QCOMPARE(sauvegarde::cheminBak(chemin), dir.filePath(QStringLiteral("comptesspam.bak")));
    QVERIFY(sauvegarde::sauver(chemin, "un"));
    QVERIFY(sauvegarde::sauver(chemin, "deux"));
    QCOMPARE(lireFichier(chemin), QByteArray("deux"));
    QVERIFY(!QFile::exists(sauvegarde::cheminBak(chemin)));
    QVERIFY(!QFile::exists(sauvegarde::cheminTemporaire(chemin)));
    QVERIFY(sauvegarde::ecrireAtomique(chemin, "trois"));
    QCOMPARE(lireFichier(chemin), QByteArray("trois"));
}

void TstSauvegarde::lecture_data() {
    QTest::addColumn<bool>("fichier");
    QTest::addColumn<bool>("bak");
    QTest::addColumn<int>("etat");
    QTest::addColumn<QByteArray>("contenu");
    QTest::addColumn<bool>("depuisBak");
    const int lu = int(sauvegarde::TEtatLecture::Lu);
    QTest::newRow("file") << true << false << lu << QByteArray("fichier") << false;
    QTest::newRow("file wins over .bak") << true << true << lu << QByteArray("fichier") << false;
    QTest::newRow("interrupted save: .bak only")
        << false << true << lu << QByteArray("bak") << true;
    QTest::newRow("nothing") << false << false << int(sauvegarde::TEtatLecture::Absent)
                             << QByteArray() << false;
}

void TstSauvegarde::lecture() {
    QFETCH(bool, fichier);
    QFETCH(bool, bak);
    QFETCH(int, etat);
    QFETCH(QByteArray, contenu);
    QFETCH(bool, depuisBak);
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("recherche.qdl"));
    if (fichier) ecrireFichier(chemin, "fichier");
    if (bak) ecrireFichier(sauvegarde::cheminBak(chemin), "bak");
    QByteArray lu = "x";
    bool parBak = !depuisBak;
    QCOMPARE(int(sauvegarde::lire(chemin, lu, nullptr, &parBak)), etat);
    QCOMPARE(lu, contenu);
    QCOMPARE(parBak, depuisBak);
}

void TstSauvegarde::repertoireAbsent() {
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("absent/dns.qdl"));
    QString erreur;
    QVERIFY(!sauvegarde::sauver(chemin, "x", &erreur));
    QVERIFY(!erreur.isEmpty());
    QVERIFY(!sauvegarde::ecrireAtomique(chemin, "x"));
    // A directory where the file should be cannot be read as one.
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("rep.qdl"))));
    QByteArray lu;
    QCOMPARE(sauvegarde::lire(dir.filePath(QStringLiteral("rep.qdl")), lu),
             sauvegarde::TEtatLecture::Illisible);
}

void TstSauvegarde::coupuresBrutales_data() {
    QTest::addColumn<QString>("mode");
    QTest::newRow("data file with .bak") << QStringLiteral("donnees");
    QTest::newRow("settings file") << QStringLiteral("ini");
}

void TstSauvegarde::coupuresBrutales() {
    QFETCH(QString, mode);
    QTemporaryDir dir;
    const QString chemin =
        dir.filePath(mode == u"ini" ? QStringLiteral("kelvarin.ini") : QStringLiteral("bayes.qdl"));
    QElapsedTimer duree;
    duree.start();
    int coupures = 0;
    // Bounded in count and in time, whichever comes first.
    while (coupures < 30 && duree.elapsed() < 15000) {
        QProcess enfant;
        enfant.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--boucle-sauver"), mode, chemin});
        QVERIFY(enfant.waitForReadyRead(10000));
        QTest::qSleep(QRandomGenerator::global()->bounded(1, 40));
        enfant.kill();
        QVERIFY(enfant.waitForFinished(10000));
        ++coupures;

        if (mode == u"donnees") {
            QByteArray lu;
            const auto etat = sauvegarde::lire(chemin, lu);
            if (etat == sauvegarde::TEtatLecture::Absent) continue; // killed before the first save
            QCOMPARE(etat, sauvegarde::TEtatLecture::Lu);
            QVERIFY2(versionEntiere(lu),
                     qPrintable(QStringLiteral("torn copy after kill %1, %2 bytes")
                                    .arg(coupures)
                                    .arg(lu.size())));
        } else {
            if (!QFile::exists(chemin)) continue;
            TStockageConfig ini;
            QVERIFY(ini.Ouvrir(chemin));
            for (const QByteArray& cle : ClesInit()) {
                QByteArray v;
                QVERIFY2(ini.ValeurBrute("Init", cle, v), cle.constData());
            }
            TConfig c;
            LireConfig(ini, c);
            QVERIFY(c.CptResume > 0);
            QCOMPARE(c.NumLocal, c.CptResume);
            QCOMPARE(c.DerniereVersion.size(), qsizetype((c.CptResume % 5) * 3000));
            QCOMPARE(ini.LireEntier("Init", "NumeroDNSMini", -1), c.CptResume);
            QCOMPARE(ini.LireBool("Affichage", "AfficherDNSBL", false), true);
        }
    }
    QVERIFY(coupures > 0);
}

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--boucle-sauver") == 0) {
        return boucleSauver(argv[2], QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    TstSauvegarde t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_sauvegarde.moc"
