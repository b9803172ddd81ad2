#pragma once
// The date-time value of the data files: days since 1899-12-30 as a double,
// the fraction being the time of day, in local time.

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

using TDateTime = double;

namespace datetime {

TDateTime maintenant();
TDateTime depuisQDateTime(const QDateTime& dt); // converted to local time first
QDateTime versQDateTime(TDateTime valeur);      // local time; invalid for NaN or out of range
TDateTime encoder(int annee, int mois, int jour, int heure = 0, int minute = 0, int seconde = 0,
                  int milli = 0);
// A calendar day and back, without time zone: the day's midnight, and the day
// that holds a value (invalid for NaN or out of range).
TDateTime depuisDate(QDate jour);
QDate versDate(TDateTime valeur);
inline int jour(TDateTime valeur) {
    return static_cast<int>(valeur);
} // whole days

// Dates as the data files write them: "dd/MM/yyyy HH:mm:ss"; empty when the
// value is not a date.
QByteArray formaterDate(TDateTime valeur);
// Reads that format, with a two-digit year too, or "yyyy-MM-dd HH:mm:ss"; the
// time, or its seconds, may be missing. 0 when the text is not a date.
TDateTime lireDate(QByteArrayView texte);

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
