// The main window driven offscreen: the tree and menus of each mode, Apply
// with its floors and the listening port, Cancel, the page-leaving question,
// "Réduire", the close and quit paths, the busy flag, the second copy's signal.

#include "proxy/serveur_proxy.h"
#include "tests/support/dovecot_peer.h"
#include "tests/support/pop3_script_server.h"
#include "tests/ui/fenetre_test.h"
#include "ui/icone_notification.h"
#include "ui/pages_options.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTreeWidget>

namespace {
QStringList racinesArbre(QTreeWidget* t) {
    QStringList r;
    for (int i = 0; i < t->topLevelItemCount(); ++i)
        r << t->topLevelItem(i)->text(0);
    return r;
}
int nbNoeuds(QTreeWidget* t) {
    int n = 0;
    for (QTreeWidgetItemIterator it(t); *it; ++it)
        ++n;
    return n;
}
QStringList textes(const QMenu* m) {
    QStringList r;
    for (const QAction* a : m->actions())
        r << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return r;
}
QTreeWidgetItem* noeud(QTreeWidget* t, int page) {
    for (QTreeWidgetItemIterator it(t); *it; ++it)
        if ((*it)->data(0, Qt::UserRole).toInt() == page) return *it;
    return nullptr;
}
// Typing into an edit as the user does (textEdited fires).
void taper(QLineEdit* e, const QString& texte) {
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Backspace);
    QTest::keyClicks(e, texte);
}
} // namespace

class TstFenetre : public QObject {
    Q_OBJECT
private slots:
    void init() { TBoiteMessage::Reinitialiser(); }

    void arbresEtMenusSuiventLeMode() {
        TMaisonFenetre m("[Init]\r\nPortEcoute=0\r\nModefonctionnement=0\r\n");
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        TFormKelvarin& f = *t.fenetre;
        const QStringList simple = {
            QStringLiteral("Configuration"), QStringLiteral("Listes blanches"),
            QStringLiteral("Listes noires"), QStringLiteral("Ignorer"),
            QStringLiteral("Comptes"),       QStringLiteral("Statistiques"),
            QStringLiteral("Mails reçus")};
        QCOMPARE(racinesArbre(f.TreeView1), simple);
        QCOMPARE(nbNoeuds(f.TreeView1), 13);
        QCOMPARE(textes(f.MenuVoir), simple);
        const QStringList menuIcone =
            simple + QStringList{QStringLiteral("-"), QStringLiteral("Quitter")};
        QCOMPARE(textes(f.Icone().Menu()), menuIcone);
        QVERIFY(!f.BtnAppliquer->isEnabled());

        // Expert mode from its button: every page, DNSBL with its child, first page shown.
        QVERIFY(f.AfficherPage(TArbreOptions::kPageComptes));
        QVERIFY(f.AfficherPage(TArbreOptions::kPageConfig));
        f.PageConfig->BtnModeExpert->click();
        QCOMPARE(nbNoeuds(f.TreeView1), 23);
        QTreeWidgetItem* dns = noeud(f.TreeView1, TArbreOptions::kPageDNS);
        QVERIFY(dns && dns->childCount() == 1);
        QCOMPARE(dns->child(0)->text(0), QStringLiteral("Derniers tests DNSBL"));
        QCOMPARE(f.MenuVoir->actions().size(), 9);
        QCOMPARE(f.Icone().Menu()->actions().size(), 11);
        QCOMPARE(f.PageCourante(), 0);
        QVERIFY(f.BtnAppliquer->isEnabled() && f.BtnAnnuler->isEnabled());
        QCOMPARE(Config().Modefonctionnement, 1);
        // An expert page opens from "Voir" (leaving the mode page asks first).
        TBoiteMessage::Preparer(TBoiteMessage::rpNon);
        f.MenuVoir->actions().at(6)->trigger(); // "Trace des connexions"
        QCOMPARE(f.PageCourante(), int(TArbreOptions::kPageTrace));

        // Cancel: the stored (simple) mode comes back, tree rebuilt.
        f.BtnAnnuler->click();
        QCOMPARE(nbNoeuds(f.TreeView1), 13);
        QVERIFY(f.PageConfig->BtnModeSimplifie->isChecked());
        QCOMPARE(f.PageCourante(), 0);

        // A mode chosen and never applied is still written at shutdown.
        f.PageConfig->BtnModeExpert->click();
        t.controleur.Arreter();
        QVERIFY2(m.ini().contains("Modefonctionnement=1\r\n"), m.ini().constData());
    }

