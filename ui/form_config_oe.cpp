#include "ui/form_config_oe.h"

#include "i18n/resources.h"
#include "ui/boite_message.h"
#include "ui/cadres_boutons.h"
#include "ui/form_base.h"
#include "ui/traduire_fenetre.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

TFormConfigOE::TFormConfigOE(TConfigComptesCourrier& regles, QWidget* parent)
    : QDialog(parent), m_regles(regles) {
    setObjectName(QStringLiteral("FormConfigOE"));
    setWindowTitle(Res("FormConfigOE", u"Liste des comptes Thunderbird"));
    setSizeGripEnabled(true);
    setMinimumSize(440, 410);
    auto* v = new QVBoxLayout(this);

    LabelExplication = new QLabel(
        Res("LabelExplication",
            u"Liste des comptes à relier à Kelvarin\r\nCocher les mails à utiliser avec Kelvarin, "
            u"puis validez. Attention : Thunderbird doit être fermé avant de faire la "
            u"modification."),
        this);
    LabelExplication->setObjectName(QStringLiteral("LabelExplication"));
    LabelExplication->setWordWrap(true);
    v->addWidget(LabelExplication);

    LabelVerrou = new QLabel(this);
    LabelVerrou->setObjectName(QStringLiteral("LabelVerrou"));
    // Says why nothing can be written: a program text.
    MarquerTexteProgramme(LabelVerrou);
    LabelVerrou->setWordWrap(true);
    LabelVerrou->setStyleSheet(QStringLiteral("color: #b00000;"));
    v->addWidget(LabelVerrou);

    CheckListBox1 = new QListWidget(this);
    CheckListBox1->setObjectName(QStringLiteral("CheckListBox1"));
    v->addWidget(CheckListBox1, 1);

    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("PanelCompte"));
    auto* f = new QFormLayout(panel);
    f->setContentsMargins(0, 0, 0, 0);
    EditNomCompte = new QLineEdit(panel);
    EditNomCompte->setObjectName(QStringLiteral("EditNomCompte"));
    EditServeurPOP3 = new QLineEdit(panel);
    EditServeurPOP3->setObjectName(QStringLiteral("EditServeurPOP3"));
    for (QLineEdit* e : {EditNomCompte, EditServeurPOP3})
        e->setReadOnly(true);
    EditNomCompte->setToolTip(Res(
        "EditNomCompteHint", u"Pour passer par Kelvarin, le nom du compte se termine par « @ » "
                             u"suivi du vrai serveur POP3 (par exemple alice@pop.exemple.fr)."));
    EditServeurPOP3->setToolTip(Res("EditServeurPOP3Hint",
                                    u"Pour passer par Kelvarin, le serveur est « localhost », ou "
                                    u"l'adresse de la machine où Kelvarin fonctionne."));
    const auto etiquette = [panel](const char* nom, const char16_t* texte) {
        auto* l = new QLabel(Res(nom, texte), panel);
        l->setObjectName(QLatin1String(nom));
        return l;
    };
    f->addRow(etiquette("LabelNomCompte", u"Nom du compte :"), EditNomCompte);
    f->addRow(etiquette("LabelServeurPOP3", u"Courrier entrant (pop3) :"), EditServeurPOP3);
    v->addWidget(panel);

    Cadre = new TCadreBoutons(TCadreBoutons::cbValideAnnule, 2, this);
    Cadre->setObjectName(QStringLiteral("FrameValideAnnule1"));
    v->addWidget(Cadre);
    connect(Cadre, &TCadreBoutons::Valider, this, &TFormConfigOE::Valider);
    connect(Cadre, &TCadreBoutons::Annuler, this, &QDialog::reject);

    m_regles.Lire();
    for (int i = 0; i < m_regles.Count(); ++i) {
        auto* item = new QListWidgetItem(m_regles.Ligne(i), CheckListBox1);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(m_regles.Coche(i) ? Qt::Checked : Qt::Unchecked);
    }
    connect(CheckListBox1, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const int i = CheckListBox1->row(item);
        if (i >= 0 && i < m_regles.Count()) m_regles.setCoche(i, item->checkState() == Qt::Checked);
    });
    connect(CheckListBox1, &QListWidget::currentRowChanged, this, [this] { afficherSelection(); });
    QString verrou;
    if (m_regles.Count() == 0)
        verrou = Res("configoe02", u"Aucun compte POP3 de Thunderbird n'a été trouvé.");
    else
        verrou = m_regles.Verrou();
    LabelVerrou->setText(verrou);
    LabelVerrou->setVisible(!verrou.isEmpty());
    afficherSelection();
    resize(480, 440);

    m_base = new TFormBase(*this, "TFormConfigOE", true);
    m_base->ConfigVersEcran();
}

void TFormConfigOE::afficherSelection() {
    const int i = CheckListBox1->currentRow();
    // The values read when the dialog opened; none selected: both empty.
    const bool choisi = i >= 0 && i < m_regles.Count();
    EditNomCompte->setText(choisi ? m_regles.Mail(i).UtilisateurPOP3 : QString());
    EditServeurPOP3->setText(choisi ? m_regles.Mail(i).ServeurPOP3 : QString());
}

void TFormConfigOE::Valider() {
    QString message;
    switch (m_regles.Valider(message)) {
    case TConfigComptesCourrier::rvEcrit:
        accept();
        return;
    case TConfigComptesCourrier::rvVerrouille:
        LabelVerrou->setText(message);
        LabelVerrou->setVisible(true);
        TBoiteMessage::Avertir(this, message);
        return;
    case TConfigComptesCourrier::rvErreur:
        TBoiteMessage::Erreur(
            this, Res("configoe03", u"Les comptes de Thunderbird n'ont pas pu être modifiés :") +
                      QStringLiteral("\r\n") + message);
        return;
    }
}

void TFormConfigOE::done(int r) {
    m_base->EcranVersConfig();
    QDialog::done(r);
}
