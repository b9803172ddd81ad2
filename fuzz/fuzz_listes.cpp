// The filter lists. The first byte picks the list; the rest is its file's
// content. Read, written and read again, the lists stay the same; then a few
// values are tested against them. The texts go through the lists' in-memory
// entry points, the very split and join that Charger and Sauver apply to the
// files, so no input pays for fifteen file reads and safe saves.
#include "fuzz/commun.h"
#include "spamsearch/listes_filtres.h"
#include "spamsearch/regexp_filtre.h"

namespace {
// What Charger gives the ignore list when its file is missing.
const char kIgnorerDefaut[] = "127.*\r\n10.*\r\n192.168.*\r\n";
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::TEntree finEntree;
    if (size == 0) return 0;
    const auto liste = TListeFiltre(data[0] % lfNombre);
    const QByteArray contenu = fuzz::Octets(data + 1, size - 1);

    TListesFiltres listes;
    listes.Definir(lfIgnorerIP, kIgnorerDefaut);
    listes.Definir(liste, contenu);
    const QList<QByteArray> lues = listes.Lignes(liste);
    const QByteArray premier = listes.Texte(liste);
    TListesFiltres relues;
    relues.Definir(liste, premier);
    if (relues.Lignes(liste) != lues)
        fuzz::Echec("list lines after a save", lues.join('\n'), relues.Lignes(liste).join('\n'));
    const QByteArray second = relues.Texte(liste);
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
