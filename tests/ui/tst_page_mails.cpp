// The page "Mails reçus" in the real window, offscreen, over mail the
// window's own proxy fetched from a private dovecot.

#include "bayes/filtre_bayes.h"
#include "tests/ui/fenetre_test.h"
#include "tests/ui/releve_fenetre.h"
#include "ui/vue_mails.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>

class TstPageMails : public QObject {
    Q_OBJECT

    testsupport::TDovecotPeer m_dovecot;
    int m_nb = 0;

    // A started window whose archive holds one fetch of the box, on the page.
    struct TFenetreMails {
        TMaisonFenetre maison{"[Init]\r\nPortEcoute=0\r\nModefonctionnement=1\r\nDNSAuto=0\r\n"
                              "AdresseDNS=127.0.0.1\r\n"};
        std::unique_ptr<TFenetreTest> t;
        TVueMails* vue = nullptr;

        bool preparer(const testsupport::TDovecotPeer& peer) {
            t = std::make_unique<TFenetreTest>(maison.reps);
            if (!t->demarrer()) return false;
            TChercheSPAMs& c = t->moteur.ChercheSPAMs1;
            while (c.NbServeur() > 0)
                c.SupprimerServeur(c.Serveur(0)->Nom);
            c.setListeNoireEmetteur("*@noir.example");
            c.setListeBlancheEmetteur("ami@friends.example");
            if (!testsupport::releverParLeProxy(t->moteur, peer)) return false;
            t->fenetre->resize(1000, 700);
            t->fenetre->show();
            vue = t->fenetre->PageMails;
            return vue && t->fenetre->AfficherPage(TArbreOptions::kPageMails);
        }
        int ligne(const QString& sujet) const {
            for (int l = 1; l <= vue->Page().NbLignes(); ++l)
                if (vue->Page().Cellule(l, 3).Texte == QLatin1Char(' ') + sujet) return l;
            return -1;
        }
        QAction* item(const char* nom) const {
            for (QAction* a : vue->ItemsListes)
                if (a->objectName() == QLatin1String(nom)) return a;
            return nullptr;
        }
    };

private slots:
    void initTestCase() {
        m_dovecot.ajouterUtilisateur(QStringLiteral("alice"), QStringLiteral("secret"));
        for (const QByteArray& m : testsupport::messagesExemple()) {
            m_dovecot.ajouterMessage(QStringLiteral("alice"), m);
            ++m_nb;
        }
        QString erreur;
        QVERIFY2(m_dovecot.demarrer(&erreur), qPrintable(erreur));
    }

    void selectionRemplitLesPanneaux() {
        TFenetreMails f;
        QVERIFY(f.preparer(m_dovecot));
        TVueMails& v = *f.vue;
        QCOMPARE(f.t->fenetre->PageControl1->currentWidget(), &v);
        // Opened with no account chosen.
        QCOMPARE(v.CBoxCompte->count(), 1);
        QCOMPARE(v.CBoxCompte->currentIndex(), -1);
        QCOMPARE(v.SGridMails->model()->rowCount(), 0);
        QVERIFY(!v.BtnSpam->isEnabled() && !v.BtnPasSpam->isEnabled());

        v.CBoxCompte->setCurrentIndex(0);
        QCOMPARE(v.SGridMails->model()->rowCount(), m_nb);
        QCOMPARE(v.LabelNbMessage->text(), QStringLiteral("%1 message(s), affiché=%1").arg(m_nb));
        QCOMPARE(v.SGridMails->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("ip"));

        const int facture = f.ligne(QStringLiteral("Facture #1234"));
        QVERIFY(facture > 0);
        v.SelectionnerLigne(facture);
        QVERIFY(
            v.MemoMailsEntetes->toPlainText().contains(QStringLiteral("Subject: Facture #1234")));
        QCOMPARE(v.MemoInfo->toPlainText().section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("Sujet : Facture #1234"));
        QVERIFY(v.MemoCorpsTexte->toPlainText().contains(QStringLiteral("Votre facture du mois.")));
        QVERIFY(v.BtnSpam->isEnabled());
        QVERIFY(!v.BtnPasSpam->isEnabled());
        const int mots = v.ListBoxCorpsBayes->count();
        QVERIFY(mots > 3);
        QVERIFY(v.ListBoxCorpsBayes->item(0)->text().contains(QLatin1Char('|')));
        v.TabControlTri->setCurrentIndex(1);
        QCOMPARE(v.ListBoxCorpsBayes->count(), mots);

        // Only HTML: the text page is disabled and the HTML source shown.
        v.SelectionnerLigne(f.ligne(QStringLiteral("Lettre en html")));
        QVERIFY(!v.PageCtrlPlus3->isTabEnabled(0));
        QCOMPARE(v.PageCtrlPlus3->currentWidget(), v.MemoCorpsHtml);
        QVERIFY(v.MemoCorpsHtml->toPlainText().contains(QStringLiteral("<b>html</b>")));

        // "=>spam" on the invoice: the cell says so and the buttons swap.
        v.SelectionnerLigne(facture);
        v.BtnSpam->click();
        QCOMPARE(v.Page().Cellule(facture, 0).Texte, QStringLiteral("spam"));
        QVERIFY(!v.BtnSpam->isEnabled());
        QVERIFY(v.BtnPasSpam->isEnabled());
    }

