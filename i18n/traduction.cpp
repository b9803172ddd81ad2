#include "i18n/traduction.h"

#include "core/config.h"
#include "core/cp1252.h"
#include "core/record_fields.h"
#include "core/stockage_config.h"
#include "core/trace.h"
#include "mime/encodage_decodage.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

namespace {

const QString kTest = QStringLiteral("xxx");
constexpr QByteArrayView kSectionInfo = "infotraduction";

QByteArray cleFichier(QStringView texte) {
    return cp1252::minuscules(cp1252::depuisUnicode(texte));
}

// The stored text without its "[key]", as shown without a language.
QString sansCle(const QString& stocke) {
    if (!stocke.startsWith(QLatin1Char('['))) return stocke;
    const qsizetype fin = stocke.indexOf(QLatin1Char(']'));
    return fin < 0 ? stocke : stocke.mid(fin + 1);
}

// Windows font character sets and the charset table that reads their bytes.
const char* tableDuCharset(int charset) {
    switch (charset) {
    case 0: // ANSI
    case 1: // DEFAULT
    case 2: // SYMBOL
        return "windows-1252";
    case 77:
        return "macintosh";
    case 161:
        return "windows-1253";
    case 162:
        return "windows-1254";
    case 163:
        return "windows-1258";
    case 177:
        return "windows-1255";
    case 178:
        return "windows-1256";
    case 186:
        return "windows-1257";
    case 204:
        return "windows-1251";
    case 222: // Thai: the ISO table is the code page without its punctuation row
        return "iso-8859-11";
    case 238:
        return "windows-1250";
    case 255: // OEM
        return "ibm850";
    default:
        return nullptr;
    }
}

} // namespace

TTraduction& TTraduction::instance() {
    static TTraduction t;
    return t;
}

TTraduction& Traduction() {
    return TTraduction::instance();
}

TTraduction::TTraduction() {
    ressources::installer(this);
}

TTraduction::~TTraduction() {
    if (ressources::installe() == this) ressources::installer(nullptr);
}

void TTraduction::DefinirRepertoires(const QString& language, const QString& encodage) {
    QString rep = language;
    if (!rep.isEmpty() && !rep.endsWith(QLatin1Char('/'))) rep += QLatin1Char('/');
    m_encodage = encodage;
    m_repertoireOk = !rep.isEmpty() && QDir().mkpath(rep);
    if (rep != m_repertoire) {
        m_repertoire = rep;
        fermer();
        m_cache.clear();
    }
}

QString TTraduction::CodeLangueSysteme() const {
    if (!m_codeSysteme.isEmpty()) return m_codeSysteme.left(2).toUpper();
    const QLocale l = QLocale::system();
    if (l.language() == QLocale::C) return QStringLiteral("C");
    return QLocale::languageToCode(l.language()).left(2).toUpper();
}

void TTraduction::ChoisirLangue(const QString& code) {
    const QString c = code.toLower();
    if (c != m_code) {
        m_code = c;
        fermer();
        if (c.compare(CodeLangueSysteme(), Qt::CaseInsensitive) != 0) m_automatique = false;
        m_test = c == kTest;
    }
    m_cache.clear();
    m_charset = 1;
}

void TTraduction::LangueParDefaut(bool automatique) {
    if (automatique == m_automatique) return;
    m_automatique = automatique;
    if (automatique) ChoisirLangue(CodeLangueSysteme());
}

void TTraduction::ChoixAuDemarrage(bool languageDefaut, const QString& languageForce) {
    // From the state of a fresh process, whatever an earlier start chose.
    m_automatique = false;
    ChoisirLangue(QString());
    LangueParDefaut(languageDefaut);
    if (!m_automatique) ChoisirLangue(languageForce);
}

QString TTraduction::FichierLangue(const QString& code) const {
    if (!m_repertoireOk) return {};
    const auto chemin = [this](const QString& c) {
        return m_repertoire + QStringLiteral("kelvarin.") + c + QStringLiteral(".lang");
    };
    const QString lc = code.toLower();
    const QString f = chemin(lc);
    if (lc == QLatin1String("gb") && !QFileInfo::exists(f)) return chemin(QStringLiteral("en"));
    if (lc == QLatin1String("en") && !QFileInfo::exists(f)) return chemin(QStringLiteral("gb"));
    return f;
}

void TTraduction::fermer() {
    m_ouvert = false;
    m_fichier.Sections.clear();
    m_cheminOuvert.clear();
}

