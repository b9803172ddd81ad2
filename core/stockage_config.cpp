#include "core/stockage_config.h"

#include "core/cp1252.h"
#include "core/safe_save.h"
#include "core/trace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <limits>

namespace {

const QByteArray kRacine = QByteArrayLiteral("Racine");

bool blanc(char c) {
    return c == ' ' || c == '\t';
}

QByteArrayView rogner(QByteArrayView v) {
    qsizetype debut = 0;
    qsizetype fin = v.size();
    while (debut < fin && blanc(v[debut]))
        ++debut;
    while (fin > debut && blanc(v[fin - 1]))
        --fin;
    return v.sliced(debut, fin - debut);
}

// "[name]" -> name; false for any other line.
bool estSection(QByteArrayView ligne, QByteArrayView& nom) {
    const QByteArrayView l = rogner(ligne);
    if (!l.startsWith('[')) return false;
    const qsizetype fin = l.indexOf(']');
    if (fin < 0) return false;
    nom = rogner(l.sliced(1, fin - 1));
    return true;
}

bool estCle(QByteArrayView ligne, QByteArrayView& cle, QByteArrayView& valeur) {
    const QByteArrayView l = rogner(ligne);
    if (l.isEmpty() || l[0] == ';') return false;
    const qsizetype egal = l.indexOf('=');
    if (egal <= 0) return false;
    cle = rogner(l.first(egal));
    valeur = rogner(l.sliced(egal + 1));
    return !cle.isEmpty();
}

// One pair of enclosing quotes, which a read removes.
bool entreGuillemets(QByteArrayView v) {
    return v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0];
}

// "key=value", built in one allocation; a value must stay on its line.
QByteArray ligneCle(QByteArrayView cle, QByteArrayView valeur) {
    QByteArray r;
    r.reserve(cle.size() + 1 + valeur.size());
    r.append(cle).append('=');
    const qsizetype debut = r.size();
    r.append(valeur);
    for (qsizetype i = debut; i < r.size(); ++i) {
        if (r[i] == '\r' || r[i] == '\n') r[i] = ' ';
    }
    return r;
}

} // namespace

TStockageConfig& StockageConfig() {
    static TStockageConfig s;
    return s;
}

void TStockageConfig::OuvrirLot() {
    // Writes inside a group do not read the file: it is read here, once.
    if (m_lot == 0) Rafraichir();
    ++m_lot;
}

TStockageConfig::TLot::~TLot() {
    if (--m_s.m_lot == 0 && m_s.m_modifie) m_s.Enregistrer();
}

QByteArray TStockageConfig::SansGuillemets(QByteArrayView v) {
    if (entreGuillemets(v)) return v.sliced(1, v.size() - 2).toByteArray();
    return v.toByteArray();
}

bool TStockageConfig::RelueTelleQuelle(QByteArrayView v) {
    return !entreGuillemets(v) && rogner(v).size() == v.size();
}

bool TStockageConfig::EntierStrict(QByteArrayView texte, int& valeur) {
    const QByteArrayView t = rogner(texte);
    qsizetype i = 0;
    bool negatif = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
        negatif = t[i] == '-';
        ++i;
    }
    if (i >= t.size()) return false;
    qint64 v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') return false;
        v = v * 10 + (t[i] - '0');
        if (v > qint64(std::numeric_limits<int>::max()) + 1) return false;
    }
    if (negatif) v = -v;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) return false;
    valeur = static_cast<int>(v);
    return true;
}

bool TStockageConfig::Ouvrir(const QString& chemin) {
    Fermer();
    const QFileInfo fi(chemin);
    if (!fi.absoluteDir().exists()) return false;
    if (fi.exists()) {
        QFile f(chemin);
        if (!f.open(QIODevice::ReadOnly)) {
            TraceException(u"TStockageConfig.Ouvrir", f.errorString());
            return false;
        }
    }
    m_chemin = fi.absoluteFilePath();
    m_ouvert = true;
    m_charge = false;
    Rafraichir();
    return true;
}

void TStockageConfig::Fermer() {
    m_ouvert = false;
    m_chemin.clear();
    m_lignes.clear();
    m_indexValide = false;
    m_section.clear();
    m_brut.clear();
    m_charge = false;
    m_modifie = false;
}

void TStockageConfig::DefinirSection(QByteArrayView section) {
    m_section = section.toByteArray();
}

QByteArray TStockageConfig::Section() const {
    return m_section.isEmpty() ? kRacine : m_section;
}

