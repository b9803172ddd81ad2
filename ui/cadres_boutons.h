#pragma once
// The button frames at the bottom of dialogs: "&Valider" / "&Annuler" /
// "&Aide" and "&Fermer" / "&Aide", spread evenly. "&Aide" shows only when the
// help pages exist, and opens the dialog's topic.

#include <QWidget>

class QPushButton;

class TCadreBoutons : public QWidget {
    Q_OBJECT
public:
    enum TGenre { cbValideAnnule, cbOK };
    TCadreBoutons(TGenre genre, int sujetAide, QWidget* parent = nullptr);
    QPushButton* BtnValider = nullptr; // cbValideAnnule
    QPushButton* BtnAnnuler = nullptr; // cbValideAnnule
    QPushButton* BtnFermer = nullptr;  // cbOK
    QPushButton* BtnAide = nullptr;
signals:
    void Valider();
    void Annuler();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    void repartir();
    QList<QPushButton*> m_boutons;
};
