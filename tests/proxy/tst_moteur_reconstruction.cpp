// The full rebuild of the knowledge base driven through the engine: mail
// fetched through the proxy is archived, the rebuild learns it again from the
// archive with the listener closed meanwhile, and the start-up conversion
// runs it once when the settings file is from an older version.

#include "accounts/gestion_comptes_bis.h"
#include "accounts/mon_dossier_bis.h"
#include "bayes/filtre_bayes.h"
#include "core/controleur.h"
#include "core/trace.h"
#include "mime/encodage_decodage.h"
#include "mime/mon_mime_decode.h"
#include "proxy/moteur.h"
#include "proxy/serveur_proxy.h"
#include "tests/support/moteur/engin.h"
#include "tests/support/moteur/maison.h"
#include "tests/support/pop3_script_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

using testsupport::TClientLignes;
using testsupport::TServeurPOP3Script;

namespace {

const QString kSourceEncodage = QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage");

QByteArray lire(const QString& chemin) {
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
}

bool ecrire(const QString& chemin, const QByteArray& contenu) {
    QDir().mkpath(QFileInfo(chemin).path());
    QFile f(chemin);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(contenu) == contenu.size();
}

// Three kinds of mail: plain, HTML, and one without subject or sender, which
// is spam by rule and never learned on reception (the rebuild learns it).
const QList<QByteArray> kMessages = {
    "From: bob@example.org\r\nTo: alice@example.org\r\nSubject: quarterly meeting notes\r\n"
    "\r\nThe quarterly meeting notes are below.\r\nBudget review moved to Thursday.\r\n",
    "From: promo@shop.test\r\nTo: alice@example.org\r\nSubject: "
    "=?iso-8859-1?q?Offre_sp=E9ciale?=\r\n"
    "MIME-Version: 1.0\r\nContent-Type: text/html; charset=iso-8859-1\r\n\r\n"
    "<html><body><p>Cheap pills and casino winnings, click now</p></body></html>\r\n",
    "To: alice@example.org\r\n\r\nwinner winner lottery claim your prize money today\r\n",
};

using testsupport::TMaison;

// A home with the charset tables, its settings from the given version.
struct TMaisonBayes : TMaison {
    explicit TMaisonBayes(const QByteArray& versionInterne = "2")
        : TMaison({{"VersionInterne", versionInterne}}) {
        lierEncodage();
    }

    QString base() const { return reps.Donnees() + QStringLiteral("bayes.qdl"); }

    // The archived messages of an account, in order, with their spam flag.
    QList<std::pair<QByteArray, bool>> archive(qint32 numero) const {
        TUnCompteBis compte;
        compte.Numero = numero;
        TMonDossierBis d;
        d.setRepertoireDossiers(reps.Dossiers());
        d.Ouvrir(&compte);
        QList<std::pair<QByteArray, bool>> r;
        for (int i = 0; i < d.NbMessage(); ++i) {
            QByteArray texte;
            if (d.LireTexte(*d.Message(i), texte, false)) r.append({texte, d.Message(i)->Spam});
        }
        return r;
    }

    void archiver(qint32 numero, const QList<std::pair<QByteArray, bool>>& messages) {
        TUnCompteBis compte;
        compte.Numero = numero;
        TMonDossierBis d;
        d.setRepertoireDossiers(reps.Dossiers());
        d.Ouvrir(&compte);
        for (const auto& [texte, spam] : messages) {
            TUnMessageMem m;
            m.Spam = spam;
            m.Reception = 46000.5;
            m.Taille = qint32(texte.size());
            QVERIFY(d.AjouterMessage(m, texte));
        }
        QVERIFY(d.Fermer());
    }

