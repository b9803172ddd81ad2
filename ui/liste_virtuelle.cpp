#include "ui/liste_virtuelle.h"

#include <QAbstractListModel>
#include <QKeyEvent>

namespace {
class TModeleVirtuel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;
    int Nombre = 0;
    void setNombre(int n) {
        beginResetModel();
        Nombre = n;
        endResetModel();
    }
    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : Nombre; }
    QVariant data(const QModelIndex&, int) const override { return {}; }
};
} // namespace

TListeVirtuelle::TListeVirtuelle(QWidget* parent) : QListView(parent) {
    auto* m = new TModeleVirtuel(this);
    m_modele = m;
    setModel(m);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TListeVirtuelle::SelectionChangee);
    connect(m, &QAbstractItemModel::modelReset, this, &TListeVirtuelle::SelectionChangee);
}

void TListeVirtuelle::setNombre(int n) {
    auto* m = static_cast<TModeleVirtuel*>(m_modele);
    if (m->Nombre != n) m->setNombre(n);
    Redessiner();
}

int TListeVirtuelle::Nombre() const {
    return static_cast<TModeleVirtuel*>(m_modele)->Nombre;
}

void TListeVirtuelle::Redessiner() {
    viewport()->update();
}

int TListeVirtuelle::Selection() const {
    const QModelIndex i = currentIndex();
    return i.isValid() && selectionModel()->isSelected(i) ? i.row() : -1;
}

void TListeVirtuelle::Selectionner(int ligne) {
    const QModelIndex i = m_modele->index(ligne, 0);
    setCurrentIndex(i);
    if (i.isValid()) selectionModel()->select(i, QItemSelectionModel::ClearAndSelect);
}

void TListeVirtuelle::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Delete) {
        emit ToucheSuppr();
        e->accept();
        return;
    }
    QListView::keyPressEvent(e);
}
