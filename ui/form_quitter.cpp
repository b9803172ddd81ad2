#include "ui/form_quitter.h"

#include "i18n/resources.h"
#include "ui/aide.h"
#include "ui/boite_message.h"
#include "ui/form_base.h"
#include "ui/icone_notification.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

QString TFormQuitter::Question() {
    return Res("quitter02", u"Etes vous sûr de vouloir quitter Kelvarin ?");
}

TFormQuitter::TFormQuitter(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormQuitter"));
    setWindowTitle(Res("FormQuitter", u"Quitter"));
    auto* h = new QHBoxLayout;
    auto* image = new QLabel(this);
    image->setPixmap(IconeRessource("DEFAUT").pixmap(64, 64));
    h->addWidget(image, 0, Qt::AlignTop);
    auto* v = new QVBoxLayout;
    v->addWidget(new QLabel(Res("quitter01", u"Cette action mettra fin à l'application."), this));
    auto* q = new QLabel(Question(), this);
    QFont f = q->font();
    f.setBold(true);
    q->setFont(f);
    v->addWidget(q);
    h->addLayout(v);
    auto* principal = new QVBoxLayout(this);
    principal->addLayout(h);
    auto* boutons = new QHBoxLayout;
    auto* oui = new QPushButton(Res("BtnOui", u"&Oui"), this);
    oui->setObjectName(QStringLiteral("BtnOui"));
    oui->setToolTip(Res("BtnValiderHint", u"Valider les modifications et fermer la fenêtre"));
    auto* non = new QPushButton(Res("BtnNon", u"&Non"), this);
    non->setObjectName(QStringLiteral("BtnNon"));
    non->setToolTip(Res("BtnAnnulerHint", u"Annuler les modifications"));
    oui->setDefault(true);
    boutons->addStretch();
    boutons->addWidget(oui);
    boutons->addStretch();
    boutons->addWidget(non);
    boutons->addStretch();
    principal->addLayout(boutons);
    connect(oui, &QPushButton::clicked, this, &QDialog::accept);
    connect(non, &QPushButton::clicked, this, &QDialog::reject);
    auto* base = new TFormBase(*this, "TFormQuitter", false);
    base->ConfigVersEcran();
    connect(this, &QDialog::finished, base, [base] { base->EcranVersConfig(); });
    oui->setFocus();
}

bool TFormQuitter::Demander(QWidget* parent) {
    TBoiteMessage::TReponse r;
    if (TBoiteMessage::ReponsePrevue(TBoiteMessage::fmOuiNon, Question(), r))
        return r == TBoiteMessage::rpOui;
    TFormQuitter d(parent);
    return d.exec() == QDialog::Accepted;
}
