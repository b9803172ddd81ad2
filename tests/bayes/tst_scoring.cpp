// Scoring a token document against the knowledge base, and learning from it.
#include "bayes/filtre_bayes.h"
#include "bayes/mon_bayes_db.h"
#include "core/config.h"
#include "tests/bayes/bayes_test_util.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace bayestest;

namespace {

// Tokens of the base used by the scoring cases (total, then per zone on each
// side: spam total, good total, spam header/text/html, good header/text/html).
const QByteArray kBase = "*\t10\t10\r\n"
                         "t31\t3\t1\t0\t3\t0\t0\t1\t0\r\n"   // does not qualify
                         "t41\t4\t1\t0\t4\t0\t0\t1\t0\r\n"   // p = 0.8
                         "p1a\t5\t0\t0\t5\t0\t0\t0\t0\r\n"   // p = 1
                         "p1b\t6\t0\t0\t6\t0\t0\t0\t0\r\n"   // p = 1
                         "p00\t0\t5\t0\t0\t0\t0\t5\t0\r\n"   // p = 0
                         "zzz\t5\t5\t0\t5\t0\t0\t0\t5\r\n"   // text says spam, html says good
                         "hdr\t0\t6\t0\t0\t0\t6\t0\t0\r\n"   // header counts only
                         "egal\t3\t3\t0\t3\t0\t0\t3\t0\r\n"; // s = g

// A base of 4 spam and 8 good messages for the chi-square combination, with
// Robinson's f (s = 1, x = 0.5) of each token on the plain-text counts.
const QByteArray kBaseKhiDeux = "*\t4\t8\r\n"
                                "aaa\t3\t0\t0\t3\t0\t0\t0\t0\r\n"  // f = 0.875
                                "bbb\t1\t4\t0\t1\t0\t0\t4\t0\r\n"  // f = 13/36
                                "ccc\t2\t4\t0\t2\t0\t0\t4\t0\r\n"  // f = 0.5: left out
                                "ddd\t0\t1\t0\t0\t0\t0\t1\t0\r\n"  // f = 0.25
                                "eee\t1\t1\t0\t1\t0\t0\t1\t0\r\n"  // f = 11/18
                                "hdr\t0\t6\t0\t0\t0\t6\t0\t0\r\n"; // header: f = 1/14

// A document of these tokens, each seen once in `zone`.
void remplirDoc(TBayesDoc& doc, const QByteArrayList& mots, uint8_t zone = 1) {
    doc.Vider();
    doc.SetTrie(true);
    for (const QByteArray& m : mots)
        doc.AjouterMot(m, zone);
}

} // namespace

class TstScoring : public QObject {
    Q_OBJECT

    std::unique_ptr<TMonBayesDB> baseDepuis(const QByteArray& contenu) {
        const QString chemin = m_rep.filePath(QStringLiteral("bayes.qdl"));
        QFile f(chemin);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
        f.write(contenu);
        f.close();
        auto b = std::make_unique<TMonBayesDB>(chemin, m_rep.path());
        b->Temporaire = true;
        return b;
    }

private slots:
    void initTestCase() { QVERIFY(m_rep.isValid()); }

