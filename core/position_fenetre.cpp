#include "core/position_fenetre.h"

namespace {
QByteArray cle(QByteArrayView nom, const char* suffixe) {
    return nom.toByteArray() + suffixe;
}
} // namespace

QByteArray NomFenetre(QByteArrayView nomClasse) {
    if (nomClasse.startsWith('T')) return nomClasse.sliced(1).toByteArray();
    return nomClasse.toByteArray();
}

QByteArray SectionFenetre(QByteArrayView nomFenetre) {
    if (nomFenetre.startsWith("Form")) return nomFenetre.sliced(4).toByteArray();
    return nomFenetre.toByteArray();
}

TPositionFenetre LirePositionFenetre(TStockageConfig& ini, QByteArrayView nom,
                                     bool redimensionnable) {
    TPositionFenetre p;
    ini.DefinirSection(SectionFenetre(nom));
    p.X = ini.LireEntier(cle(nom, "X"), kPositionAbsente);
    p.Y = ini.LireEntier(cle(nom, "Y"), kPositionAbsente);
    if (redimensionnable) {
        p.W = ini.LireEntier(cle(nom, "W"), 0);
        p.H = ini.LireEntier(cle(nom, "H"), 0);
        p.Maxi = ini.LireBool(cle(nom, "Maxi"), false);
    }
    ini.DefinirSection({});
    return p;
}

void EcrirePositionFenetre(TStockageConfig& ini, QByteArrayView nom, bool redimensionnable,
                           const TPositionFenetre& p) {
    TStockageConfig::TLot lot(ini);
    ini.DefinirSection(SectionFenetre(nom));
    ini.EcrireEntier(cle(nom, "X"), p.X);
    ini.EcrireEntier(cle(nom, "Y"), p.Y);
    if (redimensionnable) {
        ini.EcrireEntier(cle(nom, "W"), p.W);
        ini.EcrireEntier(cle(nom, "H"), p.H);
        ini.EcrireBool(cle(nom, "Maxi"), p.Maxi);
    }
    ini.DefinirSection({});
}

TPoliceFenetre LirePoliceFenetre(TStockageConfig& ini, QByteArrayView nom,
                                 QByteArrayView nomActuel) {
    TPoliceFenetre f;
    ini.DefinirSection(SectionFenetre(nom));
    f.Taille = ini.LireEntier("FontSize", 0);
    f.Nom = ini.LireChaine("FontName", nomActuel);
    ini.DefinirSection({});
    return f;
}

TPlacementFenetre PlacerFenetre(const TPositionFenetre& p, const QRect& conception,
                                const QSize& ecran, bool redimensionnable, const QSize& minimum) {
    TPlacementFenetre r;
    QRect g = conception;
    if (p.Stockee()) {
        g.moveTo(p.X, p.Y);
        if (redimensionnable) {
            if (p.Maxi) {
                // The stored size is taken as is, whatever it is: the normal bounds.
                g.setSize(QSize(p.W, p.H));
                r.Maximiser = true;
            } else if (p.W > 10 && p.H > 10) {
                g.setSize(QSize(p.W, p.H));
            }
        }
    } else {
        const int gauche = (ecran.width() - g.width()) / 2;
        const int haut = (ecran.height() - g.height()) / 2;
        if (gauche > 0) g.moveLeft(gauche);
        if (haut > 0) g.moveTop(haut);
    }
    r.BornesNormales = g;
    if (g.width() < minimum.width()) g.setWidth(minimum.width());
    if (g.height() < minimum.height()) g.setHeight(minimum.height());
    r.Geometrie = g;
    return r;
}

TPositionFenetre PositionAEcrire(bool redimensionnable, bool maximisee, const QRect& actuelle,
                                 const QRect& bornesNormales) {
    TPositionFenetre p;
    if (redimensionnable && maximisee) {
        p.X = bornesNormales.x();
        p.Y = bornesNormales.y();
        p.W = bornesNormales.width();
        p.H = bornesNormales.height();
        p.Maxi = true;
        return p;
    }
    p.X = actuelle.x();
    p.Y = actuelle.y();
    if (redimensionnable) {
        p.W = actuelle.width();
        p.H = actuelle.height();
    }
    return p;
}
