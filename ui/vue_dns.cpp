#include "ui/vue_dns.h"

#include "i18n/resources.h"
#include "ui/boite_message.h"
#include "ui/form_config_dns.h"
#include "ui/liste_virtuelle.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

QColor couleur(TMorceau::TCouleur c, const QColor& normal) {
    switch (c) {
    case TMorceau::mcRouge:
        return QColor(0xFF, 0, 0);
    default:
        return normal;
    }
}

QRect caseACocher(const QRect& ligne, const QStyle* style) {
    const int w = style->pixelMetric(QStyle::PM_IndicatorWidth);
    const int h = style->pixelMetric(QStyle::PM_IndicatorHeight);
    return QRect(ligne.left() + 2, ligne.top() + (ligne.height() - h) / 2, w, h);
}

class TDelegueDNS : public QStyledItemDelegate {
public:
    explicit TDelegueDNS(TVueDNS& vue) : QStyledItemDelegate(&vue), m_vue(vue) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const PUnDNS s = m_vue.Page().Serveur(index.row());
        if (!s) return;
        const TLigneDNS l = TPageDNS::Ligne(*s);
        p->save();
        QColor fond = option.palette.base().color();
        if (index.row() % 2 == 1)
            fond = QColor(fond.red() * 95 / 100, fond.green() * 95 / 100, fond.blue() * 95 / 100);
        p->fillRect(option.rect, fond);
        const QRect r = option.rect;
        const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        QStyleOptionButton c;
        c.rect = caseACocher(r, style);
        c.state = QStyle::State_Enabled | (l.Actif ? QStyle::State_On : QStyle::State_Off);
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &c, p, option.widget);
        const QColor normal = option.palette.text().color();
        p->setPen(normal);
        const int x0 = c.rect.right() + 6;
        p->drawText(QRect(x0, r.top(), r.width(), r.height()), Qt::AlignVCenter | Qt::AlignLeft,
                    l.Nom);
        int x = r.left() + m_vue.ColonneNom();
        for (const TMorceau& m : l.Compteurs) {
            p->setPen(couleur(m.Couleur, normal));
            p->drawText(QRect(x, r.top(), r.right() - x, r.height()),
                        Qt::AlignVCenter | Qt::AlignLeft, m.Texte);
            x += option.fontMetrics.horizontalAdvance(m.Texte);
        }
        if (option.state & QStyle::State_Selected) {
            p->setPen(option.palette.highlight().color());
            p->drawRect(r.adjusted(0, 0, -1, -1));
        }
        p->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(m_vue.ColonneNom() + 600, std::max(18, option.fontMetrics.height() + 4));
    }

    bool editorEvent(QEvent* e, QAbstractItemModel*, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        if (e->type() != QEvent::MouseButtonRelease) return false;
        const auto* m = static_cast<QMouseEvent*>(e);
        const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        if (!caseACocher(option.rect, style)
                 .adjusted(-2, -2, 2, 2)
                 .contains(m->position().toPoint()))
            return false;
        m_vue.BasculerActif(index.row());
        return true;
    }

private:
    TVueDNS& m_vue;
};

QPushButton* bouton(QWidget* parent, const char* nom, const char16_t* texte) {
    auto* b = new QPushButton(Res(nom, texte), parent);
    b->setObjectName(QLatin1String(nom));
    return b;
}

} // namespace

