// The list editors' texts: read from the components, handed back on Apply
// through the controller, saved, and matched by the verdict's list test.

#include "bayes/filtre_bayes.h"
#include "pages/listes_options.h"
#include "tests/support/moteur/banc_moteur.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using testsupport::TBancMoteur;
using namespace Qt::Literals::StringLiterals;

namespace {
QByteArray lire(const QString& chemin) {
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TstListesOptions : public QObject {
    Q_OBJECT
private slots:
    void cadres();
    void visibilite();
    void memo();
    void modifierLigne_data();
    void modifierLigne();
    void lireEtAppliquer();
    void listeIgnoreeIllisible();
};

void TstListesOptions::cadres() {
    // Every list kind has its frame, on the page of the options tree that
    // shows it; the ignore list has no kind.
    for (int type : {tlNoireIP, tlNoireEmetteur, tlNoireSujet, tlBlancheIP, tlBlancheEmetteur,
                     tlBlancheSujet, tlNoireEntete, tlBlancheEntete}) {
        const int i = TListesOptions::CadreDuType(type);
        QVERIFY(i >= 0);
        const TCadreListe& c = TListesOptions::Cadres()[size_t(i)];
        QCOMPARE(c.Mode, type == tlNoireIP || type == tlBlancheIP ? 1 : 0);
        QCOMPARE(c.ListeRegExp < 0, c.Mode == 1);
        QCOMPARE(TListesOptions::CadreDeLaPage(c.Page), i);
    }
    QCOMPARE(TListesOptions::CadreDuType(0), -1);
    QCOMPARE(TListesOptions::CadreDeLaPage(16), 8);
    QCOMPARE(TListesOptions::Cadres()[8].Liste, lfIgnorerIP);
    QCOMPARE(TListesOptions::CadreDeLaPage(14), -1);
}

void TstListesOptions::visibilite() {
    using V = TListesOptions;
    const auto simple0 = V::Visibilite(0, false), expert0 = V::Visibilite(0, true);
    const auto simple1 = V::Visibilite(1, false), expert1 = V::Visibilite(1, true);
    QVERIFY(simple0.LabelBalise && !simple0.LabelIP && simple0.BtnTester && !simple0.Panel2);
    QVERIFY(expert0.Panel2 && expert0.BtnTester);
    for (const auto& v : {simple1, expert1})
        QVERIFY(!v.LabelBalise && v.LabelIP && !v.BtnTester && !v.Panel2);
}

void TstListesOptions::memo() {
    // Lines kept as typed, blank ones included; bytes through the code page.
    const QByteArray liste = "a*\r\n\r\n  espace \r\nr\xe9sum\xe9\r\n";
    const QString m = TListesOptions::TexteMemo(liste);
    QCOMPARE(m, u"a*\n\n  espace \nrésumé"_s);
    TListesFiltres l;
    l.Definir(lfNoireSujet, TListesOptions::TexteListe(m));
    QCOMPARE(l.Texte(lfNoireSujet), liste);
    QCOMPARE(TListesOptions::TexteMemo(""), QString());
}

void TstListesOptions::modifierLigne_data() {
    QTest::addColumn<QString>("memo");
    QTest::addColumn<QString>("ligne");
    QTest::addColumn<bool>("ajouter");
    QTest::addColumn<bool>("change");
    QTest::addColumn<QString>("apres");
    QTest::newRow("add to empty") << u""_s << u"x@y.fr"_s << true << true << u"x@y.fr"_s;
    QTest::newRow("add after a final break") << u"a\n"_s << u"b"_s << true << true << u"a\nb"_s;
    QTest::newRow("add keeps blank lines")
        << u"a\n\nc"_s << u"d"_s << true << true << u"a\n\nc\nd"_s;
    QTest::newRow("remove first equal, case ignored")
        << u"a\nÉté\nb\nété"_s << u"éTÉ"_s << false << true << u"a\nb\nété"_s;
    QTest::newRow("remove, wildcard line stays")
        << u"*promo*"_s << u"promo"_s << false << false << u"*promo*"_s;
    QTest::newRow("remove escaped line")
        << u"Facture \\#1234"_s << u"facture \\#1234"_s << false << true << u""_s;
}

void TstListesOptions::modifierLigne() {
    QFETCH(QString, memo);
    QFETCH(QString, ligne);
    QFETCH(bool, ajouter);
    QFETCH(bool, change);
    QFETCH(QString, apres);
    QCOMPARE(TListesOptions::ModifierLigne(memo, ligne, ajouter), change);
    QCOMPARE(memo, apres);
}

void TstListesOptions::lireEtAppliquer() {
    TBancMoteur b;
    QVERIFY(b.Demarrer());
    TMoteur& m = b.Moteur();
    TChercheSPAMs& c = m.ChercheSPAMs1;
    c.setListeNoireSujetRegExp("^Promo");
    TSaisieListes s = LireListes(m);
    QCOMPARE(s.Cadres[8].Liste, u"127.*\n10.*\n192.168.*"_s);
    QCOMPARE(s.Cadres[5].RegExp, u"^Promo"_s);
    QCOMPARE(s.EntetesIgnorees, QString());

    s.Cadres[5].Liste = u"Facture \\#1234\nOffre*"_s; // black subjects
    s.Cadres[0].Liste = u"ami@exemple.fr"_s;          // white senders
    s.Cadres[3].Liste = u"cidr:198.51.100.0/24"_s;    // white addresses
    s.Cadres[8].Liste = QString();                    // nothing ignored
    s.Cadres[1].RegExp = u"(?i)^re: projet"_s;        // white subject expressions
    s.EntetesIgnorees = u"received\nx-mailer"_s;
    s.MotsIgnores = u"bonjour"_s;
    TSaisieOptions o = SaisieDepuisConfig(m.Reglages());
    QString erreur = u"?"_s;
    QVERIFY(AppliquerOptions(m, o, s, &erreur));
    QCOMPARE(erreur, QString());
    // In the controller's order: after the typed values, before the settings.
    const QStringList& j = b.Controleur().Journal();
    QVERIFY(j.lastIndexOf(u"AppliquerListes"_s) >= 0);
    QVERIFY(j.lastIndexOf(u"AppliquerListes"_s) < j.lastIndexOf(u"SauverConfig"_s));

    // The verdict's list test sees them at once.
    QVERIFY(c.TesterListe(tlNoireSujet, "Facture #1234"));
    QVERIFY(!c.TesterListe(tlNoireSujet, "Facture 51234"));
    QVERIFY(c.TesterListe(tlNoireSujet, "Promo du jour"));
    QVERIFY(c.TesterListe(tlBlancheSujet, "RE: Projet"));
    QVERIFY(c.TesterListe(tlBlancheIP, "198.51.100.20"));
    QVERIFY(c.EstIPInternet(ChaineVersIP("10.1.2.3")));
    QVERIFY(m.FiltreBayes()->Base().EnteteIgnoree("X-Mailer"));
    QVERIFY(m.FiltreBayes()->Base().MotIgnore("Bonjour"));

    // And they are on disk already.
    const QString donnees = b.Home() + u"Donnees/"_s;
    QCOMPARE(lire(donnees + u"listenoire-sujet.qdl"_s), "Facture \\#1234\r\nOffre*\r\n");
    QCOMPARE(lire(donnees + u"ignorer-ip.qdl"_s), QByteArray());
    QVERIFY(QFile::exists(donnees + u"ignorer-ip.qdl"_s));
    QCOMPARE(lire(donnees + u"ignore-entete.qdl"_s), "received\r\nx-mailer\r\n");
    QCOMPARE(lire(donnees + u"ignore-mot.qdl"_s), "bonjour\r\n");

    // Read back as the window shows them after Cancel.
    b.Controleur().Annuler();
    const TSaisieListes relu = LireListes(m);
    QCOMPARE(relu.Cadres[5].Liste, s.Cadres[5].Liste);
    QCOMPARE(relu.Cadres[1].RegExp, s.Cadres[1].RegExp);
    QCOMPARE(relu.EntetesIgnorees, s.EntetesIgnorees);
}

void TstListesOptions::listeIgnoreeIllisible() {
    TBancMoteur b;
    // A list file that exists but cannot be read is kept, and Apply says so.
    QVERIFY(QDir().mkpath(b.Home() + u"Donnees/ignore-mot.qdl"_s));
    QVERIFY(b.Demarrer());
    TMoteur& m = b.Moteur();
    TSaisieListes s = LireListes(m);
    s.MotsIgnores = u"bonjour"_s;
    s.EntetesIgnorees = u"received"_s;
    QString erreur;
    QVERIFY(AppliquerOptions(m, SaisieDepuisConfig(m.Reglages()), s, &erreur));
    QVERIFY2(erreur.startsWith(u"Les listes de mots et d'en-têtes ignorés n'ont pas pu être "
                               u"enregistrées"_s),
             qPrintable(erreur));
    QVERIFY(QFileInfo(b.Home() + u"Donnees/ignore-mot.qdl"_s).isDir());
    // The other list is saved all the same.
    QCOMPARE(lire(b.Home() + u"Donnees/ignore-entete.qdl"_s), "received\r\n");
}

QTEST_GUILESS_MAIN(TstListesOptions)
#include "tst_listes_options.moc"
