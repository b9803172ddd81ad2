#pragma once
// The page "Trace des connexions": the trace's lines in their colours, at most
// 800 (trimmed to 700 when passing the bound), and "Effacer".

#include "core/trace.h"

#include <QWidget>

class QPushButton;
class QTextEdit;

class TPageTrace : public QWidget {
    Q_OBJECT
public:
    explicit TPageTrace(QWidget* parent = nullptr);
    void Ajouter(const TLigneTrace& ligne);
    void AllerALaFin();
    int NbLignes() const;
    static QColor Couleur(TCouleurTrace c); // invalid: the default colour

    QTextEdit* RichEdit1;
    QPushButton* BtnEffacer;
};
