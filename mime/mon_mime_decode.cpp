#include "mime/mon_mime_decode.h"

#include "core/cp1252.h"
#include "core/trace.h"

#include <QDir>
#include <QFile>

namespace {

const QByteArray kNomParDefaut = "xxx.xxx";

// A parameter as the design reads it: after "nom=" anywhere in the lower-cased
// line, cut at ";", trimmed, surrounding quotes removed. Null when absent.
QByteArray parametreSimple(const QByteArray& ligneMin, QByteArrayView cle) {
    const qsizetype p = ligneMin.indexOf(cle);
    if (p < 0) return QByteArray();
    QByteArrayView v = QByteArrayView(ligneMin).sliced(p + cle.size());
    const qsizetype pv = v.indexOf(';');
    if (pv >= 0) v = v.first(pv);
    v = v.trimmed();
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        v = v.sliced(1, v.size() - 2);
    else if (!v.isEmpty() && v.front() == '"')
        v = v.sliced(1);
    QByteArray r = v.toByteArray();
    if (r.isNull()) r = QByteArray("");
    return r;
}

// The text of a "name=" or "filename=" parameter from the original line: a
// quoted value up to its closing quote, else up to ";".
QByteArrayView valeurNom(QByteArrayView apres) {
    if (!apres.isEmpty() && apres.front() == '"') {
        const qsizetype fin = apres.indexOf('"', 1);
        return fin < 0 ? apres : apres.first(fin + 1);
    }
    const qsizetype pv = apres.indexOf(';');
    return (pv < 0 ? apres : apres.first(pv)).trimmed();
}

QByteArray extension(const QByteArray& nom) {
    const qsizetype point = nom.lastIndexOf('.');
    return point < 0 ? QByteArray() : cp1252::minuscules(QByteArrayView(nom).sliced(point));
}

bool estExtensionImage(const QByteArray& ext) {
    for (const char* e : {".gif", ".jpg", ".jpeg", ".bmp", ".tif", ".png", ".ico", ".jpe"})
        if (ext == e) return true;
    return false;
}

// The extension the first bytes of an image call for, or empty.
QByteArray extensionSignature(const QByteArray& octets) {
    if (octets.startsWith("GIF")) return ".gif";
    if (octets.startsWith("\x89PNG")) return ".png";
    if (octets.startsWith("BM")) return ".bmp";
    if (octets.startsWith("\xFF\xD8\xFF\xE0")) return ".jpg";
    return QByteArray();
}

// 'XFACE1.BMP' to 'XFACE5.BMP' and 'TEMP1.HTML' to 'TEMP9.HTML', upper case.
bool estNomReserve(QByteArrayView maj) {
    if (maj.size() != 10) return false;
    if (maj.startsWith("XFACE") && maj.endsWith(".BMP")) return maj[5] >= '1' && maj[5] <= '5';
    if (maj.startsWith("TEMP") && maj.endsWith(".HTML")) return maj[4] >= '1' && maj[4] <= '9';
    return false;
}

} // namespace

void TMonMimeDecode::verifierEncodage() const {
    if (!m_encodage)
        throw EMimeDecode(QStringLiteral("La propriété EncodageDecodage doit être définie"));
}

// The decoded bodies and what was noted about them.
void TMonMimeDecode::viderCorps() {
    m_plain.clear();
    m_html.clear();
    m_charsetPlain.clear();
    m_charsetHtml.clear();
    m_formatPlain.clear();
    m_formatHtml.clear();
    m_delSP = false;
}

void TMonMimeDecode::Reinitialiser() {
    verifierEncodage();
    viderCorps();
    ViderEntete();
    m_tampon.clear();
    m_type = taRien;
}

// Not SeparerChampEntete: the hooks take a field only when a blank follows the
// colon, and its name untrimmed ("Content-Type :" names no content type here).
bool TMonMimeDecode::SeparerLigne(QByteArrayView ligne, QByteArray& nom, QByteArrayView& valeur) {
    QByteArrayView brut;
    if (!separerLigne(ligne, brut, valeur)) return false;
    nom = cp1252::minuscules(brut);
    return true;
}

// The name as written: the hooks compare it without case, with no copy.
bool TMonMimeDecode::separerLigne(QByteArrayView ligne, QByteArrayView& nom,
                                  QByteArrayView& valeur) {
    const qsizetype deuxPoints = ligne.indexOf(':');
    if (deuxPoints < 0 || deuxPoints >= ligne.size() - 2) return false;
    if (ligne[deuxPoints + 1] != ' ' && ligne[deuxPoints + 1] != '\t') return false;
    nom = ligne.first(deuxPoints);
    qsizetype debut = deuxPoints + 2;
    while (debut < ligne.size() && (ligne[debut] == ' ' || ligne[debut] == '\t'))
        ++debut;
    valeur = ligne.sliced(debut);
    return true;
}

