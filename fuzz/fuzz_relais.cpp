// Relay addresses from Received lines, the field name of header lines, and
// the address text conversions.
#include "fuzz/commun.h"
#include "spamsearch/extraction_ip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::TEntree finEntree;
    const QByteArray texte = fuzz::Octets(data, size);
    TAdressesRelais relais;
    QByteArray champ;
    const auto internet = [](TAdresseIP ip) { return (ip & 0xFF) != 127 && (ip & 0xFF) != 10; };
    for (const QByteArray& ligne : texte.split('\n')) {
        champ = NomChampEntete(ligne, champ);
        const int avant = relais.nb;
        const bool ajoute = ExtraireIPLigne(ligne, relais, internet);
        if (relais.nb > kMaxAdressesRelais || relais.nb != avant + (ajoute ? 1 : 0))
            __builtin_trap();
    }
    for (int i = 0; i < relais.nb; ++i)
        if (relais[i] == 0 || !internet(relais[i])) __builtin_trap();
    const TAdresseIP ip = ChaineVersIP(texte);
    if (ip != 0 && ChaineVersIP(IPVersChaine(ip)) != ip) __builtin_trap();
    if (size >= 4) {
        const TAdresseIP brute = TAdresseIP(data[0]) | TAdresseIP(data[1]) << 8 |
                                 TAdresseIP(data[2]) << 16 | TAdresseIP(data[3]) << 24;
        if (brute != 0 && ChaineVersIP(IPVersChaine(brute)) != brute) __builtin_trap();
        (void)IPVersChaineInverse(brute);
    }
    return 0;
}
