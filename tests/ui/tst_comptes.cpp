// The accounts page after real fetches through the proxy (a private dovecot on
// loopback): counters and spam rate, the per-account dialog, deletion.

#include "proxy/serveur_proxy.h"
#include "tests/support/dovecot_peer.h"
#include "tests/support/pop3_script_server.h"
#include "tests/ui/fenetre_test.h"
#include "ui/form_config_compte.h"
#include "ui/vue_comptes.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

class TstComptes : public QObject {
    Q_OBJECT
    testsupport::TDovecotPeer m_peer;

private slots:
    void initTestCase() {
        m_peer.ajouterUtilisateur(QStringLiteral("alice"), QStringLiteral("secret"));
        m_peer.ajouterMessage(QStringLiteral("alice"),
                              "From: bob@exemple.org\nTo: alice@exemple.org\nSubject: Réunion\n\n"
                              "A demain, dans la salle habituelle.\n");
        m_peer.ajouterMessage(QStringLiteral("alice"),
                              "From: carol@exemple.org\nTo: alice@exemple.org\nSubject: Photos\n\n"
                              "Les photos sont en ligne.\n");
        // Neither subject nor sender: spam by the default rule.
        m_peer.ajouterMessage(QStringLiteral("alice"),
                              "To: alice@exemple.org\n\nGagnez maintenant !\n");
        QString erreur;
        QVERIFY2(m_peer.demarrer(&erreur), qPrintable(erreur));
    }
    void cleanupTestCase() { m_peer.arreter(); }

    void comptesApresDesRelevesReels() {
        TMaisonFenetre m;
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        TFormKelvarin& f = *t.fenetre;
        f.show();
        QVERIFY(f.AfficherPage(TArbreOptions::kPageComptes));
        TVueComptes& vue = *f.PageComptes;
        QCOMPARE(vue.ListBoxComptes->count(), 0);
        {
            testsupport::TClientLignes c;
            QVERIFY(c.connecter(t.moteur.ServeurProxy().PortLocal()));
            QVERIFY(c.ligne().startsWith("+OK"));
            QVERIFY(c.commande("USER alice@127.0.0.1|" + QByteArray::number(m_peer.port()))
                        .startsWith("+OK"));
            QVERIFY(c.commande("PASS secret").startsWith("+OK"));
            // The login shows at once.
            QTRY_COMPARE(vue.ListBoxComptes->count(), 1);
            for (int n = 1; n <= 3; ++n) {
                QVERIFY(c.commande("RETR " + QByteArray::number(n)).startsWith("+OK"));
                QVERIFY(!c.jusquAuPoint().isNull());
            }
            QVERIFY(c.commande("QUIT").startsWith("+OK"));
        }
        QTRY_COMPARE(vue.Lignes().value(0).TexteCompteurs(),
                     QStringLiteral("nb test=1, message=3, spam=1, taux de spam=33.3%"));
        QCOMPARE(vue.Lignes()[0].TexteNom(), QStringLiteral("127.0.0.1/alice"));
        QVERIFY(!vue.BtnConfigCompte->isEnabled());

        // Without a selection "Config" asks for one.
        vue.Configurer();
        QCOMPARE(TBoiteMessage::Questions(),
                 QStringList{QStringLiteral("Sélectionnez le compte à configurer")});
        vue.ListBoxComptes->item(0)->setSelected(true);
        QVERIFY(vue.BtnConfigCompte->isEnabled() && vue.BtnSupprimerCompte->isEnabled());

        // The dialog: the general configuration hides the account's own panel.
        TUnCompteBis& compte = *t.moteur.GestionComptesBis1.Compte(0);
        {
            TFormConfigCompte d(compte, &f);
            d.show();
            QVERIFY(!d.PanelConfig->isVisible());
            QCOMPARE(d.EditPort->text(), QStringLiteral("pop3"));
            QVERIFY(d.EditServeur->isReadOnly());
            d.EditEMail->setText(QStringLiteral(" Alice@Exemple.org "));
            d.EditNom->setText(QStringLiteral("Maison"));
            d.CheckBoxFiltreIP->setChecked(false);
            d.CheckBoxConfigGenerale->setChecked(false);
            QVERIFY(d.PanelConfig->isVisible());
            d.EditPort->setText(QStringLiteral(" 110 "));
            d.accept();
        }
        QCOMPARE(compte.EMail, QByteArray("alice@exemple.org"));
        QCOMPARE(compte.Port, QByteArray("110"));
        QVERIFY(!compte.ConfigGenerale);
        vue.Rafraichir();
        QCOMPARE(vue.Lignes()[0].TexteNom(), QStringLiteral("Maison  (127.0.0.1/alice)"));
        QVERIFY(vue.Lignes()[0].PastilleRouge);
        QVERIFY(vue.Lignes()[0].TexteCompteurs().endsWith(QStringLiteral("(test IP désactivé)")));
        // Cancelling changes nothing.
        {
            TFormConfigCompte d(compte, &f);
            d.EditNom->setText(QStringLiteral("Autre"));
            d.reject();
        }
        QCOMPARE(compte.Nom, QByteArray("Maison"));

        // "Supprimer" asks; "Non" keeps it, "Oui" removes it once no session holds it.
        QTRY_COMPARE_WITH_TIMEOUT(t.moteur.GestionComptesBis1.Utilisations(compte.Numero), 0,
                                  10000);
        vue.ListBoxComptes->item(0)->setSelected(true);
        TBoiteMessage::Reinitialiser();
        TBoiteMessage::Preparer(TBoiteMessage::rpNon);
        vue.BtnSupprimerCompte->click();
        QCOMPARE(vue.ListBoxComptes->count(), 1);
        TBoiteMessage::Preparer(TBoiteMessage::rpOui);
        vue.BtnSupprimerCompte->click();
        QCOMPARE(TBoiteMessage::Questions().last(),
                 QStringLiteral("Supprimer les informations du compte spécifié ?"));
        QTRY_COMPARE(vue.ListBoxComptes->count(), 0);
        QCOMPARE(t.moteur.GestionComptesBis1.Count(), 0);
    }
};

QTEST_MAIN(TstComptes)
#include "tst_comptes.moc"
