#pragma once
// "Test expression RegExp": a regular expression searched in a value exactly
// as the expression lists search it; the result follows the typing after a
// short pause. One at a time, not modal, above the main window.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class TFormBase;

class TFormTesterRegExp : public QWidget {
    Q_OBJECT
public:
    static TFormTesterRegExp* Ouvrir(QWidget* parent);
    static TFormTesterRegExp* Instance();
    ~TFormTesterRegExp() override;

    // "?" for an empty value, else rege01 "filtre valide" on a match and
    // rege02 "filtre non valide" otherwise (an invalid expression included).
    static QString Resultat(const QString& expression, const QString& valeur);
    void BtnTesterClick();

    QLineEdit *EditRegExp, *EditValeur;
    QPushButton* BtnTester;
    QLabel* LabelResultat;
    QTimer* Timer1;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    explicit TFormTesterRegExp(QWidget* parent);
    TFormBase* m_base;
};
