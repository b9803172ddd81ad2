// The statistics table over an archive written by the archive component: the
// periods' start dates, day rows at the midnight edges, one column per
// message, "Depuis le début" moving the start, the cells the list paints, the
// program's own wiring, and `kelvarin --stats` run beside a running copy.

#include "accounts/gestion_comptes_bis.h"
#include "accounts/mon_dossier_bis.h"
#include "pages/commande_stats.h"
#include "pages/statistiques.h"
#include "tests/support/kelvarin_process.h"
#include "tests/support/moteur/banc_moteur.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

using testsupport::TBancMoteur;
using testsupport::TKelvarinProcess;

namespace {

TDateTime instant(QDate jour, int h = 0, int m = 0, int s = 0) {
    return datetime::encoder(jour.year(), jour.month(), jour.day(), h, m, s);
}

enum TGenre { Normal, Spam, Blanche, BlancheEtSpam, Noire, HorsDestNoire };

struct TMessageFixture {
    int compte; // 0: alice, 1: bruno
    int jour;   // relative to today
    int h, m, s;
    TGenre genre;
};

// Around today: the midnight edges, a white-listed spam, a message outside
// the recipient list that a black list also caught, and a message of
// tomorrow that no period ending today may count.
const TMessageFixture kFixture[] = {
    {0, 0, 8, 0, 0, Normal},          {0, 0, 23, 59, 59, Spam}, {0, 1, 0, 0, 0, Spam},
    {0, -1, 12, 0, 0, BlancheEtSpam}, {0, -1, 0, 0, 0, Noire},  {0, -3, 10, 0, 0, HorsDestNoire},
    {0, -10, 9, 30, 0, Spam},         {1, 0, 9, 0, 0, Spam},    {1, -5, 14, 0, 0, Normal},
    {1, -1, 23, 59, 59, Spam},
};

// Writes both accounts and their archives through the program's components;
// `numeros` gets the accounts' numbers.
void ecrireFixture(TGestionComptesBis& comptes, TMonDossierBis& archive, QDate aujourdhui,
                   QList<qint32>& numeros) {
    PUnCompteBis alice = comptes.ChercherOuCreer("pop.exemple.fr", "alice");
    alice->Nom = "Alice perso";
    PUnCompteBis bruno = comptes.ChercherOuCreer("mail.exemple.org", "bruno");
    comptes.Trier();
    numeros = {alice->Numero, bruno->Numero};
    for (int k = 0; k < 2; ++k) {
        archive.Ouvrir(k == 0 ? alice : bruno);
        int n = 0;
        for (const TMessageFixture& f : kFixture) {
            if (f.compte != k) continue;
            TUnMessageMem m;
            m.Reception = instant(aujourdhui.addDays(f.jour), f.h, f.m, f.s);
            m.Sujet = "message " + QByteArray::number(++n);
            m.Spam = f.genre == Spam || f.genre == BlancheEtSpam;
            m.ListeBlanche = f.genre == Blanche || f.genre == BlancheEtSpam;
            m.ListeNoire = f.genre == Noire || f.genre == HorsDestNoire;
            m.HorsDestinataire = f.genre == HorsDestNoire;
            QString erreur;
            QVERIFY2(archive.AjouterMessage(m, "Subject: " + m.Sujet + "\r\n\r\ntexte\r\n", nullptr,
                                            &erreur),
                     qPrintable(erreur));
        }
    }
    QVERIFY(archive.Fermer());
}

using TCompteurs = TCompteursStats;
TCompteurs c(qint32 m, qint32 ps, qint32 s, qint32 b, qint32 n, qint32 e) {
    return {m, ps, s, b, n, e};
}

const QDate kAujourdhui(2026, 3, 18); // a Wednesday

QString iso(QDate d) {
    return d.toString(Qt::ISODate);
}

QStringList textes(const std::vector<const char*>& l) {
    QStringList r;
    for (const char* x : l)
        r << QString::fromUtf8(x);
    return r;
}

} // namespace

class TstStatistiques : public QObject {
    Q_OBJECT

    std::unique_ptr<TBancMoteur> m_banc;
    QList<qint32> m_numeros;