bool TTraduction::ouvrir() {
    if (m_code.isEmpty()) return false;
    if (m_test) return true;
    if (m_ouvert) return true;
    const QString chemin = FichierLangue(m_code);
    QFile f(chemin);
    if (chemin.isEmpty() || !f.exists() || !f.open(QIODevice::ReadOnly)) {
        // Cleared first: the trace line below loads a resource string itself.
        m_code.clear();
        m_charset = 1;
        if (!chemin.isEmpty() && f.exists())
            Trace(Format(Res("lang07", u"Fichier de langue illisible : %s"), {chemin}));
        return false;
    }
    m_fichier.lire(f.readAll());
    m_ouvert = true;
    m_cheminOuvert = chemin;
    const QByteArray* cs = m_fichier.valeur(kSectionInfo, "charset");
    m_charset = cs && !cs->trimmed().isEmpty() ? champs::TLecteurChamps(*cs).lireEntier() : 1;
    if (!tableDuCharset(m_charset) ||
        !QFileInfo::exists(m_encodage + QLatin1String(tableDuCharset(m_charset)) +
                           QStringLiteral(".qdl"))) {
        if (m_charset > 2)
            Trace(Format(Res("lang08", u"Charset %s inconnu, fichier lu en Windows-1252 : %s"),
                         {QString::number(m_charset), chemin}));
    }
    return true;
}

bool TTraduction::Active() {
    return ouvrir();
}

bool TTraduction::TFichier::lire(const QByteArray& contenu) {
    Sections.clear();
    QByteArrayView reste = contenu;
    if (reste.startsWith("\xEF\xBB\xBF")) reste = reste.sliced(3);
    QHash<QByteArray, QByteArray>* courante = nullptr;
    while (!reste.isEmpty()) {
        const qsizetype fin = reste.indexOf('\n');
        QByteArrayView ligne = fin < 0 ? reste : reste.first(fin);
        reste = fin < 0 ? QByteArrayView() : reste.sliced(fin + 1);
        ligne = ligne.trimmed();
        if (ligne.isEmpty() || ligne.front() == ';') continue;
        if (ligne.front() == '[') {
            const qsizetype ferme = ligne.lastIndexOf(']');
            const QByteArrayView nom = ligne.sliced(1, (ferme > 0 ? ferme : ligne.size()) - 1);
            courante = &Sections[cp1252::minuscules(nom.trimmed())];
            continue;
        }
        if (!courante) continue;
        // A quoted source text may itself hold "=": its key runs to the quote before "=".
        qsizetype egal = -1;
        if (ligne.front() == '"') {
            const qsizetype q = ligne.indexOf("\"=", 1);
            if (q > 0) egal = q + 1;
        }
        if (egal < 0) egal = ligne.indexOf('=');
        if (egal <= 0) continue;
        const QByteArray cle = cp1252::minuscules(ligne.first(egal).trimmed());
        if (!courante->contains(cle))
            courante->insert(cle, ligne.sliced(egal + 1).trimmed().toByteArray());
    }
    return true;
}

const QByteArray* TTraduction::TFichier::valeur(QByteArrayView section, QByteArrayView cle) const {
    const auto s = Sections.constFind(cp1252::minuscules(section));
    if (s == Sections.cend()) return nullptr;
    const auto v = s->constFind(cp1252::minuscules(cle));
    return v == s->cend() ? nullptr : &*v;
}

bool TTraduction::Decoder(QByteArrayView octets, int charset, const QString& encodage,
                          QString& texte) {
    const char* nom = tableDuCharset(charset);
    if (nom && qstrcmp(nom, "windows-1252") == 0) {
        texte = cp1252::versUnicode(octets);
        return true;
    }
    if (nom) {
        QFile f(encodage + QLatin1String(nom) + QStringLiteral(".qdl"));
        TUnCharset table;
        if (f.open(QIODevice::ReadOnly) && TEncodageDecodage::LireTable(f.readAll(), table)) {
            texte.clear();
            texte.reserve(octets.size());
            for (const char c : octets) {
                const auto b = static_cast<unsigned char>(c);
                if (b < table.Debut)
                    texte += QChar(char16_t(b));
                else
                    texte += table.Table[b] ? QChar(table.Table[b]) : QLatin1Char('?');
            }
            return true;
        }
    }
    texte = cp1252::versUnicode(octets);
    return false;
}

QString TTraduction::valeur(QStringView section, QStringView cle) const {
    const QByteArray* v = m_fichier.valeur(cleFichier(section), cleFichier(cle));
    if (!v || v->isEmpty()) return {};
    QString texte;
    Decoder(*v, m_charset, m_encodage, texte);
    return texte;
}

QString TTraduction::Texte(QStringView section, QStringView cle, const QString& defaut) {
    if (!Active()) return defaut;
    if (m_test) return defaut.isEmpty() ? QString() : QStringLiteral("XXX") + defaut;
    const QString v = valeur(section, cle);
    if (v.isEmpty()) return defaut;
    const QString r = ValeurTexte(v);
    return r.isEmpty() ? defaut : r;
}

QString TTraduction::TraduireRessource(const QString& stocke) {
    if (!Active()) return sansCle(stocke);
    if (m_test) return QStringLiteral("XXX") + stocke;
    const auto it = m_cache.constFind(stocke);
    if (it != m_cache.cend()) return *it;

    const QString sansLaCle = sansCle(stocke);
    const qsizetype fin = stocke.indexOf(QLatin1Char(']'));
    const QStringView ressources = u"resourcestring";
    QString r;
    QString nom;
    if (!stocke.startsWith(QLatin1Char('[')) || fin < 0) {
        nom = FormeEchappee(stocke);
        r = Texte(ressources, nom, stocke);
    } else {
        nom = stocke.mid(1, fin - 1);
        r = Texte(ressources, nom, QString());
        if (r.isEmpty()) r = Texte(ressources, sansLaCle, sansLaCle);
    }
    // A translation that changes the placeholders would break the format that
    // fills it: the built-in text is used.
    const bool faux = !MemesParametres(r, sansLaCle);
    if (faux) r = sansLaCle;
    m_cache.insert(stocke, r);
    if (faux)
        Trace(Format(Res("lang06", u"Traduction ignorée, paramètres différents du texte "
                                   u"d'origine : %s"),
                     {nom}));
    return r;
}

