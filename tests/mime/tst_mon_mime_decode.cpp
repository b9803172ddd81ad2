// The message decoder: which parts give the bodies, the parameters recorded,
// the header lines, inline uuencode/yEnc files and the parts kept aside.

#include "core/cp1252.h"
#include "core/trace.h"
#include "mime/champ_entete.h"
#include "mime/mon_mime_decode.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString repertoireTables() {
    return QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage");
}

QByteArray crlf(QByteArray texte) {
    texte.replace("\r\n", "\n");
    texte.replace("\n", "\r\n");
    return texte;
}

QByteArray joindre(const QList<QByteArray>& lignes) {
    return lignes.join('|');
}

QByteArray uuencoder(const QByteArray& octets) {
    QByteArray r;
    for (qsizetype i = 0; i < octets.size(); i += 45) {
        const QByteArray morceau = octets.mid(i, 45);
        r += char(0x20 + morceau.size());
        for (qsizetype k = 0; k < morceau.size(); k += 3) {
            const uint32_t v = (uint32_t(uchar(morceau[k])) << 16) |
                               (k + 1 < morceau.size() ? uint32_t(uchar(morceau[k + 1])) << 8 : 0) |
                               (k + 2 < morceau.size() ? uint32_t(uchar(morceau[k + 2])) : 0);
            for (int s = 18; s >= 0; s -= 6) {
                const int c = (v >> s) & 0x3F;
                r += char(c == 0 ? '`' : 0x20 + c);
            }
        }
        r += '\n';
    }
    return r + "`\n";
}

QByteArray yencoder(const QByteArray& octets) {
    QByteArray r;
    for (char c : octets) {
        const uchar v = uchar(uchar(c) + 42);
        if (v == 0 || v == '\n' || v == '\r' || v == '=') {
            r += '=';
            r += char(uchar(v + 64));
        } else {
            r += char(v);
        }
    }
    return r + '\n';
}

} // namespace

class TstMonMimeDecode : public QObject {
    Q_OBJECT

    TEncodageDecodage m_encodage;

    void decoder(TMonMimeDecode& d, const QByteArray& message, bool ignorePJ = true) {
        d.setEncodageDecodage(&m_encodage);
        d.setIgnorePJ(ignorePJ);
        d.Reinitialiser();
        QBuffer flux;
        flux.setData(message);
        QVERIFY(flux.open(QIODevice::ReadOnly));
        d.DecoderFlux(flux);
    }

private slots:
    void initTestCase() { m_encodage.ChargerCharsets(repertoireTables()); }

    void corps_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QByteArray>("charsetPlain");
        QTest::addColumn<QByteArray>("charsetHtml");

