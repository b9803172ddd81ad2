// The full rebuild of the knowledge base from the archive, and the start-up
// conversion that imports the older store first.
#include "accounts/gestion_comptes_bis.h"
#include "accounts/mon_dossier_bis.h"
#include "bayes/filtre_bayes.h"
#include "bayes/reconstruction_bayes.h"
#include "core/config.h"
#include "core/date_time.h"
#include "core/safe_save.h"
#include "core/trace.h"
#include "mime/encodage_decodage.h"
#include "mime/mon_mime_decode.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using testsupport::ecrireFichier;
using testsupport::lireFichier;

namespace {

QByteArray fixture(const char* nom) {
    QFile f(QStringLiteral(KELVARIN_FIXTURES_DIR "/rebuild/") + QLatin1String(nom));
    if (!f.open(QIODevice::ReadOnly)) qFatal("fixture %s", nom);
    QByteArray t = f.readAll();
    t.replace("\r\n", "\n");
    t.replace("\n", "\r\n");
    return t;
}

// Tokens with their eight counts, then the two message counts.
QStringList decrire(TMonBayesDB& base) {
    QStringList r;
    for (const auto& e : base.Elements()) {
        const TCompteMot& s = e->CoteSpam;
        const TCompteMot& b = e->CoteBon;
        r << QStringLiteral("%1 %2/%3/%4/%5 %6/%7/%8/%9")
                 .arg(QString::fromLatin1(e->Mot))
                 .arg(s.Total)
                 .arg(s.EnTete)
                 .arg(s.Texte)
                 .arg(s.Html)
                 .arg(b.Total)
                 .arg(b.EnTete)
                 .arg(b.Texte)
                 .arg(b.Html);
    }
    r << QStringLiteral("spam=%1 bon=%2").arg(base.NbSpamAppris).arg(base.NbBonAppris);
    return r;
}

bool traceContient(const QString& texte) {
    for (const auto& l : TTrace::instance().lignes())
        if (l.texte.contains(texte)) return true;
    return false;
}

struct TArchive {
    const char* fixture;
    bool spam;
};

// A working directory with its accounts, the two archive components, the
// filter and the rebuild, every hook recorded.
struct TBanc {
    explicit TBanc(const QString& dossier)
        : racine(preparer(dossier)), filtre(racine + QStringLiteral("Donnees/")),
          reconstruction(filtre, comptes, synchro, affichage, decodeur) {
        comptes.OnInitRepertoire = [this](TGestionComptesBis&, QString& travail,
                                          QString& installation) {
            travail = racine;
            installation = racine;
        };
        synchro.setRepertoireDossiers(racine + QStringLiteral("Dossiers/"));
        affichage.setRepertoireDossiers(racine + QStringLiteral("Dossiers/"));
        encodage.ChargerCharsets(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage/"));
        decodeur.setEncodageDecodage(&encodage);
        decodeur.setRepDestination(racine + QStringLiteral("tmp"));
        reconstruction.RepertoireInstallation = racine;

        auto& r = reconstruction;
        r.NbSessionsOuvertes = [this] { return sessions; };
        r.OnQuestion = [this](const QString& q) {
            questions << q;
            return reponse;
        };
        r.OnRefus = [this](const QString& t) { refus << t; };
        r.OnOccupe = [this](bool b) { journal << (b ? u"occupe"_qs : u"libre"_qs); };
        r.OnAvancement = [this](const QString& l1, const QString& l2) {
            avancements << l1 + QStringLiteral(" | ") + l2;
            occupePendantAvancement = occupePendantAvancement && filtre.CalculEnCours &&
                                      journal.contains(u"fermer"_qs) &&
                                      !journal.contains(u"ouvrir"_qs);
        };
        r.OnFinAvancement = [this] { journal << u"fin"_qs; };
        r.FermerEcoute = [this] {
            journal << u"fermer"_qs;
            return ecouteOuverte;
        };
        r.OuvrirEcoute = [this] { journal << u"ouvrir"_qs; };
        r.ViderAffichage = [this] { journal << u"vider"_qs; };
        r.RafraichirAffichage = [this] { journal << u"rafraichir"_qs; };
        r.DemarrerTimerSauve = [this] { journal << u"timer"_qs; };
        r.EcrireReglages = [this] { journal << u"reglages"_qs; };
    }

    static QString preparer(const QString& dossier) {
        const QString r = dossier + QLatin1Char('/');
        for (const char* d : {"Donnees", "Dossiers", "tmp"})
            QDir().mkpath(r + QLatin1String(d));
        return r;
    }

    QString cheminBase() const { return racine + QStringLiteral("Donnees/bayes.qdl"); }

    TUnCompteBis* compte(const char* serveur, const char* login) {
        return comptes.ChercherOuCreer(QByteArrayView(serveur), QByteArrayView(login));
    }

    // Archives the messages in a component of its own, on consecutive days.
    void archiver(TUnCompteBis* c, std::initializer_list<TArchive> messages) {
        TMonDossierBis d;
        d.setRepertoireDossiers(racine + QStringLiteral("Dossiers/"));
        d.Ouvrir(c);
        int jour = 14;
        for (const TArchive& a : messages) {
            TUnMessageMem m;
            m.Spam = a.spam;
            m.TestBayes = true;
            m.Reception = datetime::encoder(2003, 1, jour++, 10, 30);
            QString erreur;
            QVERIFY2(d.AjouterMessage(m, fixture(a.fixture), nullptr, &erreur), qPrintable(erreur));
        }
        QVERIFY(d.Ouvrir(nullptr));
    }

    // Learns a message straight into the live base.
    void apprendre(const char* nom, bool spam) {
        filtre.AppliquerBayes(filtre.DocReception, decodeur, true, true, fixture(nom), spam);
    }

    QString racine;
    TGestionComptesBis comptes;
    TMonDossierBis synchro;
    TMonDossierBis affichage;
    TEncodageDecodage encodage;
    TMonMimeDecode decodeur;
    TFiltreBayes filtre;
    TReconstructionBayes reconstruction;

    QStringList journal;
    QStringList avancements;
    QStringList questions;
    QStringList refus;
    int sessions = 0;
    bool reponse = true;
    bool ecouteOuverte = true;
    bool occupePendantAvancement = true;
};

const QStringList kRetourNormal = {u"rafraichir"_qs, u"timer"_qs, u"fin"_qs, u"ouvrir"_qs,
                                   u"libre"_qs};

} // namespace

class TstReconstruction : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_rep.emplace().isValid());
        TTrace::instance().effacer();
    }

    void reconstruitCommeUnApprentissageDirect();
    void erreurLaisseLaBasePrecedente_data();
    void erreurLaisseLaBasePrecedente();
    void decisionAvantLeCalcul_data();
    void decisionAvantLeCalcul();
    void sansCompteBaseVideSansFichier();
    void texteIntrouvableIgnore();
    void conversionAuDemarrage_data();
    void conversionAuDemarrage();
    void importSansReconstructionSimultanee();
    void secondeReconstructionGardeLesMessagesRecus();

