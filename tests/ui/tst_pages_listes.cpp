// The DNSBL, IP-test and list editor pages in the real window, offscreen:
// the server dialog's add, modify and delete, the counters' resets, the IP
// tests' deletion, the frames in both modes, the testers, and a list edited
// and applied reaching the file and the list test of the verdict.

#include "pages/listes_options.h"
#include "tests/support/dnsmasq_peer.h"
#include "tests/ui/fenetre_test.h"
#include "ui/form_config_dns.h"
#include "ui/form_tester.h"
#include "ui/form_tester_reg_exp.h"
#include "ui/frame_info_filtres.h"
#include "ui/liste_virtuelle.h"
#include "ui/vue_dns.h"
#include "ui/vue_tests_ip.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace {
QByteArray lire(const QString& chemin) {
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Fills the modal server dialog once it is open, then validates it; `encore`
// runs after a refused validation, with the dialog still open.
void remplirDialogue(const QString& nom, const QString& zone, const QString& codes,
                     std::function<void(TFormConfigDNS&)> encore = nullptr) {
    QTimer::singleShot(0, [=] {
        auto* d = qobject_cast<TFormConfigDNS*>(QApplication::activeModalWidget());
        QVERIFY(d);
        QCOMPARE(d->focusWidget(), d->EditNom);
        d->EditNom->setText(nom);
        d->EditAdresse->setText(zone);
        d->MemoResultat->setPlainText(codes);
        d->findChild<QPushButton*>(u"BtnValider"_s)->click();
        if (encore) {
            QVERIFY(d->isVisible()); // refused: still open
            encore(*d);
        }
    });
}
} // namespace

class TstPagesListes : public QObject {
    Q_OBJECT
private slots:
    void init() { TBoiteMessage::Reinitialiser(); }
    void serveursParLeDialogue();
    void remisesAZero();
    void suppressionDesTests();
    void cadresSelonLesModes();
    void editionAppliqueeEtAnnulee();
    void testeurs();
    void rafraichiParLesReponsesDNS();
};