TTypeAttachement TMonMimeDecode::TypeContenu(QByteArrayView valeur, TTypeAttachement actuel,
                                             bool* multipart) {
    const qsizetype pv = valeur.indexOf(';');
    if (pv >= 0) valeur = valeur.first(pv);
    const QByteArray type = cp1252::minuscules(valeur.trimmed());
    if (multipart) *multipart = false;
    if (type == "text/plain" || type == "text") return taTexte;
    if (type == "text/html") return taHTML;
    if (type.startsWith("image/")) return taImage;
    if (type.startsWith("audio/")) return taSon;
    if (type.startsWith("application/")) return taApplication;
    if (type.startsWith("multipart/")) {
        if (multipart) *multipart = true;
        return taRien;
    }
    return actuel == taRien ? taAutre : taRien;
}

void TMonMimeDecode::nommerPartie(const QByteArray& nom) {
    m_nom = nom;
    if (OnTrouveNom && !nom.isEmpty()) OnTrouveNom(this, nom);
}

void TMonMimeDecode::classer(QByteArrayView ligne, QByteArrayView valeur, bool enPartie) {
    bool multipart = false;
    const TTypeAttachement t = TypeContenu(valeur, m_type, &multipart);
    if (multipart) m_multipart = true;
    if (t == taTexte || t == taHTML)
        m_destination = TDestination::Texte;
    else if (t != taRien)
        m_destination = m_ignorePJ ? TDestination::Aucune : TDestination::Attachement;
    if (t != taRien) m_type = t;

    const qsizetype pNom = cp1252::chercherSansCasse(ligne, "name=");
    if (pNom >= 0) {
        const QByteArray nom = m_encodage->NettoyerNomFichier(valeurNom(ligne.sliced(pNom + 5)));
        if (!nom.isEmpty()) nommerPartie(nom);
    }

    const QByteArray min = cp1252::minuscules(ligne);
    const QByteArray charset = parametreSimple(min, "charset=");
    const bool enregistrer = !enPartie || !charset.isNull();
    if (!enregistrer) return;
    if (m_type == taTexte || m_type == taHTML) {
        m_charset = charset.isNull() ? QByteArray() : charset;
        const QByteArray format = parametreSimple(min, "format=");
        if (!format.isNull()) m_format = format;
        if (m_type == taTexte && !m_delSPVu) {
            const QByteArray delsp = parametreSimple(min, "delsp=");
            if (!delsp.isNull()) {
                m_delSPVu = true;
                m_delSPPartie = delsp == "yes";
            }
        }
    }
}

void TMonMimeDecode::DebutEntete() {
    verifierEncodage();
    viderCorps();
    m_typeMessage = taRien;
    m_listeFichier.clear();
    m_listeAttachement.clear();
    m_premiereImage.clear();
    m_nbImage = 0;
    m_premiereImageAVenir = true;
    m_nomsUtilises.clear();
    m_suivantLibre.clear();
    m_fichiersTraces = false;
    m_nomsYEnc.clear();
    DebutEntetePartie();
}

void TMonMimeDecode::LigneEntete(QByteArrayView ligne) {
    QByteArrayView nom, valeur;
    if (!separerLigne(ligne, nom, valeur)) return;
    if (cp1252::egauxSansCasse(nom, "content-type")) {
        classer(ligne, valeur, false);
    } else if (cp1252::egauxSansCasse(nom, "x-rfc2646")) {
        if (parametreSimple(cp1252::minuscules(ligne), "format=") == "flowed") m_format = "flowed";
    }
}

void TMonMimeDecode::montrerImage(const QByteArray& nom) {
    ++m_nbImage;
    const bool premiere = m_premiereImageAVenir;
    if (premiere) {
        m_premiereImage = nom;
        m_premiereImageAVenir = false;
    }
    if (OnGestionUneImage) OnGestionUneImage(this, nom, premiere);
}

void TMonMimeDecode::FinEntete() {
    if (m_type != taImage && m_type != taSon) return;
    QByteArray nom = m_nom;
    if (nom.isEmpty() && !m_contentId.isEmpty()) m_encodage->DecoderEnteteCp1252(m_contentId, nom);
    if (nom.isEmpty()) nom = kNomParDefaut;
    nom = m_encodage->NettoyerNomFichier(nom);
    if (nom.isEmpty()) nom = kNomParDefaut;
    m_nom = nom;
    QByteArray alt = nom;
    if (OnAltImage) OnAltImage(this, alt);
    alt.replace('"', "&quot;");
    m_html.setTexte(
        QByteArray("<hr size=\"1\" width=\"50%\"><p align=\"center\">\r\n<img src=\"./") + nom +
        "\" alt=\"" + alt + "\"></p>\r\n");
    montrerImage(nom);
    m_typeMessage = m_type;
}