QString TTraduction::Ressource(const char* cle, const char16_t* francais) {
    if (m_code.isEmpty()) return {};
    return TraduireRessource(QLatin1Char('[') + QLatin1String(cle) + QLatin1Char(']') +
                             QString::fromUtf16(francais));
}

QString TTraduction::Fenetre(QStringView section, QStringView cle, const QString& defaut) {
    return Texte(section, cle, defaut);
}

QString TTraduction::ValeurTexte(QStringView brut) {
    QString r;
    r.reserve(brut.size());
    for (qsizetype i = 0; i < brut.size(); ++i) {
        const QChar c = brut[i];
        if (c != QLatin1Char('\\') || i + 1 >= brut.size()) {
            r += c;
            continue;
        }
        const QChar d = brut[++i];
        if (d == QLatin1Char('n'))
            r += QStringLiteral("\r\n");
        else if (d == QLatin1Char('t'))
            r += QLatin1Char('\t');
        else
            r += d;
    }
    if (r.size() > 1) {
        if (r.startsWith(QLatin1Char('"'))) r.remove(0, 1);
        if (r.endsWith(QLatin1Char('"'))) r.chop(1);
    }
    return r;
}

QString TTraduction::FormeEchappee(QStringView texte) {
    QString r;
    r.reserve(texte.size() + 2);
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const QChar c = texte[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            // A pair in either order is one line break; a line of the file holds none.
            if (i + 1 < texte.size() && texte[i + 1] != c &&
                (texte[i + 1] == QLatin1Char('\r') || texte[i + 1] == QLatin1Char('\n')))
                ++i;
            r += QStringLiteral("\\n");
        } else {
            r += c;
        }
    }
    if (!r.startsWith(QLatin1Char('"'))) r = QLatin1Char('"') + r + QLatin1Char('"');
    return r;
}

bool TTraduction::MemesParametres(QStringView a, QStringView b) {
    static const QRegularExpression re(QStringLiteral("%(%|[-0-9.:*]*[A-Za-z])"));
    const auto liste = [](QStringView t) {
        QStringList l;
        auto it = re.globalMatch(t);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            if (m.capturedView(1) != u"%") l.append(m.captured(0).toLower());
        }
        return l;
    };
    return liste(a) == liste(b);
}

QString TTraduction::description(const QString& chemin, const QString& encodage,
                                 const QString& code) {
    QFile f(chemin);
    if (!f.open(QIODevice::ReadOnly)) return code;
    TFichier fichier;
    fichier.lire(f.readAll());
    const QByteArray* d = fichier.valeur(kSectionInfo, "description");
    if (!d || d->isEmpty()) return code;
    const QByteArray* cs = fichier.valeur(kSectionInfo, "charset");
    const int charset =
        cs && !cs->trimmed().isEmpty() ? champs::TLecteurChamps(*cs).lireEntier() : 1;
    QString texte;
    Decoder(*d, charset, encodage, texte);
    texte = ValeurTexte(texte);
    return texte.isEmpty() ? code : texte;
}

QList<TTraduction::TLangue> TTraduction::Langues(int delaiMs) const {
    QList<TLangue> l;
    if (!m_repertoireOk) return l;
    const QFileInfo motif(FichierLangue(QStringLiteral("*")));
    QElapsedTimer chrono;
    chrono.start();
    QDirIterator it(motif.absolutePath(), {motif.fileName()}, QDir::Files | QDir::Hidden);
    while (it.hasNext() && chrono.elapsed() < delaiMs) {
        const QString chemin = it.next();
        QString nom = it.fileName();
        nom.chop(5); // ".lang"
        const QString code = nom.mid(nom.lastIndexOf(QLatin1Char('.')) + 1).toLower();
        if (code.isEmpty() || code == QLatin1String("__")) continue;
        l.append({code, description(chemin, m_encodage, code)});
    }
    return l;
}

bool TTraduction::Valider(const QString& nom, TStockageConfig& ini, bool& redemarrer) {
    redemarrer = false;
    if (nom == m_code) return false;
    if (nom == QLatin1String("@"))
        LangueParDefaut(true);
    else
        ChoisirLangue(nom);
    ini.EcrireBool("Init", "LanguageDefaut", m_automatique);
    ini.EcrireChaine("Init", "LanguageForce", cp1252::depuisUnicode(m_code));
    // The settings in memory agree with the file (Cancel reads them again).
    Config().LanguageDefaut = m_automatique;
    Config().LanguageForce = cp1252::depuisUnicode(m_code);
    redemarrer = nom.isEmpty();
    return true;
}
