// The received-mail page on a large account: 20,000 archived messages, the
// list refreshed (the index is read, not the message texts) under each
// display filter, then the page's first screen drawn offscreen (only the
// visible rows read their message to be scored).
#ifndef KELVARIN_SOURCE_DIR
#define KELVARIN_SOURCE_DIR "." // without the test support: run from the source tree
#endif
#include "accounts/mon_dossier_bis.h"
#include "core/config.h"
#include "core/date_time.h"
#include "pages/page_mails.h"
#include "proxy/moteur.h"
#include "tests/support/moteur/banc_moteur.h"
#include "ui/vue_mails.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QTableView>

#include <cstdio>

namespace {

constexpr int kNbMessages = 20000;

double ms(QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

QByteArray texte(int i) {
    QByteArray m = "From: Expediteur " + QByteArray::number(i % 97) + " <e" +
                   QByteArray::number(i % 97) + "@exemple.test>\r\nTo: alice@exemple.test\r\n" +
                   "Subject: Message numero " + QByteArray::number(i) + "\r\n\r\n";
    for (int l = 0; l < 20; ++l)
        m += "Ligne " + QByteArray::number(l) +
             " du message, quelques mots de texte ordinaire "
             "pour le filtre.\r\n";
    return m;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testsupport::TBancMoteur banc;
    QFile::link(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage"),
                banc.Home() + QStringLiteral("/Encodage"));
    if (!banc.Demarrer()) {
        std::fprintf(stderr, "démarrage impossible\n");
        return 1;
    }
    TMoteur& moteur = banc.Moteur();
    PUnCompteBis compte = moteur.GestionComptesBis1.ChercherOuCreer("127.0.0.1", "alice");

    QElapsedTimer t;
    t.start();
    {
        TMonDossierBis& archive = moteur.MonDossierBisSynchro;
        archive.Ouvrir(compte);
        const TDateTime maintenant = datetime::maintenant();
        for (int i = 0; i < kNbMessages; ++i) {
            TUnMessageMem m;
            const QByteArray t2 = texte(i);
            m.Sujet = "Message numero " + QByteArray::number(i);
            m.Emetteur = "Expediteur <e@exemple.test>";
            m.Taille = qint32(t2.size());
            m.TestIP = m.TestBayes = true;
            m.Spam = i % 3 == 0;
            m.ListeNoire = i % 50 == 0;
            m.ListeBlanche = i % 70 == 0;
            m.ProbaBayes = (i * 37) % 1000;
            // Two days of mail, oldest first.
            m.Reception = maintenant - 2.0 + 2.0 * i / kNbMessages;
            archive.AjouterMessage(m, t2);
        }
        archive.Fermer();
        archive.Ouvrir(nullptr);
    }
    std::printf("archive: %d messages written in %.0f ms\n", kNbMessages, ms(t));

    TVueMails vue(moteur);
    vue.resize(1100, 760);
    vue.Ouvrir();
    TPageMails& page = vue.Page();
    Config().NbJour = "3";
    const char* filtres[] = {"tous",          "spams",         "non-spams",
                             "incompatibles", "listes noires", "listes blanches"};
    for (int f = 0; f < 6; ++f) {
        Config().Affichage = f;
        page.ChoisirCompte(0);
        if (f == 0) moteur.MonDossierBis1.Ouvrir(nullptr); // the first refresh reads the index
        t.restart();
        page.Rafraichir();
        std::printf("refresh %-16s %6d rows  %8.1f ms\n", filtres[f], page.NbLignes(), ms(t));
    }
    // The first screen of the whole list.
    Config().Affichage = 0;
    vue.CBoxCompte->setCurrentIndex(0);
    t.restart();
    vue.Rafraichir();
    const double rafraichir = ms(t);
    t.restart();
    vue.show();
    const QPixmap image = vue.grab();
    const double dessin = ms(t);
    std::printf("refresh through the view    %8.1f ms\n", rafraichir);
    std::printf("first screen drawn          %8.1f ms (%dx%d)\n", dessin, image.width(),
                image.height());
    t.restart();
    vue.SGridMails->scrollToBottom();
    const QPixmap fin = vue.grab();
    std::printf("last screen drawn           %8.1f ms\n", ms(t));
    t.restart();
    vue.SelectionnerLigne(1);
    std::printf("selecting the newest row    %8.1f ms\n", ms(t));
    return fin.isNull() ? 1 : 0;
}