void TstPagesListes::serveursParLeDialogue() {
    TMaisonFenetre m("[Init]\r\nPortEcoute=0\r\nModefonctionnement=1\r\n");
    TFenetreTest t(m.reps);
    QVERIFY(t.demarrer());
    TFormKelvarin& f = *t.fenetre;
    QVERIFY(f.AfficherPage(TArbreOptions::kPageDNS));
    TVueDNS& v = *f.PageDNS;
    TChercheSPAMs& c = t.moteur.ChercheSPAMs1;
    const QString dns = m.reps.Travail + u"Donnees/dns.qdl"_s;
    QCOMPARE(v.ListBoxDNS->Nombre(), 11);
    QVERIFY(!v.BtnConfigDNS->isEnabled() && !v.BtnSupprimerDNS->isEnabled());

    // "Config" with no row: the message, nothing opens.
    TBoiteMessage::Preparer(TBoiteMessage::rpOK);
    v.BtnConfigDNSClick();
    QCOMPARE(TBoiteMessage::Questions().last(), u"Sélectionnez le serveur de DNSBL à modifier"_s);

    // "Ajouter": a taken name is refused and the dialog stays; then accepted.
    TBoiteMessage::Preparer(TBoiteMessage::rpOK);
    remplirDialogue(u"CBL"_s, u"bl.test"_s, u"127.0.0.2"_s, [](TFormConfigDNS& d) {
        d.EditNom->setText(u"Mon serveur"_s);
        d.findChild<QPushButton*>(u"BtnValider"_s)->click();
    });
    v.BtnAjouterDNS->click();
    QCOMPARE(TBoiteMessage::Questions().last(), u"Un serveur existe déja avec ce nom"_s);
    PUnDNS s = c.TrouverServeurNom("Mon serveur");
    QVERIFY(s && s->Actif);
    QCOMPARE(v.ListBoxDNS->Nombre(), 12);
    QVERIFY(lire(dns).contains("\tMon serveur\tbl.test\t0\t0\t0\t0\t1\t127.0.0.2\t\t0\t0\r\n"));

    // Modify through a double click on its row: renamed, sorted, saved.
    v.ListBoxDNS->Selectionner(v.Page().IndexDe(s));
    QVERIFY(v.BtnConfigDNS->isEnabled() && v.BtnSupprimerDNS->isEnabled());
    remplirDialogue(u"zz serveur"_s, u"autre.test"_s, u""_s);
    emit v.ListBoxDNS->doubleClicked(v.ListBoxDNS->currentIndex());
    QCOMPARE(v.Page().IndexDe(s), 11);
    QCOMPARE(v.ListBoxDNS->Selection(), 11);
    QVERIFY(lire(dns).contains("\tzz serveur\tautre.test\t0\t0\t0\t0\t0\t\t0\t0\r\n"));

    // Cancel changes nothing.
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<TFormConfigDNS*>(QApplication::activeModalWidget());
        QVERIFY(d);
        d->EditNom->setText(u"perdu"_s);
        d->findChild<QPushButton*>(u"BtnAnnuler"_s)->click();
    });
    v.BtnConfigDNS->click();
    QCOMPARE(s->Nom, QByteArray("zz serveur"));

    // Delete: No keeps it; Yes (by the Delete key) removes it and saves.
    TBoiteMessage::Preparer(TBoiteMessage::rpNon);
    v.BtnSupprimerDNS->click();
    QCOMPARE(c.NbServeur(), 12);
    TBoiteMessage::Preparer(TBoiteMessage::rpOui);
    QTest::keyClick(v.ListBoxDNS, Qt::Key_Delete);
    QCOMPARE(TBoiteMessage::Questions().last(),
             u"Supprimer définitivement le serveur sélectionné ?"_s);
    QCOMPARE(c.NbServeur(), 11);
    QCOMPARE(v.ListBoxDNS->Nombre(), 11);
    QVERIFY(!lire(dns).contains("zz serveur"));

    // The check box of a row flips the server.
    PUnDNS premier = c.Serveur(0);
    const bool actif = premier->Actif;
    v.BasculerActif(0);
    QCOMPARE(premier->Actif, !actif);
    QCOMPARE(TBoiteMessage::NonPrevues(), 0);
}

void TstPagesListes::remisesAZero() {
    TMaisonFenetre m("[Init]\r\nPortEcoute=0\r\nModefonctionnement=1\r\n");
    TFenetreTest t(m.reps);
    QVERIFY(t.demarrer());
    TVueDNS& v = *t.fenetre->PageDNS;
    TChercheSPAMs& c = t.moteur.ChercheSPAMs1;
    for (int i = 0; i < c.NbServeur(); ++i) {
        c.Serveur(i)->NbTest = 10;
        c.Serveur(i)->NbSpam = 3;
        c.Serveur(i)->TempsRAZ = 900;
        c.Serveur(i)->NbTestRAZ = 3;
    }
    // Answered No, "RAZ compteur" changes nothing.
    TBoiteMessage::Preparer(TBoiteMessage::rpNon);
    v.BtnRAZCompteur->click();
    QCOMPARE(TBoiteMessage::Questions().last(), u"Remettre à zéro tous les compteurs ?"_s);
    QCOMPARE(c.Serveur(0)->NbTest, 10);
    QCOMPARE(c.Serveur(0)->NbTestRAZ, 3);
    // "RAZ temp" asks nothing and clears only the speed.
    v.BtnRAZTemp->click();
    QCOMPARE(TBoiteMessage::Questions().size(), 1);
    QCOMPARE(c.Serveur(0)->NbTestRAZ, 0);
    QCOMPARE(c.Serveur(0)->NbSpam, 3);
    TBoiteMessage::Preparer(TBoiteMessage::rpOui);
    v.BtnRAZCompteur->click();
    for (int i = 0; i < c.NbServeur(); ++i)
        QCOMPARE(c.Serveur(i)->NbTest + c.Serveur(i)->NbSpam, 0);
}

