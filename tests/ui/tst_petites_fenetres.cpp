// The small windows around the main window, driven offscreen: the conversion
// window over a real rebuild of the knowledge base, the application's hint
// window.

#include "accounts/gestion_comptes_bis.h"
#include "accounts/mon_dossier_bis.h"
#include "tests/ui/fenetre_test.h"
#include "ui/cadres_boutons.h"
#include "ui/form_about_box.h"
#include "ui/form_mise_a_jour.h"
#include "ui/mon_hint_window.h"

#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolTip>

namespace {

const QByteArray kMessage = "From: bob@example.org\r\nTo: alice@example.org\r\n"
                            "Subject: quarterly meeting notes\r\n\r\n"
                            "The quarterly meeting notes are below.\r\n";

// An account with one archived message, on disk before the engine starts.
void compteArchive(const TRepertoires& reps) {
    TGestionComptesBis g;
    g.OnInitRepertoire = [&reps](TGestionComptesBis&, QString& t, QString& i) {
        t = i = reps.Travail;
    };
    g.setActive(true);
    TUnCompteBis compte;
    compte.Numero = g.ChercherOuCreer("pop.test", "dave")->Numero;
    g.setActive(false);
    TMonDossierBis d;
    d.setRepertoireDossiers(reps.Dossiers());
    d.Ouvrir(&compte);
    TUnMessageMem m;
    m.Reception = 46000.5;
    m.Taille = qint32(kMessage.size());
    QVERIFY(d.AjouterMessage(m, kMessage));
    QVERIFY(d.Fermer());
}

} // namespace

class TstPetitesFenetres : public QObject {
    Q_OBJECT
private slots:
    // The rebuild shows the conversion window with its step lines while it
    // runs, and hides it when it ends.
    void conversionPendantLaReconstruction() {
        TMaisonFenetre m;
        QFile::link(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage"),
                    m.dir.path() + QStringLiteral("/Encodage"));
        compteArchive(m.reps);
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        TFormKelvarin& f = *t.fenetre;
        QVERIFY(!f.MiseAJour() || !f.MiseAJour()->isVisible());

        // Seen from a view connected after the window's own.
        QStringList vues;
        bool toujoursVisible = true;
        connect(&t.moteur.Evenements, &TEvenementsMoteur::AvancementReconstruction, this,
                [&](const QString& ligne1, const QString& ligne2) {
                    TFormMiseAJour* w = f.MiseAJour();
                    toujoursVisible = toujoursVisible && w && w->isVisible();
                    if (w) vues << w->LabelEtape1->text() + u'|' + w->LabelEtape2->text();
                    QCOMPARE(vues.last(), ligne1 + u'|' + ligne2);
                });
        QCOMPARE(t.moteur.BtnBayesienTotalClick(false), TReconstructionBayes::rrFait);
        QVERIFY(vues.size() >= 2);
        QVERIFY(toujoursVisible);
        QVERIFY(vues.first().startsWith(u"Calcul bayesiens 1/1"_qs));

        TFormMiseAJour& w = *f.MiseAJour();
        QVERIFY(!w.isVisible());
        QCOMPARE(w.windowTitle(), u"Conversion"_qs);
        QCOMPARE(w.LabelTitre->text(), u"Mise à jour de Kelvarin en cours ...."_qs);
        QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
    }

    // Every widget's hint goes through the program's own window: wrapped,
    // green, its corner picture where it points; "[H]" above the pointer.
    void bulleDAide() {
        TMaisonFenetre m;
        TFenetreTest t(m.reps);
        TMonHintWindow* h = TMonHintWindow::Instance();
        QVERIFY(h);
        QApplication::setEffectEnabled(Qt::UI_General, true);
        QApplication::setEffectEnabled(Qt::UI_AnimateTooltip, true);
        QApplication::setEffectEnabled(Qt::UI_FadeTooltip, true);
        qint64 maintenant = 100000;
        h->Horloge = [&maintenant] { return maintenant; };
        QPushButton b(u"Valider"_qs);
        b.show();
        const QPoint pointeur(300, 300);
        const auto survoler = [&](const QString& hint) {
            b.setToolTip(hint);
            QHelpEvent e(QEvent::ToolTip, QPoint(5, 5), pointeur);
            QApplication::sendEvent(&b, &e);
        };

        survoler(u"[H]Valider les modifications et fermer la fenêtre principale du programme"_qs);
        QVERIFY(h->isVisible());
        QVERIFY(!QToolTip::isVisible());
        QCOMPARE(h->Texte(),
                 u"Valider les modifications et fermer la fenêtre\r\nprincipale du programme"_qs);
        QVERIFY(h->Placement().Dessus);
        QVERIFY(h->geometry().bottom() < pointeur.y());
        QVERIFY(h->Animee());
        const QImage image = h->grab().toImage();
        QCOMPARE(image.pixelColor(image.width() - 2, 1), QColor(0, 128, 0));
        // "INFOHG": the corner picture at the bottom left, pointing down.
        QCOMPARE(h->Placement().Coin(), QByteArray("INFOHG"));
        QVERIFY(image.pixelColor(1, image.height() - 3) != QColor(0, 128, 0));
        QEvent sortie(QEvent::Leave);
        QApplication::sendEvent(&b, &sortie);
        QVERIFY(!h->isVisible());

        // Below the pointer; 120 characters open without animation.
        maintenant += 1000;
        survoler(QStringList(20, u"abcde"_qs).join(u' ') + u'.');
        QVERIFY(h->isVisible());
        QVERIFY(!h->Placement().Dessus);
        QVERIFY(h->geometry().top() > pointeur.y());
        QVERIFY(!h->Animee());
        QVERIFY(!h->Texte().split(u"\r\n"_qs).isEmpty());
        for (const QString& l : h->Texte().split(u"\r\n"_qs))
            QVERIFY(l.size() <= 50);
        // A short one right after opens at once too; a while later, animated.
        maintenant += 100;
        survoler(u"Demander de l'aide"_qs);
        QVERIFY(!h->Animee());
        maintenant += 300;
        survoler(u"Demander de l'aide"_qs);
        QVERIFY(h->Animee());
        // A click hides it.
        QTest::mouseClick(&b, Qt::LeftButton);
        QVERIFY(!h->isVisible());

        for (const char* nom : {"INFOHG", "INFOHD", "INFOBG", "INFOBD"})
            QVERIFY2(!CoinBulle(nom).isNull(), nom);
        QVERIFY(CoinBulle("INFOXX").isNull());
    }

