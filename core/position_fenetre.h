#pragma once
// Where each window stores its position in the settings file, and the rules
// that place it at creation and record it when its close is granted. The
// windows call these; the rules stay testable without a display.

#include "core/stockage_config.h"

#include <QRect>
#include <QSize>

// Sentinel of X and Y: no position stored.
inline constexpr int kPositionAbsente = -100;

struct TPositionFenetre {
    int X = kPositionAbsente;
    int Y = kPositionAbsente;
    int W = 0;
    int H = 0;
    bool Maxi = false;
    bool Stockee() const { return X != kPositionAbsente && Y != kPositionAbsente; }
};

// "TFormKelvarin" -> "FormKelvarin": the class name without its leading T.
QByteArray NomFenetre(QByteArrayView nomClasse);
// "FormKelvarin" -> "Kelvarin"; a name not beginning with "Form" is kept whole.
QByteArray SectionFenetre(QByteArrayView nomFenetre);

// Reads the keys of a window; W, H and Maxi only for a resizable one.
TPositionFenetre LirePositionFenetre(TStockageConfig& ini, QByteArrayView nomFenetre,
                                     bool redimensionnable);
void EcrirePositionFenetre(TStockageConfig& ini, QByteArrayView nomFenetre, bool redimensionnable,
                           const TPositionFenetre& p);

// The font keys (read only): applied when FontSize is greater than 1.
struct TPoliceFenetre {
    int Taille = 0;
    QByteArray Nom;
    bool AAppliquer() const { return Taille > 1; }
};
TPoliceFenetre LirePoliceFenetre(TStockageConfig& ini, QByteArrayView nomFenetre,
                                 QByteArrayView nomActuel);

struct TPlacementFenetre {
    QRect Geometrie; // where the window goes
    bool Maximiser = false;
    QRect BornesNormales; // its bounds when not maximised
};

// Placement at creation from the stored keys, the design geometry, the screen
// size and the minimum size constraints (0 for none).
TPlacementFenetre PlacerFenetre(const TPositionFenetre& p, const QRect& conception,
                                const QSize& ecran, bool redimensionnable,
                                const QSize& minimum = QSize(0, 0));

// The keys to write when the close is granted.
TPositionFenetre PositionAEcrire(bool redimensionnable, bool maximisee, const QRect& actuelle,
                                 const QRect& bornesNormales);
