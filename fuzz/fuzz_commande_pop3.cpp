// The client's command line and login argument, the server's STAT and LIST
// answers, the header fields of a retrieved message, and the port.
#include "fuzz/commun.h"
#include "proxy/analyse_pop3.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::TEntree finEntree;
    const QByteArray entree = fuzz::Octets(data, size);
    const pop3::TCommandeClient c = pop3::analyserCommande(entree);
    if (c.ligne.size() > pop3::kLongueurCommandeMax || c.ligne.contains('\0') ||
        c.ligne.contains('\r') || c.ligne.contains('\n'))
        __builtin_trap();
    for (int format = 0; format <= 2; ++format)
        (void)pop3::analyserLogin(c.argument, format);
    (void)pop3::analyserLogin(entree, 2);
    (void)pop3::lireNombre(entree);
    qsizetype pos = 0;
    if (pop3::lireNombre64(entree, pos) >= 0 && (pos < 0 || pos > entree.size())) __builtin_trap();
    qint64 n = 0, t = 0;
    pop3::analyserReponseStat(entree, n, t);
    (void)pop3::analyserLigneListe(entree, n, t);
    (void)pop3::resoudrePort(entree);
    pop3::TChampsEntete champs;
    for (const QByteArray& ligne : entree.split('\n'))
        champs.ajouterLigne(ligne);
    return 0;
}
