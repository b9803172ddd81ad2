#include "ui/cadres_boutons.h"

#include "core/regles_fenetre.h"
#include "i18n/resources.h"
#include "ui/aide.h"
#include "ui/traduire_fenetre.h"

#include <QApplication>
#include <QPushButton>

#include <algorithm>

namespace {
QPushButton* bouton(QWidget* p, const char* nom, const QString& texte, const QString& bulle) {
    auto* b = new QPushButton(texte, p);
    b->setObjectName(QLatin1String(nom));
    b->setToolTip(bulle);
    return b;
}
} // namespace

TCadreBoutons::TCadreBoutons(TGenre genre, int sujetAide, QWidget* parent) : QWidget(parent) {
    QList<QPushButton*>& boutons = m_boutons;
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
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setObjectName(genre == cbValideAnnule ? QStringLiteral("FrameValideAnnule")
                                          : QStringLiteral("FrameOK"));
    // One translation serves every copy of the frame.
    DefinirSection(this, objectName());
}

QSize TCadreBoutons::sizeHint() const {
    int largeur = 0, hauteur = 0;
    for (const QPushButton* b : m_boutons) {
        largeur += std::max(b->sizeHint().width(), 80) + 12;
        hauteur = std::max(hauteur, b->sizeHint().height());
    }
    return {largeur + 12, hauteur + 12};
}

QSize TCadreBoutons::minimumSizeHint() const {
    return sizeHint();
}

void TCadreBoutons::repartir() {
    QList<QPushButton*> visibles;
    QList<int> largeurs;
    for (QPushButton* b : m_boutons)
        if (!b->isHidden()) {
            visibles << b;
            b->resize(b->sizeHint().expandedTo(QSize(80, 0)));
            largeurs << b->width();
        }
    const QList<int> x = RepartirBoutons(width(), largeurs);
    for (qsizetype i = 0; i < visibles.size(); ++i)
        visibles[i]->move(x[i], (height() - visibles[i]->height()) / 2);
}

void TCadreBoutons::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    repartir();
}

void TCadreBoutons::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    repartir();
}
