// The DNSBL server table "dns.qdl" and the IP test cache "recherche.qdl". The
// first byte picks the file; loaded, saved, loaded and saved again, both
// saves hold the same lines.
#include "fuzz/commun.h"
#include "spamsearch/cache_tests_ip.h"
#include "spamsearch/table_serveurs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    fuzz::ViderRepertoire();
    const bool cache = data[0] & 1;
    const QByteArray contenu = fuzz::Octets(data + 1, size - 1);
    const QString dns = fuzz::Repertoire() + QStringLiteral("dns.qdl");
    const QString recherche = fuzz::Repertoire() + QStringLiteral("recherche.qdl");
    fuzz::EcrireFichier(cache ? QStringLiteral("recherche.qdl") : QStringLiteral("dns.qdl"),
                        contenu);

    TTableServeurs table;
    table.Charger(dns);
    if (!cache) {
        table.Sauver(dns);
        const QByteArray premier = fuzz::LireFichier(dns);
        TTableServeurs relue;
        relue.Charger(dns);
        relue.Sauver(dns);
        const QByteArray second = fuzz::LireFichier(dns);
        if (!fuzz::MemesLignes(premier, second))
            fuzz::Echec("dns.qdl saved twice", premier, second);
        (void)table.NumeroSuivant();
        return 0;
    }
    TCacheTestsIP tests(table);
    tests.Charger(recherche);
    tests.Sauver(recherche);
    const QByteArray premier = fuzz::LireFichier(recherche);
    TCacheTestsIP relus(table);
    relus.Charger(recherche);
    relus.Sauver(recherche);
    const QByteArray second = fuzz::LireFichier(recherche);
    if (!fuzz::MemesLignes(premier, second))
        fuzz::Echec("recherche.qdl saved twice", premier, second);
    tests.Trier();
    (void)tests.Reduire();
    return 0;
}
