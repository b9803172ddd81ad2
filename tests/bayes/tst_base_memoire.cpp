// The knowledge base's storage: its index across growth and removals, tokens
// learned after a load, bases exchanged, merged and emptied, long and repeated
// tokens in the file.
#include "bayes/bayes_doc.h"
#include "bayes/mon_bayes_db.h"
#include "tests/bayes/bayes_test_util.h"
#include "tests/support/test_support.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace bayestest;

using testsupport::ecrireFichier;
using testsupport::lireFichier;

namespace {

QByteArray jeton(int i) {
    return "tok" + QByteArray::number(i) + "x";
}

// A document holding each token once, in the text.
void remplirDoc(TBayesDoc& doc, const QByteArrayList& mots) {
    doc.Vider();
    doc.SetTrie(true);
    for (const QByteArray& m : mots)
        doc.AjouterMot(m, 1);
}

} // namespace

class TstBaseMemoire : public QObject {
    Q_OBJECT

    QTemporaryDir m_rep;

    QString chemin(const char* nom = "bayes.qdl") const {
        return m_rep.filePath(QString::fromLatin1(nom));
    }
    std::unique_ptr<TMonBayesDB> ouvrir(const char* nom = "bayes.qdl") {
        auto b = std::make_unique<TMonBayesDB>(chemin(nom), m_rep.path());
        b->Temporaire = true;
        return b;
    }

private slots:
    void init() { QFile::remove(chemin()); }

    // Tokens learned in several rounds make the index grow many times over;
    // then some are unlearned away. Every lookup must agree with a plain map,
    // and elements found before the growth keep their address and content.
    void indexEnCroissanceEtRetraits() {
        ecrireFichier(chemin(), "*\t1\t0\r\nbase0x\t1\t0\t0\t1\t0\t0\t0\t0\r\n");
        auto b = ouvrir();
        const TUnElement* premier = b->Trouver("BASE0X");
        QVERIFY(premier);
        std::map<QByteArray, int> attendu{{"base0x", 1}};
        TBayesDoc doc(b.get());
        for (int lot = 0; lot < 6; ++lot) {
            QByteArrayList mots;
            for (int i = lot * 3000; i < (lot + 1) * 3000; ++i)
                mots << jeton(i);
            remplirDoc(doc, mots);
            b->Apprendre(doc, true);
            for (const QByteArray& m : mots)
                attendu[m] = 1;
        }
        QCOMPARE(b->NbMots(), int(attendu.size()));
        QCOMPARE(b->Trouver("base0x"), premier);
        QCOMPARE(premier->Mot, QByteArray("base0x"));

        // Every third token unlearned: it drops out of the base and the index.
        QByteArrayList retires;
        for (int i = 0; i < 18000; i += 3)
            retires << jeton(i);
        remplirDoc(doc, retires);
        b->Desapprendre(doc, true);
        for (const QByteArray& m : retires)
            attendu.erase(m);
        QCOMPARE(b->NbMots(), int(attendu.size()));
        for (int i = 0; i < 18000; ++i) {
            const QByteArray m = jeton(i);
            const TUnElement* e = b->Trouver(m.toUpper());
            if (attendu.count(m)) {
                QVERIFY2(e && e->Mot == m, m.constData());
                QCOMPARE(e->CoteSpam.Total, 1);
            } else {
                QVERIFY2(!e, m.constData());
            }
        }
        QVERIFY(!b->Trouver("tok18000x"));
        // The order holds exactly the remaining tokens, sorted.
        int n = 0;
        QByteArray precedent;
        for (const auto& e : b->Elements()) {
            QVERIFY(attendu.count(e->Mot));
            QVERIFY(n == 0 || bayes::comparerMots(precedent, e->Mot) < 0);
            precedent = e->Mot;
            ++n;
        }
        QCOMPARE(n, int(attendu.size()));
    }

