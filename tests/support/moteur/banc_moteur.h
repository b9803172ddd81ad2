#pragma once
// The program's own assembly for the proxy's tests: the controller and the
// engine as main() builds them, started in a temporary home and listening on a
// free loopback port. Whatever the program forgets to wire is missing here too.
// Upstream servers are named in the login ("alice@127.0.0.1|port"); the DNS
// port and the time-outs come in through TPointsAcces.

#include "core/controleur.h"
#include "core/repertoires.h"
#include "proxy/moteur.h"
#include "tests/support/moteur/engin.h"
#include "tests/support/moteur/maison.h"
#include "tests/support/pop3_script_server.h"

#include <QByteArray>
#include <QStringList>

#include <memory>

class TServeurProxy;

namespace testsupport {

class TBancMoteur {
public:
    using TCles = TMaison::TCles;
    // `cles` go under [Init] of kelvarin.ini after the fixture's own: a free
    // listening port, and 127.0.0.1 as the DNS server, not the machine's.
    explicit TBancMoteur(const TCles& cles = {}, const TPointsAcces& points = {});
    ~TBancMoteur();
    TBancMoteur(const TBancMoteur&) = delete;
    TBancMoteur& operator=(const TBancMoteur&) = delete;

    // Start-up and the deferred start; false when the listener did not open.
    bool Demarrer();
    // Shutdown with its saves, as at the end of the program.
    void Arreter();

    TMoteur& Moteur() { return m_engin->moteur; }
    TControleur& Controleur() { return m_engin->controleur; }
    // The live settings: a change holds from the next command or message on,
    // as after Apply.
    TConfig& Reglages() { return Moteur().Reglages(); }
    TServeurProxy& Proxy();
    quint16 Port();
    const TRepertoires& Reps() const { return m_maison.reps; }
    QString Home() const { return m_maison.reps.Travail; }

    // Drops the DNSBL servers of the default table: no lookup is made until a
    // test adds its own.
    void SansServeursDNSBL();

    // A client that got the greeting; null otherwise.
    std::unique_ptr<TClientLignes> Client();
    bool AttendreSessions(int n, int delaiMs = 5000);

    // The listener's timer events, counted on their way to the controller.
    int DemarrerTimerQuit = 0;
    int ArreterTimerQuit = 0;
    int SessionsTerminees = 0;

    // Every trace line, prefix and text.
    QStringList Traces;
    bool TraceContient(const QString& texte) const;

private:
    TMaison m_maison;
    std::unique_ptr<TEngin> m_engin;
};

} // namespace testsupport