    // "bayes.qdl" as a filter of its own writes it after learning the
    // messages in that order, with the same ignore lists.
    QByteArray baseApprise(const QList<std::pair<QByteArray, bool>>& messages) const {
        QTemporaryDir autre;
        const QString donnees = autre.path() + QStringLiteral("/Donnees/");
        QDir().mkpath(donnees);
        for (const char* f : {"ignore-mot.qdl", "ignore-entete.qdl"})
            QFile::copy(reps.Donnees() + QLatin1String(f), donnees + QLatin1String(f));
        TEncodageDecodage encodage;
        encodage.ChargerCharsets(kSourceEncodage + QLatin1Char('/'));
        TMonMimeDecode decodeur;
        decodeur.setEncodageDecodage(&encodage);
        decodeur.setRepDestination(autre.path() + QStringLiteral("/tmp/"));
        QDir().mkpath(autre.path() + QStringLiteral("/tmp"));
        TFiltreBayes filtre(donnees);
        for (const auto& [texte, spam] : messages)
            filtre.AppliquerBayes(filtre.DocAffichage, decodeur, true, true, texte, spam);
        filtre.SauverBase();
        return lire(donnees + QStringLiteral("bayes.qdl"));
    }
};

struct TEngin : testsupport::TEngin {
    QStringList avertissements;
    explicit TEngin(const TRepertoires& reps) : testsupport::TEngin(reps) {
        controleur.OnAvertissement = [this](const QString& t) { avertissements << t; };
        controleur.TimerSauve().setInterval(60000); // saves only when a test asks
    }
};

// Logs in through the proxy and retrieves every message; the client stays
// connected (QUIT is the caller's).
bool relever(TClientLignes& c, quint16 portProxy, const TServeurPOP3Script& amont, int nombre) {
    if (!c.connecter(portProxy) || !c.ligne().startsWith("+OK")) return false;
    if (!c.commande("USER alice@127.0.0.1|" + QByteArray::number(amont.port())).startsWith("+OK"))
        return false;
    if (!c.commande("PASS secret").startsWith("+OK")) return false;
    for (int i = 1; i <= nombre; ++i) {
        if (!c.commande("RETR " + QByteArray::number(i)).startsWith("+OK")) return false;
        if (c.jusquAuPoint().isNull()) return false;
    }
    return true;
}

// QUIT answered, then the client hangs up as a mail client does.
bool quitter(TClientLignes& c) {
    if (!c.commande("QUIT").startsWith("+OK")) return false;
    c.socket().disconnectFromHost();
    return true;
}

} // namespace

class TestMoteurReconstruction : public QObject {
    Q_OBJECT
private slots:
    // Mail fetched through the proxy, then the rebuild: "bayes.qdl" holds the
    // archived messages learned with their flags, and nothing else.
    void reconstructionDepuisLesMessagesReleves() {
        TMaisonBayes m;
        TEngin e(m.reps);
        QVERIFY(e.demarrer());
        TServeurPOP3Script amont;
        amont.messages = kMessages;
        QVERIFY(amont.demarrer());

        TClientLignes c;
        QVERIFY(relever(c, e.port(), amont, int(kMessages.size())));
        QVERIFY(quitter(c));
        QTRY_COMPARE(e.moteur.ServeurProxy().NbSessions(), 0);
        // The proxy's archive is closed with the last session, saved.
        QCOMPARE(e.moteur.MonDossierBisSynchro.Compte(), -1);

        const qint32 compte = e.moteur.GestionComptesBis1.Compte(0)->Numero;
        const auto archives = m.archive(compte);
        QCOMPARE(archives.size(), kMessages.size());
        QVERIFY(std::any_of(archives.begin(), archives.end(), [](auto& a) { return a.second; }));
        QVERIFY(std::any_of(archives.begin(), archives.end(), [](auto& a) { return !a.second; }));

        // Something learned that no archive holds must go.
        TFiltreBayes& f = *e.moteur.FiltreBayes();
        f.AppliquerBayes(f.DocReception, e.moteur.MonMimeDecodeReception, true, true,
                         "Subject: stray\r\n\r\nstray tokens archived nowhere\r\n", true);
        QVERIFY(f.SauverBase());

        QCOMPARE(e.moteur.BtnBayesienTotalClick(false), TReconstructionBayes::rrFait);
        const QByteArray attendu = m.baseApprise(archives);
        QVERIFY(attendu.size() > 100);
        QCOMPARE(lire(m.base()), attendu);
        QVERIFY(!f.Base().Modifie);
        QVERIFY(!f.CalculEnCours);
        // The base in memory is the rebuilt one: saving it again changes nothing.
        f.Base().Modifie = true;
        QVERIFY(f.SauverBase());
        QCOMPARE(lire(m.base()), attendu);
    }

    // While a client is connected the rebuild is refused with a beep and a
    // warning; nothing moves. Once it has quit, the rebuild runs.
    void refuseePendantUneSession() {
        TMaisonBayes m;
        TEngin e(m.reps);
        QVERIFY(e.demarrer());
        int bips = 0;
        e.moteur.ServeurProxy().OnBip = [&bips] { ++bips; };
        TServeurPOP3Script amont;
        amont.messages = kMessages.mid(0, 1);
        QVERIFY(amont.demarrer());

        // Connected only, then logged in with a message retrieved.
        for (bool connecteSeulement : {true, false}) {
            TClientLignes c;
            if (connecteSeulement) {
                QVERIFY(c.connecter(e.port()));
                QVERIFY(c.ligne().startsWith("+OK"));
            } else {
                QVERIFY(relever(c, e.port(), amont, 1));
            }
            e.avertissements.clear();
            const int avant = bips;
            const QByteArray baseAvant = lire(m.base());
            QCOMPARE(e.moteur.BtnBayesienTotalClick(false), TReconstructionBayes::rrRefuse);
            QCOMPARE(
                e.avertissements,
                QStringList{u"Impossible de calculer les filtres pendant une synchronisation"_qs});
            QCOMPARE(bips, avant + 1);
            QVERIFY(e.moteur.ServeurProxy().Ecoute());
            QCOMPARE(lire(m.base()), baseAvant);
            if (connecteSeulement)
                c.abandonner();
            else
                QVERIFY(quitter(c));
            QTRY_COMPARE(e.moteur.ServeurProxy().NbSessions(), 0);
        }
        QCOMPARE(e.moteur.BtnBayesienTotalClick(false), TReconstructionBayes::rrFait);
        QVERIFY(QFileInfo::exists(m.base()));
    }

