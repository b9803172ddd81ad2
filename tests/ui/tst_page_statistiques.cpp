// The statistics page in the real window, offscreen: the account choice filled
// when the page opens, the periods, the date pickers of "Autre période ...",
// the refusal of an end before the start, and a new computation each time the
// page is brought back.

#include "accounts/mon_dossier_bis.h"
#include "tests/ui/fenetre_test.h"
#include "ui/page_statistiques.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QListWidget>
#include <QStackedWidget>

namespace {

TDateTime instant(QDate jour, int h) {
    return datetime::encoder(jour.year(), jour.month(), jour.day(), h);
}

void archiver(TMoteur& mo, PUnCompteBis compte, TDateTime reception, bool spam) {
    mo.MonDossierBisSynchro.Ouvrir(compte);
    TUnMessageMem m;
    m.Reception = reception;
    m.Spam = spam;
    QVERIFY(mo.MonDossierBisSynchro.AjouterMessage(m, "Subject: s\r\n\r\nt\r\n"));
}

// The cells of a list row, as the page gives them to the delegate.
QStringList cellules(const TPageStatistiques& p, int ligne) {
    return p.ListBoxStats->item(ligne)->text().split(QLatin1Char('\t'));
}

} // namespace

class TstPageStatistiques : public QObject {
    Q_OBJECT
private slots:
    void periodesEtDates();
};

void TstPageStatistiques::periodesEtDates() {
    TMaisonFenetre m;
    TFenetreTest t(m.reps);
    QVERIFY(t.demarrer());
    TFormKelvarin& f = *t.fenetre;
    TMoteur& mo = t.moteur;
    const QDate aujourdhui = QDate::currentDate();
    PUnCompteBis alice = mo.GestionComptesBis1.ChercherOuCreer("pop.exemple.fr", "alice");
    alice->Nom = "Alice perso";
    PUnCompteBis bruno = mo.GestionComptesBis1.ChercherOuCreer("mail.exemple.org", "bruno");
    mo.GestionComptesBis1.Trier();
    archiver(mo, alice, instant(aujourdhui, 8), false);
    archiver(mo, alice, instant(aujourdhui.addDays(-3), 10), true);
    archiver(mo, bruno, instant(aujourdhui, 9), true);
    mo.MonDossierBisSynchro.Fermer();

    f.show();
    QVERIFY(f.AfficherPage(TArbreOptions::kPageStats));
    TPageStatistiques& p = *f.PageStatistiques;
    QCOMPARE(f.PageControl1->currentWidget(), &p);
    QCOMPARE(p.objectName(), QStringLiteral("TabSheetStats"));

    // Opening: the accounts in the manager's order, none chosen, the heading only.
    QStringList comptes;
    for (int i = 0; i < p.CBoxCompte2->count(); ++i)
        comptes << p.CBoxCompte2->itemText(i);
    QCOMPARE(comptes,
             (QStringList{QStringLiteral("Tous les comptes"), QStringLiteral("Alice perso"),
                          QStringLiteral("mail.exemple.org/bruno")}));
    QCOMPARE(p.CBoxCompte2->currentIndex(), -1);
    QCOMPARE(p.ListBoxStats->count(), 1);
    QCOMPARE(p.CBoxPeriodeStats->count(), TStatistiques::kNbPeriodes);
    QVERIFY(!p.DateTimeDebut->isVisible() && !p.DateTimeFin->isVisible());
    QVERIFY(!p.LabelDu->isVisible() && !p.LabelAu->isVisible());

    // An account chosen: today's row, the average and the total.
    p.CBoxCompte2->setCurrentIndex(0);
    QCOMPARE(p.ListBoxStats->count(), 4);
    QCOMPARE(cellules(p, 1).mid(1),
             (QStringList{QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("1"),
                          QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                          QStringLiteral("50.0%")}));

    // "Depuis le début": the start date moves to the first message.
    p.CBoxPeriodeStats->setCurrentIndex(TStatistiques::psDepuisLeDebut);
    QCOMPARE(p.DateTimeDebut->date(), aujourdhui.addDays(-3));
    QCOMPARE(p.ListBoxStats->count(), 4 + 3);
    QVERIFY(!p.DateTimeDebut->isVisible());
    // Another account keeps that start.
    p.CBoxCompte2->setCurrentIndex(2); // bruno
    QCOMPARE(p.DateTimeDebut->date(), aujourdhui.addDays(-3));
    QCOMPARE(p.ListBoxStats->count(), 4 + 3);
    QCOMPARE(cellules(p, 1).at(3), QStringLiteral("1"));

    // "Autre période ...": the pickers and their labels appear.
    p.CBoxPeriodeStats->setCurrentIndex(TStatistiques::psAutrePeriode);
    QVERIFY(p.DateTimeDebut->isVisible() && p.DateTimeFin->isVisible());
    QVERIFY(p.LabelDu->isVisible() && p.LabelAu->isVisible());
    // An end before the start: refused with the message, the list unchanged.
    p.DateTimeDebut->setDate(aujourdhui);
    p.DateTimeFin->setDate(aujourdhui.addDays(-1));
    const int avant = p.ListBoxStats->count();
    TBoiteMessage::Preparer(TBoiteMessage::rpOK);
    QTest::keyClick(p.DateTimeFin, Qt::Key_Return);
    QCOMPARE(TBoiteMessage::Questions(),
             QStringList{QStringLiteral("La date de fin doit être supérieur a la date de début")});
    QCOMPARE(p.ListBoxStats->count(), avant);
    // Put right, then "Calcul".
    p.DateTimeDebut->setDate(aujourdhui.addDays(-1));
    p.DateTimeFin->setDate(aujourdhui);
    p.BtnCalcul->click();
    QCOMPARE(p.ListBoxStats->count(), 1 + 2 + 2);
    // A date chosen in the calendar: computed once the calendar has closed.
    p.DateTimeDebut->setDate(aujourdhui.addDays(-2));
    emit p.DateTimeDebut->calendarWidget()->clicked(aujourdhui.addDays(-2));
    QTRY_COMPARE(p.ListBoxStats->count(), 1 + 3 + 2);

    // Back to a fixed period: the pickers go.
    p.CBoxPeriodeStats->setCurrentIndex(3);
    QVERIFY(!p.DateTimeDebut->isVisible() && !p.LabelAu->isVisible());
    QCOMPARE(p.DateTimeDebut->date(), aujourdhui.addDays(-3));
    QCOMPARE(p.ListBoxStats->count(), 1 + 4 + 2);

    // A message the proxy has not saved yet counts when the page comes back.
    archiver(mo, bruno, instant(aujourdhui, 11), true);
    QVERIFY(f.AfficherPage(TArbreOptions::kPageComptes));
    QVERIFY(f.AfficherPage(TArbreOptions::kPageStats));
    QCOMPARE(p.CBoxCompte2->currentIndex(), 2);
    QCOMPARE(cellules(p, 1).at(1), QStringLiteral("2"));
    QCOMPARE(TBoiteMessage::NonPrevues(), 0);
}

QTEST_MAIN(TstPageStatistiques)
#include "tst_page_statistiques.moc"
