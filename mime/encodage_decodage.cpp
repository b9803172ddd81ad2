#include "mime/encodage_decodage.h"

#include "core/cp1252.h"
#include "mime/octets_mime.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstring>

using octetsmime::estBlanc;
using octetsmime::valeurBase64;
using octetsmime::valeurHexa;

namespace {

// Digit by digit into 16 bits; a character that is not a digit counts as 0.
uint16_t lireHexa(QByteArrayView t) {
    if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.sliced(2);
    uint16_t v = 0;
    for (char c : t) {
        const int d = valeurHexa(c);
        v = static_cast<uint16_t>((v << 4) | (d < 0 ? 0 : d));
    }
    return v;
}

// One encoded word read at `pos` ("=?" there).
struct TMotCode {
    QByteArrayView charset;                   // as written
    char lettre = 0;                          // upper case
    qsizetype debutCharge = 0, finCharge = 0; // payload [debut, fin)
    qsizetype fin = 0;                        // just after "?="
};

// Only a B or Q word counts. Every other check is made before the search for
// the closing "?=", and that search starts only when a "?=" lies ahead
// (`derniereFermeture`, the last one of the text): the word then ends where the
// search stops, so each byte is searched at most once, and a text full of
// unclosed or letterless words costs no more than its length.
bool lireMot(QByteArrayView t, qsizetype pos, TMotCode& m, qsizetype derniereFermeture) {
    // Ends at the next "=?" at the latest, whose "?" it finds.
    const qsizetype finCharset = t.indexOf('?', pos + 2);
    if (finCharset < 0 || finCharset + 2 >= t.size()) return false;
    if (t[finCharset + 2] != '?') return false;
    m.charset = t.sliced(pos + 2, finCharset - pos - 2);
    m.lettre = static_cast<char>(cp1252::majuscule(static_cast<uchar>(t[finCharset + 1])));
    if (m.lettre != 'B' && m.lettre != 'Q') return false;
    m.debutCharge = finCharset + 3;
    if (m.debutCharge > derniereFermeture) return false;
    const qsizetype fermeture = t.indexOf("?=", m.debutCharge);
    if (fermeture < 0) return false;
    m.finCharge = fermeture;
    m.fin = fermeture + 2;
    return true;
}

// The charset name of an encoded word for the tables: lower case, without an
// RFC 2231 language suffix ("utf-8*fr").
QByteArray nomCharset(QByteArrayView charset) {
    const qsizetype etoile = charset.indexOf('*');
    if (etoile >= 0) charset = charset.first(etoile);
    return cp1252::minuscules(charset.trimmed());
}

} // namespace

TEncodageDecodage::TEncodageDecodage() {
    ajouterUnicode();
}

void TEncodageDecodage::ajouterUnicode() {
    auto utf8 = std::make_unique<TUnCharset>();
    utf8->NomCharset = "utf-8";
    utf8->TypeCharset = tcUTF8;
    m_charsets.push_back(std::move(utf8));
    auto utf7 = std::make_unique<TUnCharset>();
    utf7->NomCharset = "utf-7";
    utf7->TypeCharset = tcUTF7;
    m_charsets.push_back(std::move(utf7));
}

bool TEncodageDecodage::LireTable(QByteArrayView contenu, TUnCharset& cs) {
    int nbCharset = 0;
    bool nomVu = false;
    qsizetype debut = 0;
    while (debut < contenu.size()) {
        qsizetype fin = contenu.indexOf('\n', debut);
        if (fin < 0) fin = contenu.size();
        QByteArrayView ligne = contenu.sliced(debut, fin - debut);
        debut = fin + 1;
        while (!ligne.isEmpty() && (estBlanc(ligne.front()) || ligne.front() == '\r'))
            ligne = ligne.sliced(1);
        while (!ligne.isEmpty() && ligne.back() == '\r')
            ligne.chop(1);
        if (ligne.isEmpty() || ligne.front() == '#') continue;
        qsizetype sep = 0;
        while (sep < ligne.size() && !estBlanc(ligne[sep]))
            ++sep;
        if (sep >= ligne.size()) continue;
        const QByteArray cle = cp1252::minuscules(ligne.first(sep));
        QByteArrayView valeur = ligne.sliced(sep + 1);
        qsizetype finValeur = 0;
        while (finValeur < valeur.size() && !estBlanc(valeur[finValeur]) &&
               valeur[finValeur] != '#')
            ++finValeur;
        valeur = valeur.first(finValeur);
        if (cle == "nom") {
            cs.NomCharset = valeur.toByteArray();
            nomVu = !cs.NomCharset.isEmpty();
        } else if (cle == "charset") {
            ++nbCharset;
            (nbCharset == 1   ? cs.Alias1
             : nbCharset == 2 ? cs.Alias2
                              : cs.Alias3) = valeur.toByteArray();
        } else if (cle == "debut") {
            cs.Debut = lireHexa(valeur);
        } else {
            const uint16_t code = lireHexa(cle);
            if (code <= 255) cs.Table[code] = lireHexa(valeur);
        }
    }
    cs.TypeCharset = tcFichier;
    return nomVu;
}