    // The page's engine over the program's assembly, today fixed.
    std::unique_ptr<TStatistiques> stats() {
        auto s = std::make_unique<TStatistiques>();
        statistiques::Brancher(*s, m_banc->Moteur());
        s->Aujourdhui = [] { return kAujourdhui; };
        return s;
    }

private slots:
    void init() {
        m_banc = std::make_unique<TBancMoteur>();
        QVERIFY(m_banc->Demarrer());
        TMoteur& mo = m_banc->Moteur();
        ecrireFixture(mo.GestionComptesBis1, mo.MonDossierBisSynchro, kAujourdhui, m_numeros);
    }
    void cleanup() { m_banc.reset(); }

    void debutsDesPeriodes_data();
    void debutsDesPeriodes();
    void periodeEtComptes_data();
    void periodeEtComptes();
    void depuisLeDebut();
    void finAvantDebut();
    void cellules();
    void branchementDuMoteur();
    void indexIllisible();
    void commandeStats();
};

void TstStatistiques::debutsDesPeriodes_data() {
    QTest::addColumn<QDate>("aujourdhui");
    QTest::addColumn<QStringList>("debuts"); // periods 0 to 15
    // Month arithmetic keeps the day or falls back to the month's last one;
    // the current week starts on Monday.
    QTest::newRow("mercredi 31 mars (mois courts)")
        << QDate(2027, 3, 31)
        << textes({"2027-03-31", "2027-03-30", "2027-03-29", "2027-03-28", "2027-03-27",
                   "2027-03-26", "2027-03-25", "2027-03-18", "2027-03-11", "2027-03-04",
                   "2027-02-28", "2027-01-31", "2026-12-31", "2027-03-29", "2027-03-01",
                   "2024-07-04"});
    QTest::newRow("dimanche 31 mars bissextile")
        << QDate(2024, 3, 31)
        << textes({"2024-03-31", "2024-03-30", "2024-03-29", "2024-03-28", "2024-03-27",
                   "2024-03-26", "2024-03-25", "2024-03-18", "2024-03-11", "2024-03-04",
                   "2024-02-29", "2024-01-31", "2023-12-31", "2024-03-25", "2024-03-01",
                   "2021-07-05"});
    QTest::newRow("lundi 1er janvier")
        << QDate(2029, 1, 1)
        << textes({"2029-01-01", "2028-12-31", "2028-12-30", "2028-12-29", "2028-12-28",
                   "2028-12-27", "2028-12-26", "2028-12-19", "2028-12-12", "2028-12-05",
                   "2028-12-01", "2028-11-01", "2028-10-01", "2029-01-01", "2029-01-01",
                   "2026-04-07"});
}

void TstStatistiques::debutsDesPeriodes() {
    QFETCH(QDate, aujourdhui);
    QFETCH(QStringList, debuts);
    for (int p = 0; p < debuts.size(); ++p)
        QVERIFY2(iso(TStatistiques::DebutPeriode(p, aujourdhui)) == debuts[p],
                 qPrintable(QStringLiteral("période %1 : %2")
                                .arg(p)
                                .arg(iso(TStatistiques::DebutPeriode(p, aujourdhui)))));
    QVERIFY(!TStatistiques::DebutPeriode(TStatistiques::psAutrePeriode, aujourdhui).isValid());
    QCOMPARE(TStatistiques::LibellesPeriodes().size(), TStatistiques::kNbPeriodes);
}