// Another writer (the user's editor, a second copy) may have changed the file:
// it is read again before each access, as the profile functions do. The file
// is small; it is parsed again only when its bytes changed.
void TStockageConfig::Rafraichir() {
    if (!m_ouvert || m_lot > 0) return;
    // Unbuffered: the bytes go straight into their array, without a copy
    // through a read buffer of the device's own.
    QFile f(m_chemin);
    const bool present = f.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    if (!present && f.exists()) return; // unreadable: keep what was read last
    QByteArray contenu;
    if (present) contenu = f.readAll();
    if (m_charge && present == m_present && contenu == m_brut) return;
    m_charge = true;
    m_present = present;
    m_brut = contenu;
    m_lignes.clear();
    m_indexValide = false;
    // An editor may have put UTF-8 byte order marks before the first section.
    // All are skipped: a save writes none back, so a second one left in place
    // would change the first line once the file is saved.
    while (contenu.startsWith("\xEF\xBB\xBF"))
        contenu.remove(0, 3);
    for (QByteArray l : contenu.split('\n')) {
        if (l.endsWith('\r')) l.chop(1);
        m_lignes.append(l);
    }
    // The last CR LF leaves an empty piece that is not a line.
    if (!m_lignes.isEmpty() && m_lignes.back().isEmpty()) m_lignes.removeLast();
}

// Folded "section\nkey", built in one buffer kept from call to call: a lookup
// allocates nothing (a key the index keeps shares it, and the next call gets
// a buffer of its own).
const QByteArray& TStockageConfig::cleIndex(QByteArrayView section, QByteArrayView cle) {
    m_cle.resize(0);
    m_cle.append(section).append('\n').append(cle);
    cp1252::enMinuscules(m_cle);
    return m_cle;
}

void TStockageConfig::indexer() {
    // Only the first section of a name counts, and in it the first line of a
    // key. A new key goes after the last key line of its section.
    m_index.clear();
    m_finSections.clear();
    m_positions.clear();
    QByteArray section;
    bool active = false;
    for (qsizetype i = 0; i < m_lignes.size(); ++i) {
        QByteArrayView nom, c, v;
        if (estSection(m_lignes[i], nom)) {
            section = cp1252::minuscules(nom);
            active = !m_finSections.contains(section);
            if (active) placer(m_finSections, section, i + 1);
            continue;
        }
        if (!active || !estCle(m_lignes[i], c, v)) continue;
        const QByteArray& k = cleIndex(section, c);
        if (!m_index.contains(k)) placer(m_index, k, i);
        placer(m_finSections, section, i + 1);
    }
    m_indexValide = true;
}

qsizetype TStockageConfig::ChercherCle(QByteArrayView section, QByteArrayView cle) {
    if (!m_indexValide) indexer();
    return position(m_index, cleIndex(section, cle));
}

qsizetype TStockageConfig::position(const QHash<QByteArray, qsizetype>& table,
                                    const QByteArray& cle) const {
    const auto it = table.constFind(cle);
    return it == table.cend() ? -1 : m_positions[static_cast<size_t>(it.value())];
}

void TStockageConfig::placer(QHash<QByteArray, qsizetype>& table, const QByteArray& cle,
                             qsizetype ligne) {
    const auto it = table.constFind(cle);
    if (it != table.cend()) {
        m_positions[static_cast<size_t>(it.value())] = ligne;
        return;
    }
    table.insert(cle, static_cast<qsizetype>(m_positions.size()));
    m_positions.push_back(ligne);
}

void TStockageConfig::Inserer(qsizetype ligne, const QByteArray& texte) {
    m_lignes.insert(ligne, texte);
    for (qsizetype& p : m_positions)
        if (p >= ligne) ++p;
}

bool TStockageConfig::ValeurBrute(QByteArrayView section, QByteArrayView cle, QByteArray& valeur) {
    if (!m_ouvert) return false;
    Rafraichir();
    const qsizetype i = ChercherCle(section.isEmpty() ? QByteArrayView(kRacine) : section, cle);
    if (i < 0) return false;
    QByteArrayView c, v;
    estCle(m_lignes[i], c, v);
    // A stray CR reads as the blank a save writes in its place, so a value
    // reads the same before and after the file is saved.
    QByteArray brute = v.toByteArray();
    if (brute.contains('\r')) brute = rogner(brute.replace('\r', ' ')).toByteArray();
    valeur = brute;
    return true;
}

QByteArray TStockageConfig::LireChaine(QByteArrayView cle, QByteArrayView defaut) {
    QByteArray v;
    if (!ValeurBrute(Section(), cle, v)) return defaut.toByteArray();
    return SansGuillemets(v);
}

int TStockageConfig::LireEntier(QByteArrayView cle, int defaut) {
    QByteArray v;
    if (!ValeurBrute(Section(), cle, v)) return defaut;
    int n = 0;
    return EntierStrict(SansGuillemets(v), n) ? n : defaut;
}