void TEncodageDecodage::ChargerCharsets(const QString& repertoire) {
    m_charsets.clear();
    const QDir dir(repertoire);
    if (dir.exists()) {
        const QStringList fichiers =
            dir.entryList({QStringLiteral("*.qdl")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
        for (const QString& f : fichiers) {
            QFile fichier(dir.filePath(f));
            if (!fichier.open(QIODevice::ReadOnly)) continue;
            // A table file is small; anything larger is not one.
            if (fichier.size() > 1024 * 1024) continue;
            auto cs = std::make_unique<TUnCharset>();
            cs->NomFichier = f;
            if (LireTable(fichier.readAll(), *cs)) m_charsets.push_back(std::move(cs));
        }
    }
    ajouterUnicode();
}

const TUnCharset* TEncodageDecodage::Chercher(QByteArrayView nom) const {
    if (nom.isEmpty()) return nullptr;
    for (const auto& cs : m_charsets) {
        if (cs->NomCharset == nom || (!cs->Alias1.isEmpty() && cs->Alias1 == nom) ||
            (!cs->Alias2.isEmpty() && cs->Alias2 == nom) ||
            (!cs->Alias3.isEmpty() && cs->Alias3 == nom))
            return cs.get();
    }
    return nullptr;
}

QString TEncodageDecodage::VersUnicode(QByteArrayView texte, QByteArrayView charset) const {
    const QByteArray nom = nomCharset(charset);
    if (nom == "utf-8") return DecoderUTF8(texte);
    if (nom == "utf-7") return DecoderUTF7(texte);
    const TUnCharset* cs = Chercher(nom);
    if (!cs || cs->TypeCharset != tcFichier) return cp1252::versUnicode(texte);
    QString r;
    r.resize(texte.size());
    QChar* d = r.data();
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const uchar b = static_cast<uchar>(texte[i]);
        if (b < cs->Debut) {
            d[i] = QChar(char16_t(b));
        } else {
            const uint16_t u = cs->Table[b];
            d[i] = u == 0 ? QChar(u'?') : QChar(u);
        }
    }
    return r;
}

QString TEncodageDecodage::DecoderEntete(QByteArrayView entree) const {
    // Most values hold no encoded word and no tab: the plain conversion.
    if (entree.isEmpty()) return QString();
    if (!entree.contains("=?") && !entree.contains('\t')) return cp1252::versUnicode(entree);
    QByteArray t = entree.toByteArray();
    t.replace('\t', QByteArrayView());
    QString r;
    const qsizetype derniereFermeture = t.lastIndexOf("?=");
    qsizetype pos = 0;
    while (pos < t.size()) {
        const qsizetype ouverture = t.indexOf("=?", pos);
        if (ouverture < 0) {
            r += cp1252::versUnicode(QByteArrayView(t).sliced(pos));
            break;
        }
        TMotCode m;
        if (!lireMot(t, ouverture, m, derniereFermeture)) {
            // Not an encoded word: "=?" stays as ordinary text.
            r += cp1252::versUnicode(QByteArrayView(t).sliced(pos, ouverture + 2 - pos));
            pos = ouverture + 2;
            continue;
        }
        // The payload bytes. Adjacent words with the same opening are joined:
        // Q payloads as text (a character may be split between them), B payloads
        // decoded one by one, so the padding of each stays out of the result.
        QByteArray octets;
        QByteArray chargeQ;
        auto decoderCharge = [&](QByteArrayView charge) {
            if (m.lettre == 'B')
                octets += DecoderBase64(charge);
            else
                chargeQ += charge;
        };
        decoderCharge(QByteArrayView(t).sliced(m.debutCharge, m.finCharge - m.debutCharge));
        qsizetype fin = m.fin;
        while (t.size() - fin > 9) {
            qsizetype suite = fin;
            while (suite < t.size() &&
                   (t[suite] == ' ' || t[suite] == '\t' || t[suite] == '\r' || t[suite] == '\n'))
                ++suite;
            const QByteArray ouvertureMot = QByteArray("=?") + m.charset.toByteArray() + '?';
            if (!QByteArrayView(t).sliced(suite).startsWith(ouvertureMot)) break;
            const qsizetype posLettre = suite + ouvertureMot.size();
            if (posLettre + 1 >= t.size() ||
                cp1252::majuscule(static_cast<uchar>(t[posLettre])) != uchar(m.lettre) ||
                t[posLettre + 1] != '?')
                break;
            TMotCode suivant;
            if (!lireMot(t, suite, suivant, derniereFermeture)) break;
            decoderCharge(QByteArrayView(t).sliced(suivant.debutCharge,
                                                   suivant.finCharge - suivant.debutCharge));
            fin = suivant.fin;
        }
        if (m.lettre == 'Q') octets = DecoderQ(chargeQ);
        r += cp1252::versUnicode(QByteArrayView(t).sliced(pos, ouverture - pos));
        const QByteArray nom = nomCharset(m.charset);
        if (nom == "utf-7")
            r += DecoderUTF7(octets);
        else if (nom == "utf-8")
            r += DecoderUTF8(octets);
        else
            r += VersUnicode(octets, nom);
        pos = fin;
        // Blanks between two encoded words are dropped.
        qsizetype suite = pos;
        while (suite < t.size() && (t[suite] == ' ' || t[suite] == '\t'))
            ++suite;
        if (suite > pos && QByteArrayView(t).sliced(suite).startsWith("=?")) pos = suite;
    }
    return r;
}

void TEncodageDecodage::DecoderEnteteCp1252(QByteArrayView entree, QByteArray& sortie) const {
    // Code page 1252 widens and narrows back to the same bytes: only the values
    // DecoderEntete rewrites go through text.
    const char* p = entree.data();
    const size_t n = size_t(entree.size());
    bool aDecoder = n > 0 && std::memchr(p, '\t', n);
    for (const char* egal = n > 0 ? static_cast<const char*>(std::memchr(p, '=', n)) : nullptr;
         egal && !aDecoder;
         egal = static_cast<const char*>(std::memchr(egal + 1, '=', size_t(p + n - egal - 1))))
        aDecoder = egal + 1 < p + n && egal[1] == '?';
    if (aDecoder)
        sortie += cp1252::depuisUnicode(DecoderEntete(entree));
    else
        sortie += entree;
}

QByteArray TEncodageDecodage::NettoyerNomFichier(QByteArrayView texte) const {
    // Cut at the first line break or 0x01, or right after a second quote.
    qsizetype fin = texte.size();
    int guillemets = 0;
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const char c = texte[i];
        if (c == '\r' || c == '\n' || c == '\x01') {
            fin = i;
            break;
        }
        if (c == '"' && ++guillemets == 2) {
            fin = i + 1;
            break;
        }
    }
    QByteArray ansi;
    DecoderEnteteCp1252(texte.first(fin), ansi);
    QByteArray r;
    r.reserve(ansi.size());
    for (qsizetype i = 0; i < ansi.size(); ++i) {
        const char c = ansi[i];
        switch (c) {
        case '"':
        case '\\':
        case '&':
        case '*':
        case '/':
        case ':':
        case '<':
        case '>':
        case '?':
        case '|':
            continue;
        default:
            break;
        }
        if (c == '%' && i + 2 < ansi.size() && valeurHexa(ansi[i + 1]) >= 0 &&
            valeurHexa(ansi[i + 2]) >= 0) {
            r += static_cast<char>(valeurHexa(ansi[i + 1]) * 16 + valeurHexa(ansi[i + 2]));
            i += 2;
            continue;
        }
        if (c == ' ' && r.endsWith(' ')) continue;
        r += c;
    }
    r = r.trimmed();
    // "%2F" and "%5C" may have brought separators back: only the last component counts.
    const qsizetype separateur = std::max(r.lastIndexOf('/'), r.lastIndexOf('\\'));
    if (separateur >= 0) r = r.mid(separateur + 1).trimmed();
    if (r.isEmpty() || r == "." || r == ".." || r.contains('\0')) return QByteArray();
    return r;
}