private:
    std::optional<QTemporaryDir> m_rep;
};

void TstReconstruction::reconstruitCommeUnApprentissageDirect() {
    TBanc banc(m_rep->path());
    // Header names the user ignores are ignored by the rebuild too.
    ecrireFichier(banc.racine + QStringLiteral("Donnees/ignore-entete.qdl"), "received\r\n");
    banc.filtre.Base().ChargerListesIgnorees();
    TUnCompteBis* a = banc.compte("pop.exemple.org", "paul");
    TUnCompteBis* b = banc.compte("pop.autre.example", "marie");
    banc.archiver(a, {{"bon-texte.eml", false}, {"spam-html.eml", true}});
    banc.archiver(
        b, {{"spam-base64.eml", true}, {"bon-multipart.eml", false}, {"bon-supprime.eml", false}});
    // The previous base, on disk: none of it survives.
    banc.apprendre("bon-supprime.eml", true);
    QVERIFY(banc.filtre.SauverBase());
    // Deleted on the review page, not yet saved.
    banc.affichage.Ouvrir(b);
    QCOMPARE(banc.affichage.NbMessage(), 3);
    banc.affichage.MarquerSupprime(*banc.affichage.Message(2));

    // The same messages learned one by one into a base of its own.
    QTemporaryDir autre;
    QDir().mkpath(autre.filePath(QStringLiteral("Donnees")));
    QVERIFY(QFile::copy(banc.racine + QStringLiteral("Donnees/ignore-entete.qdl"),
                        autre.filePath(QStringLiteral("Donnees/ignore-entete.qdl"))));
    TFiltreBayes reference(autre.filePath(QStringLiteral("Donnees")));
    for (const TArchive& m :
         {TArchive{"bon-texte.eml", false}, TArchive{"spam-html.eml", true},
          TArchive{"spam-base64.eml", true}, TArchive{"bon-multipart.eml", false}}) {
        reference.AppliquerBayes(reference.DocAffichage, banc.decodeur, true, true,
                                 fixture(m.fixture), m.spam);
    }
    QVERIFY(reference.SauverBase());

    // Small batches, so merges happen inside an account and across two.
    banc.reconstruction.TailleLot = 2;
    banc.reconstruction.PasAvancement = 2;
    QCOMPARE(banc.reconstruction.BtnBayesienTotalClick(false), TReconstructionBayes::rrFait);

    TMonBayesDB& base = banc.filtre.Base();
    QCOMPARE(decrire(base), decrire(reference.Base()));
    QVERIFY(!base.Trouver("zanzibarien"));
    QVERIFY(base.Trouver("cascades"));
    QVERIFY(!base.Modifie);
    QCOMPARE(lireFichier(banc.cheminBase(), "<absent>"),
             lireFichier(autre.filePath(QStringLiteral("Donnees/bayes.qdl"))));
    QVERIFY(!QFile::exists(sauvegarde::cheminBak(banc.cheminBase())));

    // Accounts in the accounts file's order: "pop.autre.example" first.
    QCOMPARE(banc.avancements, QStringList({
                                   u"Calcul bayesiens 1/2 | "_qs,
                                   u"Calcul bayesiens 1/2 | message 1/3"_qs,
                                   u"Calcul bayesiens 1/2 | fusion des listes..."_qs,
                                   u"Calcul bayesiens 1/2 | message 2/3"_qs,
                                   u"Calcul bayesiens 1/2 | message 3/3"_qs,
                                   u"Calcul bayesiens 2/2 | "_qs,
                                   u"Calcul bayesiens 2/2 | message 1/2"_qs,
                                   u"Calcul bayesiens 2/2 | fusion des listes..."_qs,
                                   u"Calcul bayesiens 2/2 | message 2/2"_qs,
                                   u"Calcul bayesiens 2/2 | fusion des listes..."_qs,
                               }));
    QVERIFY(banc.occupePendantAvancement);
    QCOMPARE(banc.journal, QStringList({u"occupe"_qs, u"fermer"_qs, u"vider"_qs}) + kRetourNormal);
    QVERIFY(!banc.filtre.CalculEnCours);
    QVERIFY(banc.questions.isEmpty());

    // The deleted record left the saved index; its text stays in the data files.
    TMonDossierBis relu;
    relu.setRepertoireDossiers(banc.racine + QStringLiteral("Dossiers/"));
    relu.Ouvrir(b);
    QCOMPARE(relu.NbMessage(), 2);
}