void TstStatistiques::periodeEtComptes_data() {
    QTest::addColumn<int>("periode");
    QTest::addColumn<int>("compte");              // -1: all, else index in the fixture
    QTest::addColumn<QList<TCompteurs>>("jours"); // from the start day
    QTest::addColumn<TCompteurs>("moyenne");
    QTest::addColumn<TCompteurs>("total");

    // Today: 8:00 and 23:59:59 count, tomorrow 0:00 does not.
    QTest::newRow("aujourd'hui, tous") << 0 << -1 << QList<TCompteurs>{c(3, 1, 2, 0, 0, 0)}
                                       << c(3, 1, 2, 0, 0, 0) << c(3, 1, 2, 0, 0, 0);
    // Yesterday 0:00 counts; white-listed spam counts as white list only.
    QTest::newRow("2 jours, alice")
        << 1 << 0 << QList<TCompteurs>{c(2, 0, 0, 1, 1, 0), c(2, 1, 1, 0, 0, 0)}
        << c(2, 0, 0, 0, 0, 0) << c(4, 1, 1, 1, 1, 0);
    // Outside the recipients and black-listed: "emetteur".
    QTest::newRow("4 jours, alice") << 3 << 0
                                    << QList<TCompteurs>{c(1, 0, 0, 0, 0, 1), c(0, 0, 0, 0, 0, 0),
                                                         c(2, 0, 0, 1, 1, 0), c(2, 1, 1, 0, 0, 0)}
                                    << c(1, 0, 0, 0, 0, 0) << c(5, 1, 1, 1, 1, 1);
    QTest::newRow("6 jours, bruno")
        << 5 << 1
        << QList<TCompteurs>{c(1, 1, 0, 0, 0, 0), c(0, 0, 0, 0, 0, 0), c(0, 0, 0, 0, 0, 0),
                             c(0, 0, 0, 0, 0, 0), c(1, 0, 1, 0, 0, 0), c(1, 0, 1, 0, 0, 0)}
        << c(0, 0, 0, 0, 0, 0) << c(3, 1, 2, 0, 0, 0);
}

void TstStatistiques::periodeEtComptes() {
    QFETCH(int, periode);
    QFETCH(int, compte);
    QFETCH(QList<TCompteurs>, jours);
    QFETCH(TCompteurs, moyenne);
    QFETCH(TCompteurs, total);
    auto s = stats();
    if (compte < 0)
        s->ChoisirCompte(TStatistiques::ccTous);
    else
        s->ChoisirCompte(TStatistiques::ccUn, m_numeros[compte]);
    QCOMPARE(s->ChoisirPeriode(periode), TStatistiques::rsCalcule);
    QCOMPARE(s->PremierJour(), TStatistiques::DebutPeriode(periode, kAujourdhui));
    QCOMPARE(QList<TCompteurs>(s->Jours().begin(), s->Jours().end()), jours);
    QCOMPARE(s->Moyenne(), moyenne);
    QCOMPARE(s->Total(), total);
    QCOMPARE(s->NbLignesListe(), int(jours.size()) + 3);
}

void TstStatistiques::depuisLeDebut() {
    auto s = stats();
    // Nothing chosen: an empty table with its heading only.
    QCOMPARE(s->ChoisirPeriode(TStatistiques::psDepuisLeDebut), TStatistiques::rsCalcule);
    QVERIFY(s->TableVide());
    QCOMPARE(s->NbLignesListe(), 1);

    s->ChoisirCompte(TStatistiques::ccTous);
    QCOMPARE(s->ChoisirPeriode(TStatistiques::psDepuisLeDebut), TStatistiques::rsCalcule);
    // The table starts at the first message (alice, ten days ago, 9:30) and
    // the start date moves there with its time.
    const TDateTime premier = instant(kAujourdhui.addDays(-10), 9, 30);
    QCOMPARE(s->Debut(), premier);
    QCOMPARE(s->PremierJour(), kAujourdhui.addDays(-10));
    QCOMPARE(int(s->Jours().size()), 11);
    QCOMPARE(s->Jours().front(), c(1, 0, 1, 0, 0, 0));
    QCOMPARE(s->Total(), c(9, 2, 4, 1, 1, 1));
    QCOMPARE(s->Moyenne(), c(0, 0, 0, 0, 0, 0));

    // Another account afterwards computes from the moved start: bruno's
    // first message (five days ago) does not move it again.
    s->ChoisirCompte(TStatistiques::ccUn, m_numeros[1]);
    QCOMPARE(s->Calculer(), TStatistiques::rsCalcule);
    QCOMPARE(s->Debut(), premier);
    QCOMPARE(int(s->Jours().size()), 11);
    QCOMPARE(s->Total(), c(3, 1, 2, 0, 0, 0));

    // A start moved to a time of the end day itself still computes.
    auto t = stats();
    t->Aujourdhui = [] { return kAujourdhui.addDays(-10); };
    t->ChoisirCompte(TStatistiques::ccTous);
    QCOMPARE(t->ChoisirPeriode(TStatistiques::psDepuisLeDebut), TStatistiques::rsCalcule);
    QCOMPARE(t->Debut(), premier);
    QCOMPARE(int(t->Jours().size()), 1);
    t->ChoisirCompte(TStatistiques::ccUn, m_numeros[0]);
    QCOMPARE(t->Calculer(), TStatistiques::rsCalcule);
    QCOMPARE(t->Total(), c(1, 0, 1, 0, 0, 0));
}

