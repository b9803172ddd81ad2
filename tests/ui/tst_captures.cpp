// Every page and dialog drawn offscreen with sample content: each must render.
// With KELVARIN_CAPTURES=<folder> (scripts/screenshots.sh) the pictures are
// written there, one PNG per page or dialog.

#include "core/trace.h"
#include "i18n/traduction.h"
#include "tests/ui/fenetre_test.h"
#include "ui/form_about_box.h"
#include "ui/form_config_compte.h"
#include "ui/form_language.h"
#include "ui/form_mise_a_jour.h"
#include "ui/form_patienter.h"
#include "ui/form_quitter.h"
#include "ui/mon_hint_window.h"
#include "ui/page_trace.h"
#include "ui/vue_comptes.h"

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>

namespace {
// A picture with some drawing: more than one colour.
bool dessinee(const QPixmap& p) {
    const QImage i = p.toImage();
    if (i.isNull()) return false;
    const QRgb premier = i.pixel(0, 0);
    for (int y = 0; y < i.height(); y += 7)
        for (int x = 0; x < i.width(); x += 7)
            if (i.pixel(x, y) != premier) return true;
    return false;
}
} // namespace

class TstCaptures : public QObject {
    Q_OBJECT
    QString m_dossier = qEnvironmentVariable("KELVARIN_CAPTURES");

    void capture(QWidget& w, const QString& nom) {
        w.show();
        QCoreApplication::processEvents();
        const QPixmap p = w.grab();
        QVERIFY2(dessinee(p), qPrintable(nom));
        if (!m_dossier.isEmpty())
            QVERIFY(p.save(QDir(m_dossier).filePath(nom + QStringLiteral(".png"))));
    }

private slots:
    void initTestCase() {
        if (!m_dossier.isEmpty()) QVERIFY(QDir().mkpath(m_dossier));
    }

    void pagesEtDialogues() {
        TMaisonFenetre m("[Init]\r\nPortEcoute=0\r\nModefonctionnement=0\r\n");
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        TFormKelvarin& f = *t.fenetre;
        f.resize(940, 620);
        capture(f, QStringLiteral("01-configuration-simple"));

        // Sample accounts and trace lines.
        TGestionComptesBis& g = t.moteur.GestionComptesBis1;
        PUnCompteBis a = g.Connexion("pop.exemple.fr", "alice");
        a->NbMessages = 148;
        a->NbSpams = 37;
        a->NbConnexions = 12;
        PUnCompteBis b = g.Connexion("mail.exemple.org", "bruno");
        b->Nom = "Bureau";
        b->NbMessages = 20;
        b->NbConnexions = 3;
        b->ConfigGenerale = false;
        b->FiltreBayes = false;
        g.Trier();
        Trace(1, QStringLiteral("> USER alice@pop.exemple.fr"));
        Trace(1, QStringLiteral("< +OK Bienvenue sur Kelvarin"));
        Trace(1, QStringLiteral("> RETR 1"));
        Trace(1, QStringLiteral(" + 203.0.113.7 : bl.exemple.net"));
        Trace(1, QStringLiteral("<< -ERR message inconnu"));
        Trace(1, QStringLiteral("< Message 1 : spam (liste noire)"));
        Trace(-1, QStringLiteral("Timer : sauvegarde"));

        f.PageConfig->BtnModeExpert->click();
        f.BtnAppliquerClick();
        // A realistic port in the pictures, shown without listening on it.
        Config().PortEcoute = "1110";
        f.ConfigVersEcran();
        const struct {
            int page;
            const char* nom;
        } pages[] = {{0, "02-configuration-expert"},
                     {1, "03-general"},
                     {2, "04-infos-spams"},
                     {3, "05-listes-blanches"},
                     {8, "06-listes-noires"},
                     {13, "07-ignorer"},
                     {19, "08-comptes"},
                     {20, "09-trace"},
                     {21, "10-page-a-venir"}};
        for (const auto& p : pages) {
            QVERIFY(f.AfficherPage(p.page));
            capture(f, QLatin1String(p.nom));
        }

        TFormConfigCompte compte(*a, &f);
        capture(compte, QStringLiteral("11-config-compte"));
        TFormQuitter quitter(&f);
        capture(quitter, QStringLiteral("12-quitter"));
        QElapsedTimer depart;
        depart.start();
        // The texts delivered beside the program.
        const QString langue = m.reps.Installation + QStringLiteral("Language/");
        QVERIFY(QDir().mkpath(langue));
        for (const char* nom : {"suivi-version.txt", "remerciement.txt"})
            QVERIFY(QFile::copy(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Language/") +
                                    QLatin1String(nom),
                                langue + QLatin1String(nom)));
        TFormAboutBox apropos(depart, m.reps.Installation, m.reps.Travail, &f);
        capture(apropos, QStringLiteral("13-a-propos"));
        QCOMPARE(apropos.Onglets->count(), 3);
        apropos.Onglets->setCurrentIndex(1);
        capture(apropos, QStringLiteral("13b-a-propos-nouveautes"));
        apropos.Onglets->setCurrentIndex(2);
        capture(apropos, QStringLiteral("13c-a-propos-remerciements"));
        TFormPatienter splash(false, false);
        splash.Statut(QStringLiteral("Lecture config..."));
        capture(splash, QStringLiteral("14-demarrage"));
        TFormMiseAJour conversion;
        conversion.Avancement(QStringLiteral("Calcul bayesiens 1/2"),
                              QStringLiteral("Message 40 / 148"));
        capture(conversion, QStringLiteral("15-conversion"));
        // The hint window, below and above the pointer.
        TMonHintWindow* bulle = TMonHintWindow::Instance();
        QVERIFY(bulle);
        bulle->Montrer(f.BtnAppliquer->toolTip().isEmpty()
                           ? QStringLiteral("Valider les modifications sans fermer la fenêtre")
                           : f.BtnAppliquer->toolTip(),
                       QPoint(200, 200));
        capture(*bulle, QStringLiteral("16-bulle"));
        bulle->Montrer(QStringLiteral("[H]Le port sur lequel Kelvarin attend les clients de "
                                      "messagerie ; 110 est le port POP3 habituel."),
                       QPoint(400, 300));
        capture(*bulle, QStringLiteral("17-bulle-dessus"));
        bulle->Cacher();
    }

