#pragma once
// The quit confirmation: "&Oui" quits, "&Non" keeps the program running.

#include <QDialog>

class TFormQuitter : public QDialog {
    Q_OBJECT
public:
    explicit TFormQuitter(QWidget* parent = nullptr);
    static QString Question();
    // Asks (or takes a test's answer): true for "&Oui".
    static bool Demander(QWidget* parent);
};
