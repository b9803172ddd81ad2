#include "core/trace.h"

#include "core/cp1252.h"
#include "i18n/resources.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <ctime>

TTrace& TTrace::instance() {
    static TTrace t;
    return t;
}

TCouleurTrace TTrace::couleur(const QString& texte) {
    if (texte.contains(Res("princ16", u"TIME OUT"))) return TCouleurTrace::Rouge;
    const QChar premier = texte.isEmpty() ? QChar() : texte[0];
    const bool commande = premier == QLatin1Char('>') || premier == QLatin1Char('<');
    if (!commande) {
        return texte.startsWith(QStringLiteral(" + ")) ? TCouleurTrace::Bleu
                                                       : TCouleurTrace::Defaut;
    }
    if (texte.contains(QStringLiteral("-ERR"))) return TCouleurTrace::Rouge;
    if (texte.startsWith(QStringLiteral("<<"))) return TCouleurTrace::Marine;
    if (premier == QLatin1Char('<')) return TCouleurTrace::Pourpre;
    return TCouleurTrace::Olive;
}

namespace {

// "HH:mm:ss : ", formatted once per second: a busy session traces many lines
// within one second, and formatting local time is far dearer than the line.
QString heureTrace() {
    static std::time_t seconde = -1;
    static QString texte;
    const std::time_t maintenant = std::time(nullptr);
    if (maintenant != seconde || texte.isEmpty()) {
        texte = QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(" : ");
        seconde = maintenant;
    }
    return texte;
}

// "socket n°%d" of the last session traced, and the whole line prefix with
// the time, kept while the time, the resource text and the number stay the
// same: a busy session traces many lines a second.
struct TPrefixeSession {
    QString session; // "socket n°%d"
    QString prefixe; // time + session + " : "
};
const TPrefixeSession& prefixeSession(int session, const QString& heure) {
    static int numero = -1;
    static QString format;
    static QString heureConnue;
    static TPrefixeSession r;
    const QString f = Res("princ15", u"socket n°%d");
    if (session != numero || f != format) {
        r.session = Format(f, {QString::number(session)});
        format = f;
        numero = session;
        heureConnue.clear();
    }
    if (heure != heureConnue || r.prefixe.isEmpty()) {
        r.prefixe = heure + r.session + QStringLiteral(" : ");
        heureConnue = heure;
    }
    return r;
}

} // namespace

void TTrace::trace(int session, const QString& texte) {
    QString sessionTexte;
    QString prefixe = heureTrace();
    if (session >= 0) {
        const TPrefixeSession& p = prefixeSession(session, prefixe);
        sessionTexte = p.session;
        prefixe = p.prefixe;
    }
    // At most kMaxLignes lines: the one that would pass the bound trims to kLignesGardees first.
    if (m_lignes.size() >= static_cast<size_t>(kMaxLignes)) {
        while (m_lignes.size() > static_cast<size_t>(kLignesGardees))
            m_lignes.pop_front();
    }
    m_lignes.push_back({prefixe, texte, couleur(texte)});
    if (OnLigne) OnLigne(m_lignes.back());
    if (!m_ecouteurs.empty()) {
        // A copy: a listener may trace, which may trim the deque under it.
        const TLigneTrace ligne = m_lignes.back();
        ++m_appelsEnCours;
        for (size_t i = 0; i < m_ecouteurs.size(); ++i)
            if (m_ecouteurs[i].second) m_ecouteurs[i].second(ligne);
        if (--m_appelsEnCours == 0)
            std::erase_if(m_ecouteurs, [](const auto& e) { return !e.second; });
    }
    debuglog::ligne(sessionTexte, texte);
}

int TTrace::AjouterEcouteur(TEcouteur ecouteur) {
    m_ecouteurs.emplace_back(++m_dernierEcouteur, std::move(ecouteur));
    return m_dernierEcouteur;
}