    void appliquerPlanchersEtPortReouvert() {
        TMaisonFenetre m("[Init]\r\nPortEcoute=0\r\nModefonctionnement=1\r\n");
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        TFormKelvarin& f = *t.fenetre;
        f.show();
        QVERIFY(f.AfficherPage(TArbreOptions::kPageGeneral));
        TPageGeneral& g = *f.PageGeneral;
        // Letters are refused as typed; a pasted text is not filtered.
        taper(g.EditNbSocket, QStringLiteral("a5b"));
        QCOMPARE(g.EditNbSocket->text(), QStringLiteral("5"));
        g.EditTimeOut->setText(QStringLiteral("abc"));
        const quint16 port = testsupport::portLibre();
        taper(g.EditPortEcoute, QStringLiteral(" %1 ").arg(port));
        taper(g.EditPortMail, QStringLiteral("1110"));
        QVERIFY(f.BtnAppliquer->isEnabled());
        QTest::mouseClick(f.BtnAppliquer, Qt::LeftButton);

        QCOMPARE(Config().NbSocket, 20);
        QCOMPARE(Config().TimeOutRecherche, 1000);
        QCOMPARE(Config().PortEcoute, QByteArray::number(port));
        QCOMPARE(Config().PortMail, QByteArray("1110"));
        const QByteArray ini = m.ini();
        QVERIFY(ini.contains("NbSocket=20\r\n"));
        QVERIFY(ini.contains("TimeOutRecherche=1000\r\n"));
        QVERIFY(ini.contains("PortEcoute=" + QByteArray::number(port) + "\r\n"));
        QVERIFY(!f.BtnAppliquer->isEnabled());
        // The controls show what was stored.
        QCOMPARE(g.EditNbSocket->text(), QStringLiteral("20"));
        // The listener now answers on the new port.
        QCOMPARE(t.moteur.ServeurProxy().PortLocal(), port);
        testsupport::TClientLignes c;
        QVERIFY(c.connecter(port));
        QVERIFY(c.ligne().startsWith("+OK"));
        QCOMPARE(TBoiteMessage::Questions(), QStringList());
    }

    void annulerRelitLeFichier() {
        TMaisonFenetre m("[Init]\r\nPortEcoute=0\r\nModefonctionnement=1\r\nPortMail=995\r\n");
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        TFormKelvarin& f = *t.fenetre;
        f.show();
        QVERIFY(f.AfficherPage(TArbreOptions::kPageInfosSpams));
        taper(f.PageInfosSpams->EditDebutSujet, QStringLiteral("[SPAM] "));
        QVERIFY(f.AfficherPage(TArbreOptions::kPageGeneral));
        taper(f.PageGeneral->EditPortMail, QStringLiteral("110"));
        QTest::mouseClick(f.BtnAnnuler, Qt::LeftButton);
        QCOMPARE(f.PageGeneral->EditPortMail->text(), QStringLiteral("995"));
        QCOMPARE(f.PageInfosSpams->EditDebutSujet->text(), QStringLiteral("[[**SPAM**]] "));
        QCOMPARE(Config().PortMail, QByteArray("995"));
        QVERIFY(!f.BtnAppliquer->isEnabled() && !f.BtnAnnuler->isEnabled());
    }

