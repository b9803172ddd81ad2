#pragma once
// A list whose rows hold no data: the item count is set from an engine
// component and each row is painted from the record at its index, which may
// be gone (the delegate then paints nothing).

#include <QListView>

class QAbstractListModel;

class TListeVirtuelle : public QListView {
    Q_OBJECT
public:
    explicit TListeVirtuelle(QWidget* parent = nullptr);
    // Sets the item count (the selection goes when it changes) and repaints.
    void setNombre(int n);
    int Nombre() const;
    void Redessiner();
    int Selection() const; // -1: none
    void Selectionner(int ligne);

signals:
    void SelectionChangee();
    void ToucheSuppr(); // the Delete key, consumed

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    QAbstractListModel* m_modele;
};
