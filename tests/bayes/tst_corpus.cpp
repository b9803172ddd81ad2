// Every message of the public SpamAssassin corpus goes through the Bayesian
// text, the tokenizer and learning; the learned base survives a save and reload.
#include "bayes/filtre_bayes.h"
#include "mime/mon_mime_decode.h"
#include "tests/bayes/bayes_test_util.h"

#include <QTemporaryDir>
#include <QTest>

using namespace bayestest;

class TstCorpus : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        const QString dossier = dossierCorpus();
        QVERIFY2(!dossier.isEmpty(), "corpus fetch script failed");
        m_corpus = lireCorpus(dossier);
        QVERIFY(m_corpus.size() > 5000);
        m_encodage.ChargerCharsets(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage/"));
    }

    // The raw bytes of every message, cut at arbitrary zone offsets.
    void tokeniserBrut() {
        QTemporaryDir rep;
        TMonBayesDB base(rep.filePath(QStringLiteral("bayes.qdl")), rep.path());
        TBayesDoc doc(&base);
        qint64 jetons = 0;
        for (const auto& m : m_corpus) {
            const qsizetype finEntetes = m.octets.indexOf("\r\n\r\n");
            doc.Analyser(m.octets, static_cast<int32_t>(finEntetes), "Re: test",
                         static_cast<int32_t>(m.octets.size() / 2));
            const auto& el = doc.Elements();
            for (size_t i = 0; i < el.size(); ++i) {
                const auto& e = el[i];
                QVERIFY(e->Mot.size() >= 3 && e->Mot.size() <= 30);
                QVERIFY(!bayes::estNonInitial(static_cast<unsigned char>(e->Mot.back())));
                // Each token once, in token order: lookups are binary searches.
                if (i > 0) QVERIFY(bayes::comparerMots(el[i - 1]->Mot, e->Mot) < 0);
                int32_t indice = -1;
                QVERIFY(doc.Chercher(e->Mot, indice) && indice == int32_t(i));
            }
            jetons += doc.Nombre();
        }
        QVERIFY(jetons > 100 * m_corpus.size());
    }

    // Decoded, tokenized and learned; the base then saves and reloads the same.
    void apprendreEtRelire() {
        QTemporaryDir rep;
        TMonMimeDecode decodeur;
        decodeur.setEncodageDecodage(&m_encodage);
        decodeur.setRepDestination(rep.filePath(QStringLiteral("tmp")));
        int vides = 0, sansTexte = 0;
        const auto nbSpam = std::count_if(m_corpus.cbegin(), m_corpus.cend(), [](const auto& m) {
            return m.groupe.startsWith(u"spam");
        });
        {
            TFiltreBayes filtre(rep.path());
            for (const auto& m : m_corpus) {
                const bool spam = m.groupe.startsWith(u"spam");
                filtre.AppliquerBayes(filtre.DocReception, decodeur, true, true, m.octets, spam);
                if (filtre.DocReception.Nombre() == 0) ++vides;
                if (filtre.DocReception.SansTexte) ++sansTexte;
            }
            QCOMPARE(filtre.Base().NbSpamAppris, nbSpam);
            QCOMPARE(filtre.Base().NbBonAppris, m_corpus.size() - nbSpam);
            QVERIFY(filtre.Base().NbMots() > 100000);
            m_attendu = contenu(filtre.Base());
            QVERIFY(filtre.SauverBase());
        }
        qInfo("%d messages without tokens, %d without plain text", vides, sansTexte);
        QVERIFY(vides < m_corpus.size() / 100);
        TFiltreBayes relu(rep.path());
        QCOMPARE(contenu(relu.Base()), m_attendu);
    }

    // Trained on nine messages in ten, a few of the tenth judged in every mode:
    // the scores of the design's mean stay those it has always given.
    void scoresMoyenneInchanges() {
        QTemporaryDir rep;
        TMonMimeDecode decodeur;
        decodeur.setEncodageDecodage(&m_encodage);
        decodeur.setRepDestination(rep.filePath(QStringLiteral("tmp")));
        TFiltreBayes filtre(rep.path());
        filtre.Base().Temporaire = true;
        for (qsizetype i = 0; i < m_corpus.size(); ++i) {
            if (i % 10 == 0) continue;
            const auto& m = m_corpus[i];
            filtre.AppliquerBayes(filtre.DocReception, decodeur, true, true, m.octets,
                                  m.groupe.startsWith(u"spam"));
        }
        // pctSpam per message (rows) and mode 0 to 11 (columns), as the mean
        // gave them before the chi-square combination existed.
        // clang-format off
        const qsizetype messages[] = {0, 1230, 3450, 4160, 5020, 5680};
        const double attendu[][12] = {
            {20.572210723627155, 15.637670687844137, 15.637670687844137, 18.993720247399295, 15.712669046397169, 15.712669046397169, 42.560796906610221, 32.399058399058397, 32.399058399058397, 39.35680196469265, 35.654079619757617, 35.654079619757617},
            {22.136470956188042, 16.853109038521822, 16.853109038521822, 19.645807305726798, 15.229747004840668, 15.229747004840668, 49.247163127199443, 42.793458062763968, 42.793458062763968, 38.773770791128086, 34.682233535721274, 34.682233535721274},
            {22.374035619164015, 17.017247106144399, 17.017247106144399, 20.189248300332011, 16.7547632923986, 16.7547632923986, 41.217587239036554, 31.667257259963133, 31.667257259963133, 36.506829596888636, 30.444198292214221, 30.444198292214221},
            {50.460764436505038, 45.072771392733472, 45.072771392733472, 48.370199788370741, 44.811506543256201, 44.811506543256201, 70.261170386483698, 67.077899649999623, 67.077899649999623, 64.304806253340985, 64.990801660834478, 64.990801660834478},
            {39.797101018705575, 32.221092091071526, 32.221092091071526, 40.322363465831117, 34.050698285912553, 34.050698285912553, 69.288337297009193, 63.064684896408487, 63.064684896408487, 67.36164077393515, 66.568415638698823, 66.568415638698823},
            {46.525884887390959, 35.994556488202143, 35.994556488202143, 45.560552861285089, 36.704863988718643, 36.704863988718643, 68.58689580290789, 66.805259281234541, 66.805259281234541, 67.961510300824557, 61.921080492447309, 61.921080492447309},
        };
        // clang-format on
        filtre.ReglerCalculBayes(bayes::cbMoyenne);
        for (size_t k = 0; k < std::size(messages); ++k) {
            for (int mode = 0; mode < 12; ++mode) {
                filtre.ReglerModeBayes(mode);
                double bon = 0, spam = 0;
                filtre.ScoreBayes(decodeur, m_corpus[messages[k]].octets, -1, bon, spam);
                QVERIFY2(std::abs(spam - attendu[k][mode]) < 1e-9,
                         qPrintable(QStringLiteral("message %1 mode %2: %3")
                                        .arg(messages[k])
                                        .arg(mode)
                                        .arg(spam, 0, 'g', 17)));
                QVERIFY(std::abs(bon + spam - 100) < 1e-9);
            }
        }
    }

private:
    static QByteArray contenu(TMonBayesDB& b) {
        QByteArray r = QByteArray::number(b.NbSpamAppris) + '/' + QByteArray::number(b.NbBonAppris);
        for (const auto& e : b.Elements()) {
            r += '\n' + e->Mot;
            for (int v :
                 {e->CoteSpam.Total, e->CoteSpam.EnTete, e->CoteSpam.Texte, e->CoteSpam.Html,
                  e->CoteBon.Total, e->CoteBon.EnTete, e->CoteBon.Texte, e->CoteBon.Html})
                r += ' ' + QByteArray::number(v);
        }
        return r;
    }

    QList<TMessageCorpus> m_corpus;
    TEncodageDecodage m_encodage;
    QByteArray m_attendu;
};

QTEST_GUILESS_MAIN(TstCorpus)
#include "tst_corpus.moc"