QByteArray DecoderBase64(QByteArrayView texte) {
    QByteArray r;
    r.reserve((texte.size() + 3) / 4 * 3);
    for (qsizetype i = 0; i < texte.size(); i += 4) {
        uint32_t v = 0;
        for (qsizetype k = 0; k < 4; ++k)
            v = (v << 6) |
                uint32_t(i + k < texte.size() ? std::max(0, valeurBase64(texte[i + k])) : 0);
        r += static_cast<char>((v >> 16) & 0xFF);
        r += static_cast<char>((v >> 8) & 0xFF);
        r += static_cast<char>(v & 0xFF);
    }
    while (r.size() > 1 && r.back() == '\0')
        r.chop(1);
    return r;
}

QByteArray DecoderQ(QByteArrayView texte) {
    QByteArray r;
    r.reserve(texte.size());
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const char c = texte[i];
        if (c == '=' && i + 2 < texte.size() && valeurHexa(texte[i + 1]) >= 0 &&
            valeurHexa(texte[i + 2]) >= 0) {
            const char b =
                static_cast<char>(valeurHexa(texte[i + 1]) * 16 + valeurHexa(texte[i + 2]));
            if (b == '\0')
                r += "\r\n";
            else
                r += b;
            i += 2;
        } else if (c == '_') {
            r += ' ';
        } else {
            r += c;
        }
    }
    return r;
}

