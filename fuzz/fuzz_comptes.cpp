// The accounts file "comptesspam.qdl": read, written, read and written again,
// both writes hold the same lines (control bytes become "_" on the first write,
// which may reorder accounts sorted by name).
#include "accounts/gestion_comptes_bis.h"
#include "fuzz/commun.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::TEntree finEntree;
    TGestionComptesBis comptes;
    comptes.Deserialiser(fuzz::Octets(data, size));
    const QByteArray premier = comptes.Serialiser();
    TGestionComptesBis relus;
    relus.Deserialiser(premier);
    const QByteArray second = relus.Serialiser();
    if (!fuzz::MemesLignes(premier, second))
        fuzz::Echec("comptesspam.qdl written twice", premier, second);
    comptes.Trier();
    for (int i = 0; i < comptes.Count(); ++i) {
        const PUnCompteBis c = comptes.Compte(i);
        (void)TGestionComptesBis::PortEffectif(c);
        (void)TGestionComptesBis::SupprimerSpamEffectif(c);
    }
    (void)comptes.NumeroCompteMini();
    return 0;
}
