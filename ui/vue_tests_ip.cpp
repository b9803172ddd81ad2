#include "ui/vue_tests_ip.h"

#include "i18n/resources.h"
#include "ui/boite_message.h"
#include "ui/liste_virtuelle.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

QColor couleur(TMorceau::TCouleur c, const QColor& normal) {
    switch (c) {
    case TMorceau::mcRouge:
        return QColor(0xFF, 0, 0);
    case TMorceau::mcVert:
        return QColor(0, 0x80, 0);
    case TMorceau::mcBleu:
        return QColor(0, 0, 0xFF);
    case TMorceau::mcJaune:
        // Yellow on a light background, darkened enough to be read.
        return QColor(0xC8, 0xA0, 0);
    default:
        return normal;
    }
}

class TDelegueTests : public QStyledItemDelegate {
public:
    explicit TDelegueTests(TVueTestsIP& vue) : QStyledItemDelegate(&vue), m_vue(vue) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const TLigneRecherche l = m_vue.Page().Ligne(index.row());
        if (l.Morceaux.isEmpty()) return;
        p->save();
        QColor fond = option.palette.base().color();
        if (index.row() % 2 == 1)
            fond = QColor(fond.red() * 95 / 100, fond.green() * 95 / 100, fond.blue() * 95 / 100);
        const QRect r = option.rect;
        p->fillRect(r, fond);
        const QColor normal = option.palette.text().color();
        int x = r.left() + 2;
        for (const TMorceau& m : l.Morceaux) {
            p->setPen(couleur(m.Couleur, normal));
            p->drawText(QRect(x, r.top(), std::max(0, r.right() - x), r.height()),
                        Qt::AlignVCenter | Qt::AlignLeft, m.Texte);
            x += option.fontMetrics.horizontalAdvance(m.Texte);
        }
        if (l.Separateur) {
            p->setPen(option.palette.mid().color());
            p->drawLine(r.left() + 10, r.top() + 1, r.right() - 10, r.top() + 1);
        }
        if (option.state & QStyle::State_Selected) {
            p->setPen(option.palette.highlight().color());
            p->drawRect(r.adjusted(0, 0, -1, -1));
        }
        p->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(200, std::max(14, option.fontMetrics.height() + 2));
    }

private:
    TVueTestsIP& m_vue;
};

QPushButton* bouton(QWidget* parent, const char* nom, const char16_t* texte) {
    auto* b = new QPushButton(Res(nom, texte), parent);
    b->setObjectName(QLatin1String(nom));
    return b;
}

} // namespace

TVueTestsIP::TVueTestsIP(TChercheSPAMs& cherche, QWidget* parent)
    : QWidget(parent), m_page(cherche) {
    auto* v = new QVBoxLayout(this);
    auto* haut = new QWidget(this);
    haut->setObjectName(QStringLiteral("PanelRecherche"));
    auto* h = new QHBoxLayout(haut);
    h->setContentsMargins(0, 0, 0, 0);
    BtnSupprimerTest = bouton(haut, "BtnSupprimerTest", u"Supprimer");
    BtnTriIP = bouton(haut, "BtnTriIP", u"Tri IP");
    BtnTriDate = bouton(haut, "BtnTriDate", u"Tri date");
    Button1 = bouton(haut, "Button1", u"Test IP");
    for (QPushButton* b : {BtnSupprimerTest, BtnTriIP, BtnTriDate, Button1})
        h->addWidget(b);
    h->addStretch();
    v->addWidget(haut);
    ListBoxRecherche = new TListeVirtuelle(this);
    ListBoxRecherche->setObjectName(QStringLiteral("ListBoxRecherche"));
    ListBoxRecherche->setItemDelegate(new TDelegueTests(*this));
    v->addWidget(ListBoxRecherche, 1);
    connect(ListBoxRecherche, &TListeVirtuelle::ToucheSuppr, this,
            [this] { BtnSupprimerTestClick(); });
    connect(BtnSupprimerTest, &QPushButton::clicked, this, [this] { BtnSupprimerTestClick(); });
    connect(BtnTriIP, &QPushButton::clicked, this, [this] { BtnTriIPClick(); });
    connect(BtnTriDate, &QPushButton::clicked, this, [this] { BtnTriDateClick(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    Rafraichir();
}

void TVueTestsIP::Rafraichir() {
    ListBoxRecherche->setNombre(m_page.NbRecherche());
}

void TVueTestsIP::BtnSupprimerTestClick() {
    const int ligne = ListBoxRecherche->Selection();
    if (ligne < 0 || ligne >= m_page.NbRecherche()) return;
    if (TBoiteMessage::Afficher(this, TBoiteMessage::fmOuiNon,
                                Res("princ115", u"Supprimer le test sélectionné ?")) !=
        TBoiteMessage::rpOui)
        return;
    // Lookups waiting, running or timed out behind a listing stay.
    if (!m_page.Supprimable(ligne)) return;
    // No row is drawn from a record while it is freed.
    ListBoxRecherche->setNombre(0);
    m_page.Supprimer(ligne);
    Rafraichir();
    emit TestsModifies();
}

void TVueTestsIP::BtnTriIPClick() {
    m_page.TriIP();
    emit TestsModifies();
}

void TVueTestsIP::BtnTriDateClick() {
    m_page.TriDate();
    emit TestsModifies();
}

void TVueTestsIP::Button1Click() {
    QString texte;
    if (!TBoiteMessage::Saisir(this, Res("princ56", u"Entrez une IP à tester"),
                               Res("princ57", u"IP"), texte) ||
        texte.isEmpty())
        return;
    if (!m_page.TesterIP(texte)) return;
    // The old records are gone; the queued lookups show at the next refresh.
    Rafraichir();
    emit TestsModifies();
}