    void toutesLesMots_data() {
        QTest::addColumn<QByteArrayList>("mots");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("sansTexte");
        QTest::addColumn<double>("pctSpam");
        QTest::newRow("s=3 g=1 does not qualify: 50 %")
            << QByteArrayList{"t31"} << 1 << false << 50.0;
        QTest::newRow("s=4 g=1 qualifies with 0.8")
            << QByteArrayList{"t41", "t31"} << 1 << false << 80.0;
        QTest::newRow("mean of 1, 1 and 0")
            << QByteArrayList{"p1a", "p1b", "p00"} << 1 << false << 200.0 / 3;
        QTest::newRow("exactly 50 %") << QByteArrayList{"p1a", "p00"} << 1 << false << 50.0;
        QTest::newRow("unknown tokens take no part")
            << QByteArrayList{"inconnu", "t41"} << 1 << false << 80.0;
        QTest::newRow("mode 2, plain text: text counts")
            << QByteArrayList{"zzz"} << 2 << false << 100.0;
        QTest::newRow("mode 2, no plain text: html counts")
            << QByteArrayList{"zzz"} << 2 << true << 0.0;
        QTest::newRow("mode 0 adds text and html") << QByteArrayList{"zzz"} << 0 << false << 50.0;
        QTest::newRow("mode 1 ignores header counts")
            << QByteArrayList{"hdr", "p1a"} << 1 << false << 100.0;
        QTest::newRow("mode 4 uses header counts")
            << QByteArrayList{"hdr", "p1a"} << 4 << false << 50.0;
        QTest::newRow("mode 5, no plain text: header + html")
            << QByteArrayList{"zzz", "hdr"} << 5 << true << 0.0;
        QTest::newRow("mode 12: every count 0")
            << QByteArrayList{"p1a", "p00"} << 12 << false << 50.0;
        QTest::newRow("mode 129 reads as 1 (low seven bits)")
            << QByteArrayList{"t41"} << 129 << false << 80.0;
    }
    void toutesLesMots() {
        QFETCH(QByteArrayList, mots);
        QFETCH(int, mode);
        QFETCH(bool, sansTexte);
        QFETCH(double, pctSpam);
        auto b = baseDepuis(kBase);
        TBayesDoc doc(b.get());
        remplirDoc(doc, mots);
        doc.SansTexte = sansTexte;
        doc.Evaluer(*b, mode);
        QCOMPARE(qRound(b->ProbaSpam * 10000), qRound(pctSpam * 100));
        QCOMPARE(qRound((b->ProbaSpam + b->ProbaBon) * 1000), 1000);
        QCOMPARE(doc.Mode, uint8_t(mode));
        // The same mode on the best-tokens side gives the same mean here.
        doc.EvaluerMeilleurs(*b, mode, false);
        QCOMPARE(qRound(b->ProbaSpam * 10000), qRound(pctSpam * 100));
    }

    void sansSpamAppris() {
        auto b = baseDepuis("*\t0\t10\r\np1a\t5\t0\t0\t5\t0\t0\t0\t0\r\n");
        TBayesDoc doc(b.get());
        remplirDoc(doc, {"p1a"});
        doc.Evaluer(*b, 1);
        QCOMPARE(b->ProbaSpam, 0.0);
        QCOMPARE(b->Probabilite("p1a", 1), 0.0);
    }

