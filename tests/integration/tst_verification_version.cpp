// The new-version check against a small HTTP server on loopback: the request's
// path, query and headers, the reply's lines, NumLocal kept across a restart,
// the retry rule on the save timer, redirections, a server that never answers
// and one that sends far too much. Run through the program's own assembly.

#include "core/config.h"
#include "core/controleur.h"
#include "core/date_time.h"
#include "core/regles_fenetre.h"
#include "core/repertoires.h"
#include "core/trace.h"
#include "integration/verification_version.h"
#include "proxy/moteur.h"
#include "tests/support/kelvarin_process.h"
#include "tests/support/moteur/engin.h"
#include "tests/support/moteur/maison.h"

#include <QFile>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

using testsupport::TEngin;
using testsupport::TMaison;

namespace {

// An HTTP server that records each request and answers what the test says: a
// whole response, or nothing at all (the socket stays open).
class TServeurHTTP : public QObject {
public:
    struct TRequete {
        QByteArray Methode, Chemin, Version;
        QList<QPair<QByteArray, QByteArray>> Entetes; // names in lower case
        QByteArray entete(const QByteArray& nom) const {
            for (const auto& [n, v] : Entetes)
                if (n == nom) return v;
            return {};
        }
    };
    QList<TRequete> Requetes;
    std::function<QByteArray(const TRequete&)> Reponse;

    TServeurHTTP() {
        m_serveur.listen(QHostAddress::LocalHost, 0);
        connect(&m_serveur, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_serveur.nextPendingConnection()) {
                s->setParent(this);
                connect(s, &QTcpSocket::readyRead, this, [this, s] { lire(s); });
            }
        });
    }
    QString Base() const {
        return QStringLiteral("http://127.0.0.1:%1/").arg(m_serveur.serverPort());
    }
    static QByteArray Texte(const QByteArray& corps, const QByteArray& statut = "200 OK") {
        return "HTTP/1.0 " + statut + "\r\nContent-Type: text/plain\r\nContent-Length: " +
               QByteArray::number(corps.size()) + "\r\n\r\n" + corps;
    }

private:
    void lire(QTcpSocket* s) {
        QByteArray& tampon = m_tampons[s];
        tampon += s->readAll();
        const qsizetype fin = tampon.indexOf("\r\n\r\n");
        if (fin < 0) return;
        const QList<QByteArray> lignes = tampon.first(fin).split('\n');
        tampon.clear();
        TRequete r;
        const QList<QByteArray> premiere = lignes.value(0).trimmed().split(' ');
        r.Methode = premiere.value(0);
        r.Chemin = premiere.value(1);
        r.Version = premiere.value(2);
        for (qsizetype i = 1; i < lignes.size(); ++i) {
            const QByteArray l = lignes[i].trimmed();
            const qsizetype dp = l.indexOf(':');
            if (dp > 0) r.Entetes.append({l.first(dp).toLower(), l.sliced(dp + 1).trimmed()});
        }
        Requetes.append(r);
        const QByteArray reponse = Reponse ? Reponse(r) : Texte("");
        if (reponse.isEmpty()) return; // never answers
        s->write(reponse);
        s->disconnectFromHost();
    }
    QTcpServer m_serveur;
    QHash<QTcpSocket*, QByteArray> m_tampons;
};

quint32 g_tick = 1000;
quint32 tickTest() {
    return g_tick;
}

// The version string one step above or below the running program's.
QByteArray versionVoisine(int pas) {
    const quint32 n = version::NumeroVersion(VersionProgramme().toLatin1()) + quint32(pas);
    return QByteArray::number(n >> 24) + '.' + QByteArray::number((n >> 16) & 0xff) + '.' +
           QByteArray::number((n >> 8) & 0xff) + '.' + QByteArray::number(n & 0xff);
}

} // namespace

class TstVerificationVersion : public QObject {
    Q_OBJECT

