#include "spamsearch/extraction_ip.h"

#include "core/cp1252.h"

bool TAdressesRelais::contient(TAdresseIP ip) const {
    for (int i = 0; i < nb; ++i)
        if (adresses[size_t(i)] == ip) return true;
    return false;
}

bool ExtraireIPLigne(QByteArrayView ligne, TAdressesRelais& relais,
                     const std::function<bool(TAdresseIP)>& estIPInternet) {
    const qsizetype len = ligne.size();
    // The shortest candidate, "[1.2.3.4]", needs 8 bytes after its opening bracket.
    for (qsizetype i = 0; i + 9 <= len; ++i) {
        const char ouvrant = ligne[i];
        if ((ouvrant != '(' && ouvrant != '[') || ligne[i + 1] < '0' || ligne[i + 1] > '9')
            continue;
        qsizetype j = i + 1;
        int points = 0;
        while (j < len - 1 && ((ligne[j] >= '0' && ligne[j] <= '9') || ligne[j] == '.')) {
            if (ligne[j] == '.') ++points;
            ++j;
        }
        const char fermant = ouvrant == '(' ? ')' : ']';
        if (points != 3 || ligne[j] != fermant) continue;
        const TAdresseIP ip = ChaineVersIP(ligne.sliced(i + 1, j - i - 1));
        if (ip == 0) continue;
        if (estIPInternet && !estIPInternet(ip)) continue;
        if (relais.contient(ip)) return false;
        if (relais.nb >= kMaxAdressesRelais) return false;
        relais.adresses[size_t(relais.nb++)] = ip;
        return true;
    }
    return false;
}

// The same name as the shared header-field split of the decoders gives; kept
// here so that the spam search does not depend on the decoders for one line.
QByteArray NomChampEntete(QByteArrayView ligne, const QByteArray& precedent) {
    if (ligne.isEmpty() || ligne[0] == ' ' || ligne[0] == '\t') return precedent;
    const qsizetype deuxPoints = ligne.indexOf(':');
    if (deuxPoints < 0) return precedent;
    return cp1252::minuscules(ligne.first(deuxPoints).trimmed());
}
