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
    // Number of columns the rows flow into (top to bottom, then right).
    void setColonnes(int n);
    int Colonnes() const { return m_colonnes; }

signals:
    void SelectionChangee();
    void ToucheSuppr(); // the Delete key, consumed

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void reglerGrille();
    QAbstractListModel* m_modele;
    int m_colonnes = 1;
};