        QTest::newRow("no content-type")
            << crlf("Subject: x\n\nHello\n\nWorld\n") << QByteArray("Hello||World") << QByteArray()
            << QByteArray() << QByteArray();
        QTest::newRow("LF line ends")
            << QByteArray("Subject: x\n\nHello\nWorld") << QByteArray("Hello|World") << QByteArray()
            << QByteArray() << QByteArray();
        QTest::newRow("single html")
            << crlf("Content-Type: text/html; charset=utf-8\n\n<b>x</b>\n") << QByteArray()
            << QByteArray("<b>x</b>") << QByteArray() << QByteArray("utf-8");
        QTest::newRow("alternative")
            << crlf("Content-Type: multipart/alternative; boundary=\"=_b\"\n\n"
                    "preamble\n--=_b\nContent-Type: text/plain; charset=\"ISO-8859-1\"\n\n"
                    "plain text\n--=_b\nContent-Type: text/html; charset=windows-1252\n\n"
                    "<p>html</p>\n--=_b--\nepilogue\n")
            << QByteArray("plain text") << QByteArray("<p>html</p>") << QByteArray("iso-8859-1")
            << QByteArray("windows-1252");
        QTest::newRow("two plain parts: first wins, its charset kept")
            << crlf("Content-Type: multipart/mixed; boundary=b\n\n--b\n"
                    "Content-Type: text/plain; charset=us-ascii\n\none\n--b\n"
                    "Content-Type: text/plain; charset=koi8-r\n\ntwo\n--b--\n")
            << QByteArray("one") << QByteArray() << QByteArray("us-ascii") << QByteArray();
        QTest::newRow("nested multiparts")
            << crlf("Content-Type: multipart/mixed; boundary=out\n\n--out\n"
                    "Content-Type: multipart/alternative;\n boundary=\"in\"\n\n--in\n"
                    "Content-Type: text/plain\n\ninner plain\n--in\n"
                    "Content-Type: text/html\n\n<i>inner</i>\n--in--\n--out\n"
                    "Content-Type: application/pdf; name=\"a.pdf\"\n"
                    "Content-Transfer-Encoding: base64\n\nJVBERg==\n--out--\n")
            << QByteArray("inner plain") << QByteArray("<i>inner</i>") << QByteArray()
            << QByteArray();
        QTest::newRow("inner multipart not closed")
            << crlf("Content-Type: multipart/mixed; boundary=out\n\n--out\n"
                    "Content-Type: multipart/alternative; boundary=in\n\n--in\n"
                    "Content-Type: text/plain\n\nfirst\n--out\n"
                    "Content-Type: text/html\n\n<b>later</b>\n--out--\n")
            << QByteArray("first") << QByteArray("<b>later</b>") << QByteArray() << QByteArray();
        QTest::newRow("last boundary missing")
            << crlf("Content-Type: multipart/mixed; boundary=b\n\n--b\n"
                    "Content-Type: text/plain\n\ncut short\nstill here\n")
            << QByteArray("cut short|still here") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("boundary never found")
            << crlf("Content-Type: multipart/mixed; boundary=zz\n\nonly text\nhere\n")
            << QByteArray("only text|here") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("boundary parameter missing")
            << crlf("Content-Type: multipart/alternative\n\n--guess\nContent-Type: text/plain\n\n"
                    "p\n--guess\nContent-Type: text/html\n\n<p>h</p>\n--guess--\n")
            << QByteArray("p") << QByteArray("<p>h</p>") << QByteArray() << QByteArray();
        QTest::newRow("part without header")
            << crlf("Content-Type: multipart/mixed; boundary=b\n\n--b\nHello there\n--b--\n")
            << QByteArray("Hello there") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("boundary with trailing blanks")
            << crlf("Content-Type: multipart/mixed; boundary=b\n\n--b  \n\nbody\n--b--  \n")
            << QByteArray("body") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("base64 text")
            << crlf("Content-Type: text/plain\nContent-Transfer-Encoding: BASE64\n\n"
                    "SGVsbG8g\nd29ybGQh\r\n")
            << QByteArray("Hello world!") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("broken base64")
            << crlf("Content-Type: text/plain\nContent-Transfer-Encoding: base64\n\n"
                    "SGVs!!bG8=\n==\n*IHdv cmxk\n")
            << QByteArray("Hello world") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("quoted-printable")
            << crlf("Content-Type: text/plain; charset=iso-8859-1\n"
                    "Content-Transfer-Encoding: quoted-printable\n\n"
                    "caf=E9 cr=\n=E8me   \na=3Db =ZZ end=\n")
            << QByteArray("caf\xE9 cr\xE8me|a=b =ZZ end") << QByteArray()
            << QByteArray("iso-8859-1") << QByteArray();
        QTest::newRow("x-uuencode text part")
            << crlf("Content-Type: text/plain\nContent-Transfer-Encoding: x-uuencode\n\n"
                    "begin 644 a.txt\n") +
                   crlf(uuencoder("uu text\n")) + crlf("end\n")
            << QByteArray("uu text") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("second html is an attachment")
            << crlf("Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/html\n\n"
                    "<p>1</p>\n--b\nContent-Type: text/html\n\n<p>2</p>\n--b--\n")
            << QByteArray() << QByteArray("<p>1</p>") << QByteArray() << QByteArray();
        QTest::newRow("text/enriched is another part")
            << crlf("Content-Type: text/enriched\n\n<bold>x</bold>\n") << QByteArray()
            << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("no body") << crlf("Subject: only a header\n") << QByteArray() << QByteArray()
                                 << QByteArray() << QByteArray();
        QTest::newRow("empty message")
            << QByteArray() << QByteArray() << QByteArray() << QByteArray() << QByteArray();
    }
    void corps() {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, html);
        QFETCH(QByteArray, charsetPlain);
        QFETCH(QByteArray, charsetHtml);
        TMonMimeDecode d;
        decoder(d, message);
        QCOMPARE(joindre(d.MessagePlain()), plain);
        QCOMPARE(joindre(d.MessageHtml()), html);
        QCOMPARE(d.CharsetPlain(), charsetPlain);
        QCOMPARE(d.CharsetHtml(), charsetHtml);
        QVERIFY(d.ListeFichier().isEmpty());
        QVERIFY(d.ListeAttachement().isEmpty());
    }

    void parametresPlain() {
        TMonMimeDecode d;
        decoder(d, crlf("Content-Type: text/plain; charset=\"UTF-8\"; format=flowed; delsp=yes\n\n"
                        "long line \nwrapped\n"));
        QCOMPARE(d.CharsetPlain(), QByteArray("utf-8"));
        QCOMPARE(d.FormatPlain(), QByteArray("flowed"));
        QVERIFY(d.DelSP());
        // The text stays as it came: no unflowing.
        QCOMPARE(joindre(d.MessagePlain()), QByteArray("long line |wrapped"));

        decoder(d, crlf("Content-Type: multipart/mixed; boundary=b\n\n--b\n"
                        "Content-Type: text/plain; delsp=no\nX-RFC2646: Format=Flowed\n\nx\n"
                        "--b\nContent-Type: text/html; format=fixed; charset=x\n\ny\n--b--\n"));
        QCOMPARE(d.FormatPlain(), QByteArray("flowed"));
        QVERIFY(!d.DelSP());
        QCOMPARE(d.FormatHtml(), QByteArray("fixed"));
        QCOMPARE(d.CharsetPlain(), QByteArray());

        d.Reinitialiser();
        QVERIFY(d.MessagePlain().isEmpty() && d.MessageHtml().isEmpty());
        QVERIFY(d.FormatPlain().isEmpty() && d.FormatHtml().isEmpty() && !d.DelSP());
        QVERIFY(d.LignesEntete().isEmpty());
    }

    void entete() {
        TMonMimeDecode d;
        decoder(d, crlf("From: \"A\" <a@b.c>\nTo: x@y.z,\n\tw@v.u\nCc: c@d.e\n"
                        "Subject: =?utf-8?Q?caf=C3=A9?=\n   suite  \nsubject: second\n"
                        "X-Long: " +
                        QByteArray(100000, 'x') + "\n\nbody\n"));
        QCOMPARE(d.DeBrut(), QByteArray("\"A\" <a@b.c>"));
        QCOMPARE(d.ABrut(), QByteArray("x@y.z, w@v.u"));
        QCOMPARE(d.CcBrut(), QByteArray("c@d.e"));
        QCOMPARE(d.SujetBrut(), QByteArray("=?utf-8?Q?caf=C3=A9?= suite"));
        QCOMPARE(d.LignesEntete().size(), 6);
        QCOMPARE(d.LignesEntete().at(3), QByteArray("Subject: =?utf-8?Q?caf=C3=A9?= suite"));
        QCOMPARE(d.LignesEntete().at(5).size(), TAnalyseurMime::kLongueurLigneEnteteMax);

        decoder(d, crlf("Subject:x\n\nb\n"));
        QCOMPARE(d.SujetBrut(), QByteArray("x"));
    }

    void separerLigne_data() {
        QTest::addColumn<QByteArray>("ligne");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("nom");
        QTest::addColumn<QByteArray>("valeur");
        QTest::newRow("normal") << QByteArray("Content-Type: text/plain") << true
                                << QByteArray("content-type") << QByteArray("text/plain");
        QTest::newRow("extra blanks")
            << QByteArray("A:   b") << true << QByteArray("a") << QByteArray("b");
        QTest::newRow("no blank") << QByteArray("Subject:x") << false << QByteArray()
                                  << QByteArray();
        QTest::newRow("colon too late")
            << QByteArray("Ab: ") << false << QByteArray() << QByteArray();
        QTest::newRow("no colon") << QByteArray("text") << false << QByteArray() << QByteArray();
    }
    void separerLigne() {
        QFETCH(QByteArray, ligne);
        QFETCH(bool, ok);
        QFETCH(QByteArray, nom);
        QFETCH(QByteArray, valeur);
        QByteArray n;
        QByteArrayView v;
        QCOMPARE(TMonMimeDecode::SeparerLigne(ligne, n, v), ok);
        if (ok) {
            QCOMPARE(n, nom);
            QCOMPARE(v.toByteArray(), valeur);
        }
    }

    void separerChampEntete_data() {
        // The split every header reader shares; the hooks' own rule above differs.
        QTest::addColumn<QByteArray>("ligne");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("nom");
        QTest::addColumn<QByteArray>("valeur");
        QTest::newRow("normal") << QByteArray("Subject: x") << true << QByteArray("subject")
                                << QByteArray(" x");
        QTest::newRow("no blank after the colon")
            << QByteArray("Subject:x") << true << QByteArray("subject") << QByteArray("x");
        QTest::newRow("blanks around the name")
            << QByteArray(" Content-Type\t: text/html") << true << QByteArray("content-type")
            << QByteArray(" text/html");
        QTest::newRow("first colon")
            << QByteArray("X-A: b: c") << true << QByteArray("x-a") << QByteArray(" b: c");
        QTest::newRow("code page case") << cp1252::depuisLatin("ÉTÉ-Œ: v") << true
                                        << cp1252::depuisLatin("été-œ") << QByteArray(" v");
        QTest::newRow("empty name") << QByteArray(":v") << true << QByteArray() << QByteArray("v");
        QTest::newRow("colon last")
            << QByteArray("To:") << true << QByteArray("to") << QByteArray();
        QTest::newRow("no colon") << QByteArray("text") << false << QByteArray() << QByteArray();
    }
    void separerChampEntete() {
        QFETCH(QByteArray, ligne);
        QFETCH(bool, ok);
        QFETCH(QByteArray, nom);
        QFETCH(QByteArray, valeur);
        const auto champ = SeparerChampEntete(ligne);
        QCOMPARE(champ.has_value(), ok);
        if (ok) {
            QCOMPARE(champ->Nom, nom);
            QCOMPARE(champ->Valeur.toByteArray(), valeur);
        }
    }

    void typeContenu_data() {
        QTest::addColumn<QByteArray>("valeur");
        QTest::addColumn<int>("actuel");
        QTest::addColumn<int>("attendu");
        QTest::addColumn<bool>("multipart");
        QTest::newRow("plain") << QByteArray("Text/Plain; charset=x") << 0 << int(taTexte) << false;
        QTest::newRow("text") << QByteArray("text") << 0 << int(taTexte) << false;
        QTest::newRow("html") << QByteArray("  text/html ;") << 0 << int(taHTML) << false;
        QTest::newRow("image") << QByteArray("image/gif") << 0 << int(taImage) << false;
        QTest::newRow("audio") << QByteArray("audio/x-wav") << 0 << int(taSon) << false;
        QTest::newRow("application")
            << QByteArray("application/pdf") << 0 << int(taApplication) << false;
        QTest::newRow("multipart")
            << QByteArray("multipart/related; boundary=x") << 0 << int(taRien) << true;
        QTest::newRow("other") << QByteArray("message/rfc822") << 0 << int(taAutre) << false;
        QTest::newRow("other, kind set")
            << QByteArray("video/mpeg") << int(taImage) << int(taRien) << false;
    }
    void typeContenu() {
        QFETCH(QByteArray, valeur);
        QFETCH(int, actuel);
        QFETCH(int, attendu);
        QFETCH(bool, multipart);
        bool m = !multipart;
        QCOMPARE(int(TMonMimeDecode::TypeContenu(valeur, TTypeAttachement(actuel), &m)), attendu);
        QCOMPARE(m, multipart);
    }

    void imageSeule() {
        QTemporaryDir dir;
        TMonMimeDecode d;
        d.setRepDestination(dir.path());
        QByteArray altVu;
        int images = 0;
        d.OnAltImage = [&](TMonMimeDecode*, QByteArray& alt) {
            altVu = alt;
            alt = "une \"image\"";
        };
        d.OnGestionUneImage = [&](TMonMimeDecode*, const QByteArray&, bool premiere) {
            QVERIFY(premiere);
            ++images;
        };
        const QByteArray message = crlf("Content-Type: image/gif; name=\"../photo.gif\"\n"
                                        "Content-Transfer-Encoding: base64\n\nR0lGODlh\n");
        decoder(d, message, true);
        QVERIFY(d.MessagePlain().isEmpty());
        QCOMPARE(d.MessageHtml().Texte(),
                 QByteArray("<hr size=\"1\" width=\"50%\"><p align=\"center\">\r\n"
                            "<img src=\"./..photo.gif\" alt=\"une &quot;image&quot;\"></p>\r\n"));
        QCOMPARE(altVu, QByteArray("..photo.gif"));
        QCOMPARE(d.TypeMessage(), taImage);
        QCOMPARE(d.NbImage(), 1);
        QCOMPARE(d.PremiereImage(), QByteArray("..photo.gif"));
        QCOMPARE(images, 1);
        QVERIFY(QDir(dir.path()).isEmpty()); // ignored parts write nothing

        // Kept aside when parts are not ignored; no name: "xxx.xxx".
        TMonMimeDecode e;
        e.setRepDestination(dir.path());
        decoder(e, crlf("Content-Type: audio/basic\nContent-Transfer-Encoding: base64\n\nUklG\n"),
                false);
        QCOMPARE(e.TypeMessage(), taSon);
        QVERIFY(e.MessageHtml().Texte().contains("src=\"./xxx.xxx\""));
        QCOMPARE(e.ListeFichier(), QList<QByteArray>{"xxx.xxx"});
        QFile f(dir.filePath(QStringLiteral("xxx.xxx")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("RIF"));
    }

    void attachements() {
        QTemporaryDir dir;
        TMonMimeDecode d;
        d.setRepDestination(dir.path());
        QList<QByteArray> noms;
        d.OnTrouveNom = [&](TMonMimeDecode*, const QByteArray& n) { noms.append(n); };
        const QByteArray message = crlf(
            "Content-Type: multipart/mixed; boundary=b\n\n--b\n\nbody\n--b\n"
            "Content-Type: application/octet-stream\n"
            "Content-Disposition: attachment;\n filename=\"=?utf-8?Q?R=C3=A9sum=C3=A9?=.txt\"\n"
            "Content-ID: <id1@x>\nContent-Location: http://x/a\n\nraw bytes\n--b\n"
            "Content-Type: text/plain; name=\"second.txt\"\n\nsecond text\n--b\n"
            "Content-Type: image/png; name=\"second.txt\"\n"
            "Content-Transfer-Encoding: base64\n\niVBORw==\n--b--\n");
        decoder(d, message, false);
        QCOMPARE(joindre(d.MessagePlain()), QByteArray("body"));
        QCOMPARE(d.ListeAttachement().size(), 3);
        const TMemoAttachement& a = d.ListeAttachement().at(0);
        QCOMPARE(a.Nom, cp1252::depuisLatin("Résumé.txt"));
        QCOMPARE(a.ContentId, QByteArray("<id1@x>"));
        QCOMPARE(a.Location, QByteArray("http://x/a"));
        QCOMPARE(a.Type, taApplication);
        QCOMPARE(d.ListeAttachement().at(1).Type, taAutre); // second plain part
        QCOMPARE(d.ListeAttachement().at(2).Nom, QByteArray("(1)SECOND.TXT"));
        QCOMPARE(d.ListeFichier().size(), 3);
        QCOMPARE(noms.size(), 3);
        QFile f(dir.filePath(QStringLiteral("second.txt")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("second text\r\n"));

        // A destination that cannot be written: OnErreur(0), nothing listed as written.
        TMonMimeDecode e;
        e.setRepDestination(dir.filePath(QStringLiteral("missing/sub")));
        QList<int> erreurs;
        e.OnErreur = [&](TMonMimeDecode*, int n) { erreurs.append(n); };
        decoder(e, message, false);
        QCOMPARE(erreurs, (QList<int>{0, 0, 0}));
        QVERIFY(e.ListeFichier().isEmpty());
        QCOMPARE(e.ListeAttachement().size(), 3);
    }

    void fichiersEnLigne() {
        const QByteArray gif = QByteArray("GIF89a") + QByteArray(70, '\x01');
        const QByteArray data = QByteArray("binary\0data\xFF", 12);
        const QByteArray message =
            crlf("Subject: files\n\nbefore\nbegin 644 ../../evil.txt\n") + crlf(uuencoder(data)) +
            crlf("end\nbetween\nbegin 0600 photo.jpg\n") + crlf(uuencoder(gif)) +
            crlf("end\n=ybegin part=1 line=128 size=6 name=XFACE1.BMP\n=ypart begin=1 end=3\n") +
            crlf(yencoder("abc")) + crlf("=yend size=3\nmiddle\n=ybegin part=2 name=XFACE1.BMP\n") +
            crlf(yencoder("def")) + crlf("=yend\nbegin 644 photo.gif\nnot uuencoded text\nafter\n");

        // Parts ignored: markers only, nothing on disk.
        QTemporaryDir dir;
        TMonMimeDecode d;
        d.setRepDestination(dir.path());
        decoder(d, message, true);
        const QByteArray attendu =
            "before|ELSE_BEGIN_666....evil.txtELSE_TMP_666....evil.txtELSE_END_666|"
            "between|IMG_BEGIN_666photo.gifIMG_END_666|"
            "IMG_BEGIN_666(1)XFACE1.BMPIMG_END_666|"
            "middle|IMG_BEGIN_666(1)PHOTO.GIFIMG_END_666|"
            "not uuencoded text|after";
        QCOMPARE(joindre(d.MessagePlain()), attendu);
        QVERIFY(d.ListeFichier().isEmpty());
        QVERIFY(QDir(dir.path()).isEmpty());
        QCOMPARE(d.NbImage(), 3);

        // Parts kept: the same markers, and the files, all inside the destination.
        QTemporaryDir racine;
        QVERIFY(QDir(racine.path()).mkdir(QStringLiteral("a")));
        QVERIFY(QDir(racine.path()).mkdir(QStringLiteral("a/tmp")));
        const QString dest = racine.filePath(QStringLiteral("a/tmp"));
        TMonMimeDecode e;
        e.setRepDestination(dest);
        decoder(e, message, false);
        QCOMPARE(joindre(e.MessagePlain()), attendu);
        QCOMPARE(e.ListeFichier(),
                 (QList<QByteArray>{"....evil.txt", "photo.gif", "(1)XFACE1.BMP", "(1)PHOTO.GIF"}));
        auto lire = [&](const char* nom) {
            QFile f(QDir(dest).filePath(QLatin1String(nom)));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
        };
        QCOMPARE(lire("....evil.txt"), data);
        QCOMPARE(lire("photo.gif"), gif);
        QCOMPARE(lire("(1)XFACE1.BMP"), QByteArray("abcdef"));
        QCOMPARE(lire("(1)PHOTO.GIF"), QByteArray());
        QCOMPARE(QDir(racine.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{QStringLiteral("a")});
        QCOMPARE(QDir(racine.filePath(QStringLiteral("a")))
                     .entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{QStringLiteral("tmp")});
    }

    void limiteFichiers() {
        QTemporaryDir dir;
        TMonMimeDecode d;
        d.setRepDestination(dir.path());
        QByteArray blocs = "\r\n";
        const int n = TMonMimeDecode::kNbFichiersMax + 5;
        for (int i = 0; i < n; ++i)
            blocs += "begin 644 f" + QByteArray::number(i) + ".txt\r\n#86)C\r\nend\r\n";
        TTrace::instance().effacer();
        decoder(d, blocs, false);
        QCOMPARE(d.MessagePlain().size(), n); // every marker is there
        QCOMPARE(d.ListeFichier().size(), TMonMimeDecode::kNbFichiersMax);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), TMonMimeDecode::kNbFichiersMax);
        bool trace = false;
        for (const TLigneTrace& l : TTrace::instance().lignes())
            trace = trace || l.texte.contains(QLatin1String("MIME"));
        QVERIFY(trace);
    }

    void sansEncodage() {
        TMonMimeDecode d;
        try {
            d.Reinitialiser();
            QFAIL("no error");
        } catch (const EMimeDecode& e) {
            QCOMPARE(e.message(),
                     QStringLiteral("La propriété EncodageDecodage doit être définie"));
        }
        QVERIFY_THROWS_EXCEPTION(EMimeDecode, d.Decoder("Subject: x\r\n\r\nb\r\n"));
    }

    void stringList_data() {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QList<QByteArray>>("lignes");
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QList<QByteArray>{"a", "b"};
        QTest::newRow("CR and LF") << QByteArray("a\rb\nc") << QList<QByteArray>{"a", "b", "c"};
        QTest::newRow("empty lines")
            << QByteArray("a\r\r\n\nb") << QList<QByteArray>{"a", "", "", "b"};
        QTest::newRow("zero bytes")
            << QByteArray("a\0b\nc", 5) << QList<QByteArray>{QByteArray("a\0b", 3), "c"};
        QTest::newRow("FF FE start") << QByteArray("\xFF\xFE"
                                                   "a\0\r\nb",
                                                   7)
                                     << QList<QByteArray>{QByteArray("\xFF\xFE"
                                                                     "a\0",
                                                                     4),
                                                          "b"};
        QTest::newRow("empty") << QByteArray() << QList<QByteArray>{};
    }
    void stringList() {
        QFETCH(QByteArray, texte);
        QFETCH(QList<QByteArray>, lignes);
        TMonStringList l;
        l.append("old");
        l.setTexte(texte);
        QCOMPARE(static_cast<QList<QByteArray>&>(l), lignes);
    }

    void structuresHostiles() {
        // Deep nesting, a part that re-declares its parent's boundary, absurdly
        // long lines and a huge header: decoded as far as it goes, never a crash.
        QByteArray profond = "Content-Type: multipart/mixed; boundary=b0\r\n\r\n";
        for (int i = 1; i < 200; ++i)
            profond += "--b" + QByteArray::number(i - 1) +
                       "\r\nContent-Type: multipart/mixed; boundary=b" + QByteArray::number(i) +
                       "\r\n\r\n";
        profond += "--b199\r\nContent-Type: text/plain\r\n\r\ndeep\r\n";
        TMonMimeDecode d;
        decoder(d, profond);
        QVERIFY(d.MessagePlain().isEmpty());

        QByteArray recursif = "Content-Type: multipart/mixed; boundary=x\r\n\r\n";
        for (int i = 0; i < 50; ++i)
            recursif += "--x\r\nContent-Type: multipart/mixed; boundary=x\r\n\r\n";
        recursif += "--x\r\n\r\nfin\r\n--x--\r\n";
        decoder(d, recursif);
        QCOMPARE(joindre(d.MessagePlain()), QByteArray("fin"));

        QByteArray entete;
        for (int i = 0; i < 30000; ++i)
            entete += "X-H: " + QByteArray::number(i) + "\r\n";
        decoder(d, entete + "\r\n" + QByteArray(3000000, 'a'));
        QCOMPARE(d.LignesEntete().size(), TAnalyseurMime::kNbLignesEnteteMax);
        QCOMPARE(d.MessagePlain().size(), 1);

        // Many unclosed encoded words, many inline files of one name.
        QByteArray mots = "Subject: ";
        for (int i = 0; i < 8000; ++i)
            mots += "=?a?Q?xy";
        decoder(d, mots + "\r\n\r\nb\r\n");
        QCOMPARE(m_encodage.DecoderEntete(d.SujetBrut()).size(), 8000 * 8);
        QByteArray blocs = "\r\n";
        for (int i = 0; i < 20000; ++i)
            blocs += "begin 644 a.txt\r\n#86)C\r\nend\r\n";
        decoder(d, blocs);
        QCOMPARE(d.MessagePlain().size(), 20000);
        QCOMPARE(d.MessagePlain().last(),
                 QByteArray("ELSE_BEGIN_666(19999)A.TXTELSE_TMP_666(19999)A.TXTELSE_END_666"));

        for (const QByteArray& fin : {QByteArray("="), QByteArray("=?"), QByteArray("begin 644 "),
                                      QByteArray("=ybegin name=a"), QByteArray("--b\r\n"),
                                      QByteArray("--b\r\nContent-Type:"), QByteArray("\r")}) {
            decoder(d, "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                       "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
                           fin);
            decoder(d, "Subject: =?utf-8?B?\r\n\r\n" + fin);
        }
    }
};

QTEST_GUILESS_MAIN(TstMonMimeDecode)
#include "tst_mon_mime_decode.moc"
