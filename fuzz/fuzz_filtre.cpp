// Wildcard and CIDR matching of the filter lists, and the expression test.
// The input is a pattern, a NUL, then the value.
#include "fuzz/commun.h"
#include "spamsearch/adresse_ip.h"
#include "spamsearch/regexp_filtre.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::TEntree finEntree;
    const QByteArray entree = fuzz::Octets(data, size);
    const qsizetype nul = entree.indexOf('\0');
    const QByteArray motif = nul < 0 ? entree : entree.left(nul);
    const QByteArray valeur = nul < 0 ? QByteArray() : entree.mid(nul + 1);
    (void)CorrespondFiltre(valeur, motif, true);
    const bool sans = CorrespondFiltre(valeur, motif, false);
    // Without the CIDR form, "*" alone matches anything and a value matches itself
    // when it holds no wildcard character.
    if (!CorrespondFiltre(valeur, "*", false)) __builtin_trap();
    const bool simple = !motif.contains('*') && !motif.contains('?') && !motif.contains('#') &&
                        !motif.contains('\\') && !motif.contains('\xB5');
    if (simple && !motif.isEmpty() && !CorrespondFiltre(motif, motif, false)) __builtin_trap();
    (void)sans;
    // A small match limit keeps a pathological expression short.
    (void)CorrespondRegExp(valeur, motif, 20000);
    return 0;
}