void TstReconstruction::erreurLaisseLaBasePrecedente_data() {
    QTest::addColumn<QString>("panne");
    QTest::newRow("a data file that cannot be opened") << u"donnees"_qs;
    QTest::newRow("an index that cannot be read") << u"index"_qs;
    QTest::newRow("the save of the rebuilt base fails") << u"sauvegarde"_qs;
    QTest::newRow("the first account's archive cannot be saved") << u"archive"_qs;
}

void TstReconstruction::erreurLaisseLaBasePrecedente() {
    QFETCH(QString, panne);
    TBanc banc(m_rep->path());
    TUnCompteBis* a = banc.compte("pop.exemple.org", "paul");
    TUnCompteBis* b = banc.compte("pop.autre.example", "marie");
    banc.archiver(a, {{"bon-texte.eml", false}, {"spam-html.eml", true}});
    banc.archiver(b, {{"spam-base64.eml", true}, {"bon-multipart.eml", false}});
    banc.apprendre("bon-supprime.eml", false);
    QVERIFY(banc.filtre.SauverBase());
    // Learned since the last save: must survive in memory too.
    banc.apprendre("spam-html.eml", true);
    const QByteArray fichierAvant = lireFichier(banc.cheminBase(), "<absent>");
    const QStringList baseAvant = decrire(banc.filtre.Base());

    // The second account breaks after the first was learned.
    const QString dossierB = banc.racine + QStringLiteral("Dossiers/") + QString::number(b->Numero);
    if (panne == u"donnees"_qs) {
        const QStringList news = QDir(dossierB).entryList({QStringLiteral("*.news")}, QDir::Files);
        QCOMPARE(news.size(), 2);
        for (const QString& n : news) {
            QVERIFY(QFile::remove(dossierB + QLatin1Char('/') + n));
            QVERIFY(QDir().mkpath(dossierB + QLatin1Char('/') + n));
        }
    } else if (panne == u"index"_qs) {
        QVERIFY(QFile::remove(dossierB + QStringLiteral("-var.qdl")));
        QVERIFY(QDir().mkpath(dossierB + QStringLiteral("-var.qdl")));
    } else if (panne == u"archive"_qs) {
        // Account b is walked first; its index is saved after the walk and
        // before a opens, and cannot be: a must not be learned from b's list.
        QVERIFY(QDir().mkpath(dossierB + QStringLiteral("-var.qdl.tmp")));
    } else {
        banc.filtre.Base().EcrireFichier = [](QIODevice& d, const QByteArray& contenu) {
            d.write(contenu.left(10));
            return false;
        };
    }
    banc.reconstruction.TailleLot = 1;

    QCOMPARE(banc.reconstruction.BtnBayesienTotalClick(false), TReconstructionBayes::rrErreur);
    QVERIFY(!banc.reconstruction.DerniereErreur().isEmpty());
    QVERIFY(traceContient(QStringLiteral("Exception : BtnBayesienTotalClick : ")));
    QCOMPARE(decrire(banc.filtre.Base()), baseAvant);
    QVERIFY(banc.filtre.Base().Modifie);
    QCOMPARE(lireFichier(banc.cheminBase(), "<absent>"), fichierAvant);
    QVERIFY(!QFile::exists(sauvegarde::cheminBak(banc.cheminBase())));
    QVERIFY(!QFile::exists(sauvegarde::cheminTemporaire(banc.cheminBase())));
    QCOMPARE(banc.journal, QStringList({u"occupe"_qs, u"fermer"_qs, u"vider"_qs}) + kRetourNormal);
    QVERIFY(!banc.filtre.CalculEnCours);

    // Once the cause is gone, the base still saves what it held.
    banc.filtre.Base().EcrireFichier = nullptr;
    QVERIFY(banc.filtre.SauverBase());
    QVERIFY(lireFichier(banc.cheminBase(), "<absent>") != fichierAvant);
}

