// Hostile input decodes to the right result, at sizes where a decoder whose
// cost grows faster than its input would not finish within the test's time
// limit. bench/bench_mime prints the cost per MB of the same inputs.

#include "core/cp1252.h"
#include "mime/encodage_decodage.h"
#include "mime/mon_mime_decode.h"
#include "tests/mime/entrees_hostiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr qsizetype kMo = 1024 * 1024;

QString u8(const char* s) {
    return QString::fromUtf8(s);
}

QByteArray marqueAutre(const QByteArray& nom) {
    return "ELSE_BEGIN_666" + nom + "ELSE_TMP_666" + nom + "ELSE_END_666";
}

} // namespace

class TstEntreesHostiles : public QObject {
    Q_OBJECT

    TEncodageDecodage m_encodage;

    void decoder(TMonMimeDecode& d, const QByteArray& message, bool ignorePJ = true) {
        d.setEncodageDecodage(&m_encodage);
        d.setIgnorePJ(ignorePJ);
        d.Reinitialiser();
        d.Decoder(message);
    }

private slots:
    void initTestCase() {
        m_encodage.ChargerCharsets(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage"));
    }

    void blocsYEncNomsDistincts() {
        // Each block is a later part of a file never started: each one is a file
        // of its own, with its marker.
        int nb = 0;
        const QByteArray message = hostile::blocsYEnc(16 * kMo, &nb);
        TMonMimeDecode d;
        decoder(d, message);
        QCOMPARE(d.MessagePlain().size(), nb);
        for (int i = 0; i < nb; ++i) {
            if (d.MessagePlain().at(i) != marqueAutre(hostile::nomFichier(i)))
                QFAIL(qPrintable(QStringLiteral("block %1: ").arg(i) +
                                 cp1252::versUnicode(d.MessagePlain().at(i))));
        }
        QCOMPARE(d.NbImage(), 0);
    }

    void partiesYEncSuivantes() {
        // A later part joins the first block of its name, case ignored; a second
        // first part of that name gets a file of its own and does not take it over.
        const QByteArray message = "Subject: y\r\n\r\n"
                                   "=ybegin part=1 name=Photo.BIN\r\nKL\r\n=yend\r\n"
                                   "=ybegin part=1 name=photo.bin\r\nMN\r\n=yend\r\n"
                                   "=ybegin part=2 name=PHOTO.bin\r\nOP\r\n=yend\r\n"
                                   "=ybegin part=3 name=autre.bin\r\nQR\r\n=yend\r\n";
        const QList<QByteArray> marques = {marqueAutre("Photo.BIN"), marqueAutre("(1)PHOTO.BIN"),
                                           marqueAutre("autre.bin")};
        TMonMimeDecode d;
        decoder(d, message);
        QCOMPARE(static_cast<const QList<QByteArray>&>(d.MessagePlain()), marques);

        QTemporaryDir dir;
        d.setRepDestination(dir.path());
        decoder(d, message, false);
        QCOMPARE(static_cast<const QList<QByteArray>&>(d.MessagePlain()), marques);
        auto lire = [&dir](const char* nom) {
            QFile f(QDir(dir.path()).filePath(QLatin1String(nom)));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
        };
        QCOMPARE(lire("Photo.BIN"), QByteArray("!\"%&")); // "KL" then "OP", less 42
        QCOMPARE(lire("(1)PHOTO.BIN"), QByteArray("#$"));
        QCOMPARE(lire("autre.bin"), QByteArray("'("));
    }

    void motsSansLettreSurQuatreMo() {
        // Words whose letter is neither B nor Q, one closing "?=" at the very end:
        // no encoded word, the text comes back as it was.
        const QByteArray texte = hostile::motsSansLettre(4 * kMo);
        QCOMPARE(m_encodage.DecoderEntete(texte), cp1252::versUnicode(texte));
    }

    void enteteHostile_data() {
        QTest::addColumn<QByteArray>("unite");
        QTest::addColumn<QByteArray>("fin");
        QTest::addColumn<QString>("attenduUnite");
        QTest::addColumn<QString>("attenduFin");
        // Each unit repeated over 1 MB, then the end.
        QTest::newRow("unclosed words")
            << QByteArray("=?a?Q?xy") << QByteArray() << u8("=?a?Q?xy") << QString();
        QTest::newRow("letterless words, then a real one")
            << QByteArray("=?a?X?b ") << QByteArray("?= =?utf-8?Q?=C3=A9?=") << u8("=?a?X?b ")
            << u8("?= é");
        QTest::newRow("adjacent Q words joined")
            << QByteArray("=?utf-8?Q?=C3=A9?= ") << QByteArray("x") << u8("é") << u8(" x");
        QTest::newRow("adjacent B words joined")
            << QByteArray("=?utf-8?B?w6k=?=  ") << QByteArray() << u8("é") << u8("  ");
        QTest::newRow("tabs around words")
            << hostile::motsTabulations(1) << QByteArray() << u8("é") << QString();
        QTest::newRow("words of changing charsets")
            << QByteArray("=?utf-8?Q?a?= =?iso-8859-1?Q?b?= ") << QByteArray("c") << u8("ab")
            << u8(" c");
    }
    void enteteHostile() {
        QFETCH(QByteArray, unite);
        QFETCH(QByteArray, fin);
        QFETCH(QString, attenduUnite);
        QFETCH(QString, attenduFin);
        QByteArray texte;
        const int n = hostile::repeter(texte, kMo, [&unite](int) { return unite; });
        const QString attendu = attenduUnite.repeated(n) + attenduFin;
        QCOMPARE(m_encodage.DecoderEntete(texte + fin), attendu);
    }

    void messageLignesLongues() {
        // Header lines as long as the parser keeps them, full of letterless words:
        // each is kept whole and decodes to itself, as the Bayesian text reads it.
        int nbLignes = 0;
        const QByteArray message = hostile::enteteMotsSansLettre(4 * kMo, &nbLignes);
        TMonMimeDecode d;
        decoder(d, message);
        QCOMPARE(d.LignesEntete().size(), nbLignes);
        const QByteArray premiere = message.first(message.indexOf("\r\n"));
        for (const QByteArray& ligne : d.LignesEntete()) {
            QCOMPARE(ligne, premiere);
            const QByteArrayView valeur = QByteArrayView(ligne).sliced(ligne.indexOf(": ") + 2);
            QCOMPARE(m_encodage.DecoderEntete(valeur), cp1252::versUnicode(valeur));
        }
        QCOMPARE(d.MessagePlain().join('|'), QByteArray("b"));
    }

    void frontieresManquees() {
        // Many parts, each holding lines that nearly match the boundary: the near
        // misses are data of the part, only the first part gives the plain text.
        int nb = 0;
        const QByteArray message = hostile::partiesNombreuses(4 * kMo, &nb);
        QVERIFY(nb > 10000);
        TMonMimeDecode d;
        decoder(d, message);
        QCOMPARE(d.MessagePlain().join('|'), QByteArray("--frontier|--frontieres|x"));
        QVERIFY(d.MessageHtml().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstEntreesHostiles)
#include "tst_entrees_hostiles.moc"
