// The DNSBL server table "dns.qdl" and the IP test cache "recherche.qdl". The
// first byte picks the file; read, written, read and written again, both
// writes hold the same lines. The bytes go through the in-memory entry points
// that Charger and Sauver use, so no input pays for file round trips.
#include "fuzz/commun.h"
#include "spamsearch/cache_tests_ip.h"
#include "spamsearch/table_serveurs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::TEntree finEntree;
    if (size == 0) return 0;
    const bool cache = data[0] & 1;
    const QByteArray contenu = fuzz::Octets(data + 1, size - 1);

    TTableServeurs table;
    table.Deserialiser(cache ? QByteArray() : contenu);
    if (!cache) {
        const QByteArray premier = table.Serialiser();
        TTableServeurs relue;
        relue.Deserialiser(premier);
        const QByteArray second = relue.Serialiser();
        if (!fuzz::MemesLignes(premier, second))
            fuzz::Echec("dns.qdl saved twice", premier, second);
        (void)table.NumeroSuivant();
        return 0;
    }
    TCacheTestsIP tests(table);
    tests.Deserialiser(contenu);
    const QByteArray premier = tests.Serialiser();
    TCacheTestsIP relus(table);
    relus.Deserialiser(premier);
    const QByteArray second = relus.Serialiser();
    if (!fuzz::MemesLignes(premier, second))
        fuzz::Echec("recherche.qdl saved twice", premier, second);
    tests.Trier();
    (void)tests.Reduire();
    return 0;
}
