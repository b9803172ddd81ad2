#pragma once
// The language dialog: no translation, the automatic choice (the system's
// language) or one of the language files found, listed by their description.

#include <QDialog>

class QLabel;
class QListWidget;
class TCadreBoutons;

class TFormLanguage : public QDialog {
    Q_OBJECT
public:
    explicit TFormLanguage(QWidget* parent = nullptr);

    QLabel* LabelChoix;
    QListWidget* ListBoxLanguage;
    TCadreBoutons* FrameValideAnnule1;

    // The item names in list order: "" no translation, "@" automatic, codes.
    QStringList Noms() const;
    // "Valider" with the selected item: the choice made, written and applied.
    void Valider();

private:
    void selectionChangee();
};
