#include "core/date_time.h"

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

TDateTime encoder(int annee, int mois, int jour, int heure, int minute, int seconde, int milli) {
    return depuisQDateTime(
        QDateTime(QDate(annee, mois, jour), QTime(heure, minute, seconde, milli)));
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
