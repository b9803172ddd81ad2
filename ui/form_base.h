#pragma once
// What every window of the program but the splash shares: its position, size
// and optional font kept in kelvarin.ini under its own section, restored when
// it is created (ConfigVersEcran) and written when its close is granted
// (EcranVersConfig). The placement rules live in core/position_fenetre.

#include <QByteArray>
#include <QObject>
#include <QRect>

class QWidget;

class TFormBase : public QObject {
public:
    // `nomClasse` is the design class name ("TFormKelvarin").
    TFormBase(QWidget& fenetre, QByteArrayView nomClasse, bool redimensionnable);

    const QByteArray& NomFenetre() const { return m_nom; }
    // Font keys, then the stored position (or centred), then the minimum size;
    // then the window is translated (the language files address it by its
    // class name without the "T").
    void ConfigVersEcran();
    void EcranVersConfig();
    QRect BornesNormales() const { return m_bornes; }

protected:
    bool eventFilter(QObject* objet, QEvent* evenement) override;

private:
    QWidget& m_fenetre;
    QByteArray m_nom;
    bool m_redimensionnable;
    QRect m_bornes;
};