    // The upstream security choice follows Apply and Cancel; the PEM file,
    // which has no control, stays as the file has it.
    void securiteAmont() {
        TMaisonFenetre m("[Init]\r\nPortEcoute=0\r\nModefonctionnement=1\r\nSecuriteAmont=2\r\n"
                         "CertificatsAmont=/etc/maison/ca.pem\r\n");
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        TFormKelvarin& f = *t.fenetre;
        f.show();
        QVERIFY(f.AfficherPage(TArbreOptions::kPageGeneral));
        QComboBox* b = f.PageGeneral->CBoxSecuriteAmont;
        QCOMPARE(b->currentIndex(), 2);
        QCOMPARE(b->currentText(), QStringLiteral("Texte clair uniquement"));
        b->setFocus();
        QTest::keyClick(b, Qt::Key_Up);
        QCOMPARE(b->currentIndex(), 1);
        QVERIFY(f.BtnAppliquer->isEnabled());
        QTest::mouseClick(f.BtnAppliquer, Qt::LeftButton);
        QCOMPARE(Config().SecuriteAmont, 1);
        QVERIFY2(m.ini().contains("\r\nSecuriteAmont=1\r\n"), m.ini().constData());
        QVERIFY(m.ini().contains("\r\nCertificatsAmont=/etc/maison/ca.pem\r\n"));
        QTest::keyClick(b, Qt::Key_Up);
        QCOMPARE(b->currentIndex(), 0);
        QTest::mouseClick(f.BtnAnnuler, Qt::LeftButton);
        QCOMPARE(b->currentIndex(), 1);
        QCOMPARE(Config().SecuriteAmont, 1);
    }

    void quitterLaPageDeConfiguration_data() {
        QTest::addColumn<int>("reponse");
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("enAttente");
        QTest::addColumn<int>("modeStocke");
        QTest::newRow("Oui: applied") << int(TBoiteMessage::rpOui) << 19 << false << 1;
        QTest::newRow("Non: stays pending") << int(TBoiteMessage::rpNon) << 19 << true << 0;
        QTest::newRow("Annuler: stays") << int(TBoiteMessage::rpAnnuler) << 0 << true << 0;
    }
    void quitterLaPageDeConfiguration() {
        QFETCH(int, reponse);
        QFETCH(int, page);
        QFETCH(bool, enAttente);
        QFETCH(int, modeStocke);
        TMaisonFenetre m;
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        TFormKelvarin& f = *t.fenetre;
        f.show();
        f.PageConfig->BtnModeExpert->click();
        TBoiteMessage::Preparer(TBoiteMessage::TReponse(reponse));
        // The user clicks "Comptes" in the tree.
        QTreeWidgetItem* comptes = noeud(f.TreeView1, TArbreOptions::kPageComptes);
        f.TreeView1->setCurrentItem(comptes);
        QCOMPARE(TBoiteMessage::Questions(),
                 QStringList{QStringLiteral("Mémoriser les changements dans la configuration ?")});
        QCOMPARE(f.PageCourante(), page);
        QCOMPARE(f.TreeView1->currentItem()->data(0, Qt::UserRole).toInt(), page);
        QCOMPARE(f.Modifie(), enAttente);
        QVERIFY(m.ini().contains("Modefonctionnement=" + QByteArray::number(modeStocke)) ||
                (modeStocke == 0 && !m.ini().contains("Modefonctionnement=1")));
        // Leaving any other page never asks.
        TBoiteMessage::Reinitialiser();
        if (page != 0) {
            QVERIFY(f.AfficherPage(TArbreOptions::kPageStats));
            QCOMPARE(TBoiteMessage::Questions().size(), 0);
        }
    }

    void reduireAvecDesChangements() {
        TMaisonFenetre m;
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        TFormKelvarin& f = *t.fenetre;
        f.show();
        f.PageConfig->BtnModeExpert->click();
        // Cancel: neither applied nor minimised.
        TBoiteMessage::Preparer(TBoiteMessage::rpAnnuler);
        QTest::mouseClick(f.BtnReduire, Qt::LeftButton);
        QCOMPARE(TBoiteMessage::Questions().size(), 1);
        QVERIFY(f.isVisible() && !f.isMinimized());
        QVERIFY(f.Modifie());
        QVERIFY(!t.controleur.TimerSauve().isActive());
        QVERIFY(!m.ini().contains("Modefonctionnement=1"));
        // No: the changes stay pending, the window goes (no notification area
        // here: minimised, still on the task bar) and the save timer runs.
        TBoiteMessage::Preparer(TBoiteMessage::rpNon);
        QTest::mouseClick(f.BtnReduire, Qt::LeftButton);
        QTRY_VERIFY(f.isMinimized());
        QVERIFY(f.Modifie());
        QVERIFY(t.controleur.TimerSauve().isActive());
        // The second copy's signal brings it back.
        f.SignalAutreInstance();
        QTRY_VERIFY(f.isVisible() && !f.isMinimized());
    }

