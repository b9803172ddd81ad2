#include "integration/prefs_js.h"

#include <cctype>

namespace {

bool blanc(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

void sauterBlancs(QByteArrayView t, qsizetype& i) {
    while (i < t.size() && blanc(t[i]))
        ++i;
}

// A quoted literal from t[i]; `i` moves past it. false when it does not close.
bool lireLitteral(QByteArrayView t, qsizetype& i) {
    if (i >= t.size() || (t[i] != '"' && t[i] != '\'')) return false;
    const char guillemet = t[i++];
    while (i < t.size()) {
        if (t[i] == '\\') {
            i += 2;
            continue;
        }
        if (t[i++] == guillemet) return true;
    }
    return false;
}

int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool lireHex(QByteArrayView t, qsizetype i, int n, uint& v) {
    if (i + n > t.size()) return false;
    v = 0;
    for (int k = 0; k < n; ++k) {
        const int h = hex(t[i + k]);
        if (h < 0) return false;
        v = v * 16 + uint(h);
    }
    return true;
}

} // namespace

TPrefsJs::TPrefsJs(const QByteArray& contenu) {
    qsizetype debut = 0;
    while (debut < contenu.size()) {
        TLigne l;
        qsizetype fin = contenu.indexOf('\n', debut);
        if (fin < 0) {
            l.Texte = contenu.sliced(debut);
            debut = contenu.size();
        } else {
            qsizetype finTexte = fin;
            if (finTexte > debut && contenu[finTexte - 1] == '\r') --finTexte;
            l.Texte = contenu.sliced(debut, finTexte - debut);
            l.Fin = contenu.sliced(finTexte, fin + 1 - finTexte);
            debut = fin + 1;
        }
        analyser(l);
        m_lignes.append(l);
    }
}

QByteArray TPrefsJs::Contenu() const {
    QByteArray r;
    for (const TLigne& l : m_lignes)
        r += l.Texte + l.Fin;
    return r;
}

// user_pref("name", value); with blanks anywhere between the parts. Anything
// else is not a preference line and is never changed.
void TPrefsJs::analyser(TLigne& l) {
    const QByteArrayView t = l.Texte;
    qsizetype i = 0;
    sauterBlancs(t, i);
    if (!t.sliced(i).startsWith("user_pref")) return;
    i += 9;
    sauterBlancs(t, i);
    if (i >= t.size() || t[i] != '(') return;
    ++i;
    sauterBlancs(t, i);
    const qsizetype debutNom = i;
    if (!lireLitteral(t, i)) return;
    QString nom;
    if (!DecoderChaine(t.sliced(debutNom + 1, i - debutNom - 2), nom)) return;
    sauterBlancs(t, i);
    if (i >= t.size() || t[i] != ',') return;
    ++i;
    sauterBlancs(t, i);
    const qsizetype debutValeur = i;
    if (i < t.size() && (t[i] == '"' || t[i] == '\'')) {
        if (!lireLitteral(t, i)) return;
    } else {
        while (i < t.size() && (std::isalnum(static_cast<unsigned char>(t[i])) || t[i] == '-' ||
                                t[i] == '+' || t[i] == '.'))
            ++i;
    }
    const qsizetype finValeur = i;
    if (finValeur == debutValeur) return;
    sauterBlancs(t, i);
    if (i >= t.size() || t[i] != ')') return;
    ++i;
    sauterBlancs(t, i);
    if (i >= t.size() || t[i] != ';') return;
    l.Nom = nom.toUtf8();
    l.DebutValeur = debutValeur;
    l.FinValeur = finValeur;
}

qsizetype TPrefsJs::chercher(QByteArrayView nom) const {
    for (qsizetype i = m_lignes.size() - 1; i >= 0; --i)
        if (m_lignes[i].DebutValeur >= 0 && m_lignes[i].Nom == nom) return i;
    return -1;
}

bool TPrefsJs::Existe(QByteArrayView nom) const {
    return chercher(nom) >= 0;
}

QByteArray TPrefsJs::Brut(QByteArrayView nom) const {
    const qsizetype i = chercher(nom);
    if (i < 0) return {};
    const TLigne& l = m_lignes[i];
    return l.Texte.sliced(l.DebutValeur, l.FinValeur - l.DebutValeur);
}

std::optional<QString> TPrefsJs::Chaine(QByteArrayView nom) const {
    const QByteArray b = Brut(nom);
    if (b.size() < 2 || (b[0] != '"' && b[0] != '\'')) return std::nullopt;
    QString t;
    if (!DecoderChaine(QByteArrayView(b).sliced(1, b.size() - 2), t)) return std::nullopt;
    return t;
}

std::optional<int> TPrefsJs::Entier(QByteArrayView nom) const {
    const QByteArray b = Brut(nom);
    bool ok = false;
    const int v = b.toInt(&ok);
    if (!ok) return std::nullopt;
    return v;
}

QList<QByteArray> TPrefsJs::Noms() const {
    QList<QByteArray> r;
    for (const TLigne& l : m_lignes)
        if (l.DebutValeur >= 0 && !r.contains(l.Nom)) r.append(l.Nom);
    return r;
}

QByteArray TPrefsJs::finDeLigne(qsizetype voisine) const {
    if (voisine >= 0 && voisine < m_lignes.size() && !m_lignes[voisine].Fin.isEmpty())
        return m_lignes[voisine].Fin;
    for (const TLigne& l : m_lignes)
        if (!l.Fin.isEmpty()) return l.Fin;
    return QByteArrayLiteral("\n");
}

void TPrefsJs::DefinirBrut(QByteArrayView nom, const QByteArray& brut) {
    if (const qsizetype i = chercher(nom); i >= 0) {
        TLigne& l = m_lignes[i];
        l.Texte.replace(l.DebutValeur, l.FinValeur - l.DebutValeur, brut);
        l.FinValeur = l.DebutValeur + brut.size();
        return;
    }
    TLigne l;
    l.Texte = "user_pref(" + EncoderChaine(QString::fromUtf8(nom)) + ", " + brut + ");";
    analyser(l);
    // After the last preference that sorts before it, else before the first
    // one, else at the end: where the program would have written it.
    qsizetype apres = -1, premiere = -1;
    for (qsizetype i = 0; i < m_lignes.size(); ++i) {
        if (m_lignes[i].DebutValeur < 0) continue;
        if (premiere < 0) premiere = i;
        if (m_lignes[i].Nom < nom) apres = i;
    }
    qsizetype position;
    if (apres >= 0)
        position = apres + 1;
    else if (premiere >= 0)
        position = premiere;
    else
        position = m_lignes.size();
    if (position > 0 && m_lignes[position - 1].Fin.isEmpty()) {
        // Inserted after a last line without a line end: that line gets one,
        // and the new last line goes without, as the file did.
        m_lignes[position - 1].Fin = finDeLigne(position - 2);
    } else {
        l.Fin = finDeLigne(position < m_lignes.size() ? position : position - 1);
    }
    m_lignes.insert(position, l);
}

void TPrefsJs::DefinirChaine(QByteArrayView nom, const QString& valeur) {
    DefinirBrut(nom, EncoderChaine(valeur));
}

void TPrefsJs::DefinirEntier(QByteArrayView nom, int valeur) {
    DefinirBrut(nom, QByteArray::number(valeur));
}

void TPrefsJs::Supprimer(QByteArrayView nom) {
    for (qsizetype i = m_lignes.size() - 1; i >= 0; --i) {
        if (m_lignes[i].DebutValeur < 0 || m_lignes[i].Nom != nom) continue;
        // The last line goes without a line end: the one before it takes its place.
        if (m_lignes[i].Fin.isEmpty() && i > 0) m_lignes[i - 1].Fin.clear();
        m_lignes.removeAt(i);
    }
}

bool TPrefsJs::DecoderChaine(QByteArrayView t, QString& texte) {
    QByteArray utf8;
    QString r;
    const auto vider = [&utf8, &r] {
        r += QString::fromUtf8(utf8);
        utf8.clear();
    };
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i] != '\\') {
            utf8 += t[i];
            continue;
        }
        if (++i >= t.size()) return false;
        uint v = 0;
        switch (t[i]) {
        case 'n':
            utf8 += '\n';
            break;
        case 'r':
            utf8 += '\r';
            break;
        case 't':
            utf8 += '\t';
            break;
        case 'x':
            if (!lireHex(t, i + 1, 2, v)) return false;
            vider();
            r += QChar(char16_t(v));
            i += 2;
            break;
        case 'u':
            if (!lireHex(t, i + 1, 4, v)) return false;
            vider();
            r += QChar(char16_t(v)); // a surrogate pair comes as two of these
            i += 4;
            break;
        default:
            utf8 += t[i]; // \" \' \\ and any other escaped byte stand for themselves
        }
    }
    vider();
    texte = r;
    return true;
}

QByteArray TPrefsJs::EncoderChaine(const QString& texte) {
    QByteArray r = "\"";
    for (const char c : texte.toUtf8()) {
        switch (c) {
        case '"':
            r += "\\\"";
            break;
        case '\\':
            r += "\\\\";
            break;
        case '\n':
            r += "\\n";
            break;
        case '\r':
            r += "\\r";
            break;
        default:
            r += c;
        }
    }
    return r + '"';
}
