// Whole messages through the decoder: the Bayesian text, the subject prefix,
// scoring an incoming message and the review page's score.
#include "bayes/filtre_bayes.h"
#include "core/trace.h"
#include "mime/mon_mime_decode.h"
#include "tests/bayes/bayes_test_util.h"

#include <QTemporaryDir>
#include <QTest>

using namespace bayestest;

namespace {

QByteArray crlf(QByteArray s) {
    return s.replace("\n", "\r\n");
}

bool traceContient(const QString& texte) {
    for (const auto& l : TTrace::instance().lignes())
        if (l.texte.contains(texte)) return true;
    return false;
}

} // namespace

class TstTexteMessage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_rep.isValid());
        m_encodage.ChargerCharsets(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage/"));
        m_decodeur.setEncodageDecodage(&m_encodage);
        m_decodeur.setRepDestination(m_rep.filePath(QStringLiteral("tmp")));
        m_filtre = std::make_unique<TFiltreBayes>(m_rep.path());
        m_filtre->Base().SetEntetesIgnorees("received\r\nmessage-id");
        m_filtre->Base().Temporaire = true;
    }

    void texte_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<int>("finEntetes");
        QTest::addColumn<int>("finTexte");
        QTest::newRow("headers decoded, ignored ones and name-only lines left out")
            << crlf("Received: from relay\nFrom: Ren\xE9 <r@x.fr>\nSubject: "
                    "=?iso-8859-1?Q?caf=E9?=\n"
                    "X-Vide:rien\nMessage-ID: <1@x>\n\nHello\n")
            << crlf("Ren\xE9 <r@x.fr>\ncaf\xE9\n\nHello\n\n") << 23 << 32;
        QTest::newRow("two blank plain lines are dropped")
            << crlf("From: a@b.c\n\n\n\n") << crlf("a@b.c\n\n") << 9 << 9;
        QTest::newRow("html only")
            << crlf("From: a@b.c\nContent-Type: text/html\n\n<p>Win</p>\n<b>cash</b> now\n")
            << crlf("a@b.c\ntext/html\n\nWin\ncash\n") << 20 << 20;
    }
    void texte() {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, texte);
        QFETCH(int, finEntetes);
        QFETCH(int, finTexte);
        int32_t ft = -1, fe = -1;
        QByteArray sortie = "old";
        m_filtre->ConstruireTexteBayes(m_decodeur, message, ft, fe, sortie);
        QCOMPARE(sortie, texte);
        QCOMPARE(fe, finEntetes);
        QCOMPARE(ft, finTexte);
        if (finEntetes == finTexte) QVERIFY(m_decodeur.MessagePlain().isEmpty());
    }

    // A "Subject:x" line gives no header token, but the prefix still counts.
    void prefixeSansBlanc() {
        TBayesDoc& doc = m_filtre->DocAffichage;
        m_filtre->AppliquerBayes(doc, m_decodeur, false, true,
                                 crlf("Subject:Bonjour\nFrom: zzz@b.c\n\nsalut tout\n"), false);
        // The zone offsets ignore the prefix, so its second copy is already zone 1.
        QCOMPARE(decrire(doc), u"bonjour=1,1,0 salut=0,0,1 tout=0,0,1 zzz@b.c=0,1,0"_qs);
        m_filtre->AppliquerBayes(doc, m_decodeur, false, false,
                                 crlf("Subject:Bonjour\nFrom: zzz@b.c\n\nsalut tout\n"), false);
        QVERIFY(!decrire(doc).contains(u"bonjour"));
    }

    // Training, then scoring an incoming message and an archived one.
    void scoreEtRevue() {
        QTemporaryDir rep;
        TFiltreBayes f(rep.path());
        f.Base().Temporaire = true;
        f.ReglerModeBayes(1);
        const QByteArray spam = crlf("Subject: offre\n\nviagra casino gratuit maintenant\n");
        const QByteArray bon = crlf("Subject: projet\n\nreunion demain compte rendu\n");
        for (int i = 0; i < 5; ++i) {
            f.AppliquerBayes(f.DocReception, m_decodeur, true, true, spam, true);
            f.AppliquerBayes(f.DocReception, m_decodeur, true, true, bon, false);
        }
        QCOMPARE(f.Base().NbSpamAppris, 5);
        double pctBon = -1, pctSpam = -1;
        TTrace::instance().effacer();
        QVERIFY(
            f.ScoreBayes(m_decodeur, crlf("Subject: x\n\ncasino gratuit\n"), 3, pctBon, pctSpam));
        QCOMPARE(pctSpam, 100.0);
        QCOMPARE(pctBon, 0.0);
        QVERIFY(traceContient(u"création bayes ("_qs));
        QVERIFY(
            !f.ScoreBayes(m_decodeur, crlf("Subject: x\n\ncasino demain\n"), 3, pctBon, pctSpam));
        QCOMPARE(pctSpam, 50.0); // exactly 50 % is not spam

        TCalculBayesMessage r;
        const QByteArray archive =
            crlf("To: Moi@Exemple.fr\nCc: autre@x.fr\nSubject: y\n\nviagra casino reunion\n");
        f.CalculerBayesMessage(r, m_decodeur, archive, "moi@exemple.fr");
        QVERIFY(r.Calcule);
        QCOMPARE(qRound(r.PctSpam * 100), 6667);
        QCOMPARE(r.ProbaBayes, 666);
        QVERIFY(r.DansTo);
        QVERIFY(!r.DansCc);
        r.ProbaBayes = 5; // a known score is kept
        f.CalculerBayesMessage(r, m_decodeur, archive, "");
        QCOMPARE(r.ProbaBayes, 5);
        QVERIFY(!r.DansTo);
    }

    // A decoder without its charset component: traced, nothing learned, no crash.
    void sansEncodage() {
        TMonMimeDecode nu;
        TTrace::instance().effacer();
        const int32_t avant = m_filtre->Base().NbBonAppris;
        m_filtre->AppliquerBayes(m_filtre->DocReception, nu, true, true, "Subject: a\r\n\r\nb\r\n",
                                 false);
        QVERIFY(traceContient(u"Exception : AppliquerBayes : "_qs));
        QCOMPARE(m_filtre->Base().NbBonAppris, avant);
    }

private:
    QTemporaryDir m_rep;
    TEncodageDecodage m_encodage;
    TMonMimeDecode m_decodeur;
    std::unique_ptr<TFiltreBayes> m_filtre;
};

QTEST_GUILESS_MAIN(TstTexteMessage)
#include "tst_texte_message.moc"
