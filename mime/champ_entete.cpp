#include "mime/champ_entete.h"

#include "core/cp1252.h"

std::optional<TChampEntete> SeparerChampEntete(QByteArrayView ligne) {
    const qsizetype deuxPoints = ligne.indexOf(':');
    if (deuxPoints < 0) return std::nullopt;
    return TChampEntete{cp1252::minuscules(ligne.first(deuxPoints).trimmed()),
                        ligne.sliced(deuxPoints + 1)};
}
