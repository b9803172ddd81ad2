#include "mime/analyseur_mime.h"

#include "mime/champ_entete.h"
#include "mime/octets_mime.h"

#include "core/cp1252.h"
#include "core/trace.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

using octetsmime::estBlanc;
using octetsmime::valeurBase64;
using octetsmime::valeurHexa;

namespace {

QByteArrayView sansBlancsFin(QByteArrayView v) {
    while (!v.isEmpty() && (estBlanc(v.back()) || v.back() == '\r'))
        v.chop(1);
    return v;
}

QByteArrayView sansBlancsDebut(QByteArrayView v) {
    while (!v.isEmpty() && estBlanc(v.front()))
        v = v.sliced(1);
    return v;
}

// Position of the next `c` at or after `debut`, or -1: memchr without the
// per-call work of the general search, which runs once per line here.
qsizetype chercher(QByteArrayView v, char c, qsizetype debut) {
    if (debut >= v.size()) return -1;
    const void* p = std::memchr(v.data() + debut, c, size_t(v.size() - debut));
    return p ? static_cast<const char*>(p) - v.data() : -1;
}

// Every LF of the run ends a CR LF pair.
bool lignesCRLF(QByteArrayView v) {
    for (qsizetype lf = chercher(v, '\n', 0); lf >= 0; lf = chercher(v, '\n', lf + 1))
        if (lf == 0 || v[lf - 1] != '\r') return false;
    return true;
}

// Name (trimmed, as written) and value of a header field line, split at its
// first colon as SeparerChampEntete does, without a lower-cased copy.
bool separerChamp(QByteArrayView ligne, QByteArrayView& nom, QByteArrayView& valeur) {
    const qsizetype deuxPoints = chercher(ligne, ':', 0);
    if (deuxPoints < 0) return false;
    nom = ligne.first(deuxPoints).trimmed();
    valeur = ligne.sliced(deuxPoints + 1);
    return true;
}

// A line that can open a header field: a name of printable bytes, blanks
// allowed before the colon.
bool ressembleAEntete(QByteArrayView ligne) {
    qsizetype i = 0;
    while (i < ligne.size() && uchar(ligne[i]) > ' ' && uchar(ligne[i]) < 127 && ligne[i] != ':')
        ++i;
    if (i == 0) return false;
    while (i < ligne.size() && estBlanc(ligne[i]))
        ++i;
    return i < ligne.size() && ligne[i] == ':';
}

// Value of the first header line called `nom` (lower case), after the colon
// and leading blanks.
QByteArrayView valeurEntete(const QByteArrayList& lignes, QByteArrayView nom) {
    for (const QByteArray& l : lignes) {
        QByteArrayView n, valeur;
        if (separerChamp(l, n, valeur) && cp1252::egauxSansCasse(n, nom))
            return sansBlancsDebut(valeur);
    }
    return {};
}

// Media type of a Content-Type value, lower case, without parameters.
QByteArray typeMedia(QByteArrayView valeur) {
    const qsizetype pv = valeur.indexOf(';');
    if (pv >= 0) valeur = valeur.first(pv);
    return cp1252::minuscules(valeur.trimmed());
}

} // namespace

