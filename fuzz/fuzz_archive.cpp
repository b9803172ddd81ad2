// The archive's index (the 38-byte records and their texts) and its day files.
// First byte odd: a day file, read then appended to; the appended text must
// read back. Even: the index, whose two files are split at the length the next
// two bytes give; decoded, encoded and decoded again, it encodes the same.
#include "accounts/gestion_fichier_message.h"
#include "accounts/mon_dossier_bis.h"
#include "core/date_time.h"
#include "fuzz/commun.h"

#include <QtEndian>

namespace {

void jour(const QByteArray& contenu) {
    const TDateTime reception = datetime::encoder(2024, 1, 5, 10, 30);
    TGestionFichierMessage fichiers;
    fichiers.setRepertoire(fuzz::Repertoire());
    fuzz::EcrireFichier(QStringLiteral("20240105-1.news"), contenu);
    QByteArray texte;
    // The numbers of the first slots, as the index would ask for them.
    for (int i = 0; i < 4 && 3 + i * 8 + 4 <= contenu.size(); ++i) {
        const qint32 numero = qFromLittleEndian<qint32>(contenu.constData() + 3 + i * 8);
        (void)fichiers.Lire(numero, reception, texte, i == 1 ? 10 : 0);
    }
    const QByteArray nouveau = "From: fuzz\r\n\r\nnouveau texte\r\n";
    constexpr qint32 kNumero = 0x7A7A7A7A;
    bool dejaPresent = false;
    if (fichiers.Ajouter(kNumero, reception, nouveau, nullptr, &dejaPresent) && !dejaPresent) {
        TGestionFichierMessage autre;
        autre.setRepertoire(fuzz::Repertoire());
        QByteArray relu;
        if (autre.Lire(kNumero, reception, relu) != TGestionFichierMessage::TResultat::Trouve ||
            relu != nouveau)
            fuzz::Echec("text appended to a day file", nouveau, relu);
    }
}

void index(const QByteArray& fixe, const QByteArray& variable) {
    TMonDossierBis dossier;
    (void)dossier.Deserialiser(fixe, variable);
    const QByteArray f1 = dossier.SerialiserFixe();
    const QByteArray v1 = dossier.SerialiserVariable();
    TMonDossierBis relu;
    (void)relu.Deserialiser(f1, v1);
    const QByteArray f2 = relu.SerialiserFixe();
    const QByteArray v2 = relu.SerialiserVariable();
    if (f1 != f2) fuzz::Echec("index records encoded twice", f1, f2);
    if (v1 != v2) fuzz::Echec("index texts encoded twice", v1, v2);
    (void)dossier.PremierNumMessage();
    (void)dossier.DernierNumMessage();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::TEntree finEntree;
    if (size == 0) return 0;
    fuzz::ViderRepertoire();
    const QByteArray reste = fuzz::Octets(data + 1, size - 1);
    if (data[0] & 1) {
        jour(reste);
        return 0;
    }
    if (reste.size() < 2) return 0;
    const qsizetype coupure =
        std::min<qsizetype>(qFromLittleEndian<quint16>(reste.constData()), reste.size() - 2);
    index(reste.mid(2, coupure), reste.mid(2 + coupure));
    return 0;
}