    // A check run by hand on a reply body, with the running program's version.
    struct TEssai {
        TConfig reglages;
        TVerificationVersion v{reglages};
        QList<QByteArray> annonces;
        explicit TEssai(const QString& base) {
            v.AdresseBase = [base] { return base; };
            v.OnNouvelleVersion = [this](const QByteArray& n) { annonces << n; };
        }
        bool verifier() {
            v.ChercheNouvelleVersion();
            if (!QTest::qWaitFor([this] { return !v.EnCours(); }, 10000)) return false;
            QCoreApplication::processEvents(); // the posted announcement
            return true;
        }
    };

private slots:
    void init() { tick::remplacerSource(nullptr); }
    void cleanup() {
        tick::remplacerSource(nullptr);
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    }

    void numeroVersion_data() {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<quint32>("attendu");
        QTest::newRow("ordinary") << QByteArray("1.01.00.00") << 0x01010000u;
        QTest::newRow("two parts") << QByteArray("1.1") << 0u;
        QTest::newRow("four dots") << QByteArray("1.2.3.4.5") << 0u;
        QTest::newRow("256 before a dot") << QByteArray("1.300.0.0") << 0u;
        QTest::newRow("255 is fine") << QByteArray("255.255.255.255") << 0xffffffffu;
        QTest::newRow("last modulo 256") << QByteArray("1.2.3.300") << 0x0102032cu;
        QTest::newRow("very long last") << QByteArray("1.2.3.99999999999999999999") << 0x010203ffu;
        QTest::newRow("very long first") << QByteArray("99999999999999999999.0.0.0") << 0u;
        QTest::newRow("stops at a letter") << QByteArray("2.0.0.1beta.7") << 0x02000001u;
        QTest::newRow("empty numbers") << QByteArray("...") << 0u;
        QTest::newRow("leading blank") << QByteArray(" 1.0.0.0") << 0u;
        QTest::newRow("empty") << QByteArray() << 0u;
    }
    void numeroVersion() {
        QFETCH(QByteArray, texte);
        QFETCH(quint32, attendu);
        QCOMPARE(version::NumeroVersion(texte), attendu);
    }

    void adresseEtReponse() {
        QCOMPARE(
            version::AdresseRequete(QStringLiteral("http://h/x"), 0, QStringLiteral("1.01.00.00")),
            QStringLiteral("http://h/x/version-kv.php?numlocal=non&vers=1.01.00.00"));
        QCOMPARE(version::AdresseRequete(QStringLiteral("http://h/"), -3, QStringLiteral("1.0")),
                 QStringLiteral("http://h/version-kv.php?numlocal=non&vers=1.0"));
        QCOMPARE(version::AdresseRequete(QStringLiteral("http://h/"), 1234, QStringLiteral("1.0")),
                 QStringLiteral("http://h/version-kv.php?numlocal=1234&vers=1.0"));

        const version::TReponseVersion r = version::LireReponse(
            "<html>\r\nNumLocal=42\r\nautre=1\r\nVERSION = 2.00.00.00\r\nversion=" +
            QByteArray(300, '9') + "\nsans egal\nnumlocal=abc");
        QVERIFY(r.NumLocalLu);
        QCOMPARE(r.NumLocal, 42); // "abc" keeps the number read before
        QCOMPARE(r.Versions.size(), 2);
        QCOMPARE(r.Versions[0], QByteArray("2.00.00.00"));
        QCOMPARE(r.Versions[1].size(), 255);
        QVERIFY(!version::LireReponse("numlocal=abc").NumLocalLu);
    }

