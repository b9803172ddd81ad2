#include "ui/cadres_boutons.h"

#include "i18n/resources.h"
#include "ui/aide.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>

namespace {
QPushButton* bouton(QWidget* p, const char* nom, const QString& texte, const QString& bulle) {
    auto* b = new QPushButton(texte, p);
    b->setObjectName(QLatin1String(nom));
    b->setToolTip(bulle);
    return b;
}
} // namespace

TCadreBoutons::TCadreBoutons(TGenre genre, int sujetAide, QWidget* parent) : QWidget(parent) {
    auto* h = new QHBoxLayout(this);
    QList<QPushButton*> boutons;
    if (genre == cbValideAnnule) {
        BtnValider =
            bouton(this, "BtnValider", Res("BtnValider", u"&Valider"),
                   Res("BtnValiderHint", u"Valider les modifications et fermer la fenêtre"));
        BtnAnnuler = bouton(this, "BtnAnnuler", Res("BtnAnnuler", u"&Annuler"),
                            Res("BtnAnnulerHint", u"Annuler les modifications"));
        BtnValider->setDefault(true);
        boutons << BtnValider << BtnAnnuler;
        connect(BtnValider, &QPushButton::clicked, this, &TCadreBoutons::Valider);
        connect(BtnAnnuler, &QPushButton::clicked, this, &TCadreBoutons::Annuler);
    } else {
        BtnFermer = bouton(this, "BtnFermer", Res("BtnFermer", u"&Fermer"),
                           Res("BtnFermerHint", u"Fermer cette fenêtre"));
        BtnFermer->setDefault(true);
        boutons << BtnFermer;
        connect(BtnFermer, &QPushButton::clicked, this, &TCadreBoutons::Valider);
    }
    BtnAide = bouton(this, "BtnAide", Res("BtnAide", u"&Aide"),
                     Res("BtnAideHint", u"Demander de l'aide"));
    BtnAide->setVisible(aide::Disponible());
    connect(BtnAide, &QPushButton::clicked, this, [sujetAide] {
        if (!aide::Afficher(sujetAide)) QApplication::beep();
    });
    boutons << BtnAide;
    // Equal gaps before, between and after the buttons.
    h->addStretch(1);
    for (QPushButton* b : boutons) {
        h->addWidget(b);
        h->addStretch(1);
    }
}
