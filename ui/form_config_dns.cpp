#include "ui/form_config_dns.h"

#include "i18n/resources.h"
#include "ui/boite_message.h"
#include "ui/cadres_boutons.h"
#include "ui/form_base.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TFormConfigDNS::TFormConfigDNS(TPageDNS& page, PUnDNS serveur, QWidget* parent)
    : QDialog(parent), m_page(page), m_serveur(serveur) {
    setObjectName(QStringLiteral("FormConfigDNS"));
    setWindowTitle(Res("FormConfigDNS", u"Config DNSBL"));
    auto* v = new QVBoxLayout(this);
    auto* f = new QFormLayout;
    EditNom = new QLineEdit(this);
    EditNom->setObjectName(QStringLiteral("EditNom"));
    EditAdresse = new QLineEdit(this);
    EditAdresse->setObjectName(QStringLiteral("EditAdresse"));
    const auto etiquette = [this](const char* nom, const char16_t* texte) {
        auto* l = new QLabel(Res(nom, texte), this);
        l->setObjectName(QLatin1String(nom));
        return l;
    };
    f->addRow(etiquette("LabelNomDNS", u"Nom :"), EditNom);
    f->addRow(etiquette("LabelAdresseDNS", u"Adresse :"), EditAdresse);
    v->addLayout(f);
    auto* label = new QLabel(Res("LabelResultat", u"Résultats considérés comme spam :"), this);
    label->setObjectName(QStringLiteral("LabelResultat"));
    v->addWidget(label);
    MemoResultat = new QPlainTextEdit(this);
    MemoResultat->setObjectName(QStringLiteral("MemoResultat"));
    MemoResultat->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoResultat->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MemoResultat->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoResultat->setTabChangesFocus(true);
    v->addWidget(MemoResultat, 1);
    auto* remarque =
        new QLabel(Res("LabelRemarque", u"Remarque : laissez la liste des résultats vide pour que "
                                        u"toutes les réponses soient considérées comme du spam."),
                   this);
    remarque->setObjectName(QStringLiteral("LabelRemarque"));
    remarque->setWordWrap(true);
    v->addWidget(remarque);
    auto* cadre = new TCadreBoutons(TCadreBoutons::cbValideAnnule, 0, this);
    cadre->setObjectName(QStringLiteral("FrameValideAnnule1"));
    v->addWidget(cadre);
    connect(cadre, &TCadreBoutons::Valider, this, [this] {
        if (Valider()) accept();
    });
    connect(cadre, &TCadreBoutons::Annuler, this, &QDialog::reject);

    const TSaisieServeur s = TPageDNS::SaisieDepuisServeur(serveur);
    EditNom->setText(s.Nom);
    EditAdresse->setText(s.Zone);
    MemoResultat->setPlainText(s.Codes);
    resize(380, 360);
    m_base = new TFormBase(*this, "TFormConfigDNS", false);
    m_base->ConfigVersEcran();
}

TSaisieServeur TFormConfigDNS::Saisie() const {
    return {EditNom->text(), EditAdresse->text(), MemoResultat->toPlainText()};
}

bool TFormConfigDNS::Valider() {
    const TSaisieServeur s = Saisie();
    const QString erreur = m_serveur ? m_page.Modifier(m_serveur, s) : m_page.Ajouter(s);
    if (erreur.isEmpty()) return true;
    TBoiteMessage::Erreur(this, erreur);
    return false;
}

void TFormConfigDNS::done(int r) {
    m_base->EcranVersConfig();
    QDialog::done(r);
}

void TFormConfigDNS::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    EditNom->setFocus();
}