void TstReconstruction::decisionAvantLeCalcul_data() {
    QTest::addColumn<QString>("cas");
    QTest::addColumn<int>("attendu");
    QTest::addColumn<int>("nbQuestions");
    QTest::newRow("a client session is open")
        << u"session"_qs << int(TReconstructionBayes::rrRefuse) << 0;
    QTest::newRow("the proxy has an archive open")
        << u"archive"_qs << int(TReconstructionBayes::rrRefuse) << 0;
    QTest::newRow("a rebuild is already running")
        << u"encours"_qs << int(TReconstructionBayes::rrIgnore) << 0;
    QTest::newRow("the user answers no") << u"non"_qs << int(TReconstructionBayes::rrAnnule) << 1;
    QTest::newRow("the user answers yes") << u"oui"_qs << int(TReconstructionBayes::rrFait) << 1;
}

void TstReconstruction::decisionAvantLeCalcul() {
    QFETCH(QString, cas);
    QFETCH(int, attendu);
    QFETCH(int, nbQuestions);
    TBanc banc(m_rep->path());
    TUnCompteBis* a = banc.compte("pop.exemple.org", "paul");
    banc.archiver(a, {{"spam-html.eml", true}, {"bon-texte.eml", false}});
    banc.apprendre("bon-supprime.eml", false);
    QVERIFY(banc.filtre.SauverBase());
    const QByteArray fichierAvant = lireFichier(banc.cheminBase(), "<absent>");

    bool avecQuestion = false;
    if (cas == u"session"_qs) banc.sessions = 1;
    if (cas == u"archive"_qs) banc.synchro.Ouvrir(a);
    if (cas == u"encours"_qs) banc.filtre.CalculEnCours = true;
    if (cas == u"non"_qs || cas == u"oui"_qs) {
        avecQuestion = true;
        banc.reponse = cas == u"oui"_qs;
    }

    QCOMPARE(int(banc.reconstruction.BtnBayesienTotalClick(avecQuestion)), attendu);
    QCOMPARE(banc.questions.size(), nbQuestions);
    if (nbQuestions)
        QVERIFY(banc.questions.first().startsWith(u"Réinitialiser les filtres bayesiens ?\r\n"_qs));
    if (attendu == TReconstructionBayes::rrRefuse) {
        QCOMPARE(banc.refus,
                 QStringList(u"Impossible de calculer les filtres pendant une synchronisation"_qs));
    } else {
        QVERIFY(banc.refus.isEmpty());
    }
    if (attendu == TReconstructionBayes::rrFait) {
        QCOMPARE(banc.filtre.Base().NbSpamAppris, 1);
        QCOMPARE(banc.filtre.Base().NbBonAppris, 1);
    } else {
        // Nothing was touched: no hook ran and the file is as it was.
        QVERIFY(banc.journal.isEmpty());
        QCOMPARE(lireFichier(banc.cheminBase(), "<absent>"), fichierAvant);
        QCOMPARE(banc.filtre.CalculEnCours, cas == u"encours"_qs);
    }
}