void TstStatistiques::finAvantDebut() {
    auto s = stats();
    s->ChoisirCompte(TStatistiques::ccTous);
    QCOMPARE(s->ChoisirPeriode(1), TStatistiques::rsCalcule);
    const auto avant = s->Jours();
    s->setDebut(kAujourdhui);
    s->setFin(kAujourdhui.addDays(-1));
    QCOMPARE(s->ChoisirPeriode(TStatistiques::psAutrePeriode), TStatistiques::rsDatesInversees);
    QCOMPARE(s->Jours(), avant);
    // The same day both ends: one row.
    s->setFin(kAujourdhui);
    QCOMPARE(s->Calculer(), TStatistiques::rsCalcule);
    QCOMPARE(int(s->Jours().size()), 1);
}

void TstStatistiques::cellules() {
    auto s = stats();
    s->ChoisirCompte(TStatistiques::ccTous);
    QCOMPARE(s->ChoisirPeriode(2), TStatistiques::rsCalcule); // 3 days
    using C = TCelluleStats;
    const auto texte = [&](int ligne) {
        QStringList l;
        for (const C& x : s->Cellules(ligne, iso))
            l << x.Texte;
        return l;
    };
    QCOMPARE(texte(0), (textes({"Date", "messages", "pas spams", "spams", "liste blanche",
                                "liste noire", "emetteur", "taux spam"})));
    // The most recent day first; the rate padded to five characters.
    QCOMPARE(texte(1), (textes({"2026-03-18", "3", "1", "2", "0", "0", "0", "66.7%"})));
    QCOMPARE(texte(2), (textes({"2026-03-17", "3", "0", "1", "1", "1", "0", "33.3%"})));
    // No message that day: no rate.
    QCOMPARE(texte(3), (textes({"2026-03-16", "0", "0", "0", "0", "0", "0", ""})));
    QCOMPARE(texte(4), (textes({"MOYENNE", "2", "0", "1", "0", "0", "0", "50.0%"})));
    QCOMPARE(texte(5), (textes({"TOTAL", "6", "1", "3", "1", "1", "0", "50.0%"})));
    QCOMPARE(TStatistiques::TexteTaux(0, 4), QStringLiteral(" 0.0%"));
    QCOMPARE(TStatistiques::TexteTaux(1, 1), QStringLiteral("100.0%"));

    const auto l1 = s->Cellules(1), l4 = s->Cellules(4);
    QCOMPARE(l1[1].Couleur, C::csBleu);
    QCOMPARE(l1[3].Couleur, C::csRouge);
    QCOMPARE(l1[2].Couleur, C::csVert);
    QCOMPARE(l1[7].Couleur, C::csRouge); // above 50
    QCOMPARE(l4[7].Couleur, C::csVert);  // 50 is not above
    QVERIFY(l1[0].Centre && !l1[1].Centre && l4[0].Centre);
    QCOMPARE(s->Genre(0), TStatistiques::glEntete);
    QCOMPARE(s->Genre(3), TStatistiques::glJour);
    QCOMPARE(s->Genre(4), TStatistiques::glMoyenne);
    QCOMPARE(s->Genre(5), TStatistiques::glTotal);
    QVERIFY(!s->Grisee(1) && s->Grisee(2) && !s->Grisee(3) && !s->Grisee(4));
}