    // Which tokens the best-15 combination takes, in the order taken.
    void meilleurs_data() {
        QTest::addColumn<QByteArray>("base");
        QTest::addColumn<QByteArrayList>("mots");
        QTest::addColumn<QByteArrayList>("pris");
        QTest::addColumn<double>("pctSpam");
        QByteArray b = "*\t10\t10\r\n";
        QByteArrayList spam20, pris20;
        for (int i = 0; i < 20; ++i) {
            const QByteArray m = "s" + QByteArray::number(10 + i);
            b += m + "\t" + QByteArray::number(5 + i) + "\t" + QByteArray::number(i % 2) + "\t0\t" +
                 QByteArray::number(5 + i) + "\t0\t0\t" + QByteArray::number(i % 2) + "\t0\r\n";
            spam20 << m;
        }
        for (int i = 19; i >= 5; --i)
            pris20 << "s" + QByteArray::number(10 + i);
        double somme = 0;
        for (int i = 19; i >= 5; --i)
            somme += double(5 + i) / (5 + i + i % 2);
        QTest::newRow("20 spam-leaning: the 15 highest spam counts")
            << b << spam20 << pris20 << somme / 15 * 100;

        QByteArray b2 = "*\t10\t10\r\n";
        QByteArrayList mots2, pris2{"sp2", "sp1", "sp0"};
        for (int i = 0; i < 3; ++i) {
            b2 += "sp" + QByteArray::number(i) + "\t" + QByteArray::number(5 + i) + "\t0\t0\t" +
                  QByteArray::number(5 + i) + "\t0\t0\t0\t0\r\n";
            mots2 << "sp" + QByteArray::number(i);
        }
        for (int i = 0; i < 30; ++i) {
            const QByteArray m = "g" + QByteArray::number(10 + i);
            b2 += m + "\t0\t" + QByteArray::number(5 + i) + "\t0\t0\t0\t0\t" +
                  QByteArray::number(5 + i) + "\t0\r\n";
            mots2 << m;
        }
        for (int i = 29; i >= 18; --i)
            pris2 << "g" + QByteArray::number(10 + i);
        QTest::newRow("3 spam-leaning, 30 good-leaning: 3 and the 12 best good")
            << b2 << mots2 << pris2 << 20.0;

        QByteArray b3 = "*\t10\t10\r\n";
        QByteArrayList mots3, pris3;
        for (int i = 0; i < 17; ++i) {
            const QByteArray m = "e" + QByteArray::number(10 + i);
            b3 += m + "\t5\t0\t0\t5\t0\t0\t0\t0\r\n";
            mots3 << m;
            if (i < 15) pris3 << m;
        }
        QTest::newRow("ties at the bottom of a full side: first in token order win")
            << b3 << mots3 << pris3 << 100.0;

        QTest::newRow("s = g goes to the spam side, s = 0 to the good side")
            << kBase << QByteArrayList{"egal", "p00", "t31"} << QByteArrayList{"egal", "p00"}
            << 25.0;
    }
    void meilleurs() {
        QFETCH(QByteArray, base);
        QFETCH(QByteArrayList, mots);
        QFETCH(QByteArrayList, pris);
        QFETCH(double, pctSpam);
        auto b = baseDepuis(base);
        TBayesDoc doc(b.get());
        remplirDoc(doc, mots);
        doc.EvaluerMeilleurs(*b, 7, true);
        QCOMPARE(qRound(b->ProbaSpam * 10000), qRound(pctSpam * 100));
        QByteArrayList garde;
        for (const auto& e : doc.Elements())
            garde << e->Mot;
        QCOMPARE(garde, pris);
        QVERIFY(!doc.Trie());
        // The next message starts from a sorted, complete document again.
        doc.Analyser("zeta alpha", 100, {}, 200);
        QCOMPARE(decrire(doc), u"alpha=1,0,0 zeta=1,0,0"_qs);
    }

    void apprendre_data() {
        QTest::addColumn<QStringList>("operations");
        QTest::addColumn<QString>("attendu");
        const QString apres1 = u"1/0 alpha:1,0,1,0,0,0,0,0 beta:1,0,0,1,1,0,0,0"_qs;
        QTest::newRow("learn spam") << QStringList{u"spam+"_qs} << apres1;
        QTest::newRow("the same message twice counts twice")
            << QStringList{u"spam+"_qs, u"spam+"_qs}
            << u"2/0 alpha:2,0,2,0,0,0,0,0 beta:2,0,0,2,2,0,0,0"_qs;
        QTest::newRow("unlearn as spam what was learned good: removed")
            << QStringList{u"bon+"_qs, u"spam-"_qs} << u"0/1"_qs;
        QTest::newRow("unlearned to zero on both sides: removed")
            << QStringList{u"spam+"_qs, u"spam-"_qs} << u"0/0"_qs;
        QTest::newRow("one side back to zero, the other still counts")
            << QStringList{u"spam+"_qs, u"bon+"_qs, u"spam-"_qs}
            << u"0/1 alpha:0,1,0,0,0,1,0,0 beta:0,1,0,0,0,0,1,1"_qs;
        QTest::newRow("unlearning an unknown message changes no token")
            << QStringList{u"bon-"_qs} << u"0/0"_qs;
        QTest::newRow("correction good to spam")
            << QStringList{u"bon+"_qs, u"bon-"_qs, u"spam+"_qs} << apres1;
    }
    void apprendre() {
        QFETCH(QStringList, operations);
        QFETCH(QString, attendu);
        auto b = baseDepuis({});
        TBayesDoc doc(b.get());
        doc.AjouterMot("alpha", 0);
        doc.AjouterMot("alpha", 0);
        doc.AjouterMot("beta", 1);
        doc.AjouterMot("beta", 2);
        for (const QString& op : operations) {
            b->Modifie = false;
            const bool spam = op.startsWith(u"spam");
            if (op.endsWith(u'+'))
                b->Apprendre(doc, spam);
            else
                b->Desapprendre(doc, spam);
            QVERIFY(b->Modifie);
        }
        QCOMPARE(contenuBase(*b), attendu);
        QVERIFY(b->NbSpamAppris >= 0 && b->NbBonAppris >= 0);
    }

