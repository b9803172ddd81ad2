#pragma once
// An event-driven MIME parser over a whole message held in memory. It unfolds
// header lines, follows boundaries (nested multiparts included), undoes base64,
// quoted-printable and x-uuencode, and finds uuencoded and yEnc blocks inside
// plain text parts. A subclass receives the results through the hooks below.
// Malformed input is decoded as far as it goes; sizes and depth are capped.

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

class QIODevice;

class TAnalyseurMime {
public:
    static constexpr qsizetype kLongueurLigneEnteteMax = 64 * 1024; // unfolded header line
    static constexpr int kNbLignesEnteteMax = 10000;                // per header
    static constexpr int kProfondeurMax = 16;                       // nested multiparts

    virtual ~TAnalyseurMime() = default;

    // Decodes a whole message (CR LF or LF line ends) and raises the hooks.
    void Decoder(QByteArrayView message);
    // Reads the device from its current position to the end, then decodes.
    void DecoderFlux(QIODevice& flux);

    // Lines of the main header, each unfolded (breaks and the blanks around
    // them become one blank), without line end.
    const QByteArrayList& LignesEntete() const { return m_lignesEntete; }
    // Raw values of the first From, To, Cc and Subject lines (after the colon
    // and leading blanks, unfolded, not decoded).
    const QByteArray& DeBrut() const { return m_de; }
    const QByteArray& ABrut() const { return m_a; }
    const QByteArray& CcBrut() const { return m_cc; }
    const QByteArray& SujetBrut() const { return m_sujet; }

protected:
    // Forgets the header lines and raw values of the last message.
    void ViderEntete();

    // Main header.
    virtual void DebutEntete() {}
    virtual void LigneEntete(QByteArrayView ligne) { (void)ligne; }
    virtual void FinEntete() {}
    // Header of a part of a multipart (never raised for a single-part message).
    virtual void DebutEntetePartie() {}
    virtual void LigneEntetePartie(QByteArrayView ligne) { (void)ligne; }
    // Body of a part, or of the message itself when it is single-part. A
    // multipart container gets a begin and an end with no data; its parts follow.
    virtual void DebutPartie() {}
    virtual void DonneesPartie(QByteArrayView octets) { (void)octets; }
    virtual void FinPartie() {}
    // A uuencoded ("begin ") or yEnc ("=ybegin ") block found in a plain text
    // part: its lines are not given as part data. `partie` is the yEnc part
    // number (0 without one, 1 for the first).
    virtual void DebutFichierEnLigne(QByteArrayView nom, bool yenc, int partie) {
        (void)nom, (void)yenc, (void)partie;
    }
    virtual void DonneesFichierEnLigne(QByteArrayView octets) { (void)octets; }
    virtual void FinFichierEnLigne() {}

private:
    struct TEtat;
    int analyserMultipart(TEtat& e, int pos, int profondeur);
    int analyserPartie(TEtat& e, int pos, int profondeur);
    int lireEntete(TEtat& e, int pos, QByteArrayList& lignes, bool strict);
    void livrerCorps(TEtat& e, int debut, int fin, const QByteArrayList& entete);
    void livrerTexte(QByteArrayView texte, bool chercherFichiers);

    QByteArrayList m_lignesEntete;
    QByteArray m_de, m_a, m_cc, m_sujet;
};

// Pure helpers of the parser, exposed for the tests.
namespace mime {
// Value of a parameter ("boundary", "charset", ...) in a header line, quotes
// removed; empty when absent.
QByteArray parametre(QByteArrayView ligne, QByteArrayView nom);
// Base64 body: characters outside the alphabet are skipped, "=" ends a quantum.
QByteArray decoderBase64Corps(QByteArrayView texte);
// Quoted-printable body: soft breaks removed, hard line ends written CR LF.
QByteArray decoderQuotedPrintable(QByteArrayView texte);
// One uuencoded line; false when the line cannot be one.
bool decoderLigneUU(QByteArrayView ligne, QByteArray& sortie);
// One yEnc data line appended to `sortie`.
void decoderLigneYEnc(QByteArrayView ligne, QByteArray& sortie);
} // namespace mime
