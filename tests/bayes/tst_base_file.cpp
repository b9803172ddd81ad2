// The knowledge base file: load, save, damaged lines, merge, interrupted saves,
// and the load/save/drop rules of the engine.
#include "bayes/filtre_bayes.h"
#include "bayes/mon_bayes_db.h"
#include "core/safe_save.h"
#include "tests/bayes/bayes_test_util.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace bayestest;

using testsupport::ecrireFichier;
using testsupport::lireFichier;

namespace {

// A base of `n` tokens with varied counts, modified.
void remplir(TMonBayesDB& b, int n, int graine) {
    TBayesDoc doc(&b);
    for (int i = 0; i < n; ++i) {
        auto e = std::make_unique<TUnElement>();
        const QByteArray mot = "mot" + QByteArray::number(i * 7919 % n) + "x";
        e->Mot = mot;
        e->CoteSpam = {1 + (i + graine) % 5, i % 3, (i * 3) % 4, i % 2};
        e->CoteBon = {(i + graine) % 4, 0, i % 5, (i * 11) % 3};
        b.Inserer(std::move(e));
    }
    b.NbSpamAppris = 40 + graine;
    b.NbBonAppris = 70;
    b.Modifie = true;
}

} // namespace

class TstBaseFile : public QObject {
    Q_OBJECT

    QString chemin() const { return m_rep.filePath(QStringLiteral("bayes.qdl")); }
    std::unique_ptr<TMonBayesDB> ouvrir() {
        return std::make_unique<TMonBayesDB>(chemin(), m_rep.path() + QLatin1Char('/'));
    }

private slots:
    void init() {
        QVERIFY(m_rep.isValid());
        QFile::remove(chemin());
        QFile::remove(sauvegarde::cheminBak(chemin()));
    }

    void fichierExemple() {
        const QByteArray fichier =
            "*\t12\t30\r\ngratuit\t9\t0\t2\t7\t5\t0\t0\t0\r\nzz-top\t-1\t3\t0\t0\t0\t1\t2\t-3\r\n";
        ecrireFichier(chemin(), fichier);
        auto b = ouvrir();
        QCOMPARE(contenuBase(*b), u"12/30 gratuit:9,0,2,7,5,0,0,0 zz-top:-1,3,0,0,0,1,2,-3"_qs);
        // Unmodified: nothing is written, even when the file has gone meanwhile.
        QFile::remove(chemin());
        QVERIFY(b->Sauver());
        QVERIFY(!QFile::exists(chemin()));
        b->Modifie = true;
        QVERIFY(b->Sauver());
        QCOMPARE(lireFichier(chemin(), "<absent>"), fichier);
        QVERIFY(!b->Modifie);
    }

