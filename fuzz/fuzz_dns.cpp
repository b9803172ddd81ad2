// The DNS answer reader, on datagrams that claim to answer the query, and the
// query built for a name.
#include "fuzz/commun.h"
#include "spamsearch/message_dns.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::TEntree finEntree;
    const QByteArray datagramme = fuzz::Octets(data, size);
    // The identifier the datagram carries, so the answer is read past that check.
    const quint16 id = size >= 2 ? quint16(data[0] << 8 | data[1]) : 0;
    messagedns::TReponseDNS reponse;
    (void)messagedns::lireReponse(datagramme, id, "2.0.0.127.zen.example.org", reponse);
    if (reponse.nbReponses > messagedns::kMaxEnregistrements ||
        reponse.nbAdresses > reponse.nbReponses)
        __builtin_trap();
    // The question of the datagram itself, when it has one that a query can carry.
    if (size > 12) {
        QByteArray nom;
        qsizetype i = 12;
        while (i < datagramme.size() && datagramme[i] > 0 && datagramme[i] < 64) {
            const int l = datagramme[i];
            if (i + 1 + l > datagramme.size()) break;
            if (!nom.isEmpty()) nom += '.';
            nom += datagramme.mid(i + 1, l);
            i += 1 + l;
        }
        messagedns::TReponseDNS r2;
        (void)messagedns::lireReponse(datagramme, id, nom, r2);
    }
    // A query for the bytes as a name: well-formed or nothing.
    const QByteArray requete = messagedns::construireRequete(id, datagramme.left(300));
    if (!requete.isEmpty() && (requete.size() < 12 + 5 || requete.size() > 12 + 256 + 4))
        __builtin_trap();
    return 0;
}