    void popupEtBoutonsSelonListes() {
        TFenetreMails f;
        QVERIFY(f.preparer(m_dovecot));
        TVueMails& v = *f.vue;
        v.CBoxCompte->setCurrentIndex(0);
        const int noire = f.ligne(QStringLiteral("Promotions du jour"));
        const int blanche = f.ligne(QStringLiteral("Diner samedi"));
        const int facture = f.ligne(QStringLiteral("Facture #1234"));
        v.SelectionnerLigne(blanche);
        QVERIFY(!v.BtnSpam->isEnabled() && !v.BtnPasSpam->isEnabled());
        v.SelectionnerLigne(noire);
        QVERIFY(!v.BtnSpam->isEnabled() && !v.BtnPasSpam->isEnabled());

        v.PreparerPopup(noire);
        QVERIFY(f.item("MnuSupprMail2")->isVisible());
        QVERIFY(!f.item("MnuAjoutMail2")->isVisible());
        QVERIFY(f.item("MnuAjoutMail1")->isVisible());
        QVERIFY(!f.item("MnuSupprMail1")->isVisible());
        QVERIFY(v.MnuSupprimerMsg->isVisible() && v.MnuRemettreMsg->isVisible());

        // Adding the subject to the white list goes through the window's Apply.
        v.SelectionnerLigne(facture);
        v.PreparerPopup(facture);
        f.item("MnuAjoutSujet1")->trigger();
        TChercheSPAMs& c = f.t->moteur.ChercheSPAMs1;
        QCOMPARE(c.ListeBlancheSujet(), QByteArray("Facture \\#1234\r\n"));
        QVERIFY(!f.t->fenetre->Modifie());
        v.PreparerPopup(facture);
        QVERIFY(f.item("MnuSupprSujet1")->isVisible());
        QVERIFY(!f.item("MnuAjoutSujet1")->isVisible());

        // Delete in the grid asks first.
        TBoiteMessage::Preparer(TBoiteMessage::rpNon);
        QTest::keyClick(v.SGridMails, Qt::Key_Delete);
        QCOMPARE(v.SGridMails->model()->rowCount(), m_nb);
        TBoiteMessage::Preparer(TBoiteMessage::rpOui);
        QTest::keyClick(v.SGridMails, Qt::Key_Delete);
        QCOMPARE(v.SGridMails->model()->rowCount(), m_nb - 1);
        QCOMPARE(f.ligne(QStringLiteral("Facture #1234")), -1);
        QCOMPARE(TBoiteMessage::Questions().value(0),
                 QStringLiteral("Supprimer le message sélectionné ?"));
    }

    // "Calcul" beside the mode: the filter, the settings and the view agree.
    void comboCalcul() {
        TFenetreMails f;
        QVERIFY(f.preparer(m_dovecot));
        TVueMails& v = *f.vue;
        TFiltreBayes& filtre = *f.t->moteur.FiltreBayes();
        QCOMPARE(v.CBoxCalculBayes->count(), 2);
        QCOMPARE(v.CBoxCalculBayes->currentIndex(), 0);
        v.CBoxCompte->setCurrentIndex(0);
        v.SGridMails->selectRow(0);
        v.CBoxCalculBayes->setCurrentIndex(1);
        QCOMPARE(filtre.CalculBayes, 1);
        QCOMPARE(filtre.DocAffichage.Calcul, bayes::cbKhiDeux);
        QCOMPARE(f.t->moteur.Reglages().CalculBayes, 1);
        QCOMPARE(filtre.ModeBayes, 5); // the mode is left alone
        // Back on the page later, the combo shows the filter's choice.
        TFormKelvarin& fen = *f.t->fenetre;
        QVERIFY(fen.AfficherPage(TArbreOptions::kPageTrace));
        QVERIFY(fen.AfficherPage(TArbreOptions::kPageMails));
        QCOMPARE(v.CBoxCalculBayes->currentIndex(), 1);
        v.CBoxCalculBayes->setCurrentIndex(0);
        QCOMPARE(filtre.CalculBayes, 0);
        QCOMPARE(f.t->moteur.Reglages().CalculBayes, 0);
    }

    void quitterEtReconstruction() {
        TFenetreMails f;
        QVERIFY(f.preparer(m_dovecot));
        TVueMails& v = *f.vue;
        TFormKelvarin& fen = *f.t->fenetre;
        v.CBoxCompte->setCurrentIndex(0);
        QCOMPARE(f.t->moteur.MonDossierBis1.Compte(),
                 f.t->moteur.GestionComptesBis1.Compte(0)->Numero);

        // While "RAZ bayes" runs, the window keeps the user off.
        bool essaye = false;
        connect(&f.t->moteur.Evenements, &TEvenementsMoteur::AvancementReconstruction, this, [&] {
            if (essaye) return;
            essaye = true;
            QVERIFY(!fen.AfficherPage(TArbreOptions::kPageTrace));
            QVERIFY(!v.CBoxCompte->isEnabled());
            QVERIFY(!fen.PageControl1->isEnabled());
            fen.close();
            QVERIFY(fen.isVisible());
        });
        TBoiteMessage::Preparer(TBoiteMessage::rpOui);
        v.BtnBayesienTotal->click();
        QVERIFY(essaye);
        QVERIFY(v.CBoxCompte->isEnabled());
        QCOMPARE(v.SGridMails->model()->rowCount(), m_nb);

        // Leaving the page lets the account go.
        QVERIFY(fen.AfficherPage(TArbreOptions::kPageTrace));
        QCOMPARE(v.SGridMails->model()->rowCount(), 0);
        QCOMPARE(f.t->moteur.MonDossierBis1.Compte(), -1);
        QVERIFY(v.MemoInfo->toPlainText().isEmpty());
        QVERIFY(fen.AfficherPage(TArbreOptions::kPageMails));
        QCOMPARE(v.CBoxCompte->currentIndex(), -1);
    }
};

QTEST_MAIN(TstPageMails)
#include "tst_page_mails.moc"