    // The window with the English file, and the language dialog.
    void enAnglais() {
        TMaisonFenetre m("[Init]\r\nPortEcoute=0\r\nModefonctionnement=1\r\n"
                         "TraductionInterface=1\r\nLanguageDefaut=0\r\nLanguageForce=en\r\n");
        const QString langue = m.reps.Installation + QStringLiteral("Language/");
        QVERIFY(QDir().mkpath(langue));
        for (const char* nom : {"kelvarin.en.lang", "suivi-version.en.txt", "remerciement.en.txt"})
            QVERIFY(QFile::copy(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Language/") +
                                    QLatin1String(nom),
                                langue + QLatin1String(nom)));
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        TFormKelvarin& f = *t.fenetre;
        f.resize(940, 620);
        Config().PortEcoute = "1110";
        f.ConfigVersEcran();
        const struct {
            int page;
            const char* nom;
        } pages[] = {{0, "20-en-configuration"},
                     {1, "21-en-general"},
                     {2, "22-en-infos-spams"},
                     {3, "23-en-listes-blanches"},
                     {19, "24-en-comptes"}};
        for (const auto& p : pages) {
            QVERIFY(f.AfficherPage(p.page));
            capture(f, QLatin1String(p.nom));
        }
        TFormLanguage choix(&f);
        capture(choix, QStringLiteral("25-en-langue"));
        TFormQuitter quitter(&f);
        capture(quitter, QStringLiteral("26-en-quitter"));
        QElapsedTimer depart;
        depart.start();
        TFormAboutBox apropos(depart, m.reps.Installation, m.reps.Travail, &f);
        capture(apropos, QStringLiteral("27-en-a-propos"));
        apropos.Onglets->setCurrentIndex(1);
        capture(apropos, QStringLiteral("27b-en-a-propos-nouveautes"));
        Traduction().ChoixAuDemarrage(false, QString());
        // The same dialog in French, with the English file to choose.
        TFormLanguage choixFr(&f);
        capture(choixFr, QStringLiteral("18-langue"));
    }
};

QTEST_MAIN(TstCaptures)
#include "tst_captures.moc"