    // What a reply body does to the running program.
    void reponses_data() {
        QTest::addColumn<QByteArray>("reponse");
        QTest::addColumn<bool>("annonce");
        QTest::addColumn<int>("numLocal");
        const QByteArray plus = versionVoisine(1), meme = versionVoisine(0);
        QTest::newRow("newer") << HTTP(QByteArray("version=" + plus)) << true << 0;
        QTest::newRow("same") << HTTP(QByteArray("version=" + meme)) << false << 0;
        QTest::newRow("two parts") << HTTP(QByteArray("version=1.1")) << false << 0;
        QTest::newRow("name in capitals") << HTTP(QByteArray("Version=200.00.00.00")) << true << 0;
        QTest::newRow("invalid number") << HTTP(QByteArray("version=1.300.0.0")) << false << 0;
        QTest::newRow("numlocal") << HTTP(QByteArray("numlocal=1234\r\n")) << false << 1234;
        QTest::newRow("numlocal not a number") << HTTP(QByteArray("numlocal=12a")) << false << 7;
        QTest::newRow("HTTP error still read")
            << TServeurHTTP::Texte("version=200.0.0.0\nnumlocal=5", "404 Not Found") << true << 5;
        QTest::newRow("garbage") << HTTP(QByteArray("\x01\x02=\r\n==\n")) << false << 7;
    }
    static QByteArray HTTP(const QByteArray& corps) { return TServeurHTTP::Texte(corps); }
    void reponses() {
        QFETCH(QByteArray, reponse);
        QFETCH(bool, annonce);
        QFETCH(int, numLocal);
        TServeurHTTP http;
        http.Reponse = [reponse](const TServeurHTTP::TRequete&) { return reponse; };
        TEssai e(http.Base());
        e.reglages.NumLocal = 7;
        QVERIFY(e.verifier());
        QVERIFY(e.v.Fait());
        QCOMPARE(e.annonces.size(), annonce ? 1 : 0);
        QCOMPARE(e.reglages.NumLocal, numLocal == 0 ? 7 : numLocal);
    }

    // The deferred start asks the server named by AdresseVersion; the number it
    // gives is written at shutdown, sent at the next start, and the key itself
    // is never written.
    void requeteEtNumLocalAuDemarrageSuivant() {
        TServeurHTTP http;
        http.Reponse = [](const TServeurHTTP::TRequete& r) {
            return TServeurHTTP::Texte(r.Chemin.contains("numlocal=non") ? "numlocal=1234\r\n"
                                                                         : "rien\r\n");
        };
        TMaison m({{"AdresseVersion", "\"" + http.Base().toLatin1() + "\""}});
        {
            TEngin e(m.reps);
            QVERIFY(e.demarrer());
            QVERIFY(e.controleur.Journal().contains(QStringLiteral("ChercheNouvelleVersion")));
            QTRY_COMPARE(http.Requetes.size(), 1);
            QTRY_VERIFY(e.moteur.VerificationVersion.Fait());
            QCOMPARE(Config().NumLocal, 1234);
            e.controleur.Arreter();
        }
        const TServeurHTTP::TRequete& r = http.Requetes[0];
        QCOMPARE(r.Methode, QByteArray("GET"));
        QCOMPARE(r.Chemin, "/version-kv.php?numlocal=non&vers=" + VersionProgramme().toLatin1());
        QCOMPARE(r.entete("user-agent"), "Kelvarin/" + VersionProgramme().toLatin1());
        QCOMPARE(r.entete("accept"),
                 QByteArray("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*"));
        QCOMPARE(r.entete("host"), "127.0.0.1:" + QByteArray::number(QUrl(http.Base()).port()));
        QFile f(m.reps.Ini());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray ini = f.readAll();
        QVERIFY(ini.contains("NumLocal=1234\r\n"));
        QCOMPARE(ini.count("AdresseVersion="), 1);

        TEngin suivant(m.reps);
        QVERIFY(suivant.demarrer());
        QTRY_COMPARE(http.Requetes.size(), 2);
        QCOMPARE(http.Requetes[1].Chemin,
                 "/version-kv.php?numlocal=1234&vers=" + VersionProgramme().toLatin1());
    }