void TstReconstruction::sansCompteBaseVideSansFichier() {
    TBanc banc(m_rep->path());
    banc.apprendre("spam-html.eml", true);
    QVERIFY(banc.filtre.SauverBase());
    // A leftover backup would bring the old base back at the next load.
    QVERIFY(QFile::copy(banc.cheminBase(), sauvegarde::cheminBak(banc.cheminBase())));

    QCOMPARE(banc.reconstruction.BtnBayesienTotalClick(false), TReconstructionBayes::rrFait);
    QCOMPARE(banc.filtre.Base().NbMots(), 0);
    QCOMPARE(banc.filtre.Base().NbSpamAppris, 0);
    QVERIFY(!QFile::exists(banc.cheminBase()));
    QVERIFY(!QFile::exists(sauvegarde::cheminBak(banc.cheminBase())));
    QCOMPARE(banc.avancements, QStringList(u" | fusion des listes..."_qs));
    banc.filtre.ChargerBase();
    QCOMPARE(banc.filtre.Base().NbMots(), 0);
    QVERIFY(banc.filtre.SauverBase());
    QVERIFY(!QFile::exists(banc.cheminBase()));
}

void TstReconstruction::texteIntrouvableIgnore() {
    TBanc banc(m_rep->path());
    TUnCompteBis* a = banc.compte("pop.exemple.org", "paul");
    banc.archiver(a,
                  {{"spam-html.eml", true}, {"bon-supprime.eml", false}, {"bon-texte.eml", false}});
    // The second day's data file is gone: that message cannot be learned, the others are.
    const QString dossier = banc.racine + QStringLiteral("Dossiers/") + QString::number(a->Numero);
    QVERIFY(QFile::remove(dossier + QStringLiteral("/20030115-1.news")));

    QCOMPARE(banc.reconstruction.BtnBayesienTotalClick(false), TReconstructionBayes::rrFait);
    QCOMPARE(banc.filtre.Base().NbSpamAppris, 1);
    QCOMPARE(banc.filtre.Base().NbBonAppris, 1);
    QVERIFY(!banc.filtre.Base().Trouver("zanzibarien"));
    QVERIFY(traceContient(QStringLiteral("message 2 introuvable")));
}