void TstPagesListes::suppressionDesTests() {
    TMaisonFenetre m("[Init]\r\nPortEcoute=0\r\nModefonctionnement=1\r\n");
    TFenetreTest t(m.reps);
    QVERIFY(t.demarrer());
    TFormKelvarin& f = *t.fenetre;
    TChercheSPAMs& c = t.moteur.ChercheSPAMs1;
    QVERIFY(f.AfficherPage(TArbreOptions::kPageDerniersTests));
    TVueTestsIP& v = *f.PageTestsIP;
    // Not an address: nothing, no message.
    TBoiteMessage::PreparerSaisie(true, u"pas une adresse"_s);
    v.Button1->click();
    QCOMPARE(v.ListBoxRecherche->Nombre(), 0);

    c.ResultatIP(ChaineVersIP("192.0.2.1"), true);
    c.ResultatIP(ChaineVersIP("192.0.2.2"), true);
    const int parAdresse = c.NbRecherche() / 2;
    QVERIFY(parAdresse > 0);
    for (int i = 0; i < parAdresse; ++i)
        c.Recherche(i)->Etat = erPasSpam;
    c.Recherche(parAdresse)->Etat = erEnCours;
    f.RafraichirListesDNS();
    QCOMPARE(v.ListBoxRecherche->Nombre(), 2 * parAdresse);

    // A running lookup is not deleted, even on Yes.
    v.ListBoxRecherche->Selectionner(parAdresse);
    TBoiteMessage::Preparer(TBoiteMessage::rpOui);
    v.BtnSupprimerTest->click();
    QCOMPARE(TBoiteMessage::Questions().last(), u"Supprimer le test sélectionné ?"_s);
    QCOMPARE(c.NbRecherche(), 2 * parAdresse);
    // A finished one goes with every finished record of its address.
    v.ListBoxRecherche->Selectionner(0);
    TBoiteMessage::Preparer(TBoiteMessage::rpOui);
    QTest::keyClick(v.ListBoxRecherche, Qt::Key_Delete);
    QCOMPARE(c.NbRecherche(), parAdresse);
    QCOMPARE(v.ListBoxRecherche->Nombre(), parAdresse);
    QCOMPARE(c.Recherche(0)->IP, ChaineVersIP("192.0.2.2"));
    QCOMPARE(TBoiteMessage::NonPrevues(), 0);
}

void TstPagesListes::cadresSelonLesModes() {
    TMaisonFenetre m("[Init]\r\nPortEcoute=0\r\nModefonctionnement=0\r\n");
    TFenetreTest t(m.reps);
    QVERIFY(t.demarrer());
    TFormKelvarin& f = *t.fenetre;
    const auto verifier = [&](bool expert) {
        for (int i = 0; i < TListesOptions::kNbCadres; ++i) {
            const TFrameInfoFiltres& c = *f.FramesInfoFiltres[size_t(i)];
            QCOMPARE(c.objectName(), QLatin1String(TListesOptions::Cadres()[size_t(i)].Composant));
            const bool ip = TListesOptions::Cadres()[size_t(i)].Mode == 1;
            QCOMPARE(c.Mode(), ip ? 1 : 0);
            QCOMPARE(c.BtnTester->isHidden(), ip);
            QCOMPARE(c.LabelIP->isHidden(), !ip);
            QCOMPARE(c.LabelBalise->isHidden(), ip);
            QCOMPARE(c.Panel2->isHidden(), ip || !expert);
        }
    };
    verifier(false);
    QCOMPARE(f.FramesInfoFiltres[8]->Texte(), u"127.*\n10.*\n192.168.*"_s);
    f.PageConfig->BtnModeExpert->click();
    verifier(true);
    f.PageConfig->BtnModeSimplifie->click();
    verifier(false);
}