    // Tokens learned after a load are sorted in at the save, and the file is
    // exactly what a sorted base writes.
    void apprisApresChargement() {
        ecrireFichier(chemin(), "*\t2\t1\r\n"
                                "bbb\t1\t1\t0\t1\t0\t0\t1\t0\r\n"
                                "ddd\t1\t0\t0\t1\t0\t0\t0\t0\r\n");
        auto b = ouvrir();
        b->Temporaire = false;
        TBayesDoc doc(b.get());
        remplirDoc(doc, {"eee", "aaa", "ccc", "ddd"});
        b->Apprendre(doc, false);
        QVERIFY(b->Sauver());
        QCOMPARE(lireFichier(chemin(), "<absent>"), QByteArray("*\t2\t2\r\n"
                                                               "aaa\t0\t1\t0\t0\t0\t0\t1\t0\r\n"
                                                               "bbb\t1\t1\t0\t1\t0\t0\t1\t0\r\n"
                                                               "ccc\t0\t1\t0\t0\t0\t0\t1\t0\r\n"
                                                               "ddd\t1\t1\t0\t1\t0\t0\t1\t0\r\n"
                                                               "eee\t0\t1\t0\t0\t0\t0\t1\t0\r\n"));
        int32_t indice = -1;
        QVERIFY(b->Chercher("CCC", indice));
        QCOMPARE(indice, 2);
        QCOMPARE(b->Element(4).Mot, QByteArray("eee"));
    }

    // Exchanged bases keep their tokens (nothing is copied, nothing freed);
    // a merged copy owns its bytes once the source is emptied.
    void echangerFusionnerVider() {
        ecrireFichier(chemin("a.qdl"), "*\t1\t0\r\naaa\t1\t0\r\nccc\t2\t0\r\n");
        ecrireFichier(chemin("b.qdl"), "*\t0\t1\r\nbbb\t0\t1\r\nccc\t0\t3\r\n");
        auto a = ouvrir("a.qdl");
        auto b = ouvrir("b.qdl");
        const TUnElement* aaa = a->Trouver("aaa");
        a->Echanger(*b);
        QCOMPARE(b->Trouver("aaa"), aaa);
        QVERIFY(!a->Trouver("aaa"));
        QCOMPARE(contenuBase(*a), u"0/1 bbb:0,1,0,0,0,0,0,0 ccc:0,3,0,0,0,0,0,0"_qs);
        a->Fusionner(*b); // into a base that holds tokens
        b->Vider();
        QCOMPARE(contenuBase(*a),
                 u"1/1 aaa:1,0,0,0,0,0,0,0 bbb:0,1,0,0,0,0,0,0 ccc:2,3,0,0,0,0,0,0"_qs);
        QVERIFY(a->Trouver("AAA") && a->Trouver("bbb") && a->Trouver("ccc"));
        // Emptied, the base takes new tokens again.
        a->Vider();
        QVERIFY(!a->Trouver("aaa"));
        TBayesDoc doc(a.get());
        remplirDoc(doc, {"zzz"});
        a->Apprendre(doc, true);
        QCOMPARE(contenuBase(*a), u"1/0 zzz:1,0,0,1,0,0,0,0"_qs);
    }

    // A damaged file: a token of several megabytes (beyond any arena chunk),
    // an empty token, and lines around them travel unchanged.
    void jetonsExtremes() {
        const QByteArray long_(3 << 20, 'q');
        const QByteArray fichier =
            "*\t1\t1\r\n\t4\t0\t0\t0\t0\t0\t0\t0\r\naaa\t1\t0\t0\t0\t0\t0\t0\t0\r\n" + long_ +
            "\t2\t1\t0\t0\t0\t0\t0\t0\r\nrrr\t1\t1\t0\t0\t0\t0\t0\t0\r\n";
        ecrireFichier(chemin(), fichier);
        auto b = ouvrir();
        QCOMPARE(b->NbMots(), 4);
        QVERIFY(b->Trouver(QByteArray(3 << 20, 'Q')));
        QCOMPARE(b->Trouver(long_)->CoteSpam.Total, 2);
        QCOMPARE(b->Trouver(QByteArrayView())->CoteSpam.Total, 4);
        QCOMPARE(b->Trouver("rrr")->CoteBon.Total, 1);
        b->Temporaire = false;
        b->Modifie = true;
        QVERIFY(b->Sauver());
        QCOMPARE(lireFichier(chemin(), "<absent>"), fichier);
    }

