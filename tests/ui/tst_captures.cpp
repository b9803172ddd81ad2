// Every page and dialog drawn offscreen with sample content: each must render.
// With KELVARIN_CAPTURES=<folder> (scripts/screenshots.sh) the pictures are
// written there, one PNG per page or dialog.

#include "core/trace.h"
#include "i18n/traduction.h"
#include "integration/thunderbird.h"
#include "tests/ui/fenetre_test.h"
#include "tests/ui/releve_fenetre.h"
#include "ui/form_about_box.h"
#include "ui/form_config_compte.h"
#include "ui/form_config_dns.h"
#include "ui/form_config_oe.h"
#include "ui/form_language.h"
#include "ui/form_mise_a_jour.h"
#include "ui/form_patienter.h"
#include "ui/form_quitter.h"
#include "ui/form_tester.h"
#include "ui/form_tester_reg_exp.h"
#include "ui/frame_info_filtres.h"
#include "ui/liste_virtuelle.h"
#include "ui/mon_hint_window.h"
#include "ui/page_statistiques.h"
#include "ui/page_trace.h"
#include "ui/vue_comptes.h"
#include "ui/vue_dns.h"
#include "ui/vue_mails.h"
#include "ui/vue_tests_ip.h"

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>

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

    // The list editors, the DNSBL page with counters, the IP tests and the
    // dialogs of those pages, with sample content.
    void capturerListes(TFenetreTest& t, TFormKelvarin& f) {
        TChercheSPAMs& c = t.moteur.ChercheSPAMs1;
        f.FramesInfoFiltres[4]->Initialiser(
            0, QStringLiteral("*@promo-*.com\nnewsletter@*\n*@????.ru"),
            QStringLiteral("^[a-z]{12,}@\n(?i)casino"));
        f.FramesInfoFiltres[7]->Initialiser(1, QStringLiteral("203.0.113.*\ncidr:198.51.100.0/24"),
                                            QString());
        f.MemoIgnorerEntetes->setPlainText(QStringLiteral("received\nmessage-id\nx-mailer"));
        f.MemoIgnorerMots->setPlainText(QStringLiteral("bonjour\ncordialement\nmerci"));
        const int compteurs[][6] = {
            {1520, 310, 4, 2, 3, 1100}, {1520, 122, 0, 0, 12, 900}, {1518, 95, 2, 1, 0, 0}};
        for (int i = 0; i < 3 && i < c.NbServeur(); ++i) {
            PUnDNS s = c.Serveur(i);
            s->NbTest = compteurs[i][0];
            s->NbSpam = compteurs[i][1];
            s->NbFauxPositif = compteurs[i][2];
            s->NbCorrection = compteurs[i][3];
            s->NbTimeOut = compteurs[i][4];
            s->TempsRAZ = quint32(compteurs[i][5]) * 40;
            s->NbTestRAZ = compteurs[i][5] ? 40 : 0;
        }
        const char* adresses[] = {"203.0.113.7", "198.51.100.23", "192.0.2.99"};
        const quint8 etats[] = {erSpam, erPasSpam, erEnCours};
        for (int a = 0; a < 3; ++a) {
            c.ResultatIP(ChaineVersIP(adresses[a]), true);
            for (int i = 0; i < c.NbRecherche(); ++i) {
                PUneRechercheDNS r = c.Recherche(i);
                if (r->IP != ChaineVersIP(adresses[a]) || r->Etat != erPasCherche) continue;
                const bool liste = etats[a] == erSpam && r->Serveur && r->Serveur->Numero % 3 == 0;
                r->Etat = liste ? erSpam : etats[a] == erEnCours ? erEnCours : erPasSpam;
                if (r->Etat == erEnCours) continue;
                r->Reponse = liste ? QByteArray("127.0.0.2") : QByteArray("inexistant");
                r->DateReponse = datetime::encoder(2026, 12, 10, 14, 5 + i, 12);
                r->NbUtilisation = i % 4;
            }
        }
        f.PageDNS->Rafraichir();
        f.RafraichirListesDNS();
        const struct {
            int page;
            const char* nom;
        } pages[] = {{4, "18-liste-emetteurs-blancs"},
                     {9, "19-liste-emetteurs-noirs"},
                     {12, "20-liste-ip-noires"},
                     {14, "21-entetes-ignores"},
                     {15, "22-mots-ignores"},
                     {16, "23-ip-a-ne-pas-tester"},
                     {17, "24-dnsbl"},
                     {18, "25-derniers-tests"}};
        for (const auto& p : pages) {
            QVERIFY(f.AfficherPage(p.page));
            if (p.page == 17) f.PageDNS->ListBoxDNS->Selectionner(1);
            capture(f, QLatin1String(p.nom));
        }
        TPageDNS page(c);
        TFormConfigDNS dialogue(page, c.Serveur(0), &f);
        capture(dialogue, QStringLiteral("26-config-dnsbl"));
        TFormTester* testeur = TFormTester::Ouvrir(&f);
        testeur->EditValeur2->setText(QStringLiteral("10.1.2.3"));
        testeur->EditFiltre2->setText(QStringLiteral("cidr:10.0.0.0/8"));
        capture(*testeur, QStringLiteral("27-tester"));
        testeur->close();
        TFormTesterRegExp* re = TFormTesterRegExp::Ouvrir(&f);
        re->EditRegExp->setText(QStringLiteral("(?i)^re: projet"));
        re->EditValeur->setText(QStringLiteral("RE: Projet Kelvarin"));
        re->BtnTesterClick();
        capture(*re, QStringLiteral("28-tester-regexp"));
        re->close();
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
                     {20, "09-trace"}};
        for (const auto& p : pages) {
            QVERIFY(f.AfficherPage(p.page));
            capture(f, QLatin1String(p.nom));
        }

        // Three weeks of archived mail for the statistics.
        const QDate aujourdhui = QDate::currentDate();
        int graine = 7;
        for (PUnCompteBis c : {a, b}) {
            QVERIFY(t.moteur.MonDossierBisSynchro.Ouvrir(c));
            for (int j = 0; j < 21; ++j) {
                const QDate jour = aujourdhui.addDays(-j);
                for (int k = 0; k < (c == a ? 6 : 2) + (j * 5 + 3) % 7; ++k) {
                    graine = (graine * 1103 + 12345) % 65536;
                    TUnMessageMem message;
                    message.Reception =
                        datetime::encoder(jour.year(), jour.month(), jour.day(), k % 24);
                    message.Spam = graine % 5 < 2;
                    message.ListeBlanche = graine % 11 == 0;
                    message.ListeNoire = graine % 13 == 0;
                    message.HorsDestinataire = graine % 17 == 0;
                    QVERIFY(t.moteur.MonDossierBisSynchro.AjouterMessage(message,
                                                                         "Subject: s\r\n\r\n"));
                }
            }
        }
        QVERIFY(t.moteur.MonDossierBisSynchro.Fermer());
        QVERIFY(f.AfficherPage(TArbreOptions::kPageStats));
        f.PageStatistiques->CBoxCompte2->setCurrentIndex(0);
        f.PageStatistiques->CBoxPeriodeStats->setCurrentIndex(TStatistiques::ps2Semaines);
        capture(f, QStringLiteral("10-statistiques"));
        f.PageStatistiques->CBoxCompte2->setCurrentIndex(1);
        f.PageStatistiques->CBoxPeriodeStats->setCurrentIndex(TStatistiques::psAutrePeriode);
        capture(f, QStringLiteral("10b-statistiques-autre-periode"));

        // The review page over mail the proxy fetched from a private dovecot.
        testsupport::TDovecotPeer dovecot;
        dovecot.ajouterUtilisateur(QStringLiteral("alice"), QStringLiteral("secret"));
        for (const QByteArray& texte : testsupport::messagesExemple())
            dovecot.ajouterMessage(QStringLiteral("alice"), texte);
        for (const QByteArray& texte : testsupport::messagesCorpus(14))
            dovecot.ajouterMessage(QStringLiteral("alice"), texte);
        QString erreur;
        QVERIFY2(dovecot.demarrer(&erreur), qPrintable(erreur));
        TChercheSPAMs& cherche = t.moteur.ChercheSPAMs1;
        while (cherche.NbServeur() > 0) // no lookup leaves the machine
            cherche.SupprimerServeur(cherche.Serveur(0)->Nom);
        cherche.setListeNoireEmetteur("*@noir.example");
        cherche.setListeBlancheEmetteur("ami@friends.example");
        QVERIFY(testsupport::releverParLeProxy(t.moteur, dovecot));
        QVERIFY(f.AfficherPage(TArbreOptions::kPageMails));
        TVueMails& mails = *f.PageMails;
        mails.CBoxCompte->setCurrentIndex(
            mails.CBoxCompte->findText(QStringLiteral("127.0.0.1/alice")));
        QVERIFY(mails.SGridMails->model()->rowCount() > 10);
        // A few corrections teach the filter what spam looks like.
        for (int l = 1; l <= mails.Page().NbLignes(); ++l) {
            if (l % 3 == 0 || l % 2 == 0) continue;
            mails.Page().Corriger(l, true);
        }
        mails.Rafraichir();
        f.resize(1180, 720);
        mails.SelectionnerLigne(3);
        capture(f, QStringLiteral("30-mails-recus"));
        mails.PageCtrlPlusEntete->setCurrentWidget(mails.MemoInfo);
        mails.PageCtrlPlus3->setCurrentIndex(2);
        capture(f, QStringLiteral("30b-mails-recus-bayes"));
        f.resize(940, 620);
        capturerListes(t, f);

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

        // The Thunderbird accounts of the fixture profiles, one selected.
        QTemporaryDir home;
        for (const char* fichier :
             {"profiles.ini", "profil-principal/prefs.js", "profil-travail/prefs.js"}) {
            const QString cible =
                home.filePath(QStringLiteral(".thunderbird/") + QLatin1String(fichier));
            QVERIFY(QDir().mkpath(QFileInfo(cible).absolutePath()));
            QVERIFY(QFile::copy(QStringLiteral(KELVARIN_FIXTURES_DIR "/thunderbird/") +
                                    QLatin1String(fichier),
                                cible));
        }
        TThunderbird thunderbird(home.path());
        TConfigComptesCourrier regles(thunderbird, 0, 110);
        TFormConfigOE comptesThunderbird(regles, &f);
        comptesThunderbird.CheckListBox1->setCurrentRow(2);
        capture(comptesThunderbird, QStringLiteral("29-comptes-thunderbird"));
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
        } pages[] = {{0, "40-en-configuration"},
                     {1, "41-en-general"},
                     {2, "42-en-infos-spams"},
                     {3, "43-en-listes-blanches"},
                     {19, "44-en-comptes"}};
        for (const auto& p : pages) {
            QVERIFY(f.AfficherPage(p.page));
            capture(f, QLatin1String(p.nom));
        }
        // The DNSBL page with counters, then the received mail through a
        // private dovecot (no lookup leaves the machine).
        TChercheSPAMs& cherche = t.moteur.ChercheSPAMs1;
        for (int i = 0; i < 3 && i < cherche.NbServeur(); ++i) {
            PUnDNS s = cherche.Serveur(i);
            s->NbTest = 1520 - i;
            s->NbSpam = 310 / (i + 1);
            s->NbFauxPositif = 2 - i;
            s->NbTimeOut = 3 * i;
        }
        QVERIFY(f.AfficherPage(TArbreOptions::kPageDNS));
        f.PageDNS->Rafraichir();
        f.PageDNS->ListBoxDNS->Selectionner(1);
        capture(f, QStringLiteral("49-en-dnsbl"));
        testsupport::TDovecotPeer dovecot;
        dovecot.ajouterUtilisateur(QStringLiteral("alice"), QStringLiteral("secret"));
        for (const QByteArray& texte : testsupport::messagesExemple())
            dovecot.ajouterMessage(QStringLiteral("alice"), texte);
        for (const QByteArray& texte : testsupport::messagesCorpus(8))
            dovecot.ajouterMessage(QStringLiteral("alice"), texte);
        QString erreur;
        QVERIFY2(dovecot.demarrer(&erreur), qPrintable(erreur));
        while (cherche.NbServeur() > 0)
            cherche.SupprimerServeur(cherche.Serveur(0)->Nom);
        cherche.setListeNoireEmetteur("*@noir.example");
        QVERIFY(testsupport::releverParLeProxy(t.moteur, dovecot));
        QVERIFY(f.AfficherPage(TArbreOptions::kPageMails));
        TVueMails& mails = *f.PageMails;
        mails.CBoxCompte->setCurrentIndex(
            mails.CBoxCompte->findText(QStringLiteral("127.0.0.1/alice")));
        mails.Rafraichir();
        f.resize(1180, 720);
        mails.SelectionnerLigne(3);
        capture(f, QStringLiteral("48-en-mails-recus"));
        f.resize(940, 620);
        TFormLanguage choix(&f);
        capture(choix, QStringLiteral("45-en-langue"));
        TFormQuitter quitter(&f);
        capture(quitter, QStringLiteral("46-en-quitter"));
        QElapsedTimer depart;
        depart.start();
        TFormAboutBox apropos(depart, m.reps.Installation, m.reps.Travail, &f);
        capture(apropos, QStringLiteral("47-en-a-propos"));
        apropos.Onglets->setCurrentIndex(1);
        capture(apropos, QStringLiteral("47b-en-a-propos-nouveautes"));
        Traduction().ChoixAuDemarrage(false, QString());
        // The same dialog in French, with the English file to choose.
        TFormLanguage choixFr(&f);
        capture(choixFr, QStringLiteral("31-langue"));
    }
};

QTEST_MAIN(TstCaptures)
#include "tst_captures.moc"