void TstStatistiques::branchementDuMoteur() {
    TMoteur& mo = m_banc->Moteur();
    int vidages = 0;
    mo.OnViderAffichage = [&vidages] { ++vidages; };
    // The review side holds an account; the proxy side a message it has not
    // saved yet.
    mo.MonDossierBis1.Ouvrir(mo.CompteNumero(m_numeros[0]));
    mo.MonDossierBisSynchro.Ouvrir(mo.CompteNumero(m_numeros[1]));
    TUnMessageMem m;
    m.Reception = instant(kAujourdhui, 11);
    m.Spam = true;
    QVERIFY(mo.MonDossierBisSynchro.AjouterMessage(m, "Subject: x\r\n\r\nx\r\n"));

    auto s = stats();
    s->ChoisirCompte(TStatistiques::ccUn, m_numeros[1]);
    // While the full rebuild runs nothing is closed nor read.
    mo.OnCalculEnCours = [] { return true; };
    QCOMPARE(s->ChoisirPeriode(0), TStatistiques::rsOccupe);
    QCOMPARE(vidages, 0);
    QCOMPARE(mo.MonDossierBis1.Compte(), m_numeros[0]);
    mo.OnCalculEnCours = nullptr;

    QCOMPARE(s->ChoisirPeriode(0), TStatistiques::rsCalcule);
    QCOMPARE(vidages, 1);
    QCOMPARE(mo.MonDossierBis1.Compte(), -1);
    QCOMPARE(s->Total(), c(2, 0, 2, 0, 0, 0));
    // The accounts in the manager's order.
    QCOMPARE(s->Comptes().size(), 2);
    QCOMPARE(s->Comptes().at(0)->Nom, QByteArray("Alice perso"));
}

void TstStatistiques::indexIllisible() {
    // An index that cannot be read is reported, the other account still counts.
    const QString fixe =
        m_banc->Reps().Dossiers() + QString::number(m_numeros[0]) + QStringLiteral("-var.qdl");
    // A directory in the file's place cannot be read, even by root.
    QVERIFY(QFile::remove(fixe));
    QVERIFY(QDir().mkpath(fixe));
    auto s = stats();
    s->ChoisirCompte(TStatistiques::ccTous);
    QCOMPARE(s->ChoisirPeriode(0), TStatistiques::rsIndexIllisible);
    QCOMPARE(s->Erreurs().size(), 1);
    QVERIFY(s->Erreurs().first().contains(fixe));
    QCOMPARE(s->Total(), c(1, 0, 1, 0, 0, 0));
    QVERIFY(QDir(fixe).removeRecursively());
}