    void fermerEtQuitter() {
        TMaisonFenetre m;
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer(false));
        TFormKelvarin& f = *t.fenetre;
        QSignalSpy quitte(&f, &TFormKelvarin::QuitterApplication);
        f.show();
        // Before the deferred start a close asks; "Non" keeps the program and
        // sets the close-to-tray flag.
        TBoiteMessage::Preparer(TBoiteMessage::rpNon);
        QVERIFY(!f.close());
        QCOMPARE(TBoiteMessage::Questions(),
                 QStringList{QStringLiteral("Etes vous sûr de vouloir quitter Kelvarin ?")});
        QVERIFY(f.VersTray());
        QVERIFY(QTest::qWaitFor([&t] { return t.controleur.DemarrageDiffereFait(); }, 5000));
        // After it, closing only hides (minimised here), without a question;
        // the position is written.
        QVERIFY(!f.close());
        QCOMPARE(TBoiteMessage::Questions().size(), 1);
        QVERIFY(f.isMinimized());
        QVERIFY(m.ini().contains("FormKelvarinX="));
        QCOMPARE(quitte.size(), 0);
        // "Quitter" always asks; "Oui" quits.
        f.showNormal();
        TBoiteMessage::Preparer(TBoiteMessage::rpOui);
        f.Icone().Menu()->actions().last()->trigger();
        QCOMPARE(TBoiteMessage::Questions().size(), 2);
        QCOMPARE(quitte.size(), 1);
        QVERIFY(!f.Icone().Ajoutee());
    }

    void fermerAvecLesInterrupteurs() {
        TMaisonFenetre m;
        InstallerLigneCommande(TLigneCommande({QStringLiteral("/Quitter")}));
        {
            TFenetreTest t(m.reps);
            QVERIFY(t.demarrer());
            QSignalSpy quitte(t.fenetre.get(), &TFormKelvarin::QuitterApplication);
            t.fenetre->show();
            // /Quitter: the close asks even after the deferred start.
            TBoiteMessage::Preparer(TBoiteMessage::rpOui);
            QVERIFY(t.fenetre->close());
            QCOMPARE(TBoiteMessage::Questions().size(), 1);
            QCOMPARE(quitte.size(), 1);
        }
        TBoiteMessage::Reinitialiser();
        InstallerLigneCommande(TLigneCommande({QStringLiteral("/QuitterSans")}));
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        QSignalSpy quitte(t.fenetre.get(), &TFormKelvarin::QuitterApplication);
        t.fenetre->show();
        QVERIFY(t.fenetre->close());
        QCOMPARE(TBoiteMessage::Questions().size(), 0);
        QCOMPARE(quitte.size(), 1);
    }

    // While a long computation runs nothing may free what it uses.
    void occupe() {
        TMaisonFenetre m;
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        TFormKelvarin& f = *t.fenetre;
        QSignalSpy quitte(&f, &TFormKelvarin::QuitterApplication);
        f.show();
        f.PageConfig->BtnModeExpert->click();
        bool calcul = true;
        t.moteur.OnCalculEnCours = [&calcul] { return calcul; };
        emit t.moteur.Evenements.Occupe(true);
        f.Quitter();
        QVERIFY(f.isVisible());
        QCOMPARE(quitte.size(), 0);
        QVERIFY(!f.AfficherPage(TArbreOptions::kPageComptes));
        QVERIFY(!f.PageControl1->isEnabled() && !f.TreeView1->isEnabled());
        f.BtnAppliquerClick();
        QVERIFY(!m.ini().contains("Modefonctionnement=1"));
        QCOMPARE(TBoiteMessage::Questions().size(), 0);
        calcul = false;
        emit t.moteur.Evenements.Occupe(false);
        QVERIFY(f.PageControl1->isEnabled());
        f.BtnAppliquerClick();
        QVERIFY(m.ini().contains("Modefonctionnement=1"));
    }
};

QTEST_MAIN(TstFenetre)
#include "tst_fenetre.moc"