    // During the rebuild the listener is closed, the controller reports the
    // engine busy and the progress is traced; after it the listener is back,
    // a client gets in and the save timer runs. A "no" leaves everything.
    void ecouteFermeePendantLeCalcul() {
        TMaisonBayes m;
        const qint32 compte = m.creerCompte("pop.test", "carol");
        m.archiver(compte, {{kMessages[0], false}, {kMessages[1], true}, {kMessages[2], true}});
        TEngin e(m.reps);
        QVERIFY(e.demarrer());
        QVERIFY(e.moteur.ServeurProxy().Ecoute());

        QStringList questions;
        e.moteur.OnQuestion = [&questions](const QString& q) {
            questions << q;
            return false;
        };
        QCOMPARE(e.moteur.BtnBayesienTotalClick(true), TReconstructionBayes::rrAnnule);
        QCOMPARE(questions.size(), 1);
        QVERIFY(questions[0].startsWith(u"Réinitialiser les filtres bayesiens ?"_qs));
        QVERIFY(!QFileInfo::exists(m.base()));
        QVERIFY(e.moteur.ServeurProxy().Ecoute());
        e.moteur.OnQuestion = nullptr; // no window: yes

        QStringList etats;
        int avancements = 0;
        bool fermeeToujours = true, occupeToujours = true;
        e.moteur.OnOccupe = [&etats](bool b) { etats << (b ? u"occupe"_qs : u"libre"_qs); };
        e.moteur.OnFinAvancement = [&etats] { etats << u"fin"_qs; };
        e.moteur.OnAvancement = [&](const QString&, const QString&) {
            ++avancements;
            fermeeToujours = fermeeToujours && !e.moteur.ServeurProxy().Ecoute();
            // Apply and Cancel do nothing meanwhile.
            occupeToujours = occupeToujours && !e.controleur.Annuler();
        };
        TTrace::instance().effacer();
        QCOMPARE(e.moteur.BtnBayesienTotalClick(true), TReconstructionBayes::rrFait);
        QVERIFY(avancements >= 2);
        QVERIFY(fermeeToujours);
        QVERIFY(occupeToujours);
        QCOMPARE(etats, (QStringList{u"occupe"_qs, u"fin"_qs, u"libre"_qs}));
        bool traceAvancement = false;
        for (const auto& l : TTrace::instance().lignes())
            traceAvancement = traceAvancement || l.texte.startsWith(u"Calcul bayesiens 1/1"_qs);
        QVERIFY(traceAvancement);

        QVERIFY(e.moteur.ServeurProxy().Ecoute());
        QVERIFY(e.controleur.TimerSauve().isActive());
        QVERIFY(e.controleur.Annuler());
        TClientLignes c;
        QVERIFY(c.connecter(e.port()));
        QVERIFY(c.ligne().startsWith("+OK"));
        QCOMPARE(lire(m.base()), m.baseApprise(m.archive(compte)));
    }

    // A message deleted on the review side leaves the archive at the next
    // save and is not learned by the rebuild.
    void messageSupprimeAvantReconstruction() {
        TMaisonBayes m;
        const qint32 compte = m.creerCompte("pop.test", "erin");
        m.archiver(compte, {{kMessages[0], false}, {kMessages[1], true}, {kMessages[2], true}});
        TEngin e(m.reps);
        QVERIFY(e.demarrer());
        TMonDossierBis& revue = e.moteur.MonDossierBis1;
        revue.Ouvrir(e.moteur.CompteNumero(compte));
        QCOMPARE(revue.NbMessage(), 3);
        revue.MarquerSupprime(*revue.Message(1));
        QVERIFY(revue.Ouvrir(nullptr));
        const auto restants = m.archive(compte);
        QCOMPARE(restants.size(), 2);
        QCOMPARE(restants[1].first, kMessages[2]);

        QCOMPARE(e.moteur.BtnBayesienTotalClick(false), TReconstructionBayes::rrFait);
        QCOMPARE(lire(m.base()), m.baseApprise(restants));
    }

