#pragma once
// The trace of connections and the debug log. Every subsystem writes through
// Trace/TraceFormat, with or without a session number; the window (or standard
// error when headless) subscribes to the lines with OnLigne.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <deque>
#include <exception>
#include <functional>
#include <utility>
#include <vector>

enum class TCouleurTrace { Defaut, Rouge, Bleu, Marine, Pourpre, Olive };

struct TLigneTrace {
    QString prefixe; // time, and "socket n°%d : " for a session line
    QString texte;
    TCouleurTrace couleur = TCouleurTrace::Defaut;
};

class TTrace {
public:
    static constexpr int kMaxLignes = 800;
    static constexpr int kLignesGardees = 700;

    static TTrace& instance();

    // session < 0: no session.
    void trace(int session, const QString& texte);
    static TCouleurTrace couleur(const QString& texte);

    const std::deque<TLigneTrace>& lignes() const { return m_lignes; }
    void effacer() { m_lignes.clear(); }

    std::function<void(const TLigneTrace&)> OnLigne;

    // Listeners called after OnLigne, in the order they were added. The id
    // removes one; removing during a call is safe.
    using TEcouteur = std::function<void(const TLigneTrace&)>;
    int AjouterEcouteur(TEcouteur ecouteur);
    void RetirerEcouteur(int id);

private:
    std::deque<TLigneTrace> m_lignes;
    std::vector<std::pair<int, TEcouteur>> m_ecouteurs;
    int m_dernierEcouteur = 0;
    int m_appelsEnCours = 0;
};

// The debug log (only in debug mode): one open-append-close per line.
namespace debuglog {
void definirChemin(const QString& cheminDebugTxt); // "debug.txt"; "debug.old.txt" beside it
void activer(bool actif);
bool actif();
// Rotation (once per run) and start banner; false when the banner could not be
// written (the caller beeps; the log goes on without it).
bool ouvrir();
void rearmerRotation(); // tests: the next ouvrir() rotates again
void fermer();          // stop banner
void ligne(const QString& origine, const QString& texte);
} // namespace debuglog

void Trace(const QString& texte);
void Trace(int session, const QString& texte);

// "Exception : " + place + " : " + error: the one line a failure leaves in the trace.
QString TexteException(QStringView lieu, QStringView erreur);
void TraceException(QStringView lieu, QStringView erreur);
void TraceException(int session, QStringView lieu, QStringView erreur);
// The error text of an exception; what() is UTF-8 (QString::toStdString).
QString TexteErreur(const std::exception& e);

// Runs an event handler (socket, DNS, timer) and traces what it throws, so the
// event loop goes on: TraceException(session, lieu, what()), or "?" for anything
// that is not a std::exception. session < 0: no session.
template <typename F> void Garde(int session, QStringView lieu, F&& gestionnaire) noexcept {
    try {
        std::forward<F>(gestionnaire)();
    } catch (const std::exception& e) {
        TraceException(session, lieu, TexteErreur(e));
    } catch (...) {
        TraceException(session, lieu, u"?");
    }
}
template <typename F> void Garde(QStringView lieu, F&& gestionnaire) noexcept {
    Garde(-1, lieu, std::forward<F>(gestionnaire));
}

// "%s" and "%d" replaced in order by the values ("%%" gives "%").
QString Format(const QString& format, const QStringList& valeurs);

namespace detail {
inline QString enTexte(const QString& s) {
    return s;
}
inline QString enTexte(const char16_t* s) {
    return QString::fromUtf16(s);
}
// Bytes (ports, addresses, header text) are Windows-1252.
QString enTexte(QByteArrayView octets);
inline QString enTexte(const QByteArray& octets) {
    return enTexte(QByteArrayView(octets));
}
template <typename T> QString enTexte(T v) requires std::is_arithmetic_v<T> {
    return QString::number(v);
}
} // namespace detail

template <typename... Args> void TraceFormat(int session, const QString& format, Args&&... a) {
    TTrace::instance().trace(session, Format(format, QStringList{detail::enTexte(a)...}));
}
