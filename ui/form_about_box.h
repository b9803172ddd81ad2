#pragma once
// The About box: name, version, copyright, the system, memory and disk, the
// installation and home folders, the site link and the running time; the
// program's history and its thanks in two more tabs.

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QTabWidget;

class TFormAboutBox : public QDialog {
    Q_OBJECT
public:
    // `depart`: measures the time since the main window was created.
    TFormAboutBox(const QElapsedTimer& depart, const QString& installation, const QString& travail,
                  QWidget* parent = nullptr);
    QLabel* LabelDuree;
    // The information panel, then "Nouveautés" and "Remerciements" when
    // their texts are not empty.
    QTabWidget* Onglets;

private:
    void rafraichir();
    const QElapsedTimer& m_depart;
};