    // Headless, a newer version is one trace line with the site's link; the
    // address comes from the engine's endpoint when the settings name none,
    // and is not written to the settings file.
    void sansFenetreUneLigneDeTrace() {
        TServeurHTTP http;
        http.Reponse = [](const TServeurHTTP::TRequete&) {
            return TServeurHTTP::Texte("version=" + versionVoisine(1) + "\r\n");
        };
        QStringList traces;
        TTrace::instance().OnLigne = [&traces](const TLigneTrace& l) { traces << l.texte; };
        TMaison m;
        TPointsAcces p;
        p.AdresseVersion = http.Base();
        {
            TEngin e(m.reps, p);
            QVERIFY(!e.moteur.Evenements.NouvelleVersionEcoute());
            QVERIFY(e.demarrer());
            const QString lien = LienSite(QStringLiteral("version"));
            QTRY_VERIFY(traces.filter(lien).size() == 1);
            QVERIFY(traces.filter(lien)[0].contains(QString::fromLatin1(versionVoisine(1))));
            e.controleur.Arreter();
        }
        TTrace::instance().OnLigne = nullptr;
        QFile f(m.reps.Ini());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(!f.readAll().contains("AdresseVersion"));
    }

    // A server that never answers: the request ends after its delay, leaving the
    // check undone; the save timer's retry rule tries once more, gives up when
    // the next save comes within 5 minutes, and starts over after 24 hours.
    void serveurMuetEtReessai() {
        TServeurHTTP http;
        http.Reponse = [](const TServeurHTTP::TRequete&) { return QByteArray(); };
        g_tick = 0xfffff000u; // the tick wraps during the test
        tick::remplacerSource(&tickTest);
        TMaison m({{"AdresseVersion", http.Base().toLatin1()}});
        TEngin e(m.reps);
        TVerificationVersion& v = e.moteur.VerificationVersion;
        v.DelaiMs = 300;
        QVERIFY(e.demarrer());
        QTRY_COMPARE(http.Requetes.size(), 1);
        QVERIFY(v.EnCours());
        e.controleur.Sauvegarde(); // the save timer's work: nothing while in progress
        QCOMPARE(v.NbRequetes(), 1);
        QTRY_VERIFY(!v.EnCours());
        QVERIFY(!v.Fait());

        g_tick += 1000;
        e.controleur.Sauvegarde(); // one more attempt, its tick kept
        QCOMPARE(v.NbRequetes(), 2);
        QCOMPARE(v.TickReessai(), g_tick);
        QTRY_VERIFY(!v.EnCours());
        QVERIFY(!v.Fait());

        g_tick += TVerificationVersion::kDelaiAbandonMs - 1;
        e.controleur.Sauvegarde(); // within 5 minutes of the attempt: given up
        QCOMPARE(v.NbRequetes(), 2);
        QVERIFY(v.Fait());

        g_tick += TVerificationVersion::kDelaiRecommencerMs; // past 24 hours
        e.controleur.Sauvegarde();
        QVERIFY(!v.Fait());
        QCOMPARE(v.TickReessai(), 0u);
        QCOMPARE(v.NbRequetes(), 2);
        e.controleur.Sauvegarde(); // starts over
        QCOMPARE(v.NbRequetes(), 3);
        QTRY_COMPARE(http.Requetes.size(), 3);
    }

    // A reply that arrived sets "done": no further check while the program runs,
    // until 24 hours after a retry.
    void reponseRecuePuisPlusRien() {
        TServeurHTTP http;
        TEssai e(http.Base());
        QVERIFY(e.verifier());
        QVERIFY(e.v.Fait());
        QCOMPARE(e.v.TickReessai(), 0u);
        for (int i = 0; i < 3; ++i)
            e.v.ReessaiNouvelleVersion();
        QCOMPARE(e.v.NbRequetes(), 1);
    }

