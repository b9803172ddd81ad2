#include "ui/vue_comptes.h"

#include "i18n/resources.h"
#include "ui/boite_message.h"
#include "ui/form_config_compte.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

constexpr int kRoleLigne = Qt::UserRole + 1;

QColor couleur(TMorceauCompte::TCouleur c, const QColor& normal) {
    switch (c) {
    case TMorceauCompte::ccBleu:
        return QColor(0, 0, 0xFF);
    case TMorceauCompte::ccRouge:
        return QColor(0xFF, 0, 0);
    default:
        return normal;
    }
}

// Rows painted in runs of colour, the counters in a second column.
class TDelegueComptes : public QStyledItemDelegate {
public:
    TDelegueComptes(const TVueComptes& vue, QObject* parent)
        : QStyledItemDelegate(parent), m_vue(vue) {}
    int Colonne = 200;

    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int i = index.data(kRoleLigne).toInt();
        if (i < 0 || i >= m_vue.Lignes().size()) return;
        const TLigneCompte& l = m_vue.Lignes()[i];
        p->save();
        QColor fond = option.palette.base().color();
        // Odd rows shaded at 95 % of the background.
        if (index.row() % 2 == 1)
            fond = QColor(fond.red() * 95 / 100, fond.green() * 95 / 100, fond.blue() * 95 / 100);
        const bool choisi = option.state & QStyle::State_Selected;
        p->fillRect(option.rect, choisi ? option.palette.highlight().color() : fond);
        const QColor normal =
            choisi ? option.palette.highlightedText().color() : option.palette.text().color();
        const QRect r = option.rect;
        if (l.PastilleRouge) {
            p->setRenderHint(QPainter::Antialiasing);
            p->setBrush(Qt::red);
            p->setPen(Qt::NoPen);
            p->drawEllipse(QPoint(r.left() + 7, r.center().y()), 4, 4);
        }
        const auto dessiner = [&](const QList<TMorceauCompte>& m, int x) {
            for (const TMorceauCompte& x2 : m) {
                p->setPen(choisi ? normal : couleur(x2.Couleur, normal));
                p->drawText(QRect(x, r.top(), r.right() - x, r.height()),
                            Qt::AlignVCenter | Qt::AlignLeft, x2.Texte);
                x += option.fontMetrics.horizontalAdvance(x2.Texte);
            }
        };
        dessiner(l.Nom, r.left() + 16);
        dessiner(l.Compteurs, r.left() + Colonne);
        p->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(Colonne + 400, option.fontMetrics.height() + 6);
    }

private:
    const TVueComptes& m_vue;
};

} // namespace

TVueComptes::TVueComptes(TGestionComptesBis& comptes, QWidget* parent)
    : QWidget(parent), m_page(comptes) {
    auto* v = new QVBoxLayout(this);
    ListBoxComptes = new QListWidget(this);
    ListBoxComptes->setObjectName(QStringLiteral("ListBoxComptes"));
    ListBoxComptes->setItemDelegate(new TDelegueComptes(*this, ListBoxComptes));
    ListBoxComptes->installEventFilter(this);
    v->addWidget(ListBoxComptes);
    auto* h = new QHBoxLayout;
    BtnConfigCompte = new QPushButton(Res("BtnConfigCompte", u"Config"), this);
    BtnConfigCompte->setObjectName(QStringLiteral("BtnConfigCompte"));
    BtnSupprimerCompte = new QPushButton(Res("BtnSupprimerCompte", u"Supprimer"), this);
    BtnSupprimerCompte->setObjectName(QStringLiteral("BtnSupprimerCompte"));
    h->addStretch();
    h->addWidget(BtnConfigCompte);
    h->addWidget(BtnSupprimerCompte);
    v->addLayout(h);
    BtnConfigCompte->setEnabled(false);
    BtnSupprimerCompte->setEnabled(false);
    connect(ListBoxComptes, &QListWidget::itemSelectionChanged, this, [this] {
        const bool choisi = Selection() != 0;
        BtnConfigCompte->setEnabled(choisi);
        BtnSupprimerCompte->setEnabled(choisi);
    });
    connect(ListBoxComptes, &QListWidget::itemDoubleClicked, this, [this] { Configurer(); });
    connect(BtnConfigCompte, &QPushButton::clicked, this, [this] { Configurer(); });
    connect(BtnSupprimerCompte, &QPushButton::clicked, this, [this] { Supprimer(); });
    Rafraichir();
}

void TVueComptes::Rafraichir() {
    const qint32 choisi = Selection();
    m_lignes = m_page.Lignes();
    // The counters' column: the widest name + 17 pixels.
    const QFontMetrics fm(ListBoxComptes->font());
    int large = 0;
    for (const TLigneCompte& l : m_lignes)
        large = std::max(large, fm.horizontalAdvance(l.TexteNom()));
    static_cast<TDelegueComptes*>(ListBoxComptes->itemDelegate())->Colonne = 16 + large + 17;
    ListBoxComptes->clear();
    for (int i = 0; i < m_lignes.size(); ++i) {
        auto* item = new QListWidgetItem(m_lignes[i].TexteNom() + QLatin1Char('\t') +
                                         m_lignes[i].TexteCompteurs());
        item->setData(kRoleLigne, i);
        item->setData(Qt::UserRole, m_lignes[i].Numero);
        ListBoxComptes->addItem(item);
        if (m_lignes[i].Numero == choisi) item->setSelected(true);
    }
    ListBoxComptes->viewport()->update();
}

qint32 TVueComptes::Selection() const {
    const QList<QListWidgetItem*> s = ListBoxComptes->selectedItems();
    return s.isEmpty() ? 0 : s.first()->data(Qt::UserRole).toInt();
}

void TVueComptes::Configurer() {
    const qint32 n = Selection();
    TUnCompteBis* compte = nullptr;
    for (int i = 0; i < m_page.Comptes().Count(); ++i)
        if (m_page.Comptes().Compte(i)->Numero == n) compte = m_page.Comptes().Compte(i);
    if (!compte) {
        TBoiteMessage::Avertir(this, Res("princ102", u"Sélectionnez le compte à configurer"));
        return;
    }
    TFormConfigCompte d(*compte, this);
    if (d.exec() != QDialog::Accepted) return;
    m_page.Comptes().Trier();
    Rafraichir();
    emit ComptesModifies();
}

void TVueComptes::Supprimer() {
    const qint32 n = Selection();
    if (n == 0) return;
    if (TBoiteMessage::Afficher(
            this, TBoiteMessage::fmOuiNon,
            Res("princ110", u"Supprimer les informations du compte spécifié ?")) !=
        TBoiteMessage::rpOui)
        return;
    if (!m_page.Supprimer(n)) QApplication::beep();
    Rafraichir();
    emit ComptesModifies();
}

bool TVueComptes::eventFilter(QObject* o, QEvent* e) {
    if (o == ListBoxComptes && e->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(e)->key() == Qt::Key_Delete) {
        Supprimer();
        return true;
    }
    return QWidget::eventFilter(o, e);
}
