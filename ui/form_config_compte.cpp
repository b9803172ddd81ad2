#include "ui/form_config_compte.h"
#include "core/cp1252.h"

#include "i18n/resources.h"
#include "ui/cadres_boutons.h"
#include "ui/form_base.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {
QLineEdit* edition(QWidget* p, const char* nom) {
    auto* e = new QLineEdit(p);
    e->setObjectName(QLatin1String(nom));
    return e;
}
QCheckBox* caseACocher(QWidget* p, const char* nom, const char16_t* texte) {
    auto* c = new QCheckBox(Res(nom, texte), p);
    c->setObjectName(QLatin1String(nom));
    return c;
}
QLabel* etiquette(QWidget* p, const char* nom, const char16_t* texte) {
    auto* l = new QLabel(Res(nom, texte), p);
    l->setObjectName(QLatin1String(nom));
    return l;
}
} // namespace

TFormConfigCompte::TFormConfigCompte(TUnCompteBis& compte, QWidget* parent)
    : QDialog(parent), m_compte(compte) {
    setObjectName(QStringLiteral("FormConfigCompte"));
    setWindowTitle(Res("FormConfigCompte", u"Config compte"));
    auto* v = new QVBoxLayout(this);
    auto* f = new QFormLayout;
    EditEMail = edition(this, "EditEMail");
    EditServeur = edition(this, "EditServeur");
    EditLogin = edition(this, "EditLogin");
    EditNom = edition(this, "EditNom");
    EditServeur->setReadOnly(true);
    EditLogin->setReadOnly(true);
    f->addRow(etiquette(this, "LabelEMail", u"Email :"), EditEMail);
    f->addRow(etiquette(this, "LabelServeur", u"Compte POP :"), EditServeur);
    f->addRow(etiquette(this, "LabelLogin", u"Login :"), EditLogin);
    f->addRow(etiquette(this, "LabelNom", u"Nom interne :"), EditNom);
    v->addLayout(f);
    CheckBoxFiltreIP = caseACocher(this, "CheckBoxFiltreIP", u"Appliquer les filtres sur IPs");
    CheckBoxFiltreBayes =
        caseACocher(this, "CheckBoxFiltreBayes", u"Appliquer les filtres bayesiens");
    CheckBoxDestinataire =
        caseACocher(this, "CheckBoxDestinataire",
                    u"N'accepter que les mails avec le mail dans la ligne \"Destinataire:\"");
    CheckBoxConfigGenerale =
        caseACocher(this, "CheckBoxConfigGenerale", u"Utiliser la config générale");
    for (QCheckBox* c :
         {CheckBoxFiltreIP, CheckBoxFiltreBayes, CheckBoxDestinataire, CheckBoxConfigGenerale})
        v->addWidget(c);
    PanelConfig = new QWidget(this);
    PanelConfig->setObjectName(QStringLiteral("PanelConfig"));
    auto* fp = new QFormLayout(PanelConfig);
    EditPort = edition(PanelConfig, "EditPort");
    fp->addRow(etiquette(this, "LabelPort", u"Port POP :"), EditPort);
    CheckBoxSupprimerSpam = caseACocher(PanelConfig, "CheckBoxSupprimerSpamCompte",
                                        u"Laisser uniquement les en-têtes pour les spams");
    fp->addRow(CheckBoxSupprimerSpam);
    v->addWidget(PanelConfig);
    v->addStretch();
    auto* cadre = new TCadreBoutons(TCadreBoutons::cbValideAnnule, 0, this);
    cadre->setObjectName(QStringLiteral("FrameValideAnnule1"));
    v->addWidget(cadre);
    connect(cadre, &TCadreBoutons::Valider, this, &QDialog::accept);
    connect(cadre, &TCadreBoutons::Annuler, this, &QDialog::reject);

    const TSaisieCompte s = SaisieDepuisCompte(compte);
    EditEMail->setText(s.EMail);
    EditServeur->setText(cp1252::versUnicode(compte.Serveur));
    EditLogin->setText(cp1252::versUnicode(compte.Login));
    EditNom->setText(s.Nom);
    EditPort->setText(s.Port);
    CheckBoxFiltreIP->setChecked(s.FiltreIP);
    CheckBoxFiltreBayes->setChecked(s.FiltreBayes);
    CheckBoxDestinataire->setChecked(s.Destinataire);
    CheckBoxConfigGenerale->setChecked(s.ConfigGenerale);
    CheckBoxSupprimerSpam->setChecked(s.SupprimerSpam);
    connect(CheckBoxConfigGenerale, &QCheckBox::toggled, this, [this] { regleConfigGenerale(); });
    regleConfigGenerale();
    resize(480, sizeHint().height());

    m_base = new TFormBase(*this, "TFormConfigCompte", false);
    m_base->ConfigVersEcran();
}

void TFormConfigCompte::regleConfigGenerale() {
    const bool generale = CheckBoxConfigGenerale->isChecked();
    PanelConfig->setEnabled(!generale);
    PanelConfig->setVisible(!generale);
}

void TFormConfigCompte::Valider() {
    TSaisieCompte s;
    s.EMail = EditEMail->text();
    s.Nom = EditNom->text();
    s.Port = EditPort->text();
    s.FiltreIP = CheckBoxFiltreIP->isChecked();
    s.FiltreBayes = CheckBoxFiltreBayes->isChecked();
    s.Destinataire = CheckBoxDestinataire->isChecked();
    s.ConfigGenerale = CheckBoxConfigGenerale->isChecked();
    s.SupprimerSpam = CheckBoxSupprimerSpam->isChecked();
    AppliquerSaisieCompte(s, m_compte);
}

void TFormConfigCompte::done(int r) {
    if (r == QDialog::Accepted) Valider();
    m_base->EcranVersConfig();
    QDialog::done(r);
}