namespace mime {

QByteArray parametre(QByteArrayView ligne, QByteArrayView nom) {
    const QByteArray min = cp1252::minuscules(ligne);
    const QByteArray cle = cp1252::minuscules(nom) + '=';
    qsizetype pos = 0;
    while ((pos = min.indexOf(cle, pos)) >= 0) {
        // The name must stand alone ("boundary=", not "xboundary=").
        const char avant = pos > 0 ? min[pos - 1] : ';';
        if (avant != ';' && !estBlanc(avant)) {
            pos += cle.size();
            continue;
        }
        QByteArrayView v = sansBlancsDebut(ligne.sliced(pos + cle.size()));
        if (!v.isEmpty() && v.front() == '"') {
            v = v.sliced(1);
            const qsizetype fin = v.indexOf('"');
            return (fin < 0 ? v : v.first(fin)).toByteArray();
        }
        qsizetype fin = 0;
        while (fin < v.size() && v[fin] != ';' && !estBlanc(v[fin]))
            ++fin;
        return v.first(fin).toByteArray();
    }
    return QByteArray();
}

QByteArray decoderBase64Corps(QByteArrayView texte) {
    QByteArray r;
    // At most one byte per digit beyond the first: written in place, then cut.
    r.resize(texte.size() / 4 * 3 + 3);
    char* d = r.data();
    qsizetype n = 0;
    uint32_t acc = 0;
    int bits = 0;
    for (char c : texte) {
        if (c == '=') { // end of a quantum; another block may follow
            acc = 0;
            bits = 0;
            continue;
        }
        const int v = valeurBase64(c);
        if (v < 0) continue;
        acc = ((acc << 6) | uint32_t(v)) & 0xFFFFFF;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            d[n++] = static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    r.truncate(n);
    return r;
}

QByteArray decoderQuotedPrintable(QByteArrayView texte) {
    QByteArray r;
    // Each input byte gives at most one, and a bare LF two: written in place,
    // then cut.
    r.resize(texte.size() + std::count(texte.begin(), texte.end(), '\n') + 2);
    char* d = r.data();
    qsizetype n = 0;
    qsizetype debut = 0;
    while (debut <= texte.size()) {
        qsizetype fin = texte.indexOf('\n', debut);
        const bool derniere = fin < 0;
        if (derniere) fin = texte.size();
        QByteArrayView ligne = sansBlancsFin(texte.sliced(debut, fin - debut));
        bool douce = false;
        if (!ligne.isEmpty() && ligne.back() == '=') {
            douce = true;
            ligne.chop(1);
        }
        for (qsizetype i = 0; i < ligne.size(); ++i) {
            const char c = ligne[i];
            if (c == '=' && i + 2 < ligne.size()) {
                const int h = valeurHexa(ligne[i + 1]);
                const int l = valeurHexa(ligne[i + 2]);
                if (h >= 0 && l >= 0) {
                    d[n++] = static_cast<char>(h * 16 + l);
                    i += 2;
                    continue;
                }
            }
            d[n++] = c;
        }
        if (!douce) {
            d[n++] = '\r';
            d[n++] = '\n';
        }
        if (derniere) break;
        debut = fin + 1;
    }
    r.truncate(n);
    return r;
}

bool decoderLigneUU(QByteArrayView ligne, QByteArray& sortie) {
    ligne = sansBlancsFin(ligne);
    if (ligne.isEmpty()) return false;
    for (char c : ligne)
        if (uchar(c) < 0x20 || uchar(c) > 0x60) return false;
    const int n = (ligne[0] - 0x20) & 0x3F;
    if (n == 0) return true;
    // Trailing blanks may have been stripped in transit: missing characters count as 0.
    if ((ligne.size() - 1) * 3 / 4 + 3 < n) return false;
    auto val = [&](qsizetype i) { return i < ligne.size() ? (ligne[i] - 0x20) & 0x3F : 0; };
    int ecrits = 0;
    for (qsizetype i = 1; ecrits < n; i += 4) {
        const uint32_t v = (uint32_t(val(i)) << 18) | (uint32_t(val(i + 1)) << 12) |
                           (uint32_t(val(i + 2)) << 6) | uint32_t(val(i + 3));
        for (int k = 2; k >= 0 && ecrits < n; --k, ++ecrits)
            sortie += static_cast<char>((v >> (8 * k)) & 0xFF);
    }
    return true;
}

void decoderLigneYEnc(QByteArrayView ligne, QByteArray& sortie) {
    for (qsizetype i = 0; i < ligne.size(); ++i) {
        uchar c = static_cast<uchar>(ligne[i]);
        if (c == '\r' || c == '\n') continue;
        if (c == '=') {
            if (i + 1 >= ligne.size()) break;
            c = static_cast<uchar>(static_cast<uchar>(ligne[++i]) - 64);
        }
        sortie += static_cast<char>(static_cast<uchar>(c - 42));
    }
}

} // namespace mime

struct TAnalyseurMime::TEtat {
    QByteArrayView message;
    std::vector<QByteArrayView> lignes; // views into `message`, without line end
    std::vector<QByteArray> frontieres; // "--" + boundary, outermost first
    bool profondeurTracee = false;