void TstStatistiques::commandeStats() {
    // A running copy on the home that holds the archive.
    TKelvarinProcess copie;
    const QDate aujourdhui = QDate::currentDate();
    QList<qint32> numeros;
    {
        TGestionComptesBis comptes;
        comptes.OnInitRepertoire = [&copie](TGestionComptesBis&, QString& t, QString& i) {
            t = i = copie.Home();
        };
        comptes.setActive(true);
        TMonDossierBis archive;
        archive.setRepertoireDossiers(comptes.RepertoireDossiers());
        ecrireFixture(comptes, archive, aujourdhui, numeros);
        comptes.setActive(false);
    }
    QString erreur;
    QVERIFY2(copie.Demarrer(&erreur), qPrintable(erreur));

    // What the page shows for the same home.
    TGestionComptesBis lus;
    lus.OnInitRepertoire = [&copie](TGestionComptesBis&, QString& t, QString& i) {
        t = i = copie.Home();
    };
    lus.setActive(true);
    lus.IgnoreModif = true;
    const auto attendu = [&](int periode, qint32 compte) {
        TStatistiques s;
        s.Lecteur = statistiques::LecteurDossiers(copie.Home() + QStringLiteral("Dossiers/"));
        s.Comptes = [&lus] {
            QList<const TUnCompteBis*> l;
            for (int i = 0; i < lus.Count(); ++i)
                l << lus.Compte(i);
            return l;
        };
        s.ChoisirCompte(compte ? TStatistiques::ccUn : TStatistiques::ccTous, compte);
        s.ChoisirPeriode(periode);
        QStringList lignes;
        for (int i = 0; i < s.NbLignesListe(); ++i) {
            QStringList champs;
            for (const TCelluleStats& x : s.Cellules(i, iso))
                champs << x.Texte.trimmed();
            lignes << champs.join(QLatin1Char(','));
        }
        return lignes;
    };

    QStringList avant;
    QDirIterator it(copie.Home() + QStringLiteral("Dossiers"), QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        avant << f + QLatin1Char(' ') +
                     QString::number(QFileInfo(f).lastModified().toMSecsSinceEpoch());
    }

    struct TSortie {
        int code;
        QString sortie, erreurs;
    };
    const auto lancer = [&copie](QStringList arguments) {
        QProcess p;
        arguments.prepend(copie.Home());
        arguments.prepend(QStringLiteral("--home"));
        p.start(TKelvarinProcess::Executable(), arguments);
        const bool fini = p.waitForFinished(30000);
        return TSortie{fini ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
                       QString::fromUtf8(p.readAllStandardError())};
    };

    // CSV: the same figures as the page, row for row.
    TSortie r = lancer(textes({"--stats", "--csv", "--periode", "3"}));
    QCOMPARE(r.code, 0);
    QCOMPARE(r.sortie.split(QLatin1Char('\n'), Qt::SkipEmptyParts), attendu(3, 0));
    QVERIFY(r.sortie.contains(iso(aujourdhui) + QStringLiteral(",3,1,2,0,0,0,66.7%")));
    r = lancer(textes({"--stats", "--csv", "--compte", "alice@pop.exemple.fr", "--periode=15"}));
    QCOMPARE(r.code, 0);
    QCOMPARE(r.sortie.split(QLatin1Char('\n'), Qt::SkipEmptyParts), attendu(15, numeros[0]));
    QVERIFY(r.sortie.endsWith(QStringLiteral("TOTAL,6,1,2,1,1,1,33.3%\n")));

    // Aligned text: a title, then the same cells in columns.
    r = lancer(textes({"/STATS", "--compte", "Alice perso", "--du"})
               << iso(aujourdhui.addDays(-1)) << QStringLiteral("--au") << iso(aujourdhui));
    QCOMPARE(r.code, 0);
    const QStringList lignes = r.sortie.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lignes.size(), 6);
    QVERIFY2(lignes[0].startsWith(QStringLiteral("Alice perso : ")), qPrintable(lignes[0]));
    QCOMPARE(lignes[1].simplified(), QStringLiteral("Date messages pas spams spams liste blanche "
                                                    "liste noire emetteur taux spam"));
    QCOMPARE(lignes[2].simplified(), iso(aujourdhui) + QStringLiteral(" 2 1 1 0 0 0 50.0%"));
    QCOMPARE(lignes[5].simplified(), QStringLiteral("TOTAL 4 1 1 1 1 0 25.0%"));
    // Right-aligned figures: every row has the same width up to its rate.
    QCOMPARE(lignes[1].size(), lignes[2].size());

    // Refusals: a clear line and a non-zero code, nothing on the output.
    const struct {
        std::vector<const char*> arguments;
        const char* message;
    } refus[] = {
        {{"--stats", "--compte", "personne"}, "unknown account: personne"},
        {{"--stats", "--periode", "17"}, "--periode"},
        {{"--stats", "--du", "18/03/2026"}, "--du"},
        {{"--stats", "--du", "2026-03-18", "--au", "2026-03-17"},
         "La date de fin doit être supérieur a la date de début"},
        {{"--stats", "--periode", "2", "--du", "2026-03-18"}, "--du and --au"},
        {{"--stats", "--bavard"}, "unknown switch with --stats: bavard"},
        {{"--stats", "--compte"}, "--compte needs a value"},
    };
    for (const auto& x : refus) {
        r = lancer(textes(x.arguments));
        QVERIFY2(r.code == statistiques::csUsage, qPrintable(textes(x.arguments).join(u' ')));
        QVERIFY2(r.erreurs.contains(QString::fromUtf8(x.message)), qPrintable(r.erreurs));
        QVERIFY(r.sortie.isEmpty());
    }

    // The running copy is still there and nothing in the archive was touched.
    QVERIFY(copie.Actif());
    QStringList apres;
    QDirIterator it2(copie.Home() + QStringLiteral("Dossiers"), QDir::Files,
                     QDirIterator::Subdirectories);
    while (it2.hasNext()) {
        const QString f = it2.next();
        apres << f + QLatin1Char(' ') +
                     QString::number(QFileInfo(f).lastModified().toMSecsSinceEpoch());
    }
    QCOMPARE(apres, avant);
    QCOMPARE(copie.Arreter(), 0);
}

int main(int argc, char** argv) {
    testsupport::IsolerReseau(argc, argv);
    QCoreApplication app(argc, argv);
    TstStatistiques t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_statistiques.moc"
