#pragma once
// A row of a painted list as runs of text, each with its colour: the engine
// decides the texts and colours, the widget only paints them in order.

#include <QChar>
#include <QList>
#include <QString>

struct TMorceau {
    enum TCouleur : quint8 { mcNormal, mcRouge, mcVert, mcBleu, mcJaune };
    QString Texte;
    TCouleur Couleur = mcNormal;
    friend bool operator==(const TMorceau&, const TMorceau&) = default;
};

QString JoindreMorceaux(const QList<TMorceau>& morceaux);

// A percentage as the lists show it ("##0.0%"): one decimal, "%", blanks in
// front up to 5 characters.
QString TextePourcentage(double valeur);

// The system's decimal separator, through the code page module.
QChar SeparateurDecimalAffichage();
// `valeur` with `decimales` digits after `separateur`, rounded half away from
// zero ("0.0" and "0.000" of the design).
QString FormaterDecimal(double valeur, int decimales, QChar separateur);