    // Level of the boundary this line opens or closes (-1: none).
    int correspond(qsizetype i, bool* fermeture = nullptr) const {
        const QByteArrayView l = lignes[size_t(i)];
        if (l.size() < 3 || l[0] != '-' || l[1] != '-') return -1;
        for (int niveau = int(frontieres.size()) - 1; niveau >= 0; --niveau) {
            const QByteArray& f = frontieres[size_t(niveau)];
            if (!l.startsWith(f)) continue;
            const QByteArrayView reste = sansBlancsFin(l.sliced(f.size()));
            if (reste.isEmpty()) {
                if (fermeture) *fermeture = false;
                return niveau;
            }
            if (reste.startsWith("--")) {
                if (fermeture) *fermeture = true;
                return niveau;
            }
        }
        return -1;
    }
};

namespace {

// A multipart without a boundary parameter: the first line that looks like a
// delimiter ("--" and a token) before `fin` names it.
QByteArray devinerFrontiere(const std::vector<QByteArrayView>& lignes, int debut, int fin) {
    for (int i = debut; i < fin; ++i) {
        const QByteArrayView l = sansBlancsFin(lignes[size_t(i)]);
        if (l.size() < 4 || !l.startsWith("--")) continue;
        QByteArrayView f = l.sliced(2);
        if (f.contains(' ') || f.contains('\t')) continue;
        return f.toByteArray();
    }
    return QByteArray();
}

} // namespace

void TAnalyseurMime::DecoderFlux(QIODevice& flux) {
    const QByteArray message = flux.readAll();
    Decoder(message);
}

int TAnalyseurMime::lireEntete(TEtat& e, int pos, QByteArrayList& lignes, bool strict) {
    const int n = int(e.lignes.size());
    int nbLignes = 0;
    bool derniereGardee = false;
    while (pos < n) {
        const QByteArrayView l = sansBlancsFin(e.lignes[size_t(pos)]);
        if (l.isEmpty()) return pos + 1;
        if (strict && e.correspond(pos) >= 0) return pos; // an empty part
        if (estBlanc(l.front())) {
            if (derniereGardee && !lignes.isEmpty()) {
                QByteArray& prec = lignes.back();
                const QByteArrayView suite = sansBlancsDebut(l);
                if (prec.size() + 1 + suite.size() <= kLongueurLigneEnteteMax) {
                    while (!prec.isEmpty() && estBlanc(prec.back()))
                        prec.chop(1);
                    prec += ' ';
                    prec += suite;
                }
            }
            ++pos;
            continue;
        }
        // In a part, a line that is no header field starts the body.
        if (strict && !ressembleAEntete(l)) return pos;
        derniereGardee = ++nbLignes <= kNbLignesEnteteMax;
        if (nbLignes == kNbLignesEnteteMax + 1)
            Trace(QStringLiteral("MIME : en-tête de plus de %1 lignes tronqué")
                      .arg(kNbLignesEnteteMax));
        if (derniereGardee)
            lignes.append(l.first(std::min(l.size(), kLongueurLigneEnteteMax)).toByteArray());
        ++pos;
    }
    return pos;
}

void TAnalyseurMime::ViderEntete() {
    m_lignesEntete.clear();
    m_de.clear();
    m_a.clear();
    m_cc.clear();
    m_sujet.clear();
}

void TAnalyseurMime::Decoder(QByteArrayView message) {
    ViderEntete();

    TEtat e;
    e.message = message;
    e.lignes.reserve(size_t(std::count(message.begin(), message.end(), '\n') + 1));
    qsizetype debut = 0;
    while (debut < message.size()) {
        qsizetype fin = chercher(message, '\n', debut);
        if (fin < 0) fin = message.size();
        QByteArrayView l = message.sliced(debut, fin - debut);
        if (!l.isEmpty() && l.back() == '\r') l.chop(1);
        e.lignes.push_back(l);
        debut = fin + 1;
    }
    if (e.lignes.size() > size_t(std::numeric_limits<int>::max() / 2)) e.lignes.resize(0);

    DebutEntete();
    const int pos = lireEntete(e, 0, m_lignesEntete, false);
    for (const QByteArray& l : std::as_const(m_lignesEntete)) {
        QByteArrayView nom, valeur;
        if (separerChamp(l, nom, valeur)) {
            QByteArray* cible = nullptr;
            if (cp1252::egauxSansCasse(nom, "from"))
                cible = &m_de;
            else if (cp1252::egauxSansCasse(nom, "to"))
                cible = &m_a;
            else if (cp1252::egauxSansCasse(nom, "cc"))
                cible = &m_cc;
            else if (cp1252::egauxSansCasse(nom, "subject"))
                cible = &m_sujet;
            if (cible && cible->isEmpty()) *cible = sansBlancsDebut(valeur).toByteArray();
        }
        LigneEntete(l);
    }
    FinEntete();

    const QByteArrayView ct = valeurEntete(m_lignesEntete, "content-type");
    const bool multipart = typeMedia(ct).startsWith("multipart/");
    QByteArray frontiere = mime::parametre(ct, "boundary");
    if (multipart && frontiere.isEmpty())
        frontiere = devinerFrontiere(e.lignes, pos, int(e.lignes.size()));
    if (multipart && !frontiere.isEmpty()) {
        e.frontieres.push_back("--" + frontiere);
        analyserMultipart(e, pos, 1);
    } else {
        DebutPartie();
        livrerCorps(e, pos, int(e.lignes.size()), m_lignesEntete);
        FinPartie();
    }
}

int TAnalyseurMime::analyserMultipart(TEtat& e, int pos, int profondeur) {
    const int n = int(e.lignes.size());
    const int propre = int(e.frontieres.size()) - 1;
    bool vu = false;
    int i = pos;
    while (i < n) {
        bool fermeture = false;
        const int niveau = e.correspond(i, &fermeture);
        if (niveau < 0) {
            ++i;
            continue;
        }
        if (niveau < propre) break; // an outer boundary ends this multipart too
        vu = true;
        if (fermeture) { // the epilogue runs to an outer boundary or the end
            ++i;
            while (i < n) {
                const int nv = e.correspond(i);
                if (nv >= 0 && nv < propre) break;
                ++i;
            }
            break;
        }
        i = analyserPartie(e, i + 1, profondeur);
    }
    if (!vu) {
        // The boundary never comes: what there is is given as one plain part.
        DebutEntetePartie();
        DebutPartie();
        livrerCorps(e, pos, i, QByteArrayList());
        FinPartie();
    }
    e.frontieres.pop_back();
    return i;
}

int TAnalyseurMime::analyserPartie(TEtat& e, int pos, int profondeur) {
    const int n = int(e.lignes.size());
    QByteArrayList entete;
    const int debutCorps = lireEntete(e, pos, entete, true);
    DebutEntetePartie();
    for (const QByteArray& l : std::as_const(entete))
        LigneEntetePartie(l);
    const QByteArrayView ct = valeurEntete(entete, "content-type");
    const bool multipart = typeMedia(ct).startsWith("multipart/");
    QByteArray frontiere = mime::parametre(ct, "boundary");
    if (multipart && frontiere.isEmpty()) {
        int fin = debutCorps;
        while (fin < n && e.correspond(fin) < 0)
            ++fin;
        frontiere = devinerFrontiere(e.lignes, debutCorps, fin);
    }
    if (multipart && !frontiere.isEmpty() && profondeur >= kProfondeurMax && !e.profondeurTracee) {
        e.profondeurTracee = true;
        Trace(QStringLiteral("MIME : parties imbriquées au-delà de %1 niveaux ignorées")
                  .arg(kProfondeurMax));
    }
    if (multipart && !frontiere.isEmpty() && profondeur < kProfondeurMax) {
        DebutPartie();
        FinPartie();
        e.frontieres.push_back("--" + frontiere);
        return analyserMultipart(e, debutCorps, profondeur + 1);
    }
    int fin = debutCorps;
    while (fin < n && e.correspond(fin) < 0)
        ++fin;
    DebutPartie();
    livrerCorps(e, debutCorps, fin, entete);
    FinPartie();
    return fin;
}

void TAnalyseurMime::livrerCorps(TEtat& e, int debut, int fin, const QByteArrayList& entete) {
    if (debut >= fin) return;
    const QByteArray encodage =
        cp1252::minuscules(valeurEntete(entete, "content-transfer-encoding").trimmed());
    const QByteArray type = typeMedia(valeurEntete(entete, "content-type"));
    const bool plain = type.isEmpty() || type == "text/plain" || type == "text";
    // The lines are views into one message: the body is one contiguous run.
    const QByteArrayView premiere = e.lignes[size_t(debut)];
    const QByteArrayView derniere = e.lignes[size_t(fin - 1)];
    const QByteArrayView brut(premiere.data(), derniere.data() + derniere.size() - premiere.data());

    if (encodage == "base64") {
        livrerTexte(mime::decoderBase64Corps(brut), plain);
    } else if (encodage == "quoted-printable") {
        livrerTexte(mime::decoderQuotedPrintable(brut), plain);
    } else if (encodage == "x-uuencode" || encodage == "x-uue" || encodage == "uuencode") {
        QByteArray octets;
        bool dansBloc = false, blocVu = false;
        for (int i = debut; i < fin; ++i) {
            const QByteArrayView l = sansBlancsFin(e.lignes[size_t(i)]);
            if (!dansBloc && l.startsWith("begin ")) {
                dansBloc = blocVu = true;
                continue;
            }
            if (l == "end") {
                dansBloc = false;
                continue;
            }
            if (dansBloc || !blocVu) mime::decoderLigneUU(l, octets);
        }
        if (!octets.isEmpty()) DonneesPartie(octets);
    } else {
        // The lines with CR LF after each: most often the message's own bytes.
        const qsizetype apres = brut.data() + brut.size() - e.message.data();
        if (apres + 2 <= e.message.size() && e.message[apres] == '\r' &&
            e.message[apres + 1] == '\n' && lignesCRLF(brut)) {
            livrerTexte(QByteArrayView(brut.data(), brut.size() + 2), plain);
            return;
        }
        QByteArray texte;
        texte.reserve(brut.size() + (fin - debut) + 2);
        if (lignesCRLF(brut)) {
            // Already the lines with CR LF: one copy instead of one per line.
            texte += brut;
            texte += "\r\n";
        } else {
            for (int i = debut; i < fin; ++i) {
                texte += e.lignes[size_t(i)];
                texte += "\r\n";
            }
        }
        livrerTexte(texte, plain);
    }
}

namespace {

// "begin 644 name": mode of three or four octal digits, then the name.
bool enteteUU(QByteArrayView l, QByteArrayView& nom) {
    if (!l.startsWith("begin ")) return false;
    qsizetype i = 6;
    const qsizetype debutMode = i;
    while (i < l.size() && l[i] >= '0' && l[i] <= '7')
        ++i;
    const qsizetype chiffres = i - debutMode;
    if (chiffres < 3 || chiffres > 4 || i >= l.size() || l[i] != ' ') return false;
    nom = l.sliced(i + 1).trimmed();
    return true;
}

int entierParametreYEnc(QByteArrayView l, QByteArrayView cle) {
    const qsizetype p = l.indexOf(cle);
    if (p < 0) return 0;
    int v = 0;
    for (qsizetype i = p + cle.size(); i < l.size() && l[i] >= '0' && l[i] <= '9'; ++i)
        v = std::min(v * 10 + (l[i] - '0'), 1000000);
    return v;
}

} // namespace

void TAnalyseurMime::livrerTexte(QByteArrayView texte, bool chercherFichiers) {
    // "=ybegin " holds "begin ": one search tells whether either block may be here.
    if (!chercherFichiers || !memmem(texte.data(), size_t(texte.size()), "begin ", 6)) {
        if (!texte.isEmpty()) DonneesPartie(texte);
        return;
    }
    struct TLigne {
        qsizetype debut, fin; // [debut, fin) with the line end
        QByteArrayView texte; // without the line end
    };
    auto ligneA = [&](qsizetype pos) {
        qsizetype fin = texte.indexOf('\n', pos);
        fin = fin < 0 ? texte.size() : fin + 1;
        QByteArrayView l = texte.sliced(pos, fin - pos);
        while (!l.isEmpty() && (l.back() == '\n' || l.back() == '\r'))
            l.chop(1);
        return TLigne{pos, fin, l};
    };
    qsizetype debutTexte = 0; // start of the text not yet given
    qsizetype pos = 0;
    while (pos < texte.size()) {
        TLigne l = ligneA(pos);
        QByteArrayView nom;
        const bool uu = enteteUU(l.texte, nom);
        const bool yenc = !uu && l.texte.startsWith("=ybegin ");
        if (!uu && !yenc) {
            pos = l.fin;
            continue;
        }
        if (l.debut > debutTexte) DonneesPartie(texte.sliced(debutTexte, l.debut - debutTexte));
        pos = l.fin;
        if (uu) {
            DebutFichierEnLigne(nom, false, 0);
            while (pos < texte.size()) {
                const TLigne d = ligneA(pos);
                if (sansBlancsFin(d.texte) == "end") {
                    pos = d.fin;
                    break;
                }
                QByteArray octets;
                if (!mime::decoderLigneUU(d.texte, octets)) break; // text again
                pos = d.fin;
                if (!octets.isEmpty()) DonneesFichierEnLigne(octets);
            }
        } else {
            const qsizetype pNom = l.texte.indexOf("name=");
            nom = pNom < 0 ? QByteArrayView() : l.texte.sliced(pNom + 5).trimmed();
            const int partie = entierParametreYEnc(l.texte, " part=");
            DebutFichierEnLigne(nom, true, partie);
            QByteArray octets;
            while (pos < texte.size()) {
                const TLigne d = ligneA(pos);
                pos = d.fin;
                if (d.texte.startsWith("=yend")) break;
                if (d.texte.startsWith("=ypart ")) continue;
                mime::decoderLigneYEnc(d.texte, octets);
                if (octets.size() >= 64 * 1024) {
                    DonneesFichierEnLigne(octets);
                    octets.clear();
                }
            }
            if (!octets.isEmpty()) DonneesFichierEnLigne(octets);
        }
        FinFichierEnLigne();
        debutTexte = pos;
    }
    if (debutTexte < texte.size()) DonneesPartie(texte.sliced(debutTexte));
}