    // Up to 5 redirections are followed; the sixth is not.
    void redirections_data() {
        QTest::addColumn<int>("nombre");
        QTest::addColumn<bool>("annonce");
        QTest::newRow("5") << 5 << true;
        QTest::newRow("6") << 6 << false;
    }
    void redirections() {
        QFETCH(int, nombre);
        QFETCH(bool, annonce);
        TServeurHTTP http;
        http.Reponse = [nombre](const TServeurHTTP::TRequete& r) -> QByteArray {
            const int n = r.Chemin.startsWith("/r") ? r.Chemin.mid(2).toInt() : 0;
            if (n < nombre)
                return "HTTP/1.0 302 Found\r\nLocation: /r" + QByteArray::number(n + 1) +
                       "\r\nContent-Length: 0\r\n\r\n";
            return TServeurHTTP::Texte("version=200.0.0.0\n");
        };
        TEssai e(http.Base());
        QVERIFY(e.verifier());
        QCOMPARE(http.Requetes.size(), std::min(nombre, 5) + 1);
        QCOMPARE(e.annonces.size(), annonce ? 1 : 0);
    }

    // The desktop's proxy is not used: a proxy that does not exist changes nothing.
    void sansProxy() {
        QNetworkProxy::setApplicationProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), 9));
        TServeurHTTP http;
        http.Reponse = [](const TServeurHTTP::TRequete&) {
            return TServeurHTTP::Texte("numlocal=99\n");
        };
        TEssai e(http.Base());
        QVERIFY(e.verifier());
        QCOMPARE(http.Requetes.size(), 1);
        QCOMPARE(e.reglages.NumLocal, 99);
    }

    // 10 MB: the reply buffer keeps the first 64 KB, the lines in it count,
    // and the rest is not read.
    void dixMegaOctets() {
        TServeurHTTP http;
        http.Reponse = [](const TServeurHTTP::TRequete&) {
            QByteArray corps = "numlocal=77\r\n";
            corps += QByteArray(10 * 1024 * 1024, 'x');
            corps += "\nversion=200.0.0.0\n";
            return TServeurHTTP::Texte(corps);
        };
        TEssai e(http.Base());
        QVERIFY(e.verifier());
        QCOMPARE(e.v.Tampon().size(), TVerificationVersion::kTailleMaxReponse);
        QCOMPARE(e.reglages.NumLocal, 77);
        QVERIFY(e.annonces.isEmpty());
        QVERIFY(e.v.Fait());
    }

    // A base that is not an HTTP address: the failure is traced (and beeps),
    // nothing is sent, and the retry rule may try again.
    void adresseInvalide() {
        TEssai e(QStringLiteral("ftp://127.0.0.1/"));
        int bips = 0;
        e.v.OnBip = [&bips] { ++bips; };
        QStringList traces;
        TTrace::instance().OnLigne = [&traces](const TLigneTrace& l) { traces << l.texte; };
        e.v.ChercheNouvelleVersion();
        TTrace::instance().OnLigne = nullptr;
        QVERIFY(!e.v.EnCours());
        QCOMPARE(bips, 1);
        QCOMPARE(traces.filter(QStringLiteral("Exception : ChercheNouvelleVersion : ")).size(), 1);
        QVERIFY(!e.v.Fait());
    }

    // A reply that ends during shutdown is ignored.
    void reponseTardive() {
        TServeurHTTP http;
        http.Reponse = [](const TServeurHTTP::TRequete&) { return QByteArray(); };
        TEssai e(http.Base());
        e.v.ChercheNouvelleVersion();
        QTRY_COMPARE(http.Requetes.size(), 1);
        e.v.Arreter();
        QVERIFY(!e.v.EnCours());
        e.v.ChercheNouvelleVersion();
        e.v.ReessaiNouvelleVersion();
        QCOMPARE(e.v.NbRequetes(), 1);
    }
};

QTEST_GUILESS_MAIN(TstVerificationVersion)
#include "tst_verification_version.moc"