void TstReconstruction::conversionAuDemarrage_data() {
    QTest::addColumn<int>("versionInterne");
    QTest::addColumn<bool>("importe");
    QTest::newRow("older store imported, then rebuilt") << 0 << true;
    QTest::newRow("already imported: rebuilt only") << 1 << false;
}

void TstReconstruction::conversionAuDemarrage() {
    QFETCH(int, versionInterne);
    QFETCH(bool, importe);
    TBanc banc(m_rep->path());
    TUnCompteBis* a = banc.compte("pop.exemple.org", "paul");
    TUnCompteBis* b = banc.compte("pop.autre.example", "marie");
    a->FiltreBayes = false;
    const QString memo = banc.racine + QStringLiteral("MemoMail/");
    QVERIFY(QDir().mkpath(memo));
    const QString na = QString::number(a->Numero), nb = QString::number(b->Numero);
    // Named account, "-", the old verdict, one character, then the date.
    ecrireFichier(memo + na + QStringLiteral("-s_20030115120000.txt"), fixture("spam-html.eml"));
    ecrireFichier(memo + na + QStringLiteral("-b_20030114090000.txt"), fixture("bon-texte.eml"));
    ecrireFichier(memo + na + QStringLiteral("-x_2003011X000000.txt"), fixture("bon-supprime.eml"));
    ecrireFichier(memo + nb + QStringLiteral("-n_20030116080000.txt"), fixture("spam-base64.eml"));
    // Another account's file, and a file that is not a message.
    ecrireFichier(memo + na + nb + QStringLiteral("-s_20030101000000.txt"),
                  fixture("spam-html.eml"));
    ecrireFichier(memo + na + QStringLiteral("-s_20030101000000.log"), "journal");

    // At start-up the listener is not open yet: the rebuild must not open it.
    banc.ecouteOuverte = false;
    const int ancienneVersion = Config().VersionInterne;
    Config().VersionInterne = versionInterne;
    const auto resultat = banc.reconstruction.ConvertirMemoMail();
    const int versionApres = Config().VersionInterne;
    Config().VersionInterne = ancienneVersion;

    QCOMPARE(resultat, TReconstructionBayes::rrFait);
    QCOMPARE(versionApres, 2);
    QCOMPARE(banc.journal.count(u"reglages"_qs), 1);
    QCOMPARE(banc.journal.last(), u"fin"_qs);
    QVERIFY(!banc.journal.contains(u"ouvrir"_qs));
    QCOMPARE(banc.synchro.Compte(), -1);
    QCOMPARE(banc.avancements.contains(u"Etape 2/2 | "_qs), importe);

    TMonDossierBis d;
    d.setRepertoireDossiers(banc.racine + QStringLiteral("Dossiers/"));
    d.Ouvrir(a);
    if (!importe) {
        QCOMPARE(d.NbMessage(), 0);
        QCOMPARE(banc.filtre.Base().NbMots(), 0);
        return;
    }
    struct TAttendu {
        const char* fixture;
        quint8 drapeaux;
        TDateTime reception;
    };
    const quint8 ip = TUnMessageMem::fmTestIP;
    const TAttendu attendus[] = {
        {"bon-texte.eml", quint8(ip | TUnMessageMem::fmListeBlanche),
         datetime::encoder(2003, 1, 14, 9, 0, 0)},
        {"spam-html.eml", quint8(ip | TUnMessageMem::fmSpam | TUnMessageMem::fmSpamIP),
         datetime::encoder(2003, 1, 15, 12, 0, 0)},
        {"bon-supprime.eml", ip, 0},
    };
    QCOMPARE(d.NbMessage(), 3);
    for (int i = 0; i < 3; ++i) {
        const TUnMessageMem& m = *d.Message(i);
        const QByteArray texte = fixture(attendus[i].fixture);
        QCOMPARE(m.Drapeaux(), attendus[i].drapeaux);
        QCOMPARE(m.Reception, attendus[i].reception);
        QCOMPARE(m.ProbaBayes, -1);
        QCOMPARE(m.Taille, texte.size());
        QByteArray lu;
        QVERIFY(d.LireTexte(m, lu, false));
        QCOMPARE(lu, texte);
        QVERIFY(d.LireTexte(m, lu, true));
        QCOMPARE(lu, texte.left(texte.indexOf("\r\n\r\n") + 4));
    }
    QCOMPARE(d.Message(0)->Sujet, QByteArray("=?iso-8859-1?Q?R=E9union_de_jeudi?="));
    QCOMPARE(d.Message(0)->Emetteur, QByteArray("Claire Dubois <claire@exemple.fr>"));
    QCOMPARE(d.Message(2)->Sujet, QByteArray("Voyage zanzibarien"));

    d.Ouvrir(b);
    QCOMPARE(d.NbMessage(), 1);
    QCOMPARE(d.Message(0)->Drapeaux(),
             quint8(ip | TUnMessageMem::fmTestBayes | TUnMessageMem::fmListeNoire |
                    TUnMessageMem::fmSpam | TUnMessageMem::fmSpamIP));

    // The imported messages were learned by the rebuild.
    QCOMPARE(banc.filtre.Base().NbSpamAppris, 2);
    QCOMPARE(banc.filtre.Base().NbBonAppris, 2);
    QVERIFY(banc.filtre.Base().Trouver("zanzibarien"));
    QVERIFY(QFile::exists(banc.cheminBase()));
}

