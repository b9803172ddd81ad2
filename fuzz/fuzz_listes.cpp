// The filter list files. The first byte picks the file; the rest is its
// content. Loaded, saved and loaded again, the lists stay the same; then a
// few values are tested against them.
#include "fuzz/commun.h"
#include "spamsearch/listes_filtres.h"
#include "spamsearch/regexp_filtre.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    fuzz::ViderRepertoire();
    const auto liste = TListeFiltre(data[0] % lfNombre);
    fuzz::EcrireFichier(TListesFiltres::NomFichier(liste), fuzz::Octets(data + 1, size - 1));
    const QString rep = fuzz::Repertoire();

    TListesFiltres listes;
    listes.Charger(rep);
    const QList<QByteArray> lues = listes.Lignes(liste);
    listes.Sauver(rep);
    const QByteArray premier = fuzz::LireFichier(rep + TListesFiltres::NomFichier(liste));
    TListesFiltres relues;
    relues.Charger(rep);
    if (relues.Lignes(liste) != lues)
        fuzz::Echec("list lines after a save", lues.join('\n'), relues.Lignes(liste).join('\n'));
    relues.Sauver(rep);
    const QByteArray second = fuzz::LireFichier(rep + TListesFiltres::NomFichier(liste));
    if (premier != second) fuzz::Echec("list file saved twice", premier, second);

    const auto regexp = [](const QByteArray& v, const QByteArray& e) {
        return CorrespondRegExp(v, e, 20000);
    };
    for (int type = tlNoireIP; type <= tlBlancheEntete; ++type) {
        (void)listes.Tester(type, "10.1.2.3", regexp);
        (void)listes.Tester(type, "Viagra@spam.example", regexp);
    }
    (void)listes.Ignoree(0x0100007F);
    return 0;
}
