#pragma once
// The date-time value of the data files: days since 1899-12-30 as a double,
// the fraction being the time of day, in local time.

#include <QDateTime>

using TDateTime = double;

namespace datetime {

TDateTime maintenant();
TDateTime depuisQDateTime(const QDateTime& dt); // converted to local time first
QDateTime versQDateTime(TDateTime valeur);      // local time; invalid for NaN or out of range
TDateTime encoder(int annee, int mois, int jour, int heure = 0, int minute = 0, int seconde = 0,
                  int milli = 0);
inline int jour(TDateTime valeur) {
    return static_cast<int>(valeur);
} // whole days

} // namespace datetime

namespace tick {

// Monotonic milliseconds as a 32-bit value that wraps, like the system tick counter.
quint32 GetTickCount();
// Tests replace the source (nullptr restores the clock).
using TSource = quint32 (*)();
void remplacerSource(TSource source);
// Elapsed time across the wrap.
inline quint32 ecoule(quint32 depuis, quint32 maintenant) {
    return maintenant - depuis;
}

} // namespace tick
