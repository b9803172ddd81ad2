#include "core/masquer_mot_de_passe.h"

#include "core/cp1252.h"

namespace {

// First byte kept, one '*' for each further byte.
QByteArray masquer(QByteArrayView secret) {
    if (secret.isEmpty()) return {};
    QByteArray r(secret.size(), '*');
    r[0] = secret[0];
    return r;
}

} // namespace

QByteArray MasquerMotDePasse(QByteArrayView ligne) {
    const qsizetype espace = ligne.indexOf(' ');
    const QByteArrayView mot = espace < 0 ? ligne : ligne.first(espace);
    const bool pass = cp1252::egauxSansCasse(mot, "PASS");
    const bool rpop = cp1252::egauxSansCasse(mot, "RPOP");
    const bool auth = cp1252::egauxSansCasse(mot, "AUTH");
    if (!pass && !rpop && !auth) return ligne.toByteArray();
    if (espace < 0) return ligne.toByteArray();

    QByteArray r = ligne.first(espace + 1).toByteArray();
    QByteArrayView reste = ligne.sliced(espace + 1);
    if (auth) {
        // The mechanism name stays readable; what follows it is a credential.
        const qsizetype fin = reste.indexOf(' ');
        if (fin < 0) return ligne.toByteArray();
        r.append(reste.first(fin + 1));
        reste = reste.sliced(fin + 1);
    }
    r.append(masquer(reste));
    return r;
}