    // Learned tokens are found at once and are written in token order.
    void apprendreGrandeBase() {
        QByteArray contenu = "*\t1\t1\r\n";
        for (int i = 0; i < 2000; i += 2)
            contenu += "m" + QByteArray::number(10000 + i) + "\t1\t1\r\n";
        auto b = baseDepuis(contenu);
        TBayesDoc doc(b.get());
        for (int i = 1; i < 2000; i += 2)
            doc.AjouterMot("M" + QByteArray::number(10000 + i), 1);
        b->Apprendre(doc, true);
        QCOMPARE(b->NbMots(), 2000);
        QVERIFY(b->Trouver("m10001"));
        QCOMPARE(b->Trouver("m10001")->CoteSpam.Texte, 1);
        for (int i = 1; i < b->NbMots(); ++i)
            QVERIFY(bayes::comparerMots(b->Element(i - 1).Mot, b->Element(i).Mot) < 0);
        int32_t indice = -1;
        QVERIFY(b->Chercher("m10500", indice));
        QCOMPARE(indice, 500);
    }

    void listerMots() {
        auto b = baseDepuis(kBase);
        TBayesDoc doc(b.get());
        remplirDoc(doc, {"xyz", "t31", "t41", "p1a", "p00"});
        QByteArrayList l0, l1, l2;
        doc.ListerMots(l0, 0, 1, *b);
        doc.ListerMots(l1, 1, 1, *b);
        doc.ListerMots(l2, 2, 1, *b);
        QCOMPARE(l0, (QByteArrayList{"p00", "p1a", "t31", "t41", "xyz"}));
        QCOMPARE(l1, (QByteArrayList{"p1a", "t41", "p00", "t31", "xyz"}));
        QCOMPARE(l2, (QByteArrayList{"p00", "t41", "p1a", "t31", "xyz"}));
    }