void TTrace::RetirerEcouteur(int id) {
    for (auto& e : m_ecouteurs) {
        if (e.first != id) continue;
        // Cleared now, erased once no call walks the list.
        e.second = nullptr;
        if (m_appelsEnCours == 0)
            std::erase_if(m_ecouteurs, [](const auto& x) { return !x.second; });
        return;
    }
}

QString detail::enTexte(QByteArrayView octets) {
    return cp1252::versUnicode(octets);
}

void Trace(const QString& texte) {
    TTrace::instance().trace(-1, texte);
}
void Trace(int session, const QString& texte) {
    TTrace::instance().trace(session, texte);
}

QString TexteException(QStringView lieu, QStringView erreur) {
    const QString debut = QStringLiteral("Exception : ");
    const QString separateur = QStringLiteral(" : ");
    QString r;
    r.reserve(debut.size() + lieu.size() + separateur.size() + erreur.size());
    r += debut;
    r += lieu;
    r += separateur;
    r += erreur;
    return r;
}

void TraceException(QStringView lieu, QStringView erreur) {
    TTrace::instance().trace(-1, TexteException(lieu, erreur));
}
void TraceException(int session, QStringView lieu, QStringView erreur) {
    TTrace::instance().trace(session, TexteException(lieu, erreur));
}

QString TexteErreur(const std::exception& e) {
    return QString::fromUtf8(e.what());
}

QString Format(const QString& format, const QStringList& valeurs) {
    QString r;
    r.reserve(format.size() + 32);
    qsizetype suivant = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('%') && i + 1 < format.size()) {
            const QChar d = format[i + 1];
            if (d == QLatin1Char('%')) {
                r += QLatin1Char('%');
                ++i;
                continue;
            }
            if (d == QLatin1Char('s') || d == QLatin1Char('d')) {
                if (suivant < valeurs.size()) r += valeurs[suivant];
                ++suivant;
                ++i;
                continue;
            }
        }
        r += c;
    }
    return r;
}

namespace debuglog {
namespace {
QString g_chemin = QStringLiteral("debug.txt");
bool g_actif = false;
bool g_rotation = true;

bool ajouter(const QByteArray& octets) {
    QFile f(g_chemin);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    const bool ok = f.write(octets) == octets.size();
    f.flush();
    f.close();
    return ok;
}

QString dateHeure() {
    const QLocale l;
    const QDateTime now = QDateTime::currentDateTime();
    return l.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           now.time().toString(QStringLiteral("HH:mm:ss"));
}

const QByteArray kEtoiles(54, '*');
} // namespace

void definirChemin(const QString& cheminDebugTxt) {
    g_chemin = cheminDebugTxt;
}
void activer(bool a) {
    g_actif = a;
}
bool actif() {
    return g_actif;
}

QString cheminAncien() {
    return QFileInfo(g_chemin).dir().filePath(QStringLiteral("debug.old.txt"));
}

void rearmerRotation() {
    g_rotation = true;
}

bool ouvrir() {
    if (!g_actif) return true;
    if (g_rotation) {
        const QString ancien = cheminAncien();
        QFile::remove(ancien);
        if (QFileInfo::exists(g_chemin)) QFile::rename(g_chemin, ancien);
        g_rotation = false;
    }
    QByteArray b = kEtoiles + "\r\n";
    b += cp1252::depuisUnicode(QStringLiteral("Démarrage : ") + dateHeure()) + "\r\n\r\n";
    return ajouter(b);
}

void fermer() {
    if (!g_actif) return;
    QByteArray b = "\r\n";
    b += cp1252::depuisUnicode(QStringLiteral("Arrêt : ") + dateHeure()) + "\r\n";
    b += kEtoiles + "\r\n";
    ajouter(b);
}

void ligne(const QString& origine, const QString& texte) {
    if (!g_actif) return;
    QString l =
        QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")) + QStringLiteral(" : ");
    if (!origine.isEmpty()) l += origine + QStringLiteral(" : ");
    l += texte;
    ajouter(cp1252::depuisUnicode(l) + "\r\n");
}

} // namespace debuglog
