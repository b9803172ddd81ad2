#pragma once
// The About box: name, version, copyright, the system, memory and disk, the
// installation and home folders, the site link and the running time.

#include <QDialog>
#include <QElapsedTimer>

class QLabel;

class TFormAboutBox : public QDialog {
    Q_OBJECT
public:
    // `depart`: measures the time since the main window was created.
    TFormAboutBox(const QElapsedTimer& depart, const QString& installation, const QString& travail,
                  QWidget* parent = nullptr);
    QLabel* LabelDuree;

private:
    void rafraichir();
    const QElapsedTimer& m_depart;
};
