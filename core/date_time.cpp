#include "core/date_time.h"

#include "core/cp1252.h"

#include <QElapsedTimer>

#include <cmath>

namespace datetime {
namespace {
const QDate kOrigine(1899, 12, 30);
constexpr double kMsParJour = 86400000.0;
} // namespace

TDateTime depuisQDateTime(const QDateTime& dt) {
    const QDateTime local = dt.toLocalTime();
    const qint64 jours = kOrigine.daysTo(local.date());
    const double fraction = local.time().msecsSinceStartOfDay() / kMsParJour;
    return static_cast<double>(jours) + fraction;
}

TDateTime maintenant() {
    return depuisQDateTime(QDateTime::currentDateTime());
}

QDateTime versQDateTime(TDateTime valeur) {
    if (!std::isfinite(valeur) || std::fabs(valeur) > 3.0e6) return {};
    double jours = std::floor(valeur);
    qint64 ms = std::llround((valeur - jours) * kMsParJour);
    if (ms >= 86400000) {
        jours += 1;
        ms -= 86400000;
    }
    const QDate d = kOrigine.addDays(static_cast<qint64>(jours));
    return QDateTime(d, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

TDateTime depuisDate(QDate jour) {
    return static_cast<double>(kOrigine.daysTo(jour));
}

QDate versDate(TDateTime valeur) {
    if (!std::isfinite(valeur) || std::fabs(valeur) > 3.0e6) return {};
    return kOrigine.addDays(static_cast<qint64>(std::floor(valeur)));
}

TDateTime encoder(int annee, int mois, int jour, int heure, int minute, int seconde, int milli) {
    return depuisQDateTime(
        QDateTime(QDate(annee, mois, jour), QTime(heure, minute, seconde, milli)));
}

QByteArray formaterDate(TDateTime valeur) {
    const QDateTime dt = versQDateTime(valeur);
    if (!dt.isValid()) return {};
    return cp1252::depuisUnicode(dt.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")));
}

TDateTime lireDate(QByteArrayView texte) {
    texte = texte.trimmed();
    if (texte.isEmpty() || texte == "0") return 0;
    // Up to six numbers: the date's three, then hours, minutes, seconds.
    int nombres[6] = {0, 0, 0, 0, 0, 0};
    int chiffres[6] = {0, 0, 0, 0, 0, 0};
    int n = 0;
    char separateurDate = 0;
    qsizetype i = 0;
    while (i < texte.size() && n < 6) {
        const char c = texte[i];
        if (c >= '0' && c <= '9') {
            if (chiffres[n] >= 4) return 0;
            nombres[n] = nombres[n] * 10 + (c - '0');
            ++chiffres[n];
            ++i;
            continue;
        }
        if (chiffres[n] == 0) return 0;
        const bool separateurOk =
            (n < 2 && (c == '/' || c == '-') && (separateurDate == 0 || separateurDate == c)) ||
            (n == 2 && (c == ' ' || c == 'T')) || ((n == 3 || n == 4) && c == ':');
        if (!separateurOk) return 0;
        if (n < 2) separateurDate = c;
        ++n;
        ++i;
        while (n == 3 && i < texte.size() && texte[i] == ' ')
            ++i;
    }
    if (i < texte.size() || n < 2 || chiffres[n] == 0 || n == 3) return 0;
    int annee, mois, jourDuMois;
    if (separateurDate == '-') {
        if (chiffres[0] != 4) return 0;
        annee = nombres[0];
        mois = nombres[1];
        jourDuMois = nombres[2];
    } else {
        if (chiffres[2] != 2 && chiffres[2] != 4) return 0;
        jourDuMois = nombres[0];
        mois = nombres[1];
        annee = nombres[2];
        if (chiffres[2] == 2) annee += annee < 50 ? 2000 : 1900;
    }
    const QDate d(annee, mois, jourDuMois);
    const QTime t(nombres[3], nombres[4], nombres[5]);
    if (!d.isValid() || !t.isValid()) return 0;
    return encoder(annee, mois, jourDuMois, nombres[3], nombres[4], nombres[5]);
}

} // namespace datetime

namespace tick {
namespace {
TSource g_source = nullptr;

quint32 horloge() {
    static QElapsedTimer minuteur = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<quint32>(static_cast<quint64>(minuteur.elapsed()));
}
} // namespace

quint32 GetTickCount() {
    return g_source ? g_source() : horloge();
}
void remplacerSource(TSource source) {
    g_source = source;
}

} // namespace tick