void TMonMimeDecode::DebutEntetePartie() {
    m_tampon.clear();
    m_tamponPJ.clear();
    m_destination = TDestination::Texte;
    m_type = taRien;
    m_nom.clear();
    m_contentId.clear();
    m_location.clear();
    m_nomFichierPartie.clear();
    m_attachement = false;
    m_multipart = false;
    m_charset.clear();
    m_format.clear();
    m_delSPPartie = false;
    m_delSPVu = false;
}

void TMonMimeDecode::LigneEntetePartie(QByteArrayView ligne) {
    QByteArrayView nom, valeur;
    if (!separerLigne(ligne, nom, valeur)) {
        if (cp1252::commenceParSansCasse(ligne, "name=")) classer(ligne, QByteArrayView(), true);
        return;
    }
    if (cp1252::egauxSansCasse(nom, "content-id")) {
        m_contentId = valeur.toByteArray();
    } else if (cp1252::egauxSansCasse(nom, "content-location")) {
        m_location = valeur.toByteArray();
    } else if (cp1252::egauxSansCasse(nom, "content-disposition")) {
        m_attachement = !cp1252::commenceParSansCasse(valeur, "inline");
        // Found in the lower-cased line, taken from the original one so that an
        // encoded word keeps its case.
        const qsizetype p = cp1252::minuscules(ligne).indexOf("filename=");
        if (p >= 0) {
            const QByteArray fichier =
                m_encodage->NettoyerNomFichier(valeurNom(ligne.sliced(p + 9)));
            m_nomFichierPartie = fichier;
            if (m_nom.isEmpty() && !fichier.isEmpty()) nommerPartie(fichier);
        }
    } else if (cp1252::egauxSansCasse(nom, "x-rfc2646")) {
        if (parametreSimple(cp1252::minuscules(ligne), "format=") == "flowed") m_format = "flowed";
    } else if (cp1252::egauxSansCasse(nom, "content-type")) {
        classer(ligne, valeur, true);
    }
}

void TMonMimeDecode::DebutPartie() {
    if (m_type == taRien) {
        m_type = taTexte;
        m_destination = TDestination::Texte;
    }
}

void TMonMimeDecode::DonneesPartie(QByteArrayView octets) {
    if (m_destination == TDestination::Texte)
        m_tampon += octets;
    else if (m_destination == TDestination::Attachement)
        m_tamponPJ += octets;
}

void TMonMimeDecode::FinPartie() {
    if (m_multipart && (m_type == taTexte || m_type == taHTML)) m_type = taRien;
    if ((m_type == taTexte && !m_plain.isEmpty()) || (m_type == taHTML && !m_html.isEmpty())) {
        m_type = taAutre;
        if (!m_ignorePJ) m_tamponPJ += m_tampon;
        m_tampon.clear();
    }
    if (m_type == taTexte) {
        m_plain.setTexte(m_tampon);
        m_charsetPlain = m_charset;
        m_formatPlain = m_format;
        m_delSP = m_delSPPartie;
    } else if (m_type == taHTML) {
        m_html.setTexte(m_tampon);
        m_charsetHtml = m_charset;
        m_formatHtml = m_format;
    } else if (m_type != taRien && !m_ignorePJ) {
        garderAttachement();
    }
    m_tampon.clear();
    m_tamponPJ.clear();
}

void TMonMimeDecode::noterNom(const QByteArray& nom) {
    m_nomsUtilises.insert(cp1252::majuscules(nom));
}

QByteArray TMonMimeDecode::nomLibre(const QByteArray& nom) {
    auto pris = [&](const QByteArray& maj) {
        return m_nomsUtilises.contains(maj) || estNomReserve(maj);
    };
    const QByteArray maj = cp1252::majuscules(nom);
    if (!pris(maj)) return nom;
    // The numbers already handed out for this name are not tried again.
    int k = m_suivantLibre.value(maj, 1);
    QByteArray candidat;
    do {
        candidat = '(' + QByteArray::number(k++) + ')' + maj;
    } while (pris(candidat));
    m_suivantLibre.insert(maj, k);
    return candidat;
}