    void allerRetour() {
        // Extreme counts and token bytes above 0x7F travel as they are.
        auto ajouterExtremes = [](TMonBayesDB& b) {
            auto e = std::make_unique<TUnElement>();
            const QByteArray mot = w("motÿé17x");
            e->Mot = mot;
            e->CoteSpam = {2147483647, -5, 0, 2147483647};
            e->CoteBon = {-2147483647 - 1, 1, -7, 0};
            b.Inserer(std::move(e));
        };
        {
            auto b = ouvrir();
            remplir(*b, 5000, 3);
            ajouterExtremes(*b);
        } // the destructor saves
        auto b = ouvrir();
        QCOMPARE(b->NbMots(), 5001);
        auto b2 = std::make_unique<TMonBayesDB>(chemin() + QStringLiteral(".autre"),
                                                m_rep.path() + QLatin1Char('/'));
        b2->Temporaire = true;
        remplir(*b2, 5000, 3);
        ajouterExtremes(*b2);
        QCOMPARE(contenuBase(*b), contenuBase(*b2));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, TMonBayesDB(QString(), m_rep.path()));
    }

    void lignesAbimees_data() {
        QTest::addColumn<QByteArray>("fichier");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("first line is always the header")
            << QByteArray("gratuit\t9\t0\t2\t7\t5\t0\t0\t0\r\nabc\t1\t1\r\n")
            << u"9/0 abc:1,1,0,0,0,0,0,0"_qs;
        QTest::newRow("both message counts 0: dropped")
            << QByteArray("*\t1\t1\r\nabc\t0\t0\t4\t4\t4\t4\t4\t4\r\nabd\t0\t1\r\n")
            << u"1/1 abd:0,1,0,0,0,0,0,0"_qs;
        QTest::newRow("a field that is no number reads 0 and stops the line")
            << QByteArray("*\tx\t+5\r\nabc\t3\tz\t\t9\r\nabd\t 2 \t1\t-\t7x\r\n")
            << u"0/0 abc:3,0,0,0,0,0,0,0 abd:2,1,0,7,0,0,0,0"_qs;
        QTest::newRow("LF or CR alone end lines; blank lines dropped")
            << QByteArray("*\t2\t3\nabc\t1\t0\r\rabd\t0\t2\n\nabe\t1\t1")
            << u"2/3 abc:1,0,0,0,0,0,0,0 abd:0,2,0,0,0,0,0,0 abe:1,1,0,0,0,0,0,0"_qs;
        QTest::newRow("out of order: sorted at load, a-z folded")
            << QByteArray("*\t1\t1\r\nzeta\t1\t0\r\nAlpha\t1\t0\r\nbeta\t1\t0\r\n")
            << u"1/1 Alpha:1,0,0,0,0,0,0,0 beta:1,0,0,0,0,0,0,0 zeta:1,0,0,0,0,0,0,0"_qs;
        QTest::newRow("same token twice: both kept")
            << QByteArray("*\t1\t1\r\nabc\t1\t0\r\nABC\t2\t0\r\n")
            << u"1/1 abc:1,0,0,0,0,0,0,0 ABC:2,0,0,0,0,0,0,0"_qs;
        QTest::newRow("huge numbers saturate")
            << QByteArray("*\t99999999999\t1\r\nabc\t-99999999999\t1\r\n")
            << u"2147483647/1 abc:-2147483648,1,0,0,0,0,0,0"_qs;
        QTest::newRow("empty file") << QByteArray() << u"0/0"_qs;
        QTest::newRow("binary junk") << QByteArray("\x00\xff\t\t\x01\r\n\x00\x00\t7\r\n", 14)
                                     << u"0/0 \0\0:7,0,0,0,0,0,0,0"_qs;
    }
    void lignesAbimees() {
        QFETCH(QByteArray, fichier);
        QFETCH(QString, attendu);
        ecrireFichier(chemin(), fichier);
        auto b = ouvrir();
        QCOMPARE(contenuBase(*b), attendu);
        // Every token loaded is found by its lookup, the first of equal ones.
        for (const auto& e : b->Elements())
            QVERIFY(b->Trouver(e->Mot));
        if (b->NbMots() > 0)
            QCOMPARE(b->Trouver(b->Elements().front()->Mot), b->Elements().front().get());
        b->Modifie = true;
        QVERIFY(b->Sauver());
        auto relu = ouvrir();
        QCOMPARE(contenuBase(*relu), attendu);
    }

    // Lines at the edges of the fast reader of well-formed lines: each must read
    // exactly as the general field reader reads it.
    void lignesLimites_data() {
        QTest::addColumn<QByteArray>("fichier");
        QTest::addColumn<QString>("attendu");
        const QByteArray mot64(64, 'k');
        QTest::newRow("last line cut without its line end")
            << QByteArray("*\t1\t2\r\nabc\t1\t2\t3\t4\t5\t6\t7\t8\r\nabd\t1\t2\t3\t4\t5\t6\t7\t8")
            << u"1/2 abc:1,2,3,4,5,6,7,8 abd:1,2,3,4,5,6,7,8"_qs;
        QTest::newRow("last line cut inside its counts")
            << QByteArray("*\t1\t2\r\nabc\t1\t2\t3\t4\t5\t6\t7\t8\r\nabd\t4\t3\t2")
            << u"1/2 abc:1,2,3,4,5,6,7,8 abd:4,3,2,0,0,0,0,0"_qs;
        QTest::newRow("last line cut after a TAB")
            << QByteArray("*\t1\t2\nabd\t4\t3\t2\t1\t0\t0\t0\t") << u"1/2 abd:4,3,2,1,0,0,0,0"_qs;
        QTest::newRow("file ending in CR") << QByteArray("*\t1\t2\rabc\t1\t2\t3\t4\t5\t6\t7\t8\r")
                                           << u"1/2 abc:1,2,3,4,5,6,7,8"_qs;
        QTest::newRow("LF, CR LF and CR alone mixed")
            << QByteArray("*\t1\t2\nabc\t1\t0\t0\t0\t0\t0\t0\t0\r\nabd\t2\t0\t0\t0\t0\t0\t0\t0\r"
                          "abe\t3\t0\t0\t0\t0\t0\t0\t0\n\r\nabf\t4\t0\t0\t0\t0\t0\t0\t0\n")
            << u"1/2 abc:1,0,0,0,0,0,0,0 abd:2,0,0,0,0,0,0,0 abe:3,0,0,0,0,0,0,0 "
               u"abf:4,0,0,0,0,0,0,0"_qs;
        QTest::newRow("numbers at the int limits and one past them")
            << QByteArray("*\t2147483647\t2147483648\r\n"
                          "abc\t2147483647\t-2147483648\t2147483648\t-2147483649\t9999999\t"
                          "-9999999\t10000000\t-0\r\n")
            << u"2147483647/2147483647 abc:2147483647,-2147483648,2147483647,-2147483648,9999999,"
               u"-9999999,10000000,0"_qs;
        QTest::newRow("a sign alone, a plus sign, a blank, extra fields")
            << QByteArray("*\t1\t1\r\nabc\t-\t+3\t 4\t5\t6\t7\t8\t9\t10\r\n"
                          "abd\t1\t2\t3\t4\t5\t6\t7\t8\t99\r\nabe\t1\t2\t3\t4\t5\t6\t7\t8x\r\n")
            << u"1/1 abc:0,3,4,5,6,7,8,9 abd:1,2,3,4,5,6,7,8 abe:1,2,3,4,5,6,7,8"_qs;
        QTest::newRow("tokens of 7, 8, 15, 16, 17 and 64 bytes, out of order")
            << QByteArray("*\t1\t1\r\n" + mot64 +
                          "\t1\t0\t0\t0\t0\t0\t0\t0\r\naaaaaaaaaaaaaaaq\t2\t0\t0\t0\t0\t0\t0\t0\r\n"
                          "aaaaaaaaaaaaaaaab\t3\t0\t0\t0\t0\t0\t0\t0\r\n"
                          "aaaaaaaaaaaaaaaa\t4\t0\t0\t0\t0\t0\t0\t0\r\naaaaaaab\t5\t0\t0\t0\t0\t0\t"
                          "0\t0\r\n"
                          "AAAAAAA\t6\t0\t0\t0\t0\t0\t0\t0\r\n")
            << u"1/1 AAAAAAA:6,0,0,0,0,0,0,0 aaaaaaaaaaaaaaaa:4,0,0,0,0,0,0,0 "
               u"aaaaaaaaaaaaaaaab:3,0,0,0,0,0,0,0 aaaaaaaaaaaaaaaq:2,0,0,0,0,0,0,0 "
               u"aaaaaaab:5,0,0,0,0,0,0,0 "_qs +
                   QString::fromLatin1(mot64) + u":1,0,0,0,0,0,0,0"_qs;
        QTest::newRow("tokens equal in their first 8 bytes, in order")
            << QByteArray(
                   "*\t1\t1\r\nabcdefgh1\t1\t0\t0\t0\t0\t0\t0\t0\r\n"
                   "ABCDEFGH2\t2\t0\t0\t0\t0\t0\t0\t0\r\nabcdefgh2x\t3\t0\t0\t0\t0\t0\t0\t0\r\n")
            << u"1/1 abcdefgh1:1,0,0,0,0,0,0,0 ABCDEFGH2:2,0,0,0,0,0,0,0 "
               u"abcdefgh2x:3,0,0,0,0,0,0,0"_qs;
        QTest::newRow("a prefix after the longer token")
            << QByteArray(
                   "*\t1\t1\r\nab\x00\t1\t0\t0\t0\t0\t0\t0\t0\r\nab\t2\t0\t0\t0\t0\t0\t0\t0\r\n",
                   48)
            << u"1/1 ab:2,0,0,0,0,0,0,0 ab\0:1,0,0,0,0,0,0,0"_qs;
        // Counts as long as the quick reader takes (63 bytes), empty (the field
        // reader skips it) or missing fields, leading zeros, a number of eight
        // digits, a long last line without its line end.
        QTest::newRow("counts of 63 bytes, empty and missing fields, leading zeros")
            << QByteArray("*\t1\t1\r\n"
                          "abc\t1234567\t7654321\t1000000\t2000000\t3000000\t4000000\t5000000\t"
                          "6000000\r\n"
                          "abd\t0000001\t2\t3\t4\t5\t6\t7\t008\r\n"
                          "abe\t5\t\t3\t4\t5\t6\t7\t8\r\n"
                          "abf\t1\t2\t3\t4\t5\t6\t7\r\n"
                          "abg\t12345678\t1\t2\t3\t4\t5\t6\t7\r\n"
                          "abh\t1234567\t7654321\t1000000\t2000000\t3000000\t4000000\t5000000\t"
                          "6000000")
            << u"1/1 abc:1234567,7654321,1000000,2000000,3000000,4000000,5000000,6000000 "
               u"abd:1,2,3,4,5,6,7,8 abe:5,3,4,5,6,7,8,0 abf:1,2,3,4,5,6,7,0 "
               u"abg:12345678,1,2,3,4,5,6,7 "
               u"abh:1234567,7654321,1000000,2000000,3000000,4000000,5000000,6000000"_qs;
        QTest::newRow("only a header") << QByteArray("*\t5\t6\r\n") << u"5/6"_qs;
        QTest::newRow("only a header, no line end") << QByteArray("*\t5\t6") << u"5/6"_qs;
        QTest::newRow("only line ends") << QByteArray("\r\n\r\n\n\r") << u"0/0"_qs;
    }
    void lignesLimites() { lignesAbimees(); }

    // A save stopped between its two renames leaves only "bayes.bak": it loads.
    void bakSeul() {
        ecrireFichier(sauvegarde::cheminBak(chemin()), "*\t4\t5\r\nabc\t1\t2\r\n");
        auto b = ouvrir();
        b->Temporaire = true;
        QCOMPARE(contenuBase(*b), u"4/5 abc:1,2,0,0,0,0,0,0"_qs);
    }

    void sauvegardesSansEffet() {
        auto b = ouvrir();
        b->Modifie = true;
        QVERIFY(b->Sauver()); // empty base: no file
        QVERIFY(!QFile::exists(chemin()));
        remplir(*b, 10, 0);
        b->Temporaire = true; // a rebuild's working base never writes
        QVERIFY(b->Sauver());
        QVERIFY(!QFile::exists(chemin()));
    }

    // A file that exists but cannot be read is never replaced by a save.
    void fichierIllisibleGarde() {
        QDir(m_rep.path()).mkdir(QStringLiteral("bayes.qdl"));
        auto b = ouvrir();
        QVERIFY(b->FichierIllisible());
        remplir(*b, 10, 0);
        QVERIFY(!b->Sauver());
        QVERIFY(b->Modifie);
        QVERIFY(QFileInfo(chemin()).isDir());
        b->Temporaire = true;
        QDir(m_rep.path()).rmdir(QStringLiteral("bayes.qdl"));
    }

    void fusion() {
        auto a = ouvrir();
        a->Temporaire = true;
        auto t = std::make_unique<TMonBayesDB>(chemin() + QStringLiteral(".t"), m_rep.path());
        t->Temporaire = true;
        ecrireFichier(chemin() + QStringLiteral(".t"),
                      "*\t2\t3\r\nbbb\t1\t2\t1\t1\t1\t1\t1\t1\r\nddd\t1\t0\t1\t0\t0\t0\t0\t0\r\n");
        t->Charger();
        a->Fusionner(*t); // into an empty base: a copy
        QCOMPARE(contenuBase(*a), contenuBase(*t));
        QVERIFY(a->Modifie);
        t->Vider(); // the copy owns its bytes
        QCOMPARE(contenuBase(*a), u"2/3 bbb:1,2,1,1,1,1,1,1 ddd:1,0,1,0,0,0,0,0"_qs);
        t->NbSpamAppris = 50;
        a->Modifie = false;
        a->Fusionner(*t); // an empty base adds nothing, not even its counts
        QCOMPARE(a->NbSpamAppris, 2);
        QVERIFY(!a->Modifie);
        ecrireFichier(chemin() + QStringLiteral(".t"),
                      "*\t1\t1\r\naaa\t1\t0\r\nBBB\t1\t1\t0\t0\t0\t0\t0\t5\r\neee\t0\t1\r\n");
        t->Charger();
        a->Fusionner(*t);
        QCOMPARE(contenuBase(*a), u"3/4 aaa:1,0,0,0,0,0,0,0 bbb:2,3,1,1,1,1,1,6 "
                                  u"ddd:1,0,1,0,0,0,0,0 eee:0,1,0,0,0,0,0,0"_qs);
        QVERIFY(a->Trouver("aaa") && a->Trouver("EEE"));
    }

    // A writer that fails after N bytes, for several N: the previous file stays
    // whole, the base stays modified, and the next save goes through.
    void sauvegardeInterrompue_data() {
        QTest::addColumn<int>("octets");
        for (int n : {0, 1, 7, 100, 4096, 50000})
            QTest::newRow(qPrintable(QString::number(n))) << n;
    }
    void sauvegardeInterrompue() {
        QFETCH(int, octets);
        auto b = ouvrir();
        remplir(*b, 3000, 1);
        QVERIFY(b->Sauver());
        const QByteArray avant = lireFichier(chemin(), "<absent>");
        remplir(*b, 4000, 2);
        b->EcrireFichier = [octets](QIODevice& d, const QByteArray& contenu) {
            d.write(contenu.left(std::min<qsizetype>(octets, contenu.size())));
            return false;
        };
        QString erreur;
        QVERIFY(!b->Sauver(&erreur));
        QVERIFY(b->Modifie);
        QCOMPARE(lireFichier(chemin(), "<absent>"), avant);
        QVERIFY(!QFile::exists(sauvegarde::cheminTemporaire(chemin())));
        b->EcrireFichier = nullptr;
        QVERIFY(b->Sauver());
        QVERIFY(lireFichier(chemin(), "<absent>") != avant);
    }

    // Saves killed at random moments by SIGKILL: the base that loads afterwards
    // is always one of the two complete versions.
    void sauvegardeTuee() {
        auto a = ouvrir();
        auto b = ouvrir();
        remplir(*a, 8000, 1);
        remplir(*b, 12000, 2);
        const QString v1 = contenuBase(*a);
        const QString v2 = contenuBase(*b);
        // Kill points spread over about two saves' time.
        QElapsedTimer chrono;
        chrono.start();
        QVERIFY(a->Sauver());
        const qint64 duree = std::max<qint64>(chrono.nsecsElapsed() / 1000, 1000);
        a->Temporaire = b->Temporaire = true;
        const int essais = 8;
        int vus[2] = {0, 0};
        for (int essai = 0; essai < essais; ++essai) {
            const pid_t pid = ::fork();
            QVERIFY(pid >= 0);
            if (pid == 0) {
                // The child alternates the two versions until it is killed.
                a->Temporaire = b->Temporaire = false;
                for (;;) {
                    for (TMonBayesDB* x : {b.get(), a.get()}) {
                        x->Modifie = true;
                        x->Sauver();
                    }
                }
            }
            ::usleep(static_cast<useconds_t>(duree * 2 * essai / essais + 200));
            ::kill(pid, SIGKILL);
            int etat = 0;
            ::waitpid(pid, &etat, 0);
            auto relu = ouvrir();
            relu->Temporaire = true;
            QVERIFY(!relu->FichierIllisible());
            const QString lu = contenuBase(*relu);
            QVERIFY2(lu == v1 || lu == v2, qPrintable(QStringLiteral("essai %1").arg(essai)));
            ++vus[lu == v2];
        }
        qInfo("after %d kills: %d times the smaller version, %d times the larger", essais, vus[0],
              vus[1]);
    }

    // Load, save and drop rules of the engine.
    void chargerSauverDecharger() {
        {
            auto b = ouvrir();
            remplir(*b, 100, 0);
        }
        TFiltreBayes f(m_rep.path());
        QList<TFiltreBayes::TEtatBase> etats;
        f.OnEtatBase = [&etats](TFiltreBayes::TEtatBase e) { etats << e; };
        QCOMPARE(f.Base().NbMots(), 100);
        f.ChargerBase(); // tokens present: nothing to do
        QVERIFY(etats.isEmpty());
        QVERIFY(f.DechargerBase()); // unmodified: nothing saved, dropped
        QCOMPARE(f.Base().NbMots(), 0);
        f.ChargerBase();
        QCOMPARE(f.Base().NbMots(), 100);
        QCOMPARE(etats, (QList{TFiltreBayes::ebChargement, TFiltreBayes::ebRepos}));

        // A failed save keeps the tokens in memory and modified.
        f.Base().Modifie = true;
        f.Base().EcrireFichier = [](QIODevice&, const QByteArray&) { return false; };
        QVERIFY(!f.DechargerBase());
        QCOMPARE(f.Base().NbMots(), 100);
        QVERIFY(f.Base().Modifie);
        f.Base().EcrireFichier = nullptr;

        // A running rebuild holds off loading, saving and dropping.
        f.CalculEnCours = true;
        QVERIFY(!f.DechargerBase());
        QCOMPARE(f.Base().NbMots(), 100);
        f.CalculEnCours = false;
        QVERIFY(f.DechargerBase());
        QVERIFY(!f.Base().Modifie);
        auto relu = ouvrir();
        QCOMPARE(relu->NbMots(), 100);
    }

    // A reload that fails (too many open files, say) keeps the file, and learns
    // nothing into the empty stand-in; the next need reads the file again.
    void rechargementEchoueReessaye() {
        {
            auto b = ouvrir();
            remplir(*b, 100, 0);
        }
        TFiltreBayes f(m_rep.path());
        QVERIFY(f.DechargerBase());
        // A directory in the file's place cannot be read, whoever runs the test.
        const QString cote = chemin() + QStringLiteral(".cote");
        QVERIFY(QFile::rename(chemin(), cote));
        QVERIFY(QDir(m_rep.path()).mkdir(QStringLiteral("bayes.qdl")));
        const QByteArray texte = "zanzibar kumquat";
        const auto apprendre = [&] {
            f.AppliquerTexte(f.DocReception, texte, 0, int32_t(texte.size()), {}, true, true);
        };
        apprendre();
        QVERIFY(f.Base().FichierIllisible());
        QCOMPARE(f.Base().NbMots(), 0);
        QVERIFY(!f.Base().Modifie);
        apprendre(); // still unreadable: tried again, still nothing learned
        QCOMPARE(f.Base().NbMots(), 0);
        QVERIFY(QFileInfo(chemin()).isDir());

        QVERIFY(QDir(m_rep.path()).rmdir(QStringLiteral("bayes.qdl")));
        QVERIFY(QFile::rename(cote, chemin()));
        apprendre();
        QVERIFY(!f.Base().FichierIllisible());
        QVERIFY(f.Base().Trouver("zanzibar") && f.Base().Trouver("mot0x"));
        const int32_t nbMots = f.Base().NbMots();
        QVERIFY(f.DechargerBase());
        auto relu = ouvrir();
        relu->Temporaire = true;
        QVERIFY(relu->Trouver("zanzibar"));
        QCOMPARE(relu->NbMots(), nbMots);
        QCOMPARE(relu->NbSpamAppris, 41);
    }

    // An ignore list that exists but cannot be read is never saved over; the
    // other list saves as usual.
    void listeIgnoreeIllisibleGardee() {
        const QString mots = m_rep.filePath(TMonBayesDB::NomMotsIgnores());
        const QString entetes = m_rep.filePath(TMonBayesDB::NomEntetesIgnorees());
        QVERIFY(QDir().mkpath(mots));
        auto b = ouvrir();
        b->Temporaire = true;
        QVERIFY(b->GetMotsIgnores().isEmpty());
        b->SetMotsIgnores("perdu\r\n");
        b->SetEntetesIgnorees("received\r\n");
        QVERIFY(!b->SauverListesIgnorees());
        QVERIFY(QFileInfo(mots).isDir());
        QCOMPARE(lireFichier(entetes), QByteArray("received\r\n"));
        // Readable again: loaded, and saved from then on.
        QVERIFY(QDir().rmdir(mots));
        ecrireFichier(mots, "garde\r\n");
        b->ChargerListesIgnorees();
        QVERIFY(b->MotIgnore("GARDE"));
        QVERIFY(b->SauverListesIgnorees());
        QFile::remove(mots);
        QFile::remove(entetes);
    }

private:
    QTemporaryDir m_rep;
};

QTEST_GUILESS_MAIN(TstBaseFile)
#include "tst_base_file.moc"