    // Expected values from an independent computation of I = (1 + H - S) / 2.
    void khiDeux_data() {
        QTest::addColumn<QByteArrayList>("mots");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("meilleurs"); // 0: all tokens
        QTest::addColumn<double>("indice");
        QTest::addColumn<double>("h");
        QTest::addColumn<double>("s");
        const QByteArrayList tous{"aaa", "bbb", "ccc", "ddd", "eee", "hdr", "inconnu"};
        QTest::newRow("all tokens, text counts; f = 0.5 and unknown left out")
            << tous << 1 << 0 << 0.579266372299856143 << 0.640315674791381321
            << 0.481782930191669034;
        QTest::newRow("mode 4 adds the header counts")
            << tous << 4 << 0 << 0.335187649848021657 << 0.331660052213707195
            << 0.661284752517663882;
        QTest::newRow("best 3: spam side by count, then the good side")
            << tous << 7 << 3 << 0.722853171388330587 << 0.771776979657468929
            << 0.326070636880807754;
        QTest::newRow("no token far enough from 0.5")
            << QByteArrayList{"ccc", "inconnu"} << 1 << 0 << 0.5 << 0.0 << 0.0;
        QTest::newRow("one token: f = 0.875")
            << QByteArrayList{"aaa"} << 1 << 0 << (1 + 0.875 - (1 - 0.875)) / 2 << 0.875 << 0.125;
    }
    void khiDeux() {
        QFETCH(QByteArrayList, mots);
        QFETCH(int, mode);
        QFETCH(int, meilleurs);
        QFETCH(double, indice);
        QFETCH(double, h);
        QFETCH(double, s);
        auto b = baseDepuis(kBaseKhiDeux);
        TBayesDoc doc(b.get());
        doc.Calcul = bayes::cbKhiDeux;
        // s, x, minimal distance from 0.5, and a cut-off of 0.5: the
        // percentage is the indicator itself.
        doc.KhiDeux = {1.0, 0.5, 0.1, 0.5};
        auto evaluer = [&] {
            remplirDoc(doc, mots);
            if (meilleurs > 0) {
                doc.NbMeilleurs = meilleurs;
                doc.EvaluerMeilleurs(*b, mode, true);
            } else {
                doc.Evaluer(*b, mode);
            }
        };
        evaluer();
        QVERIFY2(std::abs(b->ProbaSpam - indice) < 1e-9,
                 qPrintable(QString::number(b->ProbaSpam, 'g', 17)));
        QVERIFY(std::abs(b->ProbaBon - (1 - indice)) < 1e-9);
        QVERIFY(std::abs(b->SommeSpam - h) < 1e-9);
        QVERIFY(std::abs(b->SommeBon - s) < 1e-9);
        // A cut-off of 0.6 changes the percentage only: 50 % there, linear on
        // each side.
        doc.KhiDeux.SeuilSpam = 0.6;
        evaluer();
        const double part = indice <= 0.6 ? indice / 0.6 * 0.5 : 0.5 + (indice - 0.6) / 0.4 * 0.5;
        QVERIFY2(std::abs(b->ProbaSpam - part) < 1e-9,
                 qPrintable(QString::number(b->ProbaSpam, 'g', 17)));
        QVERIFY(std::abs(b->ProbaBon - (1 - part)) < 1e-9);
        QVERIFY(std::abs(b->SommeSpam - h) < 1e-9);
        QVERIFY(std::abs(b->SommeBon - s) < 1e-9);
        if (meilleurs > 0) {
            // The tokens taken, spam side first (aaa s=3, eee s=1), then bbb (g=4).
            QByteArrayList gardes;
            for (const auto& e : doc.Elements())
                gardes << e->Mot;
            QCOMPARE(gardes, (QByteArrayList{"aaa", "eee", "bbb"}));
        }
    }

    // The indicator read as the percentage the verdict compares with 50: the
    // ends stay, the cut-off reads one half, and the reading never goes down.
    void partSelonSeuil_data() {
        QTest::addColumn<double>("seuil");
        QTest::addColumn<double>("indice");
        QTest::addColumn<double>("part");
        QTest::newRow("0") << 0.9 << 0.0 << 0.0;
        QTest::newRow("below the cut-off") << 0.9 << 0.45 << 0.25;
        QTest::newRow("at the cut-off: not spam") << 0.9 << 0.9 << 0.5;
        QTest::newRow("above the cut-off") << 0.9 << 0.95 << 0.75;
        QTest::newRow("1") << 0.9 << 1.0 << 1.0;
        QTest::newRow("cut-off 0.5: the indicator itself") << 0.5 << 0.3 << 0.3;
        QTest::newRow("cut-off 1: the indicator itself") << 1.0 << 0.7 << 0.7;
        QTest::newRow("cut-off 0: the indicator itself") << 0.0 << 0.7 << 0.7;
        QTest::newRow("beyond 1: 1") << 0.9 << 1.5 << 1.0;
        QTest::newRow("below 0: 0") << 0.9 << -0.5 << 0.0;
    }
    void partSelonSeuil() {
        QFETCH(double, seuil);
        QFETCH(double, indice);
        QFETCH(double, part);
        bayes::TReglagesKhiDeux r;
        r.SeuilSpam = seuil;
        QVERIFY2(std::abs(r.Part(indice) - part) < 1e-12,
                 qPrintable(QString::number(r.Part(indice), 'g', 17)));
        double avant = -1;
        for (int i = 0; i <= 1000; ++i) {
            const double p = r.Part(i / 1000.0);
            QVERIFY(p >= avant);
            avant = p;
        }
    }

