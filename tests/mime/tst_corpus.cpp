// Every message of the public SpamAssassin corpus decodes: bodies are found,
// headers and addresses are read, and cut-off copies decode too.

#include "mime/adresse.h"
#include "mime/mon_mime_decode.h"
#include "tests/support/dovecot_peer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

class TstCorpus : public QObject {
    Q_OBJECT

private slots:
    void corpusEntier() {
        const QList<QByteArray> messages = testsupport::messagesCorpus(1000000);
        QVERIFY2(messages.size() > 5000, "corpus missing: run scripts/fetch-corpus.sh");

        TEncodageDecodage encodage;
        encodage.ChargerCharsets(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage"));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TMonMimeDecode d;
        d.setEncodageDecodage(&encodage);
        d.setRepDestination(dir.path());

        int avecCorps = 0, avecPlain = 0, avecHtml = 0, avecSujet = 0, avecAdresse = 0;
        int fichiers = 0;
        QElapsedTimer chrono;
        chrono.start();
        for (qsizetype i = 0; i < messages.size(); ++i) {
            const QByteArray& m = messages.at(i);
            // Every tenth message keeps its parts aside, to exercise the file writing.
            d.setIgnorePJ(i % 10 != 0);
            d.Reinitialiser();
            d.Decoder(m);
            for (const QByteArray& l : d.MessagePlain())
                QVERIFY(!l.contains('\n') && !l.contains('\r'));
            avecPlain += !d.MessagePlain().isEmpty();
            avecHtml += !d.MessageHtml().isEmpty();
            avecCorps += !d.MessagePlain().isEmpty() || !d.MessageHtml().isEmpty();
            avecSujet += !encodage.DecoderEntete(d.SujetBrut()).isEmpty();
            avecAdresse += ExtraireAdresse(d.DeBrut()).contains('@');
            fichiers += int(d.ListeFichier().size());
            if (i % 10 == 0) {
                for (const QByteArray& f : d.ListeFichier())
                    QFile::remove(QDir(dir.path()).filePath(QString::fromLatin1(f)));
            }
            // Cut-off copies: unterminated boundaries, encodings cut mid-quantum.
            if (i % 20 == 0) {
                d.setIgnorePJ(true);
                for (int k = 1; k < 4; ++k) {
                    d.Reinitialiser();
                    d.Decoder(QByteArrayView(m).first(m.size() * k / 4));
                }
            }
        }
        const double n = static_cast<double>(messages.size());
        qInfo("%lld messages in %lld ms; body %.1f%% (plain %.1f%%, html %.1f%%), subject %.1f%%, "
              "sender address %.1f%%, %d files written",
              qint64(messages.size()), chrono.elapsed(), 100 * avecCorps / n, 100 * avecPlain / n,
              100 * avecHtml / n, 100 * avecSujet / n, 100 * avecAdresse / n, fichiers);
        // Nearly every message of the corpus has a readable body and sender.
        QVERIFY(avecCorps > 0.98 * n);
        QVERIFY(avecAdresse > 0.98 * n);
        QVERIFY(avecSujet > 0.95 * n);
    }

    void copiesAbimees() {
        // Corpus messages damaged at random (fixed seed): bytes changed, lines
        // cut, boundaries, encoded words and inline blocks dropped in anywhere.
        const QList<QByteArray> messages = testsupport::messagesCorpus(600);
        QVERIFY(!messages.isEmpty());
        TEncodageDecodage encodage;
        encodage.ChargerCharsets(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage"));
        TMonMimeDecode d;
        d.setEncodageDecodage(&encodage);
        d.setIgnorePJ(true);
        QRandomGenerator alea(20260101);
        const QByteArray morceaux[] = {"\n--",
                                       "\n\n",
                                       "=?utf-8?B?",
                                       "?=",
                                       "=",
                                       "\nbegin 644 x.gif\n",
                                       "\n=ybegin part=2 name=a\n",
                                       "\nContent-Type: multipart/mixed; "
                                       "boundary=",
                                       "\nContent-Transfer-Encoding: base64\n",
                                       "\nContent-Transfer-Encoding: quoted-printable\n",
                                       "\r",
                                       "\xFF\xFE"};
        for (const QByteArray& original : messages) {
            for (int essai = 0; essai < 3; ++essai) {
                QByteArray m = original;
                for (int k = 0; k < 8 && !m.isEmpty(); ++k) {
                    const qsizetype pos = alea.bounded(m.size());
                    switch (alea.bounded(3)) {
                    case 0:
                        m[pos] = char(alea.bounded(256));
                        break;
                    case 1:
                        m.remove(pos, alea.bounded(200));
                        break;
                    default:
                        m.insert(pos, morceaux[alea.bounded(int(std::size(morceaux)))]);
                    }
                }
                d.Reinitialiser();
                d.Decoder(m);
                encodage.DecoderEntete(d.SujetBrut());
                encodage.NettoyerNomFichier(d.SujetBrut());
            }
        }
    }
};

QTEST_GUILESS_MAIN(TstCorpus)
#include "tst_corpus.moc"