QString DecoderUTF8(QByteArrayView t) {
    QString r;
    r.reserve(t.size());
    const qsizetype n = t.size();
    // Continuation bytes that follow position i, up to `voulus`.
    const auto suite = [&t, n](qsizetype i, int voulus) {
        int k = 0;
        while (k < voulus && i + 1 + k < n && (static_cast<uchar>(t[i + 1 + k]) & 0xC0) == 0x80)
            ++k;
        return k;
    };
    qsizetype i = 0;
    while (i < n) {
        const uchar b = static_cast<uchar>(t[i]);
        if (b < 0x80) {
            r += QChar(char16_t(b));
            ++i;
            continue;
        }
        int longueur = 0;
        if ((b & 0xE0) == 0xC0)
            longueur = 2;
        else if ((b & 0xF0) == 0xE0)
            longueur = 3;
        else if ((b & 0xF8) == 0xF0)
            longueur = 4;
        else if ((b & 0xFC) == 0xF8)
            longueur = 5;
        else if ((b & 0xFE) == 0xFC)
            longueur = 6;
        const int presents = longueur > 0 ? suite(i, longueur - 1) : 0;
        if (longueur == 0 || presents < longueur - 1) {
            // Not a whole sequence: the lead byte and the continuation bytes
            // it has are one "?"; the character that cut it short (mislabelled
            // Latin-1 text) is decoded on its own.
            r += u'?';
            i += 1 + presents;
            continue;
        }
        if (longueur == 2) {
            r += QChar(char16_t(((b & 0x1F) << 6) | (static_cast<uchar>(t[i + 1]) & 0x3F)));
        } else if (longueur == 3) {
            r += QChar(char16_t(((b & 0x0F) << 12) | ((static_cast<uchar>(t[i + 1]) & 0x3F) << 6) |
                                (static_cast<uchar>(t[i + 2]) & 0x3F)));
        } else {
            r += u'?'; // beyond 16 bits
        }
        i += longueur;
    }
    return r;
}

QString DecoderUTF7(QByteArrayView t) {
    if (t == "+-") return QStringLiteral("+");
    if (t == "-") return QStringLiteral("-");
    QString r;
    qsizetype pos = 0;
    while (pos < t.size()) {
        const qsizetype plus = t.indexOf('+', pos);
        if (plus < 0 || plus + 1 >= t.size()) {
            r += cp1252::versUnicode(t.sliced(pos)); // a final "+" stays
            break;
        }
        r += cp1252::versUnicode(t.sliced(pos, plus - pos));
        if (t[plus + 1] == '-') {
            r += u'+';
            pos = plus + 2;
            continue;
        }
        qsizetype moins = t.indexOf('-', plus + 1);
        const qsizetype finCode = moins < 0 ? t.size() : moins;
        const QByteArrayView code = t.sliced(plus + 1, finCode - plus - 1);
        // Only the whole bytes the characters carry: the bits left over are
        // padding, while a zero byte inside a unit (U+0100) is data.
        QByteArray octets = DecoderBase64(code);
        octets.resize(code.size() * 6 / 8, '\0');
        for (qsizetype k = 0; k + 1 < octets.size(); k += 2) {
            const char16_t unite =
                char16_t((static_cast<uchar>(octets[k]) << 8) | static_cast<uchar>(octets[k + 1]));
            if (unite != 0) r += QChar(unite);
        }
        pos = moins < 0 ? t.size() : moins + 1;
    }
    return r;
}
