// The MIME decoder over a whole message: header unfolding, boundaries, the body
// decoders (base64, quoted-printable, uuencode, yEnc) and the attachments it
// writes, which must stay inside their folder.
#include "fuzz/commun.h"
#include "mime/mon_mime_decode.h"

#include <QDir>
#include <QDirIterator>

#include <cstdio>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    (void)fuzz::Encodage(); // the charset tables load before the first input
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::TEntree finEntree;
    const QByteArray message = fuzz::Octets(data, size);
    const QString pj = fuzz::Repertoire() + QStringLiteral("pj/");
    QDir().mkpath(pj);
    {
        TMonMimeDecode decodeur;
        decodeur.setEncodageDecodage(&fuzz::Encodage());
        // One input in two writes its attachments, the other only decodes.
        const bool ecrire = size > 0 && (data[size - 1] & 1);
        decodeur.setIgnorePJ(!ecrire);
        if (ecrire) decodeur.setRepDestination(pj);
        decodeur.Reinitialiser();
        decodeur.Decoder(message);
        (void)decodeur.MessagePlain().size();
        (void)decodeur.MessageHtml().size();
        if (decodeur.ListeFichier().size() > TMonMimeDecode::kNbFichiersMax) __builtin_trap();
    }
    // Nothing may land outside the attachment folder.
    QDirIterator it(fuzz::Repertoire(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString chemin = it.next();
        if (!chemin.startsWith(pj) && chemin + QLatin1Char('/') != pj) {
            std::fprintf(stderr, "attachment written outside its folder: %s\n", qPrintable(chemin));
            __builtin_trap();
        }
    }
    QDir(pj).removeRecursively();

    // The body decoders on their own.
    (void)mime::decoderBase64Corps(message);
    (void)mime::decoderQuotedPrintable(message);
    (void)mime::parametre(message, "boundary");
    (void)mime::parametre(message, "charset");
    QByteArray sortie;
    for (const QByteArray& ligne : message.split('\n')) {
        (void)mime::decoderLigneUU(ligne, sortie);
        mime::decoderLigneYEnc(ligne, sortie);
    }
    bool multipart = false;
    (void)TMonMimeDecode::TypeContenu(message, taRien, &multipart);
    return 0;
}