void TstPagesListes::editionAppliqueeEtAnnulee() {
    TMaisonFenetre m("[Init]\r\nPortEcoute=0\r\nModefonctionnement=1\r\n");
    TFenetreTest t(m.reps);
    QVERIFY(t.demarrer());
    TFormKelvarin& f = *t.fenetre;
    TChercheSPAMs& c = t.moteur.ChercheSPAMs1;
    const QString donnees = m.reps.Travail + u"Donnees/"_s;
    QVERIFY(!f.Modifie());

    // Typing in a frame marks the options modified; Apply reaches the list
    // test of the verdict and the file.
    TFrameInfoFiltres& noirs = *f.FramesInfoFiltres[5];
    noirs.MemoListeBalise->setPlainText(u"Offre*\nFacture \\#1234"_s);
    QVERIFY(f.Modifie());
    f.FramesInfoFiltres[6]->MemoListeRegExp->setPlainText(u"^X-Spam-Flag: YES"_s);
    f.MemoIgnorerMots->setPlainText(u"bonjour"_s);
    f.BtnAppliquer->click();
    QVERIFY(!f.Modifie());
    QVERIFY(c.TesterListe(tlNoireSujet, "Offre spéciale"));
    QVERIFY(c.TesterListe(tlNoireSujet, "Facture #1234"));
    QVERIFY(c.TesterListe(tlNoireEntete, "X-Spam-Flag: YES"));
    QCOMPARE(lire(donnees + u"listenoire-sujet.qdl"_s), "Offre*\r\nFacture \\#1234\r\n");
    QCOMPARE(lire(donnees + u"ignore-mot.qdl"_s), "bonjour\r\n");
    QVERIFY(t.moteur.FiltreBayes()->Base().MotIgnore("BONJOUR"));

    // Cancel brings the applied text back.
    noirs.MemoListeBalise->setPlainText(u"perdu"_s);
    f.MemoIgnorerMots->setPlainText(u"perdu"_s);
    QVERIFY(f.Modifie());
    f.BtnAnnuler->click();
    QCOMPARE(noirs.Texte(), u"Offre*\nFacture \\#1234"_s);
    QCOMPARE(f.MemoIgnorerMots->toPlainText(), u"bonjour"_s);
    QVERIFY(!f.Modifie());

    // One line through its editor, applied at once.
    QVERIFY(f.ModifierListe(tlBlancheEmetteur, u"ami@exemple.fr"_s, true));
    QCOMPARE(f.FramesInfoFiltres[0]->Texte(), u"ami@exemple.fr"_s);
    QVERIFY(c.TesterListe(tlBlancheEmetteur, "ami@exemple.fr"));
    QCOMPARE(lire(donnees + u"listeblanche-mail.qdl"_s), "ami@exemple.fr\r\n");
    QVERIFY(!f.Modifie());
    QVERIFY(!f.ModifierListe(tlBlancheEmetteur, u"inconnu@exemple.fr"_s, false));
    QVERIFY(f.ModifierListe(tlBlancheEmetteur, u"AMI@exemple.fr"_s, false));
    QVERIFY(!c.TesterListe(tlBlancheEmetteur, "ami@exemple.fr"));
    QCOMPARE(lire(donnees + u"listeblanche-mail.qdl"_s), QByteArray());
}

void TstPagesListes::testeurs() {
    TMaisonFenetre m("[Init]\r\nPortEcoute=0\r\nModefonctionnement=1\r\n");
    TFenetreTest t(m.reps);
    QVERIFY(t.demarrer());
    TFormKelvarin& f = *t.fenetre;
    QVERIFY(f.AfficherPage(4));
    TFrameInfoFiltres& cadre = *f.FramesInfoFiltres[0];

    // The pattern tester: "ok" at once for essai and *, then as the lists match.
    cadre.BtnTester->click();
    TFormTester* d = TFormTester::Instance();
    QVERIFY(d && d->isVisible());
    QCOMPARE(d->LabelTest2->text(), u"ok"_s);
    cadre.BtnTester->click();
    QCOMPARE(TFormTester::Instance(), d); // one at a time
    const struct {
        const char16_t *valeur, *filtre, *resultat;
    } cas[] = {{u"10.1.2.3", u"cidr:10.0.0.0/8", u"ok"},
               {u"10.1.2.3", u"10.*", u"ok"},
               {u"11.1.2.3", u"cidr:10.0.0.0/8", u"pas ok"},
               {u"cidr:x", u"cidr:x", u"ok"}, // no "/": a plain pattern
               {u"Offre", u"offre", u"pas ok"}};
    for (const auto& x : cas) {
        d->EditValeur2->setText(QString::fromUtf16(x.valeur));
        d->EditFiltre2->setText(QString::fromUtf16(x.filtre));
        QCOMPARE(d->LabelTest2->text(), QString::fromUtf16(x.resultat));
    }
    d->close();
    QTRY_VERIFY(!TFormTester::Instance());

    // The expression tester follows the typing through its timer.
    QVERIFY(!cadre.Panel2->isHidden());
    cadre.BtnTesterRegExp->click();
    TFormTesterRegExp* r = TFormTesterRegExp::Instance();
    QVERIFY(r);
    QCOMPARE(r->LabelResultat->text(), u"résultat"_s);
    r->EditRegExp->setText(u"^(?i)promo"_s);
    QTRY_COMPARE(r->LabelResultat->text(), u"?"_s);
    r->EditValeur->setText(u"PROMO du jour"_s);
    QTRY_COMPARE(r->LabelResultat->text(), u"filtre valide"_s);
    r->EditRegExp->setText(u"promo("_s);
    QTRY_COMPARE(r->LabelResultat->text(), u"filtre non valide"_s);
    r->EditRegExp->setText(u"^promo"_s); // case counts
    QTRY_COMPARE(r->LabelResultat->text(), u"filtre non valide"_s);
    r->close();
}