    // Tokens larger than the first arena chunks but too short for a chunk of
    // their own, between small ones: each keeps its bytes.
    void jetonsMoyens() {
        QByteArray fichier = "*\t1\t0\r\n";
        QByteArrayList mots;
        for (int taille : {3, 5000, 7, 20000, 1, 70000, 9, 131072, 2})
            mots << QByteArray(taille, char('a' + mots.size()));
        for (const QByteArray& m : mots)
            fichier += m + "\t1\t0\t0\t0\t0\t0\t0\t0\r\n";
        ecrireFichier(chemin(), fichier);
        auto b = ouvrir();
        QCOMPARE(b->NbMots(), int(mots.size()));
        for (const QByteArray& m : mots) {
            const TUnElement* e = b->Trouver(m);
            QVERIFY2(e && e->Mot == m, QByteArray::number(m.size()).constData());
        }
        b->Temporaire = false;
        b->Modifie = true;
        QVERIFY(b->Sauver());
        QCOMPARE(lireFichier(chemin(), "<absent>"), fichier);
    }

    // Equal tokens in the file: the first holds the key; when it is unlearned
    // away, the other one takes the key.
    void doublonsPuisRetrait() {
        ecrireFichier(chemin(), "*\t3\t0\r\nabc\t1\t0\t0\t1\t0\t0\t0\t0\r\n"
                                "ABC\t2\t0\t0\t2\t0\t0\t0\t0\r\nabd\t1\t0\t0\t1\t0\t0\t0\t0\r\n");
        auto b = ouvrir();
        QCOMPARE(b->Trouver("abc")->CoteSpam.Total, 1);
        TBayesDoc doc(b.get());
        remplirDoc(doc, {"abc"});
        b->Desapprendre(doc, true);
        QCOMPARE(b->NbMots(), 2);
        QVERIFY(b->Trouver("abc"));
        QCOMPARE(b->Trouver("abc")->Mot, QByteArray("ABC"));
        QCOMPARE(b->Trouver("abc")->CoteSpam.Total, 2);
        QCOMPARE(contenuBase(*b), u"2/0 ABC:2,0,0,2,0,0,0,0 abd:1,0,0,1,0,0,0,0"_qs);
    }

    // Token order, word-wise, against a byte-by-byte reference: tokens of 0 to
    // 19 bytes over the bytes next to the folded range, equal in their first
    // eight bytes and apart only after them. The base sorts them learned in
    // any order as the reference does, equal ones in learning order.
    void ordreContreReference() {
        const auto reference = [](QByteArrayView a, QByteArrayView b) {
            const auto plier = [](char c) {
                const auto u = static_cast<unsigned char>(c);
                return u >= 'a' && u <= 'z' ? u - 0x20u : unsigned(u);
            };
            for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
                if (plier(a[i]) != plier(b[i])) return plier(a[i]) < plier(b[i]) ? -1 : 1;
            return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
        };
        const QByteArray alphabet("aAzZ@[`{\x00\xe9\xc9\xff", 12);
        QRandomGenerator g(7);
        QByteArrayList mots;
        for (int i = 0; i < 3000; ++i) {
            QByteArray m = i % 3 ? QByteArray() : QByteArray("aBcDeFgH");
            for (int n = int(g.bounded(12)); n > 0; --n)
                m += alphabet[int(g.bounded(int(alphabet.size())))];
            mots << m;
        }
        for (int i = 0; i < mots.size(); ++i) {
            const QByteArray& a = mots[i];
            const QByteArray& b = mots[(i * 7 + 1) % mots.size()];
            QVERIFY2(bayes::comparerMots(a, b) == reference(a, b),
                     (a.toHex() + " " + b.toHex()).constData());
        }
        TMonBayesDB base(chemin(), m_rep.path(), false);
        base.Temporaire = true;
        for (int i = 0; i < mots.size(); ++i) {
            auto e = std::make_unique<TUnElement>();
            e->Mot = mots[i];
            e->CoteSpam.Total = i + 1;
            base.Inserer(std::move(e));
        }
        // The first learned of equal tokens is kept, so a stable sort of the
        // first occurrences is the order.
        QByteArrayList premiers;
        for (int i = 0; i < mots.size(); ++i) {
            bool vu = false;
            for (const QByteArray& p : premiers)
                vu = vu || reference(p, mots[i]) == 0;
            if (!vu) premiers << mots[i];
        }
        std::stable_sort(
            premiers.begin(), premiers.end(),
            [&](const QByteArray& a, const QByteArray& b) { return reference(a, b) < 0; });
        QCOMPARE(base.NbMots(), int(premiers.size()));
        int i = 0;
        for (const auto& e : base.Elements())
            QCOMPARE(e->Mot, premiers[i++]);
    }
};

QTEST_GUILESS_MAIN(TstBaseMemoire)
#include "tst_base_memoire.moc"