    // A rebuilt base that cannot be written: the error is traced, the base in
    // memory is the previous one, and the listener and the timers are back.
    // After shutdown the button does nothing.
    void erreurRestaureTout() {
        TMaisonBayes m;
        const qint32 compte = m.creerCompte("pop.test", "frank");
        m.archiver(compte, {{kMessages[0], false}});
        TEngin e(m.reps);
        QVERIFY(e.demarrer());
        TFiltreBayes& f = *e.moteur.FiltreBayes();
        f.AppliquerBayes(f.DocReception, e.moteur.MonMimeDecodeReception, true, true,
                         "Subject: kept\r\n\r\nkeep these tokens\r\n", true);
        const int motsAvant = f.Base().NbMots();
        QVERIFY(motsAvant > 0);
        // The file's place and its backup's are taken by directories that
        // cannot be replaced, so no save can succeed.
        for (const QString& d : {m.base(), m.reps.Donnees() + QStringLiteral("bayes.bak")})
            QVERIFY(QDir().mkpath(d + QStringLiteral("/occupe")));

        TTrace::instance().effacer();
        QCOMPARE(e.moteur.BtnBayesienTotalClick(false), TReconstructionBayes::rrErreur);
        bool trace = false;
        for (const auto& l : TTrace::instance().lignes())
            trace = trace || l.texte.startsWith(u"Exception : BtnBayesienTotalClick : "_qs);
        QVERIFY(trace);
        QCOMPARE(f.Base().NbMots(), motsAvant);
        QVERIFY(!f.CalculEnCours);
        QVERIFY(e.moteur.ServeurProxy().Ecoute());
        QVERIFY(e.controleur.TimerSauve().isActive());

        e.controleur.Arreter();
        QVERIFY(!e.moteur.FiltreBayes());
        QCOMPARE(e.moteur.BtnBayesienTotalClick(false), TReconstructionBayes::rrIgnore);
    }

    // The start-up conversion runs at the deferred start when the settings
    // file is older, before the listener opens: the older store is imported
    // only from version 0, the base is rebuilt, and the file then says 2.
    void conversionAuDemarrage_data() {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<bool>("conversion");
        QTest::addColumn<int>("archives");
        QTest::newRow("0: import and rebuild") << QByteArray("0") << true << 3;
        QTest::newRow("1: rebuild only") << QByteArray("1") << true << 1;
        QTest::newRow("2: nothing") << QByteArray("2") << false << 1;
    }
    void conversionAuDemarrage() {
        QFETCH(QByteArray, version);
        QFETCH(bool, conversion);
        QFETCH(int, archives);
        TMaisonBayes m(version);
        const qint32 compte = m.creerCompte("pop.test", "dave");
        m.archiver(compte, {{kMessages[0], false}});
        const QString memo = m.reps.Installation + QStringLiteral("MemoMail/");
        const QByteArray prefixe = QByteArray::number(compte) + '-';
        QVERIFY(ecrire(memo + QLatin1String(prefixe + "s-20240102030405.txt"), kMessages[2]));
        QVERIFY(ecrire(memo + QLatin1String(prefixe + "b-20240101030405.txt"), kMessages[1]));

        TEngin e(m.reps);
        QVERIFY(e.demarrer());
        const QStringList& j = e.controleur.Journal();
        QCOMPARE(j.contains(u"ConvertirMemoMail"_qs), conversion);
        if (conversion) QVERIFY(j.indexOf(u"ConvertirMemoMail"_qs) < j.indexOf(u"OuvrirEcoute"_qs));
        QVERIFY(e.moteur.ServeurProxy().Ecoute());
        QCOMPARE(e.moteur.MonDossierBisSynchro.Compte(), -1);

        const auto archive = m.archive(compte);
        QCOMPARE(archive.size(), archives);
        if (archives == 3) {
            // In date order, the "b" one good, the "s" one spam.
            QCOMPARE(archive[1].first, kMessages[1]);
            QCOMPARE(archive[1].second, false);
            QCOMPARE(archive[2].first, kMessages[2]);
            QCOMPARE(archive[2].second, true);
        }
        if (conversion) {
            QCOMPARE(lire(m.base()), m.baseApprise(archive));
            QVERIFY(lire(m.reps.Ini()).contains("VersionInterne=2\r\n"));
        } else {
            QVERIFY(!QFileInfo::exists(m.base()));
        }
        QCOMPARE(e.moteur.Reglages().VersionInterne, 2);
    }
};

QTEST_GUILESS_MAIN(TestMoteurReconstruction)
#include "tst_moteur_reconstruction.moc"
