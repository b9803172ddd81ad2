// Encoded header words and charsets, file names taken from headers, address
// split and the header-field split.
#include "fuzz/commun.h"
#include "mime/adresse.h"
#include "mime/champ_entete.h"
#include "mime/encodage_decodage.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    (void)fuzz::Encodage(); // the charset tables load before the first input
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::TEntree finEntree;
    const QByteArray texte = fuzz::Octets(data, size);
    (void)fuzz::Encodage().DecoderEntete(texte);
    // The first line names a charset for the rest.
    const qsizetype fin = texte.indexOf('\n');
    if (fin >= 0) (void)fuzz::Encodage().VersUnicode(texte.mid(fin + 1), texte.left(fin));
    const QByteArray nom = fuzz::Encodage().NettoyerNomFichier(texte);
    if (nom == "." || nom == ".." || nom.contains('/') || nom.contains('\0')) __builtin_trap();
    (void)DecoderBase64(texte);
    (void)DecoderQ(texte);
    (void)DecoderUTF8(texte);
    (void)DecoderUTF7(texte);
    QByteArray n, a;
    SeparerAdresse(texte, n, a);
    (void)ExtraireAdresse(texte);
    (void)SeparerChampEntete(texte);
    TUnCharset table;
    (void)TEncodageDecodage::LireTable(texte, table);
    return 0;
}