bool TStockageConfig::LireBool(QByteArrayView cle, bool defaut) {
    return LireEntier(cle, defaut ? 1 : 0) != 0;
}

bool TStockageConfig::EcrireChaine(QByteArrayView cle, QByteArrayView valeur) {
    return Ecrire(Section(), cle, valeur);
}
bool TStockageConfig::EcrireEntier(QByteArrayView cle, int valeur) {
    return Ecrire(Section(), cle, QByteArray::number(valeur));
}
bool TStockageConfig::EcrireBool(QByteArrayView cle, bool valeur) {
    return Ecrire(Section(), cle, valeur ? "1" : "0");
}

QByteArray TStockageConfig::LireChaine(QByteArrayView section, QByteArrayView cle,
                                       QByteArrayView defaut) {
    DefinirSection(section);
    QByteArray r = LireChaine(cle, defaut);
    DefinirSection({});
    return r;
}
int TStockageConfig::LireEntier(QByteArrayView section, QByteArrayView cle, int defaut) {
    DefinirSection(section);
    const int r = LireEntier(cle, defaut);
    DefinirSection({});
    return r;
}
bool TStockageConfig::LireBool(QByteArrayView section, QByteArrayView cle, bool defaut) {
    DefinirSection(section);
    const bool r = LireBool(cle, defaut);
    DefinirSection({});
    return r;
}
bool TStockageConfig::EcrireChaine(QByteArrayView section, QByteArrayView cle,
                                   QByteArrayView valeur) {
    return Ecrire(section.isEmpty() ? QByteArrayView(kRacine) : section, cle, valeur);
}
bool TStockageConfig::EcrireEntier(QByteArrayView section, QByteArrayView cle, int valeur) {
    return EcrireChaine(section, cle, QByteArray::number(valeur));
}
bool TStockageConfig::EcrireBool(QByteArrayView section, QByteArrayView cle, bool valeur) {
    return EcrireChaine(section, cle, valeur ? "1" : "0");
}

bool TStockageConfig::Ecrire(QByteArrayView section, QByteArrayView cle, QByteArrayView valeur) {
    if (!m_ouvert || rogner(cle).isEmpty()) return false;
    Rafraichir();
    const QByteArray ligne = ligneCle(rogner(cle), valeur);
    const qsizetype i = ChercherCle(section, cle);
    if (i >= 0) {
        // The same key, so the index holds, unless the value makes a section
        // header of the line ("[a=b]").
        if (m_lignes[i] == ligne) return true;
        m_lignes[i] = ligne;
        QByteArrayView nom;
        if (estSection(ligne, nom)) m_indexValide = false;
    } else {
        // The index follows the insertion instead of being built again: saving
        // the options into a new file inserts every key.
        const QByteArray nomSection = cp1252::minuscules(section);
        const qsizetype fin = position(m_finSections, nomSection);
        qsizetype ligneNouvelle;
        if (fin >= 0) {
            ligneNouvelle = fin;
            Inserer(ligneNouvelle, ligne);
        } else {
            if (!m_lignes.isEmpty() && !m_lignes.back().isEmpty()) m_lignes.append(QByteArray());
            const QByteArray entete = '[' + section.toByteArray() + ']';
            m_lignes.append(entete);
            m_lignes.append(ligne);
            ligneNouvelle = m_lignes.size() - 1;
            // A name that does not read back as itself (a "]" in it) is left to a new index.
            QByteArrayView nom;
            if (!estSection(entete, nom) || cp1252::minuscules(nom) != nomSection)
                m_indexValide = false;
        }
        placer(m_finSections, nomSection, ligneNouvelle + 1);
        // Likewise a key that reads back as something else ("=", ";", "[" in it).
        QByteArrayView nom, c, v;
        if (estSection(ligne, nom) || !estCle(ligne, c, v) ||
            !cp1252::egauxSansCasse(c, rogner(cle)))
            m_indexValide = false;
        else {
            const QByteArray& k = cleIndex(section, c);
            if (!m_index.contains(k)) placer(m_index, k, ligneNouvelle);
        }
    }
    m_modifie = true;
    if (m_lot > 0) return true;
    return Enregistrer();
}

bool TStockageConfig::Enregistrer() {
    qsizetype taille = 0;
    for (const QByteArray& l : m_lignes)
        taille += l.size() + 2;
    QByteArray contenu;
    contenu.reserve(taille);
    for (const QByteArray& l : m_lignes) {
        contenu += l;
        contenu += "\r\n";
    }
    QString erreur;
    if (!sauvegarde::ecrireAtomique(m_chemin, contenu, &erreur)) {
        TraceException(u"TStockageConfig.Enregistrer", erreur);
        return false;
    }
    m_modifie = false;
    m_brut = contenu;
    m_present = true;
    m_charge = true;
    return true;
}