    // The About box's two more tabs come from the files beside the program;
    // a tab whose text is empty goes.
    void aProposNouveautesEtRemerciements() {
        QTemporaryDir d;
        const QString installation = d.path() + u'/';
        QDir().mkpath(installation + u"Language"_qs);
        const auto ecrire = [&](const char* nom, const QByteArray& octets) {
            QFile f(installation + u"Language/"_qs + QLatin1String(nom));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(octets);
        };
        ecrire("suivi-version.txt", "**** Version 1.0\r\nLe filtre bay\xe9sien.\r\n");
        ecrire("remerciement.txt", "never shown: the French file is there");
        ecrire("remerciement.fr.txt", "Merci : www.qt.io\r\n");
        QElapsedTimer depart;
        depart.start();
        {
            TFormAboutBox a(depart, installation, installation);
            QCOMPARE(a.Onglets->count(), 3);
            QCOMPARE(a.Onglets->tabText(1), u"Nouveautés"_qs);
            QCOMPARE(a.Onglets->tabText(2), u"Remerciements"_qs);
            const auto* nouveautes = a.findChild<QTextBrowser*>(u"MemoNouveautes"_qs);
            QVERIFY(nouveautes);
            QCOMPARE(nouveautes->toPlainText(), u"**** Version 1.0\nLe filtre bayésien."_qs);
            QVERIFY(nouveautes->toHtml().contains(u"#0000ff"_qs));
            const auto* merci = a.findChild<QTextBrowser*>(u"MemoRemerciements"_qs);
            QCOMPARE(merci->toPlainText(), u"Merci : www.qt.io"_qs);
            QVERIFY(merci->toHtml().contains(u"href=\"www.qt.io\""_qs));
        }
        ecrire("remerciement.fr.txt", "\r\n");
        QFile::remove(installation + u"Language/suivi-version.txt"_qs);
        TFormAboutBox a(depart, installation, installation);
        QCOMPARE(a.Onglets->count(), 1);
    }

    // The frames spread their visible buttons at every resize; "&Aide" is
    // hidden without help pages and leaves no hole.
    void cadresDeBoutons() {
        TCadreBoutons v(TCadreBoutons::cbValideAnnule, 0);
        v.BtnAide->hide();
        v.resize(400, 40);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        const auto ecarts = [](const QList<QPushButton*>& boutons, int largeur) {
            QList<int> r;
            int x = 0;
            for (const QPushButton* b : boutons) {
                r << b->x() - x;
                x = b->x() + b->width();
            }
            r << largeur - x;
            return r;
        };
        QList<int> e = ecarts({v.BtnValider, v.BtnAnnuler}, 400);
        QVERIFY2(e[0] == e[1] && e[2] - e[0] >= 0 && e[2] - e[0] <= 2,
                 qPrintable(QString::number(e[0])));
        v.resize(600, 40);
        e = ecarts({v.BtnValider, v.BtnAnnuler}, 600);
        QVERIFY(e[0] == e[1] && e[0] > 100);
        QCOMPARE(v.BtnAnnuler->text(), u"&Annuler"_qs);
        QCOMPARE(v.BtnValider->toolTip(), u"Valider les modifications et fermer la fenêtre"_qs);

        TCadreBoutons ok(TCadreBoutons::cbOK, 1);
        ok.BtnAide->setVisible(true);
        ok.resize(300, 40);
        ok.show();
        QVERIFY(QTest::qWaitForWindowExposed(&ok));
        e = ecarts({ok.BtnFermer, ok.BtnAide}, 300);
        QVERIFY(e[0] == e[1] && e[2] - e[0] >= 0 && e[2] - e[0] <= 2);
        QCOMPARE(ok.BtnFermer->toolTip(), u"Fermer cette fenêtre"_qs);
    }
};

QTEST_MAIN(TstPetitesFenetres)
#include "tst_petites_fenetres.moc"
