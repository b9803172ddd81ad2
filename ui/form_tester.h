#pragma once
// "Tester une expression": a value and one wildcard pattern, matched as the
// lists match (CIDR when the pattern holds "/"), the result shown at once.
// One at a time, not modal, above the main window.

#include <QWidget>

class QLabel;
class QLineEdit;
class TFormBase;

class TFormTester : public QWidget {
    Q_OBJECT
public:
    // The one dialog, created on first use and shown.
    static TFormTester* Ouvrir(QWidget* parent);
    static TFormTester* Instance();
    ~TFormTester() override;

    // "ok" (princ86) or "pas ok" (princ85).
    static QString Resultat(const QString& valeur, const QString& filtre);
    void Tester();

    QLineEdit *EditValeur2, *EditFiltre2;
    QLabel* LabelTest2;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    explicit TFormTester(QWidget* parent);
    TFormBase* m_base;
};
