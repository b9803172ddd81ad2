#include "pages/morceaux.h"

#include "core/cp1252.h"
#include "proxy/reecriture.h"

#include <cmath>

QString JoindreMorceaux(const QList<TMorceau>& morceaux) {
    QString r;
    for (const TMorceau& m : morceaux)
        r += m.Texte;
    return r;
}

QChar SeparateurDecimalAffichage() {
    const QString s = cp1252::versUnicode(SeparateurDecimalSysteme());
    return s.isEmpty() ? QLatin1Char('.') : s.at(0);
}

QString TextePourcentage(double valeur) {
    return QStringLiteral("%1%").arg(valeur, 4, 'f', 1);
}

QString FormaterDecimal(double valeur, int decimales, QChar separateur) {
    if (!std::isfinite(valeur)) valeur = 0;
    double echelle = 1;
    for (int i = 0; i < decimales; ++i)
        echelle *= 10;
    // A tiny nudge so that 12.25 stored as 12.2499999... still rounds up.
    const double arrondi = std::round(valeur * echelle * (1 + 1e-12));
    const long long n = static_cast<long long>(std::fabs(arrondi));
    const long long unite = static_cast<long long>(echelle);
    QString r = QString::number(n / unite);
    if (decimales > 0)
        r += separateur + QStringLiteral("%1").arg(n % unite, decimales, 10, QLatin1Char('0'));
    if (arrondi < 0) r.prepend(QLatin1Char('-'));
    return r;
}
