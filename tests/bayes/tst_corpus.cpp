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