void TstPagesListes::rafraichiParLesReponsesDNS() {
    testsupport::TDnsmasqPeer dns;
    dns.ajouter("99.2.0.192.bl.test", "127.0.0.2");
    QString erreur;
    QVERIFY2(dns.demarrer(&erreur), qPrintable(erreur));
    TMaisonFenetre m("[Init]\r\nPortEcoute=0\r\nModefonctionnement=1\r\nDNSAuto=0\r\n"
                     "AdresseDNS=" +
                     dns.adresse().toString().toLatin1() + "\r\n");
    TControleur controleur(m.reps);
    TPointsAcces points;
    points.PortDNS = dns.port();
    TMoteur moteur(controleur, points);
    StockageConfig().Ouvrir(m.reps.Ini());
    TFormKelvarin f(moteur);
    controleur.TimerSauve().setInterval(60000);
    f.Demarrer();
    QTRY_VERIFY(controleur.DemarrageDiffereFait());
    TChercheSPAMs& c = moteur.ChercheSPAMs1;
    while (c.NbServeur() > 0)
        c.SupprimerServeur(c.Serveur(0)->Nom);
    QVERIFY(f.AfficherPage(TArbreOptions::kPageDNS));
    TBoiteMessage::Preparer(TBoiteMessage::rpOK);
    remplirDialogue(u"bl"_s, u"bl.test"_s, u"127.0.0.2"_s);
    f.PageDNS->BtnAjouterDNS->click();
    QCOMPARE(f.PageDNS->ListBoxDNS->Nombre(), 1);

    // A lookup queued behind the page's back: the answer and the idle pool
    // reach the lists through the engine's events.
    QVERIFY(c.TesterIP("192.0.2.99"));
    QCOMPARE(f.PageTestsIP->ListBoxRecherche->Nombre(), 0);
    QTRY_COMPARE(f.PageTestsIP->ListBoxRecherche->Nombre(), 1);
    QTRY_COMPARE(c.Recherche(0)->Etat, quint8(erSpam));
    QTRY_COMPARE(c.NbSocketDNS(), 0);
    QVERIFY(f.PageTestsIP->Page().Ligne(0).Texte().contains(u"bl - Spam (127.0.0.2)"_s));
    QCOMPARE(c.Serveur(0)->NbSpam, 1);

    // "Test IP" through the input box.
    TBoiteMessage::PreparerSaisie(true, u"192.0.2.98"_s);
    QVERIFY(f.AfficherPage(TArbreOptions::kPageDerniersTests));
    f.PageTestsIP->Button1->click();
    QTRY_COMPARE(f.PageTestsIP->ListBoxRecherche->Nombre(), 2);
    QTRY_COMPARE(c.NbSocketDNS(), 0);
    QCOMPARE(c.Serveur(0)->NbTest, 2);
    controleur.Arreter();
}

QTEST_MAIN(TstPagesListes)
#include "tst_pages_listes.moc"