void TstReconstruction::importSansReconstructionSimultanee() {
    // The import's progress lines let events run: a click on the rebuild
    // button then must be ignored, not start a walk beside the import.
    TBanc banc(m_rep->path());
    TUnCompteBis* a = banc.compte("pop.exemple.org", "paul");
    const QString memo = banc.racine + QStringLiteral("MemoMail/");
    QVERIFY(QDir().mkpath(memo));
    ecrireFichier(memo + QString::number(a->Numero) + QStringLiteral("-s_20030115120000.txt"),
                  fixture("spam-html.eml"));
    QList<int> pendantImport;
    auto avancement = banc.reconstruction.OnAvancement;
    banc.reconstruction.OnAvancement = [&](const QString& l1, const QString& l2) {
        avancement(l1, l2);
        if (l1.startsWith(u"Etape"_qs))
            pendantImport << int(banc.reconstruction.BtnBayesienTotalClick(false));
    };
    QCOMPARE(banc.reconstruction.ImporterMemoMail(memo), 1);
    QCOMPARE(pendantImport, QList<int>{int(TReconstructionBayes::rrIgnore)});
    QVERIFY(!banc.filtre.CalculEnCours);
    QVERIFY(banc.journal.isEmpty());
    QVERIFY(banc.refus.isEmpty());

    // Nor does an import start inside a running rebuild.
    banc.filtre.CalculEnCours = true;
    QCOMPARE(banc.reconstruction.ImporterMemoMail(memo), 0);
    QVERIFY(banc.filtre.CalculEnCours);
}

// The review side still holds the account of the first rebuild when mail is
// archived through the proxy side: the second rebuild learns and keeps it all.
void TstReconstruction::secondeReconstructionGardeLesMessagesRecus() {
    TBanc banc(m_rep->path());
    TUnCompteBis* a = banc.compte("pop.exemple.org", "paul");
    banc.archiver(a,
                  {{"bon-texte.eml", false}, {"spam-html.eml", true}, {"spam-base64.eml", true}});
    QCOMPARE(banc.reconstruction.BtnBayesienTotalClick(false), TReconstructionBayes::rrFait);
    QCOMPARE(banc.affichage.Compte(), a->Numero);
    banc.archiver(a, {{"bon-multipart.eml", false}, {"bon-supprime.eml", false}});
    QCOMPARE(banc.reconstruction.BtnBayesienTotalClick(false), TReconstructionBayes::rrFait);
    QCOMPARE(banc.filtre.Base().NbSpamAppris + banc.filtre.Base().NbBonAppris, 5);
    TMonDossierBis relu;
    relu.setRepertoireDossiers(banc.racine + QStringLiteral("Dossiers/"));
    relu.Ouvrir(a);
    QCOMPARE(relu.NbMessage(), 5);
}

QTEST_GUILESS_MAIN(TstReconstruction)
#include "tst_reconstruction.moc"
