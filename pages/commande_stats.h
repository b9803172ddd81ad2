#pragma once
// `kelvarin --stats`: the statistics table printed without a window, read
// from the archive on disk without taking the single-instance lock or writing
// anything, so it runs beside another copy of the program on the same home.

#include "core/ligne_commande.h"
#include "core/repertoires.h"

#include <QDate>
#include <QTextStream>

namespace statistiques {

enum TCodeSortie : int {
    csOk = 0,
    csIllisible = 1, // printed, but the accounts file or an index could not be read
    csUsage = 2      // bad switch or value, unknown account, end before start
};

// Runs the command: the table on `sortie` (aligned text, or CSV with --csv),
// problems on `erreurs`. `aujourdhui` defaults to the system's date.
int CommandeStats(const TLigneCommande& ligne, const TRepertoires& reps, QTextStream& sortie,
                  QTextStream& erreurs, QDate aujourdhui = {});

// What --help prints about it.
QString AideStats();

} // namespace statistiques