bool TMonMimeDecode::ecrireFichier(const QByteArray& nom, const QByteArray& octets, bool ajouter) {
    if (m_repDestination.isEmpty() || nom.isEmpty()) return false;
    if (!ajouter && m_listeFichier.size() >= kNbFichiersMax) {
        if (m_listeFichier.size() == kNbFichiersMax && !m_fichiersTraces) {
            m_fichiersTraces = true;
            Trace(QStringLiteral("MIME : plus de %1 fichiers dans un message, les suivants ne sont "
                                 "pas écrits")
                      .arg(kNbFichiersMax));
        }
        return false;
    }
    QFile f(QDir(m_repDestination).filePath(cp1252::versUnicode(nom)));
    if (!f.open(ajouter ? QIODevice::Append : (QIODevice::WriteOnly | QIODevice::Truncate)))
        return false;
    const bool ok = f.write(octets) == octets.size();
    f.close();
    if (!ok && !ajouter) f.remove();
    return ok;
}

void TMonMimeDecode::garderAttachement() {
    QByteArray nom = m_nom;
    if (nom.isEmpty()) nom = m_nomFichierPartie;
    if (nom.isEmpty() && !m_contentId.isEmpty()) nom = m_encodage->NettoyerNomFichier(m_contentId);
    if (nom.isEmpty()) nom = kNomParDefaut;
    nom = nomLibre(nom);
    noterNom(nom);
    bool ecrit = ecrireFichier(nom, m_tamponPJ, false);
    if (!ecrit) {
        // Once more with ".1" before the extension.
        const qsizetype point = nom.lastIndexOf('.');
        QByteArray autre = nom;
        autre.insert(point < 0 ? nom.size() : point, ".1");
        ecrit = ecrireFichier(autre, m_tamponPJ, false);
        if (ecrit) nom = autre;
    }
    if (ecrit)
        m_listeFichier.append(nom);
    else if (OnErreur)
        OnErreur(this, 0);
    m_listeAttachement.append(TMemoAttachement{m_contentId, nom, m_location, m_type});
}

void TMonMimeDecode::DebutFichierEnLigne(QByteArrayView nom, bool yenc, int partie) {
    m_enLigne = true;
    m_enLigneYEnc = yenc;
    m_enLigneYEncSuite = yenc && partie > 1;
    m_octetsEnLigne.clear();
    m_nomEnLigne = m_encodage->NettoyerNomFichier(nom);
    if (m_nomEnLigne.isEmpty()) m_nomEnLigne = kNomParDefaut;
}

void TMonMimeDecode::DonneesFichierEnLigne(QByteArrayView octets) {
    if (m_enLigne) m_octetsEnLigne += octets;
}

void TMonMimeDecode::FinFichierEnLigne() {
    if (!m_enLigne) return;
    m_enLigne = false;
    const QByteArray octets = std::exchange(m_octetsEnLigne, QByteArray());
    if (m_enLigneYEncSuite) {
        // A later yEnc part goes to the file of its first part; it adds no marker.
        const auto premiere = m_nomsYEnc.constFind(cp1252::minuscules(m_nomEnLigne));
        if (premiere != m_nomsYEnc.cend()) {
            if (!m_ignorePJ && !premiere->isEmpty()) ecrireFichier(*premiere, octets, true);
            return;
        }
    }
    QByteArray nom = m_nomEnLigne;
    const QByteArray ext = extension(nom);
    const bool image = estExtensionImage(ext);
    if (image) {
        const QByteArray vraie = extensionSignature(octets);
        if (!vraie.isEmpty() && vraie != ext) {
            const qsizetype point = nom.lastIndexOf('.');
            nom = (point < 0 ? nom : nom.first(point)) + vraie;
        }
    }
    nom = nomLibre(nom);
    QByteArray fichier; // the file written, if any
    // Nothing reaches the disk when parts are ignored: the sender chooses these bytes.
    if (!m_ignorePJ) {
        if (ecrireFichier(nom, octets, false)) {
            fichier = nom;
        } else {
            nom = nomLibre(kNomParDefaut);
            if (ecrireFichier(nom, octets, false)) fichier = nom;
        }
        if (!fichier.isEmpty()) m_listeFichier.append(fichier);
    }
    noterNom(nom);
    if (m_enLigneYEnc) {
        const QByteArray cle = cp1252::minuscules(m_nomEnLigne);
        if (!m_nomsYEnc.contains(cle)) m_nomsYEnc.insert(cle, fichier);
    }
    if (image) {
        m_tampon += "IMG_BEGIN_666" + nom + "IMG_END_666\r\n";
        montrerImage(nom);
    } else {
        QByteArray avecEspaces = nom;
        avecEspaces.replace(' ', "%20");
        m_tampon += "ELSE_BEGIN_666" + avecEspaces + "ELSE_TMP_666" + nom + "ELSE_END_666\r\n";
    }
}
