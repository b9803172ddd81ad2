#pragma once
// The message decoder: which parts give the plain text and the HTML body, what
// becomes of the other parts, and the charsets and flowed-text parameters of
// the parts that gave the bodies. Bodies stay bytes, without charset conversion.

#include "mime/analyseur_mime.h"
#include "mime/encodage_decodage.h"
#include "mime/mon_string_list.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <cstdint>
#include <functional>
#include <stdexcept>

enum TTypeAttachement : uint8_t {
    taRien = 0,
    taTexte = 1,
    taHTML = 2,
    taImage = 3,
    taSon = 4,
    taApplication = 5,
    taAutre = 6,
    taSectionBeginEnd = 7
};

struct TMemoAttachement {
    QByteArray ContentId;
    QByteArray Nom;
    QByteArray Location;
    TTypeAttachement Type = taRien;
};

// Raised when no charset component is set.
class EMimeDecode : public std::runtime_error {
public:
    explicit EMimeDecode(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

class TMonMimeDecode : public TAnalyseurMime {
public:
    // Files one message may write in RepDestination; the rest are not written.
    static constexpr int kNbFichiersMax = 1000;

    TMonMimeDecode() = default;

    // Empties the bodies, charsets, formats, DelSP, the header lines and the text
    // buffer. Throws EMimeDecode when EncodageDecodage is not set.
    void Reinitialiser();

    // Decoding (Decoder / DecoderFlux of the parser) throws EMimeDecode too
    // when EncodageDecodage is not set.

    TMonStringList& MessagePlain() { return m_plain; }
    const TMonStringList& MessagePlain() const { return m_plain; }
    TMonStringList& MessageHtml() { return m_html; }
    const TMonStringList& MessageHtml() const { return m_html; }
    const QByteArray& CharsetPlain() const { return m_charsetPlain; }
    const QByteArray& CharsetHtml() const { return m_charsetHtml; }
    void setCharsetPlain(const QByteArray& v) { m_charsetPlain = v; }
    void setCharsetHtml(const QByteArray& v) { m_charsetHtml = v; }
    const QByteArray& FormatPlain() const { return m_formatPlain; }
    const QByteArray& FormatHtml() const { return m_formatHtml; }
    bool DelSP() const { return m_delSP; }
    TTypeAttachement TypeMessage() const { return m_typeMessage; }

    bool IgnorePJ() const { return m_ignorePJ; }
    void setIgnorePJ(bool v) { m_ignorePJ = v; }
    const QString& RepDestination() const { return m_repDestination; }
    void setRepDestination(const QString& v) { m_repDestination = v; }
    int32_t MaxImageWidth = 0; // kept for the window; no resizing is done
    int32_t MaxImageHeight = 0;
    QByteArray AjoutAHref;

    const QList<QByteArray>& ListeFichier() const { return m_listeFichier; }
    const QList<TMemoAttachement>& ListeAttachement() const { return m_listeAttachement; }
    const QByteArray& PremiereImage() const { return m_premiereImage; }
    int32_t NbImage() const { return m_nbImage; }

    TEncodageDecodage* EncodageDecodage() const { return m_encodage; }
    void setEncodageDecodage(TEncodageDecodage* e) { m_encodage = e; }

    std::function<void(TMonMimeDecode* Sender, const QByteArray& chNom)> OnTrouveNom;
    std::function<void(TMonMimeDecode* Sender, int iNumErreur)> OnErreur;
    std::function<void(TMonMimeDecode* Sender, QByteArray& chFichier)> OnAltImage;
    std::function<void(TMonMimeDecode* Sender, const QByteArray& chImage, bool bPremiere)>
        OnGestionUneImage;

    // Kind of a Content-Type value (after "Content-Type: "); also tells whether
    // it is a multipart container. Exposed for the tests.
    static TTypeAttachement TypeContenu(QByteArrayView valeur, TTypeAttachement actuel,
                                        bool* multipart = nullptr);
    // Header line split: lower-cased name and value, or false when the first
    // colon is not followed by a blank.
    static bool SeparerLigne(QByteArrayView ligne, QByteArray& nom, QByteArrayView& valeur);

protected:
    void DebutEntete() override;
    void LigneEntete(QByteArrayView ligne) override;
    void FinEntete() override;
    void DebutEntetePartie() override;
    void LigneEntetePartie(QByteArrayView ligne) override;
    void DebutPartie() override;
    void DonneesPartie(QByteArrayView octets) override;
    void FinPartie() override;
    void DebutFichierEnLigne(QByteArrayView nom, bool yenc, int partie) override;
    void DonneesFichierEnLigne(QByteArrayView octets) override;
    void FinFichierEnLigne() override;

private:
    enum class TDestination { Aucune, Texte, Attachement };
    static bool separerLigne(QByteArrayView ligne, QByteArrayView& nom, QByteArrayView& valeur);
    void viderCorps();
    void verifierEncodage() const;
    void classer(QByteArrayView ligne, QByteArrayView valeur, bool enPartie);
    void nommerPartie(const QByteArray& nom);
    QByteArray nomLibre(const QByteArray& nom);
    void noterNom(const QByteArray& nom);
    bool ecrireFichier(const QByteArray& nom, const QByteArray& octets, bool ajouter);
    void garderAttachement();
    void montrerImage(const QByteArray& nom);

    TEncodageDecodage* m_encodage = nullptr;
    bool m_ignorePJ = false;
    QString m_repDestination;

    TMonStringList m_plain, m_html;
    QByteArray m_charsetPlain, m_charsetHtml, m_formatPlain, m_formatHtml;
    bool m_delSP = false;
    TTypeAttachement m_typeMessage = taRien;
    QList<QByteArray> m_listeFichier;
    QList<TMemoAttachement> m_listeAttachement;
    QByteArray m_premiereImage;
    int32_t m_nbImage = 0;
    bool m_premiereImageAVenir = true;

    // The current part.
    QByteArray m_tampon, m_tamponPJ;
    TDestination m_destination = TDestination::Texte;
    TTypeAttachement m_type = taRien;
    QByteArray m_nom, m_contentId, m_location, m_nomFichierPartie;
    bool m_attachement = false;
    bool m_multipart = false;
    // Parameters of the current part; they become CharsetPlain and the others
    // only when this part gives the body.
    QByteArray m_charset, m_format;
    bool m_delSPPartie = false, m_delSPVu = false, m_formatFlowed2646 = false;

    // The inline block being read.
    bool m_enLigne = false;
    bool m_enLigneYEnc = false;
    bool m_enLigneYEncSuite = false;
    QByteArray m_nomEnLigne, m_octetsEnLigne;
    QSet<QByteArray> m_nomsUtilises;       // upper case
    QHash<QByteArray, int> m_suivantLibre; // next "(n)" to try for a name
    bool m_fichiersTraces = false;
    // yEnc name given (lower case) -> file name used, for the later parts; the
    // first block of a name keeps it.
    QHash<QByteArray, QByteArray> m_nomsYEnc;
};