TVueDNS::TVueDNS(TChercheSPAMs& cherche, QWidget* parent) : QWidget(parent), m_page(cherche) {
    auto* v = new QVBoxLayout(this);
    auto* haut = new QWidget(this);
    haut->setObjectName(QStringLiteral("PanelDNS"));
    auto* h = new QHBoxLayout(haut);
    h->setContentsMargins(0, 0, 0, 0);
    BtnConfigDNS = bouton(haut, "BtnConfigDNS", u"Config");
    BtnAjouterDNS = bouton(haut, "BtnAjouterDNS", u"Ajouter");
    BtnSupprimerDNS = bouton(haut, "BtnSupprimerDNS", u"Supprimer");
    BtnRAZTemp = bouton(haut, "BtnRAZTemp", u"RAZ temp");
    BtnRAZCompteur = bouton(haut, "BtnRAZCompteur", u"RAZ compteur");
    for (QPushButton* b :
         {BtnConfigDNS, BtnAjouterDNS, BtnSupprimerDNS, BtnRAZTemp, BtnRAZCompteur})
        h->addWidget(b);
    h->addStretch();
    v->addWidget(haut);
    ListBoxDNS = new TListeVirtuelle(this);
    ListBoxDNS->setObjectName(QStringLiteral("ListBoxDNS"));
    ListBoxDNS->setItemDelegate(new TDelegueDNS(*this));
    v->addWidget(ListBoxDNS, 1);

    connect(ListBoxDNS, &TListeVirtuelle::SelectionChangee, this, [this] {
        const bool choisi = ListBoxDNS->Selection() >= 0;
        BtnConfigDNS->setEnabled(choisi);
        BtnSupprimerDNS->setEnabled(choisi);
    });
    connect(ListBoxDNS, &QAbstractItemView::doubleClicked, this, [this] { BtnConfigDNSClick(); });
    connect(ListBoxDNS, &TListeVirtuelle::ToucheSuppr, this, [this] { BtnSupprimerDNSClick(); });
    connect(BtnConfigDNS, &QPushButton::clicked, this, [this] { BtnConfigDNSClick(); });
    connect(BtnAjouterDNS, &QPushButton::clicked, this, [this] { BtnAjouterDNSClick(); });
    connect(BtnSupprimerDNS, &QPushButton::clicked, this, [this] { BtnSupprimerDNSClick(); });
    connect(BtnRAZTemp, &QPushButton::clicked, this, [this] { BtnRAZTempClick(); });
    connect(BtnRAZCompteur, &QPushButton::clicked, this, [this] { BtnRAZCompteurClick(); });
    BtnConfigDNS->setEnabled(false);
    BtnSupprimerDNS->setEnabled(false);
    Rafraichir();
}

void TVueDNS::calculerColonne() {
    // The widest name (after the check box) + 15 pixels; recomputed whenever
    // the count is set, so a longer name added later does not overlap.
    const QFontMetrics fm(ListBoxDNS->font());
    int large = 0;
    for (int i = 0; i < m_page.NbServeur(); ++i)
        large = std::max(large, fm.horizontalAdvance(m_page.Ligne(i).Nom));
    m_colonneNom = style()->pixelMetric(QStyle::PM_IndicatorWidth) + 8 + large + 15;
}

void TVueDNS::Rafraichir() {
    calculerColonne();
    ListBoxDNS->setNombre(m_page.NbServeur());
}

void TVueDNS::Redessiner() {
    ListBoxDNS->Redessiner();
}

void TVueDNS::BtnConfigDNSClick() {
    const PUnDNS s = m_page.Serveur(ListBoxDNS->Selection());
    if (!s) {
        TBoiteMessage::Avertir(this,
                               Res("princ118", u"Sélectionnez le serveur de DNSBL à modifier"));
        return;
    }
    TFormConfigDNS d(m_page, s, this);
    if (d.exec() != QDialog::Accepted) return;
    Rafraichir();
    // The row follows its server to its new place.
    ListBoxDNS->Selectionner(m_page.IndexDe(s));
    emit ServeursModifies();
}

void TVueDNS::BtnAjouterDNSClick() {
    TFormConfigDNS d(m_page, nullptr, this);
    if (d.exec() != QDialog::Accepted) return;
    Rafraichir();
    emit ServeursModifies();
}

void TVueDNS::BtnSupprimerDNSClick() {
    const int ligne = ListBoxDNS->Selection();
    if (!m_page.Serveur(ligne)) return;
    if (TBoiteMessage::Afficher(
            this, TBoiteMessage::fmOuiNon,
            Res("princ119", u"Supprimer définitivement le serveur sélectionné ?")) !=
        TBoiteMessage::rpOui)
        return;
    // No row is drawn from the record while it is freed.
    ListBoxDNS->setNombre(0);
    m_page.Supprimer(ligne);
    Rafraichir();
    emit ServeursModifies();
}

void TVueDNS::BtnRAZTempClick() {
    m_page.RAZTemp();
    emit ServeursModifies();
}

void TVueDNS::BtnRAZCompteurClick() {
    if (TBoiteMessage::Afficher(this, TBoiteMessage::fmOuiNon,
                                Res("princ103", u"Remettre à zéro tous les compteurs ?")) ==
        TBoiteMessage::rpOui)
        m_page.RAZCompteur();
    emit ServeursModifies();
}

void TVueDNS::BasculerActif(int ligne) {
    if (m_page.BasculerActif(ligne)) Redessiner();
}
