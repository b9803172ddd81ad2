#include "ui/form_language.h"

#include "core/stockage_config.h"
#include "i18n/resources.h"
#include "i18n/traduction.h"
#include "ui/boite_message.h"
#include "ui/cadres_boutons.h"
#include "ui/form_base.h"
#include "ui/traduire_fenetre.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kRoleNom = Qt::UserRole;

// An item "name=text" shows the text after the first "=".
void ajouter(QListWidget* l, const QString& item) {
    const qsizetype egal = item.indexOf(QLatin1Char('='));
    auto* i = new QListWidgetItem(egal < 0 ? item : item.mid(egal + 1), l);
    i->setData(kRoleNom, egal < 0 ? QString() : item.left(egal));
}
} // namespace

TFormLanguage::TFormLanguage(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormLanguage"));
    setWindowTitle(Res("FormLanguage", u"Langue"));
    auto* v = new QVBoxLayout(this);
    LabelChoix =
        new QLabel(Res("LabelChoix", u"Choisissez la langue de l'interface de Kelvarin :"), this);
    LabelChoix->setObjectName(QStringLiteral("LabelChoix"));
    LabelChoix->setWordWrap(true);
    v->addWidget(LabelChoix);
    ListBoxLanguage = new QListWidget(this);
    ListBoxLanguage->setObjectName(QStringLiteral("ListBoxLanguage"));
    v->addWidget(ListBoxLanguage, 1);
    FrameValideAnnule1 = new TCadreBoutons(TCadreBoutons::cbValideAnnule, 0, this);
    v->addWidget(FrameValideAnnule1);
    resize(360, 300);
    auto* base = new TFormBase(*this, "TFormLanguage", false);
    base->ConfigVersEcran();
    connect(this, &QDialog::finished, base, [base] { base->EcranVersConfig(); });

    // What follows is the program's, after the design texts are translated.
    TTraduction& t = Traduction();
    const QString systeme = QStringLiteral(" (") + t.CodeLangueSysteme() + QLatin1Char(')');
    setWindowTitle(windowTitle() + systeme);
    ajouter(ListBoxLanguage, Res("lang03", u"=Ne pas utiliser de traduction"));
    ajouter(ListBoxLanguage, Res("lang04", u"@=Choix automatique") + systeme);
    for (const TTraduction::TLangue& l : t.Langues())
        ajouter(ListBoxLanguage, l.Code + QLatin1Char('=') + l.Description);
    int choisi = 0;
    if (t.Automatique()) {
        choisi = 1;
    } else if (t.Active()) {
        choisi = -1;
        for (int i = 2; i < ListBoxLanguage->count(); ++i)
            if (ListBoxLanguage->item(i)->data(kRoleNom).toString() == t.CodeLangue()) choisi = i;
    }
    ListBoxLanguage->setCurrentRow(choisi);
    connect(ListBoxLanguage, &QListWidget::itemSelectionChanged, this,
            &TFormLanguage::selectionChangee);
    connect(ListBoxLanguage, &QListWidget::itemDoubleClicked, this, &TFormLanguage::Valider);
    connect(FrameValideAnnule1, &TCadreBoutons::Valider, this, &TFormLanguage::Valider);
    connect(FrameValideAnnule1, &TCadreBoutons::Annuler, this, &QDialog::reject);
    selectionChangee();
}

QStringList TFormLanguage::Noms() const {
    QStringList l;
    for (int i = 0; i < ListBoxLanguage->count(); ++i)
        l << ListBoxLanguage->item(i)->data(kRoleNom).toString();
    return l;
}

void TFormLanguage::selectionChangee() {
    FrameValideAnnule1->BtnValider->setEnabled(!ListBoxLanguage->selectedItems().isEmpty());
}

void TFormLanguage::Valider() {
    const QList<QListWidgetItem*> choix = ListBoxLanguage->selectedItems();
    if (choix.isEmpty()) return;
    bool redemarrer = false;
    if (Traduction().Valider(choix.front()->data(kRoleNom).toString(), StockageConfig(),
                             redemarrer)) {
        if (redemarrer)
            TBoiteMessage::Avertir(this, Res("lang05", u"Vous devez redémarrer Kelvarin pour que "
                                                       u"la langue par défaut soit sélectionnée."));
        TraduireTout();
    }
    accept();
}