    // The chosen settings: rare tokens are pulled toward 0.5 with a weight of
    // 0.45, and only an indicator above 0.9 is spam.
    void reglagesParDefaut() {
        const bayes::TReglagesKhiDeux r;
        QCOMPARE(r.Force, 0.45);
        QCOMPARE(r.ProbaInconnue, 0.5);
        QCOMPARE(r.EcartMin, 0.4);
        QCOMPARE(r.SeuilSpam, 0.9);
        // Seen in one spam only: too weak to count; in two, it counts.
        QVERIFY(!r.Compte(bayes::probaRobinson(1, 0, 4, 8, r)));
        QVERIFY(r.Compte(bayes::probaRobinson(2, 0, 4, 8, r)));
        // aaa alone (3 spam of 4, no good message): f = I = 3.225 / 3.45, above
        // the cut-off; the evaluation reads it through the document's cut-off.
        auto b = baseDepuis(kBaseKhiDeux);
        TBayesDoc doc(b.get());
        doc.Calcul = bayes::cbKhiDeux;
        remplirDoc(doc, {"aaa", "inconnu"});
        doc.Evaluer(*b, 1);
        const double indice = 3.225 / 3.45;
        QVERIFY(std::abs(b->ProbaSpam - (0.5 + (indice - 0.9) / 0.1 * 0.5)) < 1e-9);
        doc.KhiDeux.SeuilSpam = 0.95;
        doc.Evaluer(*b, 1);
        QVERIFY(std::abs(b->ProbaSpam - indice / 0.95 * 0.5) < 1e-9);
    }

    void robinsonEtKhiDeuxQ() {
        const bayes::TReglagesKhiDeux r{1.0, 0.5, 0.1};
        QCOMPARE(bayes::probaRobinson(0, 0, 4, 8, r), 0.5);
        QVERIFY(std::abs(bayes::probaRobinson(1, 4, 4, 8, r) - 13.0 / 36) < 1e-15);
        // Counts on a side that learned nothing (a damaged base) stay finite.
        QVERIFY(std::abs(bayes::probaRobinson(2, 0, 0, 0, r) - 2.5 / 3) < 1e-15);
        QVERIFY(std::abs(bayes::khiDeuxQ(10, 1) - std::exp(-5.0)) < 1e-15);
        QCOMPARE(bayes::khiDeuxQ(0, 3), 1.0);
        // A thousand tokens: the terms of the sum would underflow one by one.
        QVERIFY(std::abs(bayes::khiDeuxQ(2000, 1000) - 0.495794755819784491) < 1e-9);
        QVERIFY(std::abs(bayes::khiDeuxQ(1500, 1000) - 1.0) < 1e-12);
        QVERIFY(bayes::khiDeuxQ(3000, 1000) < 1e-40);
        QVERIFY(std::abs(bayes::khiDeuxQ(3000, 1000) / 2.20469861138899614e-43 - 1) < 1e-9);
    }

    void reglerCalcul() {
        QTemporaryDir rep;
        TFiltreBayes f(rep.path());
        QCOMPARE(f.CalculBayes, 0);
        f.ReglerCalculBayes(1);
        QCOMPARE(f.DocReception.Calcul, bayes::cbKhiDeux);
        QCOMPARE(f.DocAffichage.Calcul, bayes::cbKhiDeux);
        QCOMPARE(Config().CalculBayes, 1);
        f.ReglerCalculBayes(7); // unknown: the mean
        QCOMPARE(f.CalculBayes, 0);
        QCOMPARE(f.DocReception.Calcul, bayes::cbMoyenne);
        QCOMPARE(Config().CalculBayes, 0);
    }

    void reglerMode() {
        QTemporaryDir rep;
        TFiltreBayes f(rep.path());
        QList<int> choix;
        f.OnModeBayes = [&choix](int i) { choix << i; };
        f.ReglerModeBayes(7);
        QVERIFY(f.MeilleursMots);
        f.ReglerModeBayes(12); // out of range: no selection, MeilleursMots kept
        QVERIFY(f.MeilleursMots);
        QCOMPARE(f.ModeBayes, 12);
        f.ReglerModeBayes(3);
        QVERIFY(!f.MeilleursMots);
        QCOMPARE(choix, (QList<int>{7, -1, 3}));
        QCOMPARE(f.DocReception.NbMeilleurs, 15);
    }

private:
    QTemporaryDir m_rep;
};

QTEST_GUILESS_MAIN(TstScoring)
#include "tst_scoring.moc"
